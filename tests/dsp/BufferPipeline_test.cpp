#include "dsp/BufferPipeline.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "core/ControlUpdates.h"
#include "dsp/GraphGeometry.h"
#include "dsp/RealFft.h"
#include "dsp/SpectrumPoint.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"

namespace kalindor {
namespace {

using test::cosineOnBin;
using test::FakeLightDevice;
using test::RecordingView;
using Samples = test::SampleBuffer;

Samples silence() {
    return test::silenceBuffer();
}

bool isMarker(const RecordingView::Line& line) {
    return line.y1 == 0.0f && line.y2 == 255.0f;
}

class BufferPipelineTest : public ::testing::Test {
  protected:
    BufferPipelineTest() { applyStartupDefaults(state); }

    // The lines of the last buffer that are channel markers (or, with false, graph elements).
    std::vector<RecordingView::Line> lines(bool wantMarkers) const {
        std::vector<RecordingView::Line> found;
        for (const auto& line : view.lines) {
            if (isMarker(line) == wantMarkers) {
                found.push_back(line);
            }
        }
        return found;
    }
    std::vector<RecordingView::Line> markers() const { return lines(true); }
    std::vector<RecordingView::Line> graphLines() const { return lines(false); }

    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    BufferPipeline pipeline{state, view, device};
};

TEST(SpectrumPoint, ScalingReplacesZeroMirrorsNegativesAndCapsOnlyFromAbove) {
    EXPECT_EQ(scalePoint(0.0f, true), 0.0f);
    EXPECT_FLOAT_EQ(scalePoint(0.0f, false), 1.0f / 70.0f);
    EXPECT_NEAR(scalePoint(16256.0f, false), 232.2f, 0.05f);
    EXPECT_NEAR(scalePoint(16256.0f, true), 242.4f, 0.05f);
    EXPECT_EQ(scalePoint(-16256.0f, true), scalePoint(16256.0f, true));
    EXPECT_NEAR(scalePoint(0.001f, true), -172.7f, 0.05f);
    EXPECT_NEAR(scalePoint(0.5f, true), -17.3f, 0.05f);
    EXPECT_EQ(scalePoint(65280.0f, false), 255.0f);
    EXPECT_EQ(scalePoint(1e6f, true), 255.0f);
}

TEST(SpectrumPoint, PolygonHoldRisesAtOnceAndFallsByDecay) {
    EXPECT_EQ(holdPolygon(100.0f, 50.0f, 5), 100.0f);
    EXPECT_EQ(holdPolygon(50.0f, 50.0f, 5), 50.0f);
    EXPECT_EQ(holdPolygon(10.0f, 50.0f, 5), 45.0f);
    EXPECT_EQ(holdPolygon(1.0f, 4.0f, 5), 1.0f);  // 4 - 5 < 0: the fresh value
    EXPECT_EQ(holdPolygon(-20.0f, 3.0f, 5), -20.0f);
    EXPECT_EQ(holdPolygon(252.0f, 254.5f, 5), 249.5f);
}

TEST(SpectrumPoint, HistogramHoldTakesFreshValuesAbove255MinusDecay) {
    EXPECT_EQ(holdHistogram(252.0f, 254.5f, 5), 252.0f);  // lower than held, still replaces
    EXPECT_EQ(holdHistogram(250.0f, 254.5f, 5), 249.5f);  // 255 - 250 - 5 = 0 is not < 0
    EXPECT_EQ(holdHistogram(100.0f, 50.0f, 5), 100.0f);
    EXPECT_EQ(holdHistogram(1.0f, 4.0f, 5), -1.0f);  // no floor here; the pipeline clamps
}

TEST(GraphGeometry, XScalesBarTopsAndPolygonStarts) {
    EXPECT_EQ(graphX(17, false), 17.0f);
    EXPECT_EQ(graphX(1, true), 0.0f);
    EXPECT_NEAR(graphX(2, true) - graphX(1, true), 33.3f, 0.05f);
    EXPECT_NEAR(graphX(255, true) - graphX(254, true), 0.19f, 0.005f);
    EXPECT_NEAR(graphX(255, true), 266.0f, 0.05f);
    EXPECT_EQ(histogramBarTopY(100.0f, 50.0f, 5), 155.0f);
    EXPECT_EQ(histogramBarTopY(10.0f, 50.0f, 5), 200.0f);  // d above the old held value
    EXPECT_EQ(histogramBarTopY(252.0f, 254.5f, 5), 3.0f);
    EXPECT_EQ(polygonStartY(255.0f, 7, false), 7.0f);
    EXPECT_EQ(polygonStartY(300.0f, 7, false), 7.0f);
    EXPECT_EQ(polygonStartY(254.0f, 7, false), 254.0f);
    EXPECT_EQ(polygonStartY(255.0f, 7, true), 255.0f);
}

TEST_F(BufferPipelineTest, FullScaleThousandHertzCosineInBothYScales) {
    // Byte samples round the cosine, which moves point 16 a little off the exact 16256.
    const Samples tone = cosineOnBin(8);
    std::array<float, 256> transformed{};
    for (int j = 0; j < 256; ++j) {
        transformed[j] = tone[j];
    }
    RealFft(transformed.data());
    ASSERT_NEAR(transformed[16], 16256.0f, 0.5f * 256.0f);

    state.YScaleLog = false;
    pipeline.ProcessBuffer(tone.data());
    EXPECT_EQ(pipeline.spectrumRaw()[16], scalePoint(transformed[16], false));
    EXPECT_NEAR(pipeline.spectrumRaw()[16], 232.2f, 1.0f);
    EXPECT_NEAR(pipeline.spectrumRaw()[17], 0.0f, 0.01f);
    EXPECT_EQ(pipeline.spectrumHeld()[16], pipeline.spectrumRaw()[16]);

    state.YScaleLog = true;
    pipeline.ProcessBuffer(tone.data());
    EXPECT_EQ(pipeline.spectrumRaw()[16], scalePoint(transformed[16], true));
    EXPECT_NEAR(pipeline.spectrumRaw()[16], 242.4f, 0.1f);
    EXPECT_EQ(pipeline.spectrumHeld()[16], pipeline.spectrumRaw()[16]);
}

TEST_F(BufferPipelineTest, SilenceGivesZeroInLogAndOneSeventiethInLinear) {
    pipeline.ProcessBuffer(silence().data());
    for (int p = 1; p < 256; ++p) {
        ASSERT_EQ(pipeline.spectrumRaw()[p], 0.0f) << p;
        ASSERT_EQ(pipeline.spectrumHeld()[p], 0.0f) << p;
    }
    state.YScaleLog = false;
    pipeline.ProcessBuffer(silence().data());
    for (int p = 1; p < 256; ++p) {
        ASSERT_FLOAT_EQ(pipeline.spectrumRaw()[p], 1.0f / 70.0f) << p;
    }
}

TEST_F(BufferPipelineTest, HeldPointsFallByDecayAndNeverBelowZero) {
    setDecaySpeed(state, 1);
    pipeline.ProcessBuffer(cosineOnBin(8).data());
    const float peak = pipeline.spectrumHeld()[16];
    for (int buffer = 1; buffer <= 3; ++buffer) {
        pipeline.ProcessBuffer(silence().data());
        EXPECT_EQ(pipeline.spectrumHeld()[16], peak - static_cast<float>(buffer));
    }
    setDecaySpeed(state, 10);
    for (int buffer = 0; buffer < 30; ++buffer) {
        pipeline.ProcessBuffer(silence().data());
    }
    EXPECT_EQ(pipeline.spectrumHeld()[16], 0.0f);
}

TEST_F(BufferPipelineTest, NegativeLogPointsAreDrawnBelowTheBaselineButHeldAtZero) {
    state.XScaleLog = false;
    Samples impulse = silence();
    impulse[1] = 129;  // bin k becomes e^(2*pi*i*k/256): every point below 1 in magnitude
    pipeline.ProcessBuffer(impulse.data());
    const float fresh = pipeline.spectrumRaw()[3];
    ASSERT_LT(fresh, 0.0f);
    EXPECT_EQ(pipeline.spectrumHeld()[3], 0.0f);
    const auto lines = graphLines();
    ASSERT_EQ(lines.size(), 255u);
    EXPECT_EQ(lines[2].x2, 3.0f);
    EXPECT_FLOAT_EQ(lines[2].y2, 255.0f - fresh);
}

TEST_F(BufferPipelineTest, HistogramBarIsDrawnDecayAboveTheOldHeldValue) {
    state.GraphPolygon = false;
    state.XScaleLog = false;
    pipeline.ProcessBuffer(cosineOnBin(8).data());
    const float held = pipeline.spectrumHeld()[16];
    pipeline.ProcessBuffer(silence().data());
    const auto lines = graphLines();
    ASSERT_EQ(lines.size(), 255u);
    const auto& bar = lines[15];
    EXPECT_EQ(bar.x1, 16.0f);
    EXPECT_EQ(bar.y1, 255.0f);
    EXPECT_EQ(bar.y2, 255.0f - held - 5.0f);
    EXPECT_EQ(bar.colour, kCyan);
    EXPECT_EQ(pipeline.spectrumHeld()[16], held - 5.0f);
}

TEST_F(BufferPipelineTest, LinearPolygonRestartsEachBaselineSegmentAtThePointIndex) {
    state.XScaleLog = false;
    pipeline.ProcessBuffer(silence().data());
    const auto lines = graphLines();
    ASSERT_EQ(lines.size(), 255u);
    for (int p = 1; p <= 255; ++p) {
        const auto& line = lines[p - 1];
        ASSERT_EQ(line.x1, static_cast<float>(p - 1)) << p;
        ASSERT_EQ(line.y1, static_cast<float>(p)) << p;
        ASSERT_EQ(line.x2, static_cast<float>(p)) << p;
        ASSERT_EQ(line.y2, 255.0f) << p;
    }
}

TEST_F(BufferPipelineTest, LogPolygonStartsAtTheBaselineAndChainsSegments) {
    pipeline.ProcessBuffer(cosineOnBin(8).data());
    const auto lines = graphLines();
    ASSERT_EQ(lines.size(), 255u);
    EXPECT_EQ(lines[0].x1, 0.0f);
    EXPECT_EQ(lines[0].y1, 255.0f);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].x1, lines[i - 1].x2);
        ASSERT_EQ(lines[i].y1, lines[i - 1].y2);
    }
    EXPECT_EQ(lines[15].x2, graphX(16, true));
    EXPECT_FLOAT_EQ(lines[15].y2, 255.0f - pipeline.spectrumHeld()[16]);
}

TEST_F(BufferPipelineTest, MarkersLowerChannelWinsAndOutOfRangeHasNone) {
    state.XScaleLog = false;
    state.ChannelFrequency = {10, 20, 20, 40, 50, 60, 0, 300};
    pipeline.ProcessBuffer(silence().data());
    const auto found = markers();
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[1].x1, 20.0f);
    EXPECT_EQ(found[1].colour, markerColour(1));
    EXPECT_EQ(found[4].x1, 60.0f);
    EXPECT_EQ(found[4].colour, markerColour(5));
    // The marker comes before the graph element of its point, which lies over it.
    EXPECT_TRUE(isMarker(view.lines[9]));
    EXPECT_EQ(view.lines[10].x2, 10.0f);
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.graphsDone, 1);
}

TEST_F(BufferPipelineTest, ToneLightsItsChannelAndWritesThePatternOnce) {
    state.ChannelFrequency[2] = 16;
    pipeline.ProcessBuffer(cosineOnBin(8).data());
    EXPECT_EQ(pipeline.lightPattern() & 0b100, 0b100);
    EXPECT_EQ(pipeline.channelShown()[2],
              static_cast<int>(std::nearbyint(pipeline.spectrumHeld()[16])));
    EXPECT_TRUE(state.SignalSeen);
    ASSERT_EQ(device.outWrites().size(), 1u);
    EXPECT_EQ(device.outWrites()[0].second, pipeline.lightPattern() & 63);
    EXPECT_EQ(view.lamps[2], kYellow);

    state.SignalSeen = false;
    pipeline.ProcessBuffer(cosineOnBin(8).data());
    EXPECT_EQ(device.outWrites().size(), 1u);
    EXPECT_FALSE(state.SignalSeen);
}

}  // namespace
}  // namespace kalindor
