// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lights/usb/LightDevice.h"
#include "lights/usb/UsbTransport.h"

namespace kalindor {

// Ids of the AVR309-family USB I/O board with the ATmega8 three-port firmware.
inline constexpr std::uint16_t kUsbBoardVendorId = 0x03EB;
inline constexpr std::uint16_t kUsbBoardProductId = 0x21FF;

// Where the udev rule that grants access to the board ships, named in the permission message.
inline constexpr const char* kUdevRulePath = "packaging/udev/60-kalindor.rules";

// The USB I/O board as a light device. The library's three arguments map to the board's ports:
// first -> port B, second -> port C, third -> port D; usedPorts bit 0 = B, bit 1 = C, bit 2 = D.
//
// Every call opens the board first when it is not open, so a board plugged in late is picked up
// by the next call; while the board is absent the bus is rescanned at most every 500 ms and a
// call in between answers kNotConnected at once. A failed transfer (board pulled, sick board)
// answers kNotConnected, releases the handle and starts the same 500 ms wait. When the board
// is opened again, the port directions last asked for are sent again first, since a board that
// powers up has every pin as an input and would light nothing until the next Start.
//
// Main thread only. Each call blocks for at most one open and two transfers.
class UsbIoBoard final : public LightDevice {
  public:
    using Clock = std::function<std::int64_t()>;                     // monotonic milliseconds
    using ProblemHandler = std::function<void(const std::string&)>;  // one line, no newline

    // `clockMs` defaults to the steady clock. `onProblem` hears, once per kind for the board's
    // life, about problems the user can fix (no permission, no USB access, the board cannot be
    // claimed). It is called from inside a device call on the main thread, so a window should
    // queue its message box rather than open it from the handler.
    explicit UsbIoBoard(std::unique_ptr<UsbTransport> transport,
                        std::uint16_t vendorId = kUsbBoardVendorId,
                        std::uint16_t productId = kUsbBoardProductId, Clock clockMs = {},
                        ProblemHandler onProblem = {});
    ~UsbIoBoard() override;
    UsbIoBoard(const UsbIoBoard&) = delete;
    UsbIoBoard& operator=(const UsbIoBoard&) = delete;

    // Sets `code` to the board's answer byte and `count` to the bytes received (0 when not
    // connected).
    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override;
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override;
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override;

    bool isOpen() const { return open_; }

    // Board requests (bRequest) and the wait between bus rescans.
    static constexpr std::uint8_t kRequestGetInfraCode = 2;
    static constexpr std::uint8_t kRequestSetDirections = 3;
    static constexpr std::uint8_t kRequestSetOutputs = 5;
    static constexpr std::int64_t kRescanIntervalMs = 500;

  private:
    // Opens the board unless it is open or the last attempt is under 500 ms old.
    bool ensureOpen();
    // One transfer of a port request; false (and the handle released) when it fails.
    bool sendPorts(std::uint8_t request, std::uint8_t portB, std::uint8_t portC, std::uint8_t portD,
                   std::uint8_t usedPorts);
    // Reads one answer byte; std::nullopt (and the handle released) when none comes.
    std::optional<std::uint8_t> transferByte(std::uint8_t request, std::uint16_t value,
                                             std::uint16_t index);
    void dropConnection();
    void reportOnce(bool& reported, const std::string& text);

    struct Directions {
        std::uint8_t portB, portC, portD, usedPorts;
    };

    std::unique_ptr<UsbTransport> transport_;
    std::uint16_t vendorId_;
    std::uint16_t productId_;
    Clock clockMs_;
    ProblemHandler onProblem_;
    bool open_ = false;
    std::optional<std::int64_t> rescanWaitStartMs_;  // start of the current rescan wait
    std::optional<Directions> lastDirections_;
    bool permissionReported_ = false;
    bool unavailableReported_ = false;
    bool openErrorReported_ = false;
};

}  // namespace kalindor
