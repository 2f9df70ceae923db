// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/SharedState.h"

namespace kalindor {

// A run of snapshots in which one channel stays lit: [first, end) in snapshot indices.
struct LitStretch {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    friend bool operator==(const LitStretch&, const LitStretch&) = default;
};

// What one channel does over the whole song.
struct ChannelSummary {
    double litShare = 0.0;           // 0..1, share of the snapshots in which it is lit
    double switchesPerMinute = 0.0;  // lit/unlit changes per minute of song
    std::vector<LitStretch> stretches;
};

// The light show the buffer pipeline computes for a recording, snapshot by snapshot, as the
// capture tick would see it (the effects automaton is not run). Snapshot k starts at
// k * tickMs of the song.
struct SongPreview {
    int tickMs = 0;
    std::int64_t durationMs = 0;         // length of the recording
    std::vector<std::uint8_t> patterns;  // light pattern per snapshot, bit ch = channel ch
    std::vector<std::array<std::uint8_t, kChannelCount>> levels;  // level bars per snapshot
    std::vector<std::uint8_t> loudness;  // per snapshot: RMS of the samples around 128, x2
    std::array<ChannelSummary, kChannelCount> channels{};

    std::size_t snapshots() const { return patterns.size(); }
};

// Fewer samples than this give no snapshot at all.
inline constexpr std::size_t kPreviewMinimumSamples = 256;

// Runs the analysis over capture-format samples (32000 Hz, unsigned 8-bit) with a copy of
// `settings` (left untouched), one snapshot every settings.ScanPeriodMs. Calling thread only;
// thousands of times real time (a 4-minute song in a few tens of ms).
SongPreview previewSong(std::span<const std::uint8_t> samples, const SharedState& settings);

}  // namespace kalindor
