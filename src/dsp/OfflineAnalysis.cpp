// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/OfflineAnalysis.h"

#include <charconv>
#include <memory>

#include "dsp/BufferPipeline.h"
#include "dsp/RealFft.h"

namespace kalindor {

void analyzeRecording(std::span<const std::uint8_t> samples, int tickMs, SharedState& state,
                      PipelineView& view, LightSink& lights,
                      const std::function<void(const SnapshotResult&)>& onSnapshot) {
    if (tickMs < 1) {
        return;
    }
    // The pipeline keeps three 1 KiB arrays; keep it off the caller's stack.
    const auto pipeline = std::make_unique<BufferPipeline>(state, view, lights);
    const std::size_t stride = static_cast<std::size_t>(tickMs) * kSamplesPerMs;
    SnapshotResult result;
    for (std::size_t k = 0, start = 0;
         start <= samples.size() && samples.size() - start >= static_cast<std::size_t>(kFftSize);
         ++k, start += stride) {
        pipeline->ProcessBuffer(samples.data() + start);
        result.timeMs = static_cast<std::int64_t>(k) * tickMs;
        result.pattern = pipeline->lightPattern();
        result.bars = pipeline->channelShown();
        onSnapshot(result);
    }
}

std::size_t formatSnapshotLine(const SnapshotResult& result, char* line) {
    char* const end = line + kSnapshotLineMax;
    char* out = std::to_chars(line, end, result.timeMs).ptr;
    *out++ = ' ';
    out = std::to_chars(out, end, int{result.pattern}).ptr;
    for (const std::uint8_t bar : result.bars) {
        *out++ = ' ';
        out = std::to_chars(out, end, int{bar}).ptr;
    }
    *out++ = '\n';
    return static_cast<std::size_t>(out - line);
}

}  // namespace kalindor
