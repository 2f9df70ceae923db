#include "dsp/BufferPipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"

// What the pipeline draws; the values it computes are checked end to end against a worked
// reference by the CLI's analyze test.
namespace kalindor {
namespace {

using test::RecordingView;

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

TEST_F(BufferPipelineTest, LogPolygonChainsItsSegmentsFromTheBaseline) {
    pipeline.ProcessBuffer(test::cosineOnBin(8).data());
    const auto graph = lines(false);
    ASSERT_EQ(graph.size(), 255u);
    EXPECT_EQ(graph[0].x1, 0.0f);
    EXPECT_EQ(graph[0].y1, 255.0f);
    for (std::size_t i = 1; i < graph.size(); ++i) {
        EXPECT_EQ(graph[i].x1, graph[i - 1].x2);
        EXPECT_EQ(graph[i].y1, graph[i - 1].y2);
    }
    EXPECT_EQ(graph[15].x2, static_cast<float>(std::log(16.0) * 48.0));
    EXPECT_NEAR(graph[254].x2, 266.0f, 0.05f);
    EXPECT_FLOAT_EQ(graph[15].y2, 255.0f - pipeline.spectrumHeld()[16]);
}

}  // namespace
}  // namespace kalindor
