// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/SongPreview.h"

#include <algorithm>
#include <cmath>

#include "core/CaptureFormat.h"
#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "dsp/OfflineAnalysis.h"

namespace kalindor {

namespace {

// The pipeline hands its frames somewhere; offline nothing is connected.
class NoLights final : public LightSink {
  public:
    std::optional<bool> show(const LightFrame&) override { return std::nullopt; }
    void setRunning(bool) override {}
};

std::uint8_t snapshotLoudness(const std::uint8_t* samples) {
    double sum = 0.0;
    for (int i = 0; i < kBufferSamples; ++i) {
        const double x = static_cast<double>(samples[i]) - 128.0;
        sum += x * x;
    }
    return static_cast<std::uint8_t>(std::min(255.0, 2.0 * std::sqrt(sum / kBufferSamples)));
}

}  // namespace

SongPreview previewSong(std::span<const std::uint8_t> samples, const SharedState& settings) {
    SongPreview preview;
    preview.tickMs = std::max<int>(1, settings.ScanPeriodMs);
    preview.durationMs = static_cast<std::int64_t>(samples.size()) / kSamplesPerMs;
    const std::size_t stride = static_cast<std::size_t>(preview.tickMs) * kSamplesPerMs;
    const std::size_t count = samples.size() < kPreviewMinimumSamples
                                  ? 0
                                  : (samples.size() - kBufferSamples) / stride + 1;
    preview.patterns.reserve(count);
    preview.levels.reserve(count);
    preview.loudness.reserve(count);

    SharedState state = settings;
    NullView view;
    NoLights lights;
    analyzeRecording(samples, preview.tickMs, state, view, lights,
                     [&](const SnapshotResult& result) {
                         preview.patterns.push_back(result.pattern);
                         preview.levels.push_back(result.bars);
                         preview.loudness.push_back(
                             snapshotLoudness(samples.data() + preview.loudness.size() * stride));
                     });

    const double minutes = static_cast<double>(preview.durationMs) / 60000.0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ChannelSummary& summary = preview.channels[ch];
        std::size_t lit = 0;
        std::size_t switches = 0;
        bool before = false;
        for (std::size_t k = 0; k < preview.patterns.size(); ++k) {
            const bool now = (preview.patterns[k] >> ch & 1) != 0;
            if (now) {
                ++lit;
                if (!before) {
                    summary.stretches.push_back({static_cast<std::uint32_t>(k), 0});
                }
                summary.stretches.back().end = static_cast<std::uint32_t>(k + 1);
            }
            switches += now != before ? 1 : 0;
            before = now;
        }
        if (!preview.patterns.empty()) {
            summary.litShare = static_cast<double>(lit) / static_cast<double>(count);
        }
        summary.switchesPerMinute = minutes > 0.0 ? static_cast<double>(switches) / minutes : 0.0;
    }
    return preview;
}

}  // namespace kalindor
