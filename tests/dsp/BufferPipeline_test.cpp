#include "dsp/BufferPipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "core/ControlUpdates.h"
#include "dsp/GraphGeometry.h"
#include "dsp/SpectrumPoint.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"

// The values the pipeline computes from a recording are checked end to end against a worked
// reference by the analyze command's test; here: the point steps at their edges and the graph.
namespace kalindor {
namespace {

using test::RecordingView;

TEST(SpectrumPoint, ScalingReplacesZeroMirrorsNegativesAndCapsOnlyFromAbove) {
    const struct {
        float v;
        bool log;
        float expected;
        float tolerance;
    } cases[] = {{0.0f, true, 0.0f, 0.0f},         {0.0f, false, 1.0f / 70.0f, 0.0f},
                 {16256.0f, false, 232.2f, 0.05f}, {16256.0f, true, 242.4f, 0.05f},
                 {-16256.0f, true, 242.4f, 0.05f}, {0.001f, true, -172.7f, 0.05f},
                 {0.5f, true, -17.3f, 0.05f},      {65280.0f, false, 255.0f, 0.0f},
                 {1e6f, true, 255.0f, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << (c.log ? " log" : " linear"));
        EXPECT_NEAR(scalePoint(c.v, c.log), c.expected, c.tolerance);
    }
}

// Decay 5. The histogram takes a fresh value above 255 - decay even when it is lower than the
// held one, and its bar then stands at the fresh value, else decay above the old held value.
TEST(SpectrumPoint, HoldRisesAtOnceAndFallsByDecay) {
    const struct {
        float fresh, held, polygon, histogram, barTop;
    } cases[] = {{100, 50, 100, 100, 155},
                 {50, 50, 50, 50, 205},
                 {10, 50, 45, 45, 200},
                 {1, 4, 1, -1, 246},
                 {-20, 3, -20, -2, 247},
                 {252, 254.5f, 249.5f, 252, 3},
                 {250, 254.5f, 249.5f, 249.5f, -4.5f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fresh << " on " << c.held);
        EXPECT_EQ(holdPolygon(c.fresh, c.held, 5), c.polygon);
        EXPECT_EQ(holdHistogram(c.fresh, c.held, 5), c.histogram);
        EXPECT_EQ(histogramBarTopY(c.fresh, c.held, 5), c.barTop);
    }
}

class BufferPipelineTest : public ::testing::Test {
  protected:
    BufferPipelineTest() { applyStartupDefaults(state); }

    // The last buffer's lines that are channel markers (full-height verticals), or the others.
    std::vector<RecordingView::Line> lines(bool markers) const {
        std::vector<RecordingView::Line> found;
        for (const auto& line : view.lines) {
            if ((line.y1 == 0.0f && line.y2 == 255.0f) == markers) {
                found.push_back(line);
            }
        }
        return found;
    }

    SharedState state;
    RecordingView view;
    test::FakeLightDevice device;
    BufferPipeline pipeline{state, view, device};
};

// Linear X, logarithmic Y. An impulse of one sample unit makes every point at most 1 in
// magnitude, so no fresh value is positive: the polygon draws it on or below the baseline, the
// held value is clamped at 0 after drawing, and each next segment restarts at y = p.
TEST_F(BufferPipelineTest, LinearPolygonRestartsAtThePointAndMarkersPrecedeTheirPoint) {
    state.XScaleLog = false;
    state.ChannelFrequency = {10, 20, 20, 40, 50, 60, 0, 300};
    test::SampleBuffer impulse = test::silenceBuffer();
    impulse[1] = 129;
    pipeline.ProcessBuffer(impulse.data());
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.graphsDone, 1);
    const auto graph = lines(false);
    ASSERT_EQ(graph.size(), 255u);
    for (int p = 1; p <= 255; ++p) {
        SCOPED_TRACE(p);
        const RecordingView::Line& line = graph[p - 1];
        EXPECT_LE(pipeline.spectrumRaw()[p], 0.0f);
        EXPECT_EQ(pipeline.spectrumHeld()[p], 0.0f);
        EXPECT_EQ(line.x1, p - 1.0f);
        EXPECT_EQ(line.y1, static_cast<float>(p));
        EXPECT_EQ(line.x2, static_cast<float>(p));
        EXPECT_FLOAT_EQ(line.y2, 255.0f - pipeline.spectrumRaw()[p]);
        EXPECT_EQ(line.colour, kCyan);
    }
    // Points 20 (channels 1 and 2) take the lower channel's colour; 0 and 300 have no marker.
    const auto markers = lines(true);
    const std::vector<std::pair<float, Rgb>> expected = {{10.0f, {255, 0, 0}},
                                                         {20.0f, {255, 0, 255}},
                                                         {40.0f, {0, 255, 0}},
                                                         {50.0f, {0, 255, 255}},
                                                         {60.0f, {0, 0, 255}}};
    ASSERT_EQ(markers.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(markers[i].x1, expected[i].first);
        EXPECT_EQ(markers[i].colour, expected[i].second);
    }
    EXPECT_EQ(view.lines[9].x1, 10.0f);  // the marker of point 10, then its graph element
    EXPECT_EQ(view.lines[10].x2, 10.0f);
}

TEST_F(BufferPipelineTest, LogPolygonChainsSegmentsAndHistogramBarsFallByDecay) {
    pipeline.ProcessBuffer(test::cosineOnBin(8).data());
    const auto graph = lines(false);
    ASSERT_EQ(graph.size(), 255u);
    EXPECT_EQ(graph[0].x1, 0.0f);
    EXPECT_EQ(graph[0].y1, 255.0f);
    for (std::size_t i = 1; i < graph.size(); ++i) {
        EXPECT_EQ(graph[i].x1, graph[i - 1].x2);
        EXPECT_EQ(graph[i].y1, graph[i - 1].y2);
    }
    const float x16 = static_cast<float>(std::log(16.0) * 48.0);
    EXPECT_EQ(graph[15].x2, x16);
    EXPECT_NEAR(graph[254].x2, 266.0f, 0.05f);
    const float held = pipeline.spectrumHeld()[16];
    EXPECT_FLOAT_EQ(graph[15].y2, 255.0f - held);

    state.GraphPolygon = false;
    pipeline.ProcessBuffer(test::silenceBuffer().data());
    const auto bars = lines(false);
    ASSERT_EQ(bars.size(), 255u);
    EXPECT_EQ(bars[15].x1, x16);
    EXPECT_EQ(bars[15].x2, x16);
    EXPECT_EQ(bars[15].y1, 255.0f);
    EXPECT_EQ(bars[15].y2, 255.0f - held - 5.0f);
    EXPECT_EQ(pipeline.spectrumHeld()[16], held - 5.0f);
}

}  // namespace
}  // namespace kalindor
