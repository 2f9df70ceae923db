// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/SharedState.h"

namespace kalindor {

// The level of every channel, 0..255 (the level bars' values).
using ChannelLevels = std::array<std::uint8_t, kChannelCount>;

// What a DMX output sends for a lit channel: 255 (switch) or the channel's level (dim); a dark
// channel is always 0.
enum class DmxLevels { kSwitch, kDim };

// The TCP port the OLA daemon listens on unless told otherwise.
inline constexpr int kDefaultOlaPort = 9010;

// The light state handed to the outputs besides the USB board.
struct LightFrame {
    std::uint8_t pattern = 0;  // bit ch set = channel ch lit
    // The level bars' values after a buffer; 255 for every channel after an automaton step (its
    // lit channels are full on).
    ChannelLevels levels{};
    friend bool operator==(const LightFrame&, const LightFrame&) = default;
};

// A light output besides the USB board: a DMX universe, GPIO relays. Owned by the output
// layer. Every call comes from the main thread and returns at once; an output whose peer can
// be slow or absent talks to it on a thread of its own.
class LightOutput {
  public:
    virtual ~LightOutput() = default;

    // Short name for the status line and messages, e.g. "OLA 1", "GPIO gpiochip0".
    virtual std::string name() const = 0;
    // The light state changed (a pattern write, or the levels of a new buffer).
    virtual void show(const LightFrame& frame) = 0;
    // Capture started (true) or stopped (false). While running, an output that needs it
    // repeats the current frame; on stop it shows the dark frame once.
    virtual void setRunning(bool running) = 0;
    // Whether the output reaches its lights now (may change at any time for network outputs).
    virtual bool connected() const = 0;
};

}  // namespace kalindor
