// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "lights/usb/UsbTransport.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace kalindor {

// UsbTransport over libusb-1.0. The libusb context is created by the first open() and lives
// until the transport is destroyed; when it cannot be created, every open() answers
// kUnavailable without trying again. Main thread only.
class LibusbTransport final : public UsbTransport {
  public:
    LibusbTransport() = default;
    ~LibusbTransport() override;
    LibusbTransport(const LibusbTransport&) = delete;
    LibusbTransport& operator=(const LibusbTransport&) = delete;

    Expected<void, UsbOpenError> open(std::uint16_t vendorId, std::uint16_t productId) override;
    int controlTransfer(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                        std::uint8_t* buffer, std::uint16_t length) override;
    void close() override;

    // bmRequestType of every transfer: vendor request, device to host, recipient device.
    static constexpr std::uint8_t kRequestTypeVendorIn = 0xC0;
    // A healthy board answers within a few frames; a sick one must not hold the window long.
    static constexpr unsigned kTransferTimeoutMs = 250;
    static constexpr int kConfiguration = 1;
    static constexpr int kInterface = 0;
    static constexpr std::uint16_t kMaxLength = 255;

  private:
    // Creates the context on first use; false when libusb cannot start.
    bool ensureContext();
    // Opens one matching device and prepares it; on failure nothing stays open.
    Expected<void, UsbOpenError> openAndClaim(libusb_device* device);

    libusb_context* context_ = nullptr;
    bool initFailed_ = false;
    int initError_ = 0;
    libusb_device_handle* handle_ = nullptr;
};

}  // namespace kalindor
