// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "lights/usb/UsbTransport.h"

namespace kalindor::test {

// A USB transport that records every call and answers as scripted: open() answers `openResult`
// (success by default); a transfer answers `defaultReply`: a negative value fails the transfer,
// 0 returns no byte, 1 returns `answerByte`.
class FakeUsbTransport final : public UsbTransport {
  public:
    struct Transfer {
        std::uint8_t request;
        std::uint16_t value;
        std::uint16_t index;
        std::uint16_t length;
        friend bool operator==(const Transfer&, const Transfer&) = default;
    };

    Expected<void, UsbOpenError> open(std::uint16_t vendorId, std::uint16_t productId) override {
        ++openAttempts;
        lastVendorId = vendorId;
        lastProductId = productId;
        misuse = misuse || isOpen;
        isOpen = openResult.has_value();
        return openResult;
    }
    int controlTransfer(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                        std::uint8_t* buffer, std::uint16_t length) override {
        misuse = misuse || !isOpen;
        transfers.push_back({request, value, index, length});
        if (defaultReply > 0 && length > 0) {
            buffer[0] = answerByte;
            return 1;
        }
        return defaultReply < 0 ? defaultReply : 0;
    }
    void close() override {
        ++closes;
        isOpen = false;
    }

    // Script.
    Expected<void, UsbOpenError> openResult;  // success unless a test scripts a failure
    int defaultReply = 1;
    std::uint8_t answerByte = 0;

    // Record.
    int openAttempts = 0;
    int closes = 0;
    std::uint16_t lastVendorId = 0;
    std::uint16_t lastProductId = 0;
    bool isOpen = false;
    bool misuse = false;  // open while open, or a transfer while closed
    std::vector<Transfer> transfers;
};

}  // namespace kalindor::test
