// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "core/Expected.h"

namespace kalindor {

// Why the USB board could not be opened.
struct UsbOpenError {
    enum class Kind {
        kNotFound,          // no device with these ids on the bus
        kPermissionDenied,  // such a device exists but this user may not open it
        kUnavailable,       // USB access as a whole is unusable (the library failed to start)
        kError,             // such a device exists but opening or claiming it failed otherwise
    };
    Kind kind = Kind::kNotFound;
    std::string detail;  // for kUnavailable and kError: what failed, for the user
};

// The few USB operations the board driver needs. Implemented over libusb by LibusbTransport
// and by a recording fake in the tests. Every transfer is a vendor control transfer from the
// device to the host (bmRequestType 0xC0) on endpoint 0. Main thread only.
class UsbTransport {
  public:
    virtual ~UsbTransport() = default;

    // Opens the first device with these ids, detaching any kernel driver from interface 0 and
    // claiming it (configured, interface 0 claimed on success). Must not be called while open.
    virtual Expected<void, UsbOpenError> open(std::uint16_t vendorId, std::uint16_t productId) = 0;
    // One control transfer reading up to `length` bytes (at most 255) into `buffer`. Returns the
    // number of bytes received (0..length), or a negative value when the transfer failed
    // (device gone, timeout, stall). Gives up within 500 ms. Only while open.
    virtual int controlTransfer(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                std::uint8_t* buffer, std::uint16_t length) = 0;
    // Releases the interface and the handle. Harmless when not open.
    virtual void close() = 0;
};

}  // namespace kalindor
