// The whole engine (capture, pipeline, automaton) driving the USB board driver over a transport
// that fails, on a virtual clock: the run goes on, the status line follows the board's answers,
// and a sick board costs a bounded number of transfers and reopens.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "capture/Capture.h"
#include "core/ControlUpdates.h"
#include "engine/Engine.h"
#include "lights/usb/UsbIoBoard.h"
#include "support/FakeSoundInput.h"
#include "support/FakeUsbTransport.h"
#include "support/SampleBuffers.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeSoundInput;
using test::FakeUsbTransport;
using test::VirtualTimerPort;

constexpr int kTransferFailed = -7;  // a timeout or stall as libusb reports it

// Passes every call to the board and keeps the answer of the last call that decides the status
// line (a probe, or a port write), plus the worst cost of a single call.
class ObservedDevice final : public LightDevice {
  public:
    ObservedDevice(LightDevice& board, FakeUsbTransport& usb) : board_(board), usb_(usb) {}

    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override {
        return observe([&] { return board_.DoGetInfraCode(code, value, count); }, true);
    }
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override {
        return observe(
            [&] { return board_.DoSetDataPortDirections(first, second, third, usedPorts); }, false);
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override {
        ++outWrites;
        return observe([&] { return board_.DoSetOutDataPorts(first, second, third, usedPorts); },
                       true);
    }

    bool lastDecidingAnswerConnected = false;
    int outWrites = 0;
    int answersConnected = 0;
    int answersNotConnected = 0;
    std::size_t mostTransfersInOneCall = 0;
    int mostOpensInOneCall = 0;

  private:
    template <typename Call>
    std::int32_t observe(Call call, bool decidesStatus) {
        const std::size_t transfersBefore = usb_.transfers.size();
        const int opensBefore = usb_.openAttempts;
        const std::int32_t answer = call();
        mostTransfersInOneCall =
            std::max(mostTransfersInOneCall, usb_.transfers.size() - transfersBefore);
        mostOpensInOneCall = std::max(mostOpensInOneCall, usb_.openAttempts - opensBefore);
        if (decidesStatus) {
            lastDecidingAnswerConnected = answer != kNotConnected;
            ++(answer != kNotConnected ? answersConnected : answersNotConnected);
        }
        return answer;
    }

    LightDevice& board_;
    FakeUsbTransport& usb_;
};

// Checks, at the moment the status line is set, that it shows the answer of the call that
// decided it.
class StatusCheckingView final : public PipelineView {
  public:
    explicit StatusCheckingView(const ObservedDevice& device) : device_(device) {}
    void clearGraph() override {}
    void drawLine(float, float, float, float, Rgb) override {}
    void graphDone() override {}
    void setLevelBar(int, int) override {}
    void setLamp(int, Rgb) override {}
    void setDeviceStatus(bool isConnected) override {
        connected = isConnected;
        ++updates;
        if (isConnected != device_.lastDecidingAnswerConnected) {
            ++mismatches;
        }
    }

    bool connected = false;
    int updates = 0;
    int mismatches = 0;

  private:
    const ObservedDevice& device_;
};

class BoardFaultsTest : public ::testing::Test {
  protected:
    BoardFaultsTest()
        : usbOwned(std::make_unique<FakeUsbTransport>()),
          usb(*usbOwned),
          board(std::move(usbOwned), kUsbBoardVendorId, kUsbBoardProductId,
                [this] { return timers.nowMs(); }),
          device(board, usb),
          view(device),
          engine(state, view, device, input, timers) {
        applyStartupDefaults(state);
        setEffectSpeed(state, 1);  // an effect step every 100 ms: many writes while silent
        setDecaySpeed(state, 10);  // held points fall fast, so the pattern changes often
        engine.applyTimerPeriods();
    }

    // Plays `ms` of sound, one buffer per 50 ms tick: 1 s of each tone, then `silentMs` of
    // silence, repeated.
    void play(int ms, int silentMs) {
        for (int t = 0; t < ms; t += 50, elapsedMs += 50) {
            const int phase = elapsedMs % (2000 + silentMs);
            if (phase < 1000) {
                input.deliver(test::cosineOnBin(test::kBinOfChannel1));
            } else if (phase < 2000) {
                input.deliver(test::cosineOnBin(test::kBinOfChannel3));
            } else {
                input.deliver(test::silenceBuffer());
            }
            timers.advance(50);
        }
    }

    SharedState state;
    VirtualTimerPort timers;
    FakeSoundInput input;
    std::unique_ptr<FakeUsbTransport> usbOwned;
    FakeUsbTransport& usb;
    UsbIoBoard board;
    ObservedDevice device;
    StatusCheckingView view;
    Engine engine;
    int elapsedMs = 0;
};

// A board that fails every n-th transfer, for a minute of music and silence.
void failEveryNthTransfer(FakeUsbTransport& usb, int n) {
    for (int i = 1; i <= 20000; ++i) {
        usb.transferReplies.push_back(i % n == 0 ? kTransferFailed : 1);
    }
}

TEST_F(BoardFaultsTest, BoardFailingEveryOtherTransferLeavesTheRunGoingAndTheStatusTrue) {
    failEveryNthTransfer(usb, 2);
    ASSERT_TRUE(engine.start());
    constexpr int kRunMs = 60'000;
    play(kRunMs, 3000);

    EXPECT_EQ(view.mismatches, 0) << "of " << view.updates << " status updates";
    EXPECT_GT(view.updates, 300);
    // Every reopen sends the directions again, so the transfer that follows them, the call's
    // own, is always the failing one: the board reads as not connected throughout.
    EXPECT_GT(device.answersNotConnected, 300);
    EXPECT_FALSE(view.connected);
    // Capture and effects went on: about one buffer per tick, effects in every silence.
    EXPECT_GE(engine.capture().buffersProcessed(), static_cast<std::uint64_t>(kRunMs / 50 - 2));
    EXPECT_GT(device.outWrites, 12 * 20);
    // A failed transfer releases the board; it is opened again no sooner than 500 ms later.
    EXPECT_LE(usb.openAttempts, kRunMs / UsbIoBoard::kRescanIntervalMs + 2);
    EXPECT_GT(usb.openAttempts, 60);
    // One call costs at most an open, the directions sent again, and its own transfer.
    EXPECT_LE(device.mostOpensInOneCall, 1);
    EXPECT_LE(device.mostTransfersInOneCall, 2u);
    EXPECT_FALSE(usb.misuse);

    // The board recovers: within one rescan wait and a write the status reads connected.
    usb.transferReplies.clear();
    play(UsbIoBoard::kRescanIntervalMs + 3000, 3000);
    EXPECT_TRUE(view.connected);
    EXPECT_TRUE(board.isOpen());
    EXPECT_EQ(view.mismatches, 0);
}

TEST_F(BoardFaultsTest, BoardFailingEveryThirdTransferShowsBothStatesAsTheyHappen) {
    failEveryNthTransfer(usb, 3);
    ASSERT_TRUE(engine.start());
    constexpr int kRunMs = 60'000;
    play(kRunMs, 3000);

    EXPECT_EQ(view.mismatches, 0) << "of " << view.updates << " status updates";
    EXPECT_GT(device.answersConnected, 50);
    EXPECT_GT(device.answersNotConnected, 50);
    EXPECT_LE(usb.openAttempts, kRunMs / UsbIoBoard::kRescanIntervalMs + 2);
    EXPECT_LE(device.mostTransfersInOneCall, 2u);
    EXPECT_FALSE(usb.misuse);
}

TEST_F(BoardFaultsTest, BoardPulledDuringEffectsIsNotConnectedAndReplugResumesTheEffects) {
    ASSERT_TRUE(engine.start());
    play(4000, 20'000);  // music, then silence: the effects are running by the end
    ASSERT_TRUE(engine.timer3().enabled());
    EXPECT_TRUE(view.connected);

    usb.present = false;
    usb.defaultReply = -4;  // LIBUSB_ERROR_NO_DEVICE
    const int writesBefore = device.outWrites;
    play(3000, 20'000);
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(board.isOpen());
    EXPECT_TRUE(engine.timer3().enabled()) << "the effects go on while the board is away";
    EXPECT_GE(device.outWrites - writesBefore, 25);
    EXPECT_LE(usb.openAttempts, 1 + 3000 / UsbIoBoard::kRescanIntervalMs + 1);

    usb.present = true;
    usb.defaultReply = 1;
    const std::size_t transfersAtReplug = usb.transfers.size();
    play(UsbIoBoard::kRescanIntervalMs + 200, 20'000);
    EXPECT_TRUE(view.connected);
    ASSERT_GT(usb.transfers.size(), transfersAtReplug);
    // The replugged board gets its port directions again before the first pattern.
    EXPECT_EQ(usb.transfers[transfersAtReplug].request, UsbIoBoard::kRequestSetDirections);
    EXPECT_EQ(view.mismatches, 0);
    EXPECT_FALSE(usb.misuse);
}

}  // namespace
}  // namespace kalindor
