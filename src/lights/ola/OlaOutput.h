// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "core/LightOutput.h"

namespace kalindor {

// One DMX universe sent through the local OLA daemon.
struct OlaOutputOptions {
    std::uint32_t universe = 1;
    int firstSlot = 1;  // DMX slot (1..505) of channel 1; channel 8 is firstSlot + 7
    DmxLevels levels = DmxLevels::kSwitch;
    int port = kDefaultOlaPort;  // TCP port of the daemon on 127.0.0.1
};

// The output (never null). Creating it does not wait for the daemon: it connects, sends and
// reconnects on a thread of its own, so no call blocks and an absent daemon only shows as
// connected() == false. A lit channel sends 255 (switch) or its level (dim), a dark one 0;
// every change is sent at once and, while running, the frame is repeated twice a second; an
// absent or lost daemon is tried again at most once a second and gets the current frame as
// soon as it answers.
std::unique_ptr<LightOutput> createOlaOutput(const OlaOutputOptions& options);

}  // namespace kalindor
