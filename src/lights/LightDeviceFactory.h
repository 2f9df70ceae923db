#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/LightDevice.h"
#include "lights/usb/UsbIoBoard.h"

namespace kalindor {

// How to build the light device of a run (the --device and --usb-id choices).
struct DeviceOptions {
    std::string kind = "usb";  // "usb" (the USB board), "sim" (simulated), "none" (absent)
    std::uint16_t vendorId = kUsbBoardVendorId;    // usb only
    std::uint16_t productId = kUsbBoardProductId;  // usb only
    std::FILE* simLog = nullptr;            // sim only: where each port write is logged; not owned
    std::function<std::int64_t()> clockMs;  // monotonic ms; empty = the steady clock
    // Problems the user can fix (board not accessible, USB unavailable, log write failed).
    // Called on the main thread from inside a device call.
    std::function<void(const std::string&)> onProblem;
};

// The device of `options.kind` (never null); fails for an unknown kind. Creating a USB board
// touches no hardware; the bus is first looked at by the first device call.
Expected<std::unique_ptr<LightDevice>> createLightDevice(const DeviceOptions& options);

}  // namespace kalindor
