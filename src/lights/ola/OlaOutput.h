// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "core/LightOutput.h"

namespace kalindor {

// One DMX output sent through the local OLA daemon: a universe, or the run of universes a
// long strip takes.
struct OlaOutputOptions {
    std::uint32_t universe = 1;
    int firstSlot = 1;  // DMX slot of channel 1's first slot; the layout fits from there
    DmxLevels levels = DmxLevels::kSwitch;
    int port = kDefaultOlaPort;  // TCP port of the daemon on 127.0.0.1
    DmxLayout layout = DmxLayout::kDimmer;
    int pixels = 1;  // kPixels: LEDs per channel; the strip fits in kMaxStripUniverses
    ChannelColours colours = kDefaultChannelColours;  // rgb, rgbw, pixels
};

// The output (never null). Creating it does not wait for the daemon: it connects, sends and
// reconnects on a thread of its own, so no call blocks and an absent daemon only shows as
// connected() == false. A lit channel sends its value on its slots, a dark one 0 on all of
// them: dimmer, 255 (switch) or its level (dim) on one slot; rgb, its colour (switch) or its
// colour scaled by level / 255, rounded (dim), as R, G, B; rgbw, that colour as R, G, B, W with
// W = min(R, G, B) taken out of the three; pixels, that colour as R, G, B on each of its LEDs.
// every change is sent at once and, while running, the frame is repeated twice a second; an
// absent or lost daemon is tried again at most once a second and gets the current frame as
// soon as it answers.
std::unique_ptr<LightOutput> createOlaOutput(const OlaOutputOptions& options);

}  // namespace kalindor
