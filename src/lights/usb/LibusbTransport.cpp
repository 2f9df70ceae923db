// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/usb/LibusbTransport.h"

#include <libusb.h>

#include <string>

namespace kalindor {

static_assert(LibusbTransport::kRequestTypeVendorIn ==
              (int{LIBUSB_ENDPOINT_IN} | int{LIBUSB_REQUEST_TYPE_VENDOR} |
               int{LIBUSB_RECIPIENT_DEVICE}));

namespace {

std::string errorText(int error) {
    return std::string("libusb ") + libusb_error_name(error);
}

Unexpected<UsbOpenError> failure(int error) {
    if (error == LIBUSB_ERROR_ACCESS) {
        return unexpected(UsbOpenError{UsbOpenError::Kind::kPermissionDenied, errorText(error)});
    }
    return unexpected(UsbOpenError{UsbOpenError::Kind::kError, errorText(error)});
}

}  // namespace

LibusbTransport::~LibusbTransport() {
    close();
    if (context_ != nullptr) {
        libusb_exit(context_);
    }
}

bool LibusbTransport::ensureContext() {
    if (context_ != nullptr) {
        return true;
    }
    if (initFailed_) {
        return false;
    }
    const int error = libusb_init(&context_);
    if (error != LIBUSB_SUCCESS) {
        context_ = nullptr;
        initFailed_ = true;
        initError_ = error;
        return false;
    }
    return true;
}

Expected<void, UsbOpenError> LibusbTransport::open(std::uint16_t vendorId,
                                                   std::uint16_t productId) {
    close();
    if (!ensureContext()) {
        return unexpected(
            UsbOpenError{UsbOpenError::Kind::kUnavailable, errorText(initError_) + " at start-up"});
    }
    libusb_device** devices = nullptr;
    const ssize_t deviceCount = libusb_get_device_list(context_, &devices);
    if (deviceCount < 0) {
        return unexpected(
            UsbOpenError{UsbOpenError::Kind::kError,
                         errorText(static_cast<int>(deviceCount)) + " listing USB devices"});
    }
    // A matching device that fails to open is remembered so that another one may still win;
    // lack of permission is reported over other failures since the user can fix it.
    Expected<void, UsbOpenError> result =
        unexpected(UsbOpenError{UsbOpenError::Kind::kNotFound, {}});
    for (ssize_t i = 0; i < deviceCount; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(devices[i], &descriptor) != LIBUSB_SUCCESS ||
            descriptor.idVendor != vendorId || descriptor.idProduct != productId) {
            continue;
        }
        Expected<void, UsbOpenError> attempt = openAndClaim(devices[i]);
        if (attempt) {
            result = attempt;
            break;
        }
        if (result.error().kind != UsbOpenError::Kind::kPermissionDenied) {
            result = attempt;
        }
    }
    libusb_free_device_list(devices, 1);
    return result;
}

Expected<void, UsbOpenError> LibusbTransport::openAndClaim(libusb_device* device) {
    libusb_device_handle* handle = nullptr;
    int error = libusb_open(device, &handle);
    if (error != LIBUSB_SUCCESS) {
        return failure(error);
    }
    // Auto-detach gives the interface back to a kernel driver on release; where it is not
    // supported, detach by hand.
    if (libusb_set_auto_detach_kernel_driver(handle, 1) != LIBUSB_SUCCESS &&
        libusb_kernel_driver_active(handle, kInterface) == 1) {
        error = libusb_detach_kernel_driver(handle, kInterface);
        if (error != LIBUSB_SUCCESS) {
            libusb_close(handle);
            return failure(error);
        }
    }
    int configuration = 0;
    error = libusb_get_configuration(handle, &configuration);
    if (error == LIBUSB_SUCCESS && configuration != kConfiguration) {
        error = libusb_set_configuration(handle, kConfiguration);
    }
    if (error == LIBUSB_SUCCESS) {
        error = libusb_claim_interface(handle, kInterface);
    }
    if (error != LIBUSB_SUCCESS) {
        libusb_close(handle);
        return failure(error);
    }
    handle_ = handle;
    return {};
}

int LibusbTransport::controlTransfer(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                     std::uint8_t* buffer, std::uint16_t length) {
    if (handle_ == nullptr) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (length > kMaxLength) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return libusb_control_transfer(handle_, kRequestTypeVendorIn, request, value, index, buffer,
                                   length, kTransferTimeoutMs);
}

void LibusbTransport::close() {
    if (handle_ == nullptr) {
        return;
    }
    // Fails harmlessly when the board is already gone.
    libusb_release_interface(handle_, kInterface);
    libusb_close(handle_);
    handle_ = nullptr;
}

}  // namespace kalindor
