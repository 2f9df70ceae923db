// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "core/CaptureFormat.h"
#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"

namespace kalindor {

// What one snapshot of an offline analysis produced.
struct SnapshotResult {
    std::int64_t timeMs = 0;                         // k * tick
    std::uint8_t pattern = 0;                        // LightPattern after the buffer
    std::array<std::uint8_t, kChannelCount> bars{};  // ChannelShown after the buffer
};

// Longest text of one result line, "<ms> <pattern> <bar1> ... <bar8>\n".
inline constexpr std::size_t kSnapshotLineMax = 20 + 1 + 3 + kChannelCount * 4 + 1;

// Runs the buffer pipeline over the snapshots of a capture-format recording, as the capture
// tick would every tickMs: snapshot k covers samples [k * tickMs * 32, k * tickMs * 32 + 256),
// and the run stops when fewer than 256 samples remain. tickMs must be >= 1. onSnapshot hears
// each result in order. Runs on the calling thread; the pipeline state starts fresh.
void analyzeRecording(std::span<const std::uint8_t> samples, int tickMs, SharedState& state,
                      PipelineView& view, LightSink& lights,
                      const std::function<void(const SnapshotResult&)>& onSnapshot);

// Writes one result as "<ms> <pattern> <bar1> ... <bar8>\n" (decimal, single blanks) into
// line, which must hold kSnapshotLineMax chars; returns the length written.
std::size_t formatSnapshotLine(const SnapshotResult& result, char* line);

}  // namespace kalindor
