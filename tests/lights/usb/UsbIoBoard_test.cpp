// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/usb/UsbIoBoard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/FakeUsbTransport.h"

namespace kalindor {
namespace {

using test::FakeUsbTransport;
using Transfer = FakeUsbTransport::Transfer;

// Requests as the board's firmware numbers them: 2 probe, 3 port directions, 5 outputs.
constexpr Transfer kDirections{3, 0xFFFF, 0x0300, 1};

Transfer outputs(std::uint16_t value) {
    return {5, value, 0x0300, 1};
}

// A board over a fake transport on a hand-driven clock.
struct BoardRig {
    explicit BoardRig(std::uint16_t vendorId = kUsbBoardVendorId,
                      std::uint16_t productId = kUsbBoardProductId) {
        auto owned = std::make_unique<FakeUsbTransport>();
        usb = owned.get();
        board = std::make_unique<UsbIoBoard>(
            std::move(owned), vendorId, productId, [this] { return nowMs; },
            [this](const std::string& text) { problems.push_back(text); });
    }

    std::int32_t write(std::uint8_t pattern) { return writePattern(*board, pattern); }
    std::int32_t directions() { return board->DoSetDataPortDirections(255, 255, 0, 3); }

    std::int64_t nowMs = 10'000;
    std::vector<std::string> problems;
    FakeUsbTransport* usb = nullptr;  // owned by the board
    std::unique_ptr<UsbIoBoard> board;
};

// wValue = portB | portC << 8, wIndex = portD | usedPorts << 8.
TEST(UsbIoBoardProtocol, RequestsCarryThePortsInValueAndIndex) {
    BoardRig rig;
    rig.usb->answerByte = 0x5A;
    std::int32_t code = -1, count = -1;
    EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), 0);
    EXPECT_EQ(std::pair(code, count), std::pair(0x5A, 1));
    EXPECT_EQ(rig.directions(), 0);
    EXPECT_EQ(rig.board->DoSetOutDataPorts(0x12, 0x34, 0x56, 0x05), 0);
    EXPECT_EQ(rig.write(255), 0);  // channels 0..5 on PC0..PC5, channels 6 and 7 on PB2, PB3
    EXPECT_EQ(rig.usb->transfers,
              (std::vector<Transfer>{
                  {2, 0, 0, 1}, kDirections, {5, 0x3412, 0x0556, 1}, outputs(0x3F0C)}));
    EXPECT_EQ(rig.usb->openAttempts, 1);
    EXPECT_EQ(std::pair(rig.usb->lastVendorId, rig.usb->lastProductId),
              std::pair(std::uint16_t{0x03EB}, std::uint16_t{0x21FF}));
    EXPECT_FALSE(rig.usb->misuse);
}

// A failed transfer (or one that returns no byte) answers not connected and releases the
// board; it is looked for again no sooner than 500 ms later, so a sick board costs one transfer
// per wait, and a board found again gets the port directions set meanwhile before anything.
TEST(UsbIoBoardHotPlug, FailuresReleaseTheBoardAndItIsOpenedAgainAfterHalfASecond) {
    for (const int reply : {-4, -7, 0}) {
        SCOPED_TRACE(reply);
        BoardRig rig;
        EXPECT_EQ(rig.write(1), 0);
        rig.usb->defaultReply = reply;
        std::int32_t code = 0, count = 7;
        EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), kNotConnected);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(rig.usb->closes, 1);
        for (const int laterMs : {40, 250, 499}) {
            rig.nowMs = 10'000 + laterMs;
            EXPECT_EQ(rig.write(1), kNotConnected);
            EXPECT_EQ(rig.directions(), kNotConnected);
        }
        EXPECT_EQ(rig.usb->openAttempts, 1);
        rig.usb->defaultReply = 1;
        rig.nowMs = 10'500;
        EXPECT_EQ(rig.write(7), 0);
        EXPECT_EQ(rig.usb->openAttempts, 2);
        EXPECT_EQ(
            rig.usb->transfers,
            (std::vector<Transfer>{outputs(0x0100), {2, 0, 0, 1}, kDirections, outputs(0x0700)}));
        EXPECT_FALSE(rig.usb->misuse);
    }
}

// Each kind of open failure is reported once, however often the board is looked for; a board
// that is simply not there is no problem.
TEST(UsbIoBoardProblems, OpenFailuresAreReportedOnceEachWithTheirDetail) {
    using enum UsbOpenError::Kind;
    const std::string access =
        " found but not accessible: install packaging/udev/60-kalindor.rules";
    // Board ids (vendor << 16 | product), open results in turn (four looks each), the reports.
    const std::tuple<std::uint32_t, std::vector<UsbOpenError::Kind>, std::vector<std::string>>
        cases[] = {
            {0x03EB21FF,
             {kNotFound, kPermissionDenied},
             {"USB board 03eb:21ff" + access + " (see README)"}},
            {0x16C005DC,
             {kPermissionDenied},
             {"USB board 16c0:05dc" + access + " with its ids changed to 16c0:05dc (see README)"}},
            {0x03EB05DC,  // one id changed is enough for the hint
             {kPermissionDenied},
             {"USB board 03eb:05dc" + access + " with its ids changed to 03eb:05dc (see README)"}},
            {0x03EB21FF,
             {kUnavailable, kError},
             {"USB access unavailable (libusb X): the USB board cannot be used",
              "USB board 03eb:21ff found but cannot be opened: libusb X"}},
        };
    for (const auto& [ids, statuses, expected] : cases) {
        SCOPED_TRACE(expected[0]);
        const auto vendorId = static_cast<std::uint16_t>(ids >> 16);
        BoardRig rig(vendorId, static_cast<std::uint16_t>(ids));
        for (const UsbOpenError::Kind kind : statuses) {
            rig.usb->openResult = unexpected(UsbOpenError{kind, "libusb X"});
            for (int look = 0; look < 4; ++look) {
                EXPECT_EQ(rig.write(1), kNotConnected);
                rig.nowMs += 600;
            }
        }
        EXPECT_EQ(rig.usb->openAttempts, static_cast<int>(4 * statuses.size()));
        EXPECT_EQ(rig.usb->lastVendorId, vendorId);
        EXPECT_TRUE(rig.usb->transfers.empty());
        EXPECT_EQ(rig.problems, expected);
    }
}

}  // namespace
}  // namespace kalindor
