// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/BufferPipeline.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "core/ControlUpdates.h"
#include "dsp/GraphGeometry.h"
#include "dsp/NaturalLog.h"
#include "dsp/RealFft.h"
#include "dsp/SpectrumPoint.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"

// The per-point arithmetic of the pipeline (the transform against FFTW, the logarithm against
// std::log, the scaling and hold of one point), the level chain at its boundaries and what the
// pipeline draws; the values the pipeline computes from a recording are checked end to end
// against a worked reference by the CLI's analyze test.
namespace kalindor {
namespace {

// FFTW's r2c uses e^(-i...), so its imaginary parts are the negatives of RealFft's. The
// largest modulus is 256 * 255; float rounding over eight stages stays far below 0.1 there,
// while a wrong index, sign or twiddle is off by whole sample units or more.
TEST(RealFft, MatchesFftwOnRandomByteBuffers) {
    std::array<float, kFftSize> in{};
    std::array<fftwf_complex, kFftSize / 2 + 1> out{};
    const fftwf_plan plan = fftwf_plan_dft_r2c_1d(kFftSize, in.data(), out.data(), FFTW_ESTIMATE);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int trial = 0; trial < 200; ++trial) {
        for (float& v : in) {
            v = static_cast<float>(byte(rng));
        }
        std::array<float, kFftSize> data = in;
        RealFft(data.data());
        fftwf_execute(plan);
        float worst = std::max(std::abs(data[0] - out[0][0]), std::abs(data[1] - out[128][0]));
        for (int k = 1; k < kFftSize / 2; ++k) {
            worst = std::max(
                {worst, std::abs(data[2 * k] - out[k][0]), std::abs(data[2 * k + 1] + out[k][1])});
        }
        EXPECT_LT(worst, 0.1f) << "trial " << trial;
    }
    fftwf_destroy_plan(plan);
}

// Within a few 1e-16 of std::log, relative to max(1, |ln v|), on every whole transform value
// and a million random floats: close enough that the display value float(25 ln v) agrees with
// one taken from std::log.
TEST(NaturalLog, MatchesStdLog) {
    EXPECT_EQ(naturalLog(1.0f), 0.0);  // silence scales to exactly 0
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::uint32_t> bits(0x00800000u, 0x7F7FFFFFu);
    int far = 0;
    for (int i = 1; i < 1065280 && far < 10; ++i) {
        const float v = i <= 65280 ? static_cast<float>(i) : std::bit_cast<float>(bits(rng));
        const double expected = std::log(static_cast<double>(v));
        if (std::abs(naturalLog(v) - expected) > 8e-16 * std::max(1.0, std::abs(expected))) {
            ADD_FAILURE() << "v = " << v << " (" << ++far << ")";
        }
    }
}

TEST(SpectrumPoint, ScalingReplacesZeroMirrorsNegativesAndCapsOnlyFromAbove) {
    // Rows {value, logarithmic, scaled, tolerance}.
    const std::tuple<float, bool, float, float> cases[] = {
        {0.0f, true, 0.0f, 0.0f},         {0.0f, false, 1.0f / 70.0f, 0.0f},
        {-16256.0f, true, 242.4f, 0.05f}, {16256.0f, false, 232.2f, 0.05f},
        {0.001f, true, -172.7f, 0.05f},   {1e6f, true, 255.0f, 0.0f}};
    for (const auto& [v, log, expected, tolerance] : cases) {
        SCOPED_TRACE(testing::Message() << v << (log ? " log" : " linear"));
        EXPECT_NEAR(scalePoint(v, log), expected, tolerance);
    }
}

// Rows {fresh, held, polygon hold, histogram hold, histogram bar top}, decay 5. The histogram
// takes a fresh value above 255 - decay even when it is lower than the held one, and its bar
// then stands at the fresh value, else decay above the old held value.
TEST(SpectrumPoint, HoldRisesAtOnceAndFallsByDecay) {
    const float cases[][5] = {{100, 50, 100, 100, 155},        {50, 50, 50, 50, 205},
                              {10, 50, 45, 45, 200},           {1, 4, 1, -1, 246},
                              {-20, 3, -20, -2, 247},          {252, 254.5, 249.5, 252, 3},
                              {250, 254.5, 249.5, 249.5, -4.5}};
    for (const auto& [fresh, held, polygon, histogram, barTop] : cases) {
        SCOPED_TRACE(testing::Message() << fresh << " on " << held);
        EXPECT_EQ(holdPolygon(fresh, held, 5), polygon);
        EXPECT_EQ(holdHistogram(fresh, held, 5), histogram);
        EXPECT_EQ(histogramBarTopY(fresh, held, 5), barTop);
    }
}

using test::FakeLightDevice;
using test::RecordingView;

class BufferPipelineTest : public ::testing::Test {
  protected:
    BufferPipelineTest() { applyStartupDefaults(state); }

    // One buffer through the level chain alone, in which point p has the held level
    // levels[p] (0 elsewhere).
    void runBuffer(const std::map<int, float>& levels = {}) {
        std::array<std::uint8_t, 256> channels{};
        channelsByPoint(state, channels);
        chain.startBuffer();
        for (int p = 1; p <= 255; ++p) {
            const auto it = levels.find(p);
            chain.pointStep(p, it == levels.end() ? 0.0f : it->second, channels[p]);
        }
        chain.outputStep();
    }
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
    FakeLightDevice device;
    LevelChain chain{state, view, device};
    BufferPipeline pipeline{state, view, device};
};

// Channel 2 at its start-up threshold 0.55 * 255 = 140.25 (as a float product), one buffer per
// row in order: the bar rounds halves to even and is touched only when its value changes.
TEST_F(BufferPipelineTest, ThresholdIsInclusiveAndBarsRoundHalvesToEven) {
    const float below = std::nextafter(140.25f, 0.0f);
    // Rows {level, bar, lit, bar touched}.
    const std::tuple<float, int, bool, bool> rows[] = {
        {0.0f, 0, false, false},     {140.25f, 140, true, true}, {below, 140, false, true},
        {140.0f, 140, false, false}, {2.5f, 2, false, true},     {3.5f, 4, false, true},
        {4.0f, 4, false, false},     {4.25f, 4, false, true}};
    for (const auto& [level, bar, lit, barTouched] : rows) {
        SCOPED_TRACE(level);
        const int updates = view.barUpdates;
        runBuffer({{state.ChannelFrequency[2], level}});
        EXPECT_EQ(view.bars[2], bar);
        EXPECT_EQ(view.barUpdates - updates, barTouched ? 1 : 0);
        EXPECT_EQ(chain.lightPattern(), lit ? 4 : 0);
        EXPECT_EQ(view.lamps[2], lit ? kYellow : kBlack);
    }
}

// With AGC the noise filter zeroes the gained levels below it (without AGC it does nothing).
TEST_F(BufferPipelineTest, AgcPeakIsPreGainAnEmptyPeriodGives178Point5AndCountsOnlyWhileOn) {
    state.AgcEnabled = true;
    state.AgcSpeed = 255;  // one update at the end of every buffer
    setGain(state, 0, 1);  // 4.0: the peak must not see it
    const int p = state.ChannelFrequency[0];
    runBuffer({{p, 50.0f}});
    EXPECT_FLOAT_EQ(chain.agcGain(), 255.0f / 50.0f * 0.7f);
    EXPECT_EQ(chain.lightPattern(), 0);  // gain 0 until that first update

    runBuffer({{p, 50.0f}});  // e = 3.57 * 200 lights white and fills the bar
    EXPECT_EQ(chain.lightPattern(), 1);
    EXPECT_EQ(view.lamps[0], kWhite);
    EXPECT_EQ(view.bars[0], 255);
    state.NoiseFilterLevel = 200.5f;  // above the gained level 200: zeroed, so dark and empty
    runBuffer({{p, 50.0f}});
    EXPECT_EQ(std::pair(chain.lightPattern(), view.bars[0]), std::pair(std::uint8_t{0}, 0));
    runBuffer();
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f);
    EXPECT_EQ(view.lamps[0], kBlack);

    state.AgcEnabled = false;  // the AGC counts only while on and keeps its state
    runBuffer({{p, 10.0f}});
    EXPECT_EQ(chain.agcCounter(), 0);
    EXPECT_FLOAT_EQ(chain.agcGain(), 178.5f);
}

// One buffer per row, every channel at threshold 0 (lit) or above its silent level (dark).
TEST_F(BufferPipelineTest, ChangedPatternsAreWrittenProbedAndSignalled) {
    // Rows {pattern, connected, written, SignalSeen}.
    const std::tuple<std::uint8_t, bool, bool, bool> rows[] = {
        {0, true, false, false},  {5, true, true, true},   {5, true, false, false},
        {64, true, true, true},   {128, true, true, true}, {63, true, true, true},
        {192, false, true, true}, {0, false, true, false}};
    for (const auto& [pattern, connected, written, signal] : rows) {
        SCOPED_TRACE(int{pattern});
        for (int ch = 0; ch < kChannelCount; ++ch) {
            state.ChannelThreshold[ch] = (pattern >> ch) & 1 ? 0.0f : 0.05f;
        }
        device.connected = connected;
        device.calls.clear();
        state.SignalSeen = false;
        runBuffer();
        EXPECT_EQ(state.SignalSeen, signal);
        using Call = FakeLightDevice::Call;
        const std::vector<Call> expected = {{Call::kOut, portBytesForPattern(pattern)},
                                            {Call::kInfra, {}}};
        EXPECT_EQ(device.calls, written ? expected : std::vector<Call>{});
        if (written) {
            EXPECT_EQ(view.connected, connected);
        }
    }
    EXPECT_EQ(view.statusUpdates, 6);
}

// Linear X, logarithmic Y. An impulse of one sample unit makes every point at most 1 in
// magnitude, so no fresh value is positive: the polygon draws it on or below the baseline, the
// held value is clamped at 0 after drawing, and each next segment restarts at y = p.
TEST_F(BufferPipelineTest, LinearPolygonRestartsAtThePointAndMarkersPrecedeTheirPoint) {
    state.XScaleLog = false;
    state.ChannelFrequency = {10, 20, 20, 40, 50, 60, 0, 300};
    test::SampleBuffer impulse = test::silenceBuffer();
    impulse[1] = 129;
    pipeline.ProcessBuffer(impulse.data());
    const auto graph = lines(false);
    ASSERT_EQ(graph.size(), 255u);
    for (int p = 1; p <= 255; ++p) {
        SCOPED_TRACE(p);
        const RecordingView::Line& line = graph[p - 1];
        EXPECT_LE(pipeline.spectrumRaw()[p], 0.0f);
        EXPECT_EQ(pipeline.spectrumHeld()[p], 0.0f);
        EXPECT_EQ(std::tuple(line.x1, line.y1, line.x2, line.colour),
                  std::tuple(p - 1.0f, static_cast<float>(p), static_cast<float>(p), kCyan));
        EXPECT_FLOAT_EQ(line.y2, 255.0f - pipeline.spectrumRaw()[p]);
    }
    // Points 20 (channels 1 and 2) take the lower channel's colour; 0 and 300 have no marker.
    std::vector<std::pair<float, Rgb>> markers;
    for (const RecordingView::Line& line : lines(true)) {
        markers.emplace_back(line.x1, line.colour);
    }
    EXPECT_EQ(
        markers,
        (std::vector<std::pair<float, Rgb>>{
            {10, {255, 0, 0}}, {20, {255, 0, 255}}, {40, kGreen}, {50, kCyan}, {60, {0, 0, 255}}}));
    EXPECT_EQ(view.lines[9].x1, 10.0f);  // the marker of point 10, then its graph element
    EXPECT_EQ(view.lines[10].x2, 10.0f);
    state.XScaleLog = true;  // x = 48 ln p
    pipeline.ProcessBuffer(impulse.data());
    EXPECT_EQ(lines(false)[15].x2, static_cast<float>(std::log(16.0) * 48.0));
}

}  // namespace
}  // namespace kalindor
