// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/usb/UsbIoBoard.h"

#include <array>
#include <cstdio>
#include <utility>

#include "core/MonotonicClock.h"

namespace kalindor {

namespace {

std::string idText(std::uint16_t vendorId, std::uint16_t productId) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04x:%04x", vendorId, productId);
    return text.data();
}

}  // namespace

UsbIoBoard::UsbIoBoard(std::unique_ptr<UsbTransport> transport, std::uint16_t vendorId,
                       std::uint16_t productId, Clock clockMs, ProblemHandler onProblem)
    : transport_(std::move(transport)),
      vendorId_(vendorId),
      productId_(productId),
      clockMs_(clockMs ? std::move(clockMs) : Clock(monotonicMs)),
      onProblem_(std::move(onProblem)) {}

UsbIoBoard::~UsbIoBoard() {
    if (open_) {
        transport_->close();
    }
}

std::int32_t UsbIoBoard::DoGetInfraCode(std::int32_t& code, std::int32_t, std::int32_t& count) {
    count = 0;
    if (!ensureOpen()) {
        return kNotConnected;
    }
    const std::optional<std::uint8_t> answer = transferByte(kRequestGetInfraCode, 0, 0);
    if (!answer) {
        return kNotConnected;
    }
    code = *answer;
    count = 1;
    return 0;
}

std::int32_t UsbIoBoard::DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                                 std::uint8_t third, std::uint8_t usedPorts) {
    // Remembered before anything else so that a board opened later gets them too.
    lastDirections_ = Directions{first, second, third, usedPorts};
    if (!ensureOpen()) {
        return kNotConnected;
    }
    return sendPorts(kRequestSetDirections, first, second, third, usedPorts) ? 0 : kNotConnected;
}

std::int32_t UsbIoBoard::DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                           std::uint8_t third, std::uint8_t usedPorts) {
    if (!ensureOpen()) {
        return kNotConnected;
    }
    return sendPorts(kRequestSetOutputs, first, second, third, usedPorts) ? 0 : kNotConnected;
}

bool UsbIoBoard::ensureOpen() {
    if (open_) {
        return true;
    }
    const std::int64_t now = clockMs_();
    if (rescanWaitStartMs_ && now - *rescanWaitStartMs_ < kRescanIntervalMs) {
        return false;
    }
    if (const Expected<void, UsbOpenError> opened = transport_->open(vendorId_, productId_);
        !opened) {
        rescanWaitStartMs_ = now;
        const std::string ids = idText(vendorId_, productId_);
        const UsbOpenError& failure = opened.error();
        switch (failure.kind) {
            case UsbOpenError::Kind::kPermissionDenied: {
                std::string text =
                    "USB board " + ids + " found but not accessible: install " + kUdevRulePath;
                if (vendorId_ != kUsbBoardVendorId || productId_ != kUsbBoardProductId) {
                    text += " with its ids changed to " + ids;
                }
                reportOnce(permissionReported_, text + " (see README)");
                break;
            }
            case UsbOpenError::Kind::kUnavailable:
                reportOnce(unavailableReported_, "USB access unavailable (" + failure.detail +
                                                     "): the USB board cannot be used");
                break;
            case UsbOpenError::Kind::kError:
                reportOnce(openErrorReported_,
                           "USB board " + ids + " found but cannot be opened: " + failure.detail);
                break;
            case UsbOpenError::Kind::kNotFound:
                break;
        }
        return false;
    }
    open_ = true;
    rescanWaitStartMs_.reset();
    if (lastDirections_) {
        const Directions d = *lastDirections_;
        return sendPorts(kRequestSetDirections, d.portB, d.portC, d.portD, d.usedPorts);
    }
    return true;
}

bool UsbIoBoard::sendPorts(std::uint8_t request, std::uint8_t portB, std::uint8_t portC,
                           std::uint8_t portD, std::uint8_t usedPorts) {
    const auto value = static_cast<std::uint16_t>(portB | (portC << 8));
    const auto index = static_cast<std::uint16_t>(portD | (usedPorts << 8));
    return transferByte(request, value, index).has_value();
}

std::optional<std::uint8_t> UsbIoBoard::transferByte(std::uint8_t request, std::uint16_t value,
                                                     std::uint16_t index) {
    std::uint8_t answer = 0;
    const int received = transport_->controlTransfer(request, value, index, &answer, 1);
    if (received < 1) {
        dropConnection();
        return std::nullopt;
    }
    return answer;
}

void UsbIoBoard::dropConnection() {
    transport_->close();
    open_ = false;
    rescanWaitStartMs_ = clockMs_();
}

void UsbIoBoard::reportOnce(bool& reported, const std::string& text) {
    if (reported) {
        return;
    }
    reported = true;
    if (onProblem_) {
        onProblem_(text);
    }
}

}  // namespace kalindor
