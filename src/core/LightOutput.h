// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/PipelineView.h"
#include "core/SharedState.h"

namespace kalindor {

// The level of every channel, 0..255 (the level bars' values).
using ChannelLevels = std::array<std::uint8_t, kChannelCount>;

// What a DMX output sends for a lit channel: 255 (switch) or the channel's level (dim); a dark
// channel is always 0.
enum class DmxLevels { kSwitch, kDim };

// The colour each channel shows on a colour light (RGB, RGBW, pixels); the window's spectrum
// graph marks the channels in the same colours, so graph and lights agree.
using ChannelColours = std::array<Rgb, kChannelCount>;
inline constexpr ChannelColours kDefaultChannelColours{{
    {255, 0, 0},      // red
    {255, 0, 255},    // magenta
    {255, 255, 0},    // yellow
    {0, 255, 0},      // green
    {0, 255, 255},    // cyan
    {0, 0, 255},      // blue
    {192, 192, 255},  // light blue
    {255, 255, 255},  // white
}};

// How a DMX output lays the eight channels on its slots.
enum class DmxLayout {
    kDimmer,  // one slot a channel: its level
    kRgb,     // three slots a channel: red, green, blue
    kRgbw,    // four slots a channel: red, green, blue, white
    kPixels,  // an LED strip, three slots an LED, `pixels` LEDs a channel
};

inline constexpr int kDmxSlots = 512;
// A strip continues on the next universes at slot 1, this many LEDs (510 slots) in each, as
// pixel controllers and WLED count; an LED never straddles two universes.
inline constexpr int kLedsPerUniverse = 170;
// The most universes one strip may take.
inline constexpr int kMaxStripUniverses = 8;

// Where one DMX output puts its channels: from `firstSlot` (1..512) of `universe` in `layout`.
struct DmxPlacement {
    std::uint32_t universe = 1;
    int firstSlot = 1;
    DmxLayout layout = DmxLayout::kDimmer;
    int pixels = 1;  // kPixels: LEDs per channel, >= 1

    // Slots one channel takes: 1, 3, 4 or 3 * pixels.
    constexpr int slotsPerChannel() const {
        switch (layout) {
            case DmxLayout::kRgb:
                return 3;
            case DmxLayout::kRgbw:
                return 4;
            case DmxLayout::kPixels:
                return 3 * pixels;
            case DmxLayout::kDimmer:
                break;
        }
        return 1;
    }
    // kPixels: the LEDs of the strip that fit in the first universe from firstSlot.
    constexpr int ledsInFirstUniverse() const { return (kDmxSlots - firstSlot + 1) / 3; }
    // kPixels: the longest strip (LEDs) that fits in kMaxStripUniverses universes.
    constexpr int maxLeds() const {
        return ledsInFirstUniverse() + (kMaxStripUniverses - 1) * kLedsPerUniverse;
    }
    // The universes used, from `universe` on: 1 but for a strip that continues.
    constexpr int universeCount() const {
        const int leds = kChannelCount * pixels;
        if (layout != DmxLayout::kPixels || leds <= ledsInFirstUniverse()) {
            return 1;
        }
        return 1 + (leds - ledsInFirstUniverse() + kLedsPerUniverse - 1) / kLedsPerUniverse;
    }
    friend bool operator==(const DmxPlacement&, const DmxPlacement&) = default;
};

// The TCP port the OLA daemon listens on unless told otherwise.
inline constexpr int kDefaultOlaPort = 9010;

// Why a frame is handed over; the USB board acts on each differently (the others show them all
// alike).
enum class FrameKind : std::uint8_t {
    kBuffer,   // after every buffer: the board writes the pattern when it differs from the last
               // buffer's (0 before the first) and then probes
    kStep,     // an automaton step: the board writes the pattern whatever it was
    kPrepare,  // start-up and Start, pattern 0: the board is probed and, when there, its port
               // directions set and the dark pattern written
};

// The light state handed to every output.
struct LightFrame {
    std::uint8_t pattern = 0;  // bit ch set = channel ch lit
    // The level bars' values after a buffer; 255 for every channel after an automaton step (its
    // lit channels are full on); 0 in a prepare frame.
    ChannelLevels levels{};
    FrameKind kind = FrameKind::kBuffer;
    friend bool operator==(const LightFrame&, const LightFrame&) = default;
};

// Where the level chain, the automaton and the engine hand their frames: the outputs of a run,
// or the light delay in front of them. Main thread only; no call allocates or blocks for long.
class LightSink {
  public:
    virtual ~LightSink() = default;

    // One frame, once per buffer, per automaton step or per prepare. Returns whether the USB
    // board is connected when this frame made it answer (a port write or a probe), std::nullopt
    // when the board was not asked; behind a delay, the last answer heard so far.
    virtual std::optional<bool> show(const LightFrame& frame) = 0;
    // Capture started (true) or stopped (false).
    virtual void setRunning(bool running) = 0;
};

// One light output: the USB board (or its simulated or absent stand-in), a DMX universe, GPIO
// relays. Owned by the output list. Every call comes from the main thread and returns at once; an
// output whose peer can be slow or absent talks to it on a thread of its own.
class LightOutput {
  public:
    virtual ~LightOutput() = default;

    // Short name for the status line and messages, e.g. "USB", "OLA 1", "GPIO gpiochip0".
    virtual std::string name() const = 0;
    // A frame from the producers (see FrameKind).
    virtual void show(const LightFrame& frame) = 0;
    // Capture started (true) or stopped (false). While running, an output that needs it
    // repeats the current frame; on stop it shows the dark frame once.
    virtual void setRunning(bool running) = 0;
    // Whether the output reaches its lights now (may change at any time for network outputs;
    // the board's last answer). Polled once a second, never per buffer.
    virtual bool connected() const = 0;
};

}  // namespace kalindor
