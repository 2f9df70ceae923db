// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Expected.h"
#include "core/TimerPort.h"
#include "launch/OutputChoices.h"
#include "lights/DelayedLights.h"
#include "lights/LightOutputs.h"
#include "lights/usb/LightDevice.h"
#include "lights/usb/UsbIoBoard.h"

namespace kalindor {

// How to build the light device of a run (the --device and --usb-id choices).
struct DeviceOptions {
    std::string kind = "usb";  // "usb" (the USB board), "sim" (simulated), "none" (absent)
    std::uint16_t vendorId = kUsbBoardVendorId;    // usb only
    std::uint16_t productId = kUsbBoardProductId;  // usb only
    std::FILE* simLog = nullptr;            // sim only: where each port write is logged; not owned
    std::function<std::int64_t()> clockMs;  // monotonic ms; empty = the steady clock
    // usb only: the bus the board is looked for on; empty = libusb.
    std::function<std::unique_ptr<UsbTransport>()> usbTransport;
    // Problems the user can fix (board not accessible, USB unavailable, log write failed).
    // Called on the main thread from inside a device call.
    std::function<void(const std::string&)> onProblem;
};

// The device of `options.kind` (never null); fails for an unknown kind. Creating a USB board
// touches no hardware; the bus is first looked at by the first device call.
Expected<std::unique_ptr<LightDevice>> createLightDevice(const DeviceOptions& options);

// What the outputs of a run need besides the choices.
struct LightSetupOptions {
    std::FILE* simLog = nullptr;                                  // as DeviceOptions::simLog
    std::function<std::int64_t()> clockMs;                        // as DeviceOptions::clockMs
    std::function<void(const std::string&)> onProblem;            // as DeviceOptions::onProblem
    std::function<std::unique_ptr<UsbTransport>()> usbTransport;  // as DeviceOptions
};

// The light outputs of a run: the board device, the list of outputs (the board first), and the
// light delay in front of them (which passes every call straight through at 0 ms). Destroy it
// after the engine that writes it; the members go in reverse order, the delay handing over what
// still waits first.
struct LightSetup {
    OutputChoices choices;                   // what the outputs were built from
    std::unique_ptr<LightDevice> board;      // never null
    std::unique_ptr<LightOutputs> outputs;   // never null
    std::unique_ptr<DelayedLights> delayed;  // never null
    // Outputs that could not be opened, one line each naming the output; each stays in the
    // list as a FailedOutput, so the status line names it.
    std::vector<std::string> failures;

    // Where the engine hands its frames.
    LightSink& sink() const;
};

// Builds the outputs of `choices`; `timers` (which must outlive the setup) runs the delay.
LightSetup createLightSetup(const OutputChoices& choices, const LightSetupOptions& options,
                            TimerPort& timers);

// Makes `setup` run `next` at once, between two frames, whether capture runs or not (see
// LightOutputs::replace): an output built alike from both keeps running untouched (the board
// too, when its kind and USB id stay), the others are opened or closed, a failed one is tried
// again, the delay takes the new value. Every new output is opened before anything changes;
// when one cannot be, nothing changes and the error is that output's one line.
Expected<void> applyLightChoices(LightSetup& setup, const OutputChoices& next,
                                 const LightSetupOptions& options);

// The name an output of `choice` goes by ("OLA 1", "GPIO gpiochip0", "USB").
std::string outputName(const OutputChoice& choice);

}  // namespace kalindor
