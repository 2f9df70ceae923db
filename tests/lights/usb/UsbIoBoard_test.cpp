#include "lights/usb/UsbIoBoard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/FakeUsbTransport.h"

namespace kalindor {
namespace {

using test::FakeUsbTransport;
using Transfer = FakeUsbTransport::Transfer;

constexpr int kNoDevice = -4;  // any negative transfer result is a failure

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

    std::int64_t nowMs = 10'000;
    std::vector<std::string> problems;
    FakeUsbTransport* usb = nullptr;  // owned by the board
    std::unique_ptr<UsbIoBoard> board;
};

TEST(UsbIoBoardProtocol, PatternWritesCarryPortsBAndCInValueAndUsedPortsInIndex) {
    // wValue = portB | portC << 8; channels 6 and 7 on PB2 and PB3, channels 0..5 on PC0..PC5.
    struct Case {
        std::uint8_t pattern;
        std::uint16_t value;
    };
    const Case cases[] = {{0, 0x0000},   {1, 0x0100},   {63, 0x3F00}, {64, 0x0004},
                          {128, 0x0008}, {192, 0x000C}, {255, 0x3F0C}};
    BoardRig rig;
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.pattern});
        EXPECT_EQ(rig.write(c.pattern), 0);
        ASSERT_FALSE(rig.usb->transfers.empty());
        EXPECT_EQ(rig.usb->transfers.back(),
                  (Transfer{UsbIoBoard::kRequestSetOutputs, c.value, 0x0300, 1}));
    }
    EXPECT_EQ(rig.usb->openAttempts, 1);
    EXPECT_EQ(rig.usb->transfers.size(), std::size(cases));
    EXPECT_FALSE(rig.usb->misuse);
}

TEST(UsbIoBoardProtocol, DirectionsAndProbeRequests) {
    BoardRig rig;
    rig.usb->answerByte = 0x5A;
    std::int32_t code = -1;
    std::int32_t count = -1;
    EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), 0);
    EXPECT_EQ(code, 0x5A);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rig.board->DoSetDataPortDirections(255, 255, 0, 3), 0);
    EXPECT_EQ(rig.board->DoSetOutDataPorts(0x12, 0x34, 0x56, 0x05), 0);  // port D, used ports
    const std::vector<Transfer> expected = {
        {UsbIoBoard::kRequestGetInfraCode, 0, 0, 1},
        {UsbIoBoard::kRequestSetDirections, 0xFFFF, 0x0300, 1},
        {UsbIoBoard::kRequestSetOutputs, 0x3412, 0x0556, 1},
    };
    EXPECT_EQ(rig.usb->transfers, expected);
    EXPECT_EQ(rig.usb->lastVendorId, 0x03EB);
    EXPECT_EQ(rig.usb->lastProductId, 0x21FF);
}

TEST(UsbIoBoardNotConnected, NoBoardAnswersNotConnectedToEveryCallWithoutTransfers) {
    BoardRig rig;
    rig.usb->present = false;
    std::int32_t code = 0;
    std::int32_t count = 7;
    EXPECT_EQ(rig.board->DoGetInfraCode(code, 0, count), kNotConnected);
    EXPECT_EQ(count, 0);
    rig.nowMs += 1000;
    EXPECT_EQ(rig.board->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    rig.nowMs += 1000;
    EXPECT_EQ(rig.write(255), kNotConnected);
    EXPECT_EQ(rig.usb->openAttempts, 3);
    EXPECT_TRUE(rig.usb->transfers.empty());
    EXPECT_TRUE(rig.problems.empty());
}

TEST(UsbIoBoardNotConnected, FailedOrEmptyTransferAnswersNotConnectedAndReleasesTheBoard) {
    for (const int reply : {kNoDevice, -7, 0}) {
        SCOPED_TRACE(reply);
        BoardRig rig;
        EXPECT_EQ(rig.write(1), 0);
        rig.usb->defaultReply = reply;
        EXPECT_EQ(rig.write(2), kNotConnected);
        EXPECT_EQ(rig.usb->closes, 1);
        EXPECT_FALSE(rig.usb->isOpen);
        EXPECT_FALSE(rig.board->isOpen());

        BoardRig probeRig;
        probeRig.usb->defaultReply = reply;
        std::int32_t code = 0;
        std::int32_t count = 0;
        EXPECT_EQ(probeRig.board->DoGetInfraCode(code, 0, count), kNotConnected);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(probeRig.board->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
        EXPECT_FALSE(probeRig.usb->misuse);
    }
}

TEST(UsbIoBoardHotPlug, AbsentBoardIsRescannedAtMostEvery500ms) {
    BoardRig rig;
    rig.usb->present = false;
    EXPECT_EQ(rig.write(1), kNotConnected);
    EXPECT_EQ(rig.usb->openAttempts, 1);
    for (const int laterMs : {1, 250, 499}) {
        rig.nowMs = 10'000 + laterMs;
        EXPECT_EQ(rig.write(1), kNotConnected);
        EXPECT_FALSE(probeDevice(*rig.board));
    }
    EXPECT_EQ(rig.usb->openAttempts, 1);

    rig.nowMs = 10'500;
    EXPECT_EQ(rig.write(1), kNotConnected);
    EXPECT_EQ(rig.usb->openAttempts, 2);

    // Plugged in during the wait: picked up by the first call once the wait is over.
    rig.usb->present = true;
    rig.nowMs = 10'999;
    EXPECT_FALSE(probeDevice(*rig.board));
    EXPECT_EQ(rig.usb->openAttempts, 2);
    rig.nowMs = 11'000;
    EXPECT_TRUE(probeDevice(*rig.board));
    EXPECT_EQ(rig.usb->openAttempts, 3);
    // Once open, calls go straight to the board whatever the clock says.
    EXPECT_EQ(rig.write(3), 0);
    EXPECT_EQ(rig.write(4), 0);
    EXPECT_EQ(rig.usb->openAttempts, 3);
    EXPECT_FALSE(rig.usb->misuse);
}

TEST(UsbIoBoardHotPlug, PulledBoardGoesNotConnectedAndReplugResumesWithItsDirections) {
    BoardRig rig;
    ASSERT_TRUE(probeDevice(*rig.board));
    EXPECT_EQ(rig.board->DoSetDataPortDirections(255, 255, 0, 3), 0);
    EXPECT_EQ(rig.write(5), 0);

    rig.usb->present = false;
    rig.usb->defaultReply = kNoDevice;
    rig.nowMs += 40;
    EXPECT_EQ(rig.write(6), kNotConnected);
    EXPECT_EQ(rig.usb->closes, 1);
    const std::size_t transfersWhenPulled = rig.usb->transfers.size();

    rig.usb->present = true;
    rig.usb->defaultReply = 1;
    rig.nowMs += 499;
    EXPECT_EQ(rig.write(7), kNotConnected);
    EXPECT_EQ(rig.usb->openAttempts, 1);
    EXPECT_EQ(rig.usb->transfers.size(), transfersWhenPulled);

    rig.nowMs += 1;
    EXPECT_EQ(rig.write(7), 0);
    EXPECT_EQ(rig.usb->openAttempts, 2);
    // A replugged board starts with every pin an input: the directions go out again first.
    const std::vector<Transfer> afterReplug(rig.usb->transfers.begin() + transfersWhenPulled,
                                            rig.usb->transfers.end());
    const std::vector<Transfer> expected = {
        {UsbIoBoard::kRequestSetDirections, 0xFFFF, 0x0300, 1},
        {UsbIoBoard::kRequestSetOutputs, 0x0700, 0x0300, 1},
    };
    EXPECT_EQ(afterReplug, expected);
    EXPECT_FALSE(rig.usb->misuse);
}

TEST(UsbIoBoardHotPlug, SickBoardCostsOneTransferPerWaitNotOnePerCall) {
    BoardRig rig;
    rig.usb->defaultReply = -7;  // a timeout: the board is there but does not answer
    EXPECT_EQ(rig.write(1), kNotConnected);
    for (int step = 0; step < 10; ++step) {
        rig.nowMs += 40;
        EXPECT_EQ(rig.write(1), kNotConnected);
    }
    EXPECT_EQ(rig.usb->transfers.size(), 1u);
    EXPECT_EQ(rig.usb->openAttempts, 1);
}

TEST(UsbIoBoardProblems, PermissionProblemIsReportedOnceNamingTheIdsAndTheUdevRule) {
    const struct {
        std::uint16_t vendorId;
        std::uint16_t productId;
        std::string ids;
    } cases[] = {{kUsbBoardVendorId, kUsbBoardProductId, "03eb:21ff"},
                 {0x16C0, 0x05DC, "16c0:05dc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids);
        BoardRig rig(c.vendorId, c.productId);
        rig.usb->openResult = unexpected(
            UsbOpenError{UsbOpenError::Kind::kPermissionDenied, "libusb LIBUSB_ERROR_ACCESS"});
        for (int second = 0; second < 5; ++second) {
            EXPECT_EQ(rig.write(1), kNotConnected);
            EXPECT_FALSE(probeDevice(*rig.board));
            rig.nowMs += 1000;
        }
        EXPECT_EQ(rig.usb->openAttempts, 5);
        EXPECT_EQ(rig.usb->lastVendorId, c.vendorId);
        EXPECT_EQ(rig.usb->lastProductId, c.productId);
        ASSERT_EQ(rig.problems.size(), 1u);
        EXPECT_NE(rig.problems[0].find(c.ids), std::string::npos) << rig.problems[0];
        EXPECT_NE(rig.problems[0].find("packaging/udev/60-kalindor.rules"), std::string::npos)
            << rig.problems[0];
    }
}

TEST(UsbIoBoardProblems, UnusableUsbAndUnclaimableBoardAreEachReportedOnceWithTheirDetail) {
    BoardRig rig;
    rig.usb->openResult = unexpected(
        UsbOpenError{UsbOpenError::Kind::kUnavailable, "libusb LIBUSB_ERROR_OTHER at start-up"});
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(rig.write(1), kNotConnected);
        rig.nowMs += 600;
    }
    rig.usb->openResult =
        unexpected(UsbOpenError{UsbOpenError::Kind::kError, "libusb LIBUSB_ERROR_BUSY"});
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(rig.write(1), kNotConnected);
        rig.nowMs += 600;
    }
    ASSERT_EQ(rig.problems.size(), 2u);
    EXPECT_NE(rig.problems[0].find("LIBUSB_ERROR_OTHER"), std::string::npos) << rig.problems[0];
    EXPECT_NE(rig.problems[1].find("LIBUSB_ERROR_BUSY"), std::string::npos) << rig.problems[1];
    EXPECT_NE(rig.problems[1].find("03eb:21ff"), std::string::npos) << rig.problems[1];
}

}  // namespace
}  // namespace kalindor
