#include "lights/usb/UsbIoBoard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "lights/LightDeviceFactory.h"
#include "lights/usb/LibusbTransport.h"
#include "support/FakeUsbTransport.h"

namespace kalindor {
namespace {

using test::FakeUsbTransport;
using Transfer = FakeUsbTransport::Transfer;

constexpr int kNoDevice = -4;  // any negative transfer result is a failure
constexpr Transfer kDirections{UsbIoBoard::kRequestSetDirections, 0xFFFF, 0x0300, 1};

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

// wValue = portB | portC << 8, wIndex = portD | usedPorts << 8: channels 0..5 on PC0..PC5,
// channels 6 and 7 on PB2 and PB3.
TEST(UsbIoBoardProtocol, RequestsCarryThePortsInValueAndIndex) {
    BoardRig rig;
    rig.usb->answerByte = 0x5A;
    std::int32_t code = -1;
    std::int32_t count = -1;
    EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), 0);
    EXPECT_EQ(code, 0x5A);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rig.directions(), 0);
    EXPECT_EQ(rig.board->DoSetOutDataPorts(0x12, 0x34, 0x56, 0x05), 0);
    std::vector<Transfer> expected = {{UsbIoBoard::kRequestGetInfraCode, 0, 0, 1},
                                      kDirections,
                                      {UsbIoBoard::kRequestSetOutputs, 0x3412, 0x0556, 1}};
    const std::pair<std::uint8_t, std::uint16_t> patterns[] = {
        {0, 0x0000}, {1, 0x0100}, {63, 0x3F00}, {64, 0x0004}, {128, 0x0008}, {255, 0x3F0C}};
    for (const auto& [pattern, value] : patterns) {
        EXPECT_EQ(rig.write(pattern), 0);
        expected.push_back({UsbIoBoard::kRequestSetOutputs, value, 0x0300, 1});
    }
    EXPECT_EQ(rig.usb->transfers, expected);
    EXPECT_EQ(rig.usb->openAttempts, 1);
    EXPECT_EQ(rig.usb->lastVendorId, 0x03EB);
    EXPECT_EQ(rig.usb->lastProductId, 0x21FF);
    EXPECT_FALSE(rig.usb->misuse);
}

// A failed transfer (or one that returns no byte) answers not connected and releases the
// board; a board that is absent or released is looked for again no sooner than 500 ms later,
// so a sick board costs one transfer per wait, not one per call.
TEST(UsbIoBoardHotPlug, FailuresReleaseTheBoardAndRescansWaitHalfASecond) {
    for (const int reply : {kNoDevice, -7, 0}) {
        SCOPED_TRACE(reply);
        BoardRig rig;
        EXPECT_EQ(rig.write(1), 0);
        rig.usb->defaultReply = reply;
        std::int32_t code = 0;
        std::int32_t count = 7;
        EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), kNotConnected);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(rig.usb->closes, 1);
        EXPECT_FALSE(rig.board->isOpen());
        for (const int laterMs : {40, 250, 499}) {
            rig.nowMs = 10'000 + laterMs;
            EXPECT_EQ(rig.write(1), kNotConnected);
            EXPECT_EQ(rig.directions(), kNotConnected);
        }
        EXPECT_EQ(rig.usb->transfers.size(), 2u);
        EXPECT_EQ(rig.usb->openAttempts, 1);
        rig.nowMs = 10'500;
        EXPECT_EQ(rig.write(1), kNotConnected);
        EXPECT_EQ(rig.usb->openAttempts, 2);
        EXPECT_FALSE(rig.usb->misuse);
    }
}

TEST(UsbIoBoardHotPlug, AbsentBoardIsPickedUpAfterTheWaitAndGetsItsDirectionsFirst) {
    BoardRig rig;
    rig.usb->present = false;
    EXPECT_EQ(rig.directions(), kNotConnected);
    rig.nowMs += 499;
    EXPECT_FALSE(probeDevice(*rig.board));
    EXPECT_EQ(rig.usb->openAttempts, 1);
    EXPECT_TRUE(rig.usb->transfers.empty());

    rig.usb->present = true;
    rig.nowMs += 1;
    EXPECT_EQ(rig.write(7), 0);
    EXPECT_EQ(rig.write(7), 0);
    EXPECT_EQ(rig.usb->openAttempts, 2);
    const std::vector<Transfer> expected = {kDirections,
                                            {UsbIoBoard::kRequestSetOutputs, 0x0700, 0x0300, 1},
                                            {UsbIoBoard::kRequestSetOutputs, 0x0700, 0x0300, 1}};
    EXPECT_EQ(rig.usb->transfers, expected);
    EXPECT_TRUE(rig.problems.empty());
    EXPECT_FALSE(rig.usb->misuse);
}

// Each kind of open failure is reported once, however often the board is looked for.
TEST(UsbIoBoardProblems, OpenFailuresAreReportedOnceEachWithTheirDetail) {
    using enum UsbOpenStatus;
    const struct {
        std::uint16_t vendorId;
        std::uint16_t productId;
        std::vector<UsbOpenStatus> statuses;                        // in turn, each for four looks
        std::vector<std::pair<std::size_t, std::string>> expected;  // report number, text in it
    } cases[] = {
        {kUsbBoardVendorId,
         kUsbBoardProductId,
         {kPermissionDenied},
         {{0, "03eb:21ff"}, {0, "packaging/udev/60-kalindor.rules"}}},
        {0x16C0, 0x05DC, {kPermissionDenied}, {{0, "16c0:05dc"}, {0, "60-kalindor.rules"}}},
        {kUsbBoardVendorId,
         kUsbBoardProductId,
         {kUnavailable, kError},
         {{0, "LIBUSB_ERROR_X"}, {1, "LIBUSB_ERROR_X"}, {1, "03eb:21ff"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected[0].second);
        BoardRig rig(c.vendorId, c.productId);
        for (const UsbOpenStatus status : c.statuses) {
            rig.usb->openResult = {status, "libusb LIBUSB_ERROR_X"};
            for (int look = 0; look < 4; ++look) {
                EXPECT_EQ(rig.write(1), kNotConnected);
                rig.nowMs += 600;
            }
        }
        EXPECT_EQ(rig.usb->openAttempts, static_cast<int>(4 * c.statuses.size()));
        EXPECT_EQ(rig.usb->lastVendorId, c.vendorId);
        EXPECT_EQ(rig.usb->lastProductId, c.productId);
        EXPECT_EQ(rig.problems.size(), c.statuses.size());
        for (const auto& [report, text] : c.expected) {
            const std::string shown = report < rig.problems.size() ? rig.problems[report] : "";
            EXPECT_NE(shown.find(text), std::string::npos) << shown;
        }
    }
}

// Against the real libusb on a machine without the board (or without any USB bus): nothing
// is found, and the default device reads as not connected with at most one problem report.
TEST(LibusbTransport, FindsNoBoardAndTheDefaultDeviceIsNotConnected) {
    LibusbTransport transport;
    const UsbOpenResult result = transport.open(kUsbBoardVendorId, kUsbBoardProductId);
    EXPECT_TRUE(result.status == UsbOpenStatus::kNotFound ||
                result.status == UsbOpenStatus::kUnavailable)
        << result.detail;
    std::uint8_t answer = 0;
    EXPECT_LT(transport.controlTransfer(UsbIoBoard::kRequestGetInfraCode, 0, 0, &answer, 1), 0);

    std::vector<std::string> problems;
    DeviceOptions options;
    options.onProblem = [&](const std::string& text) { problems.push_back(text); };
    auto device = createLightDevice(options);
    EXPECT_FALSE(probeDevice(*device));
    EXPECT_EQ(writePattern(*device, 255), kNotConnected);
    EXPECT_LE(problems.size(), 1u);
}

}  // namespace
}  // namespace kalindor
