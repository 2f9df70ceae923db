// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/LightOutputs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ControlUpdates.h"
#include "engine/Engine.h"
#include "engine/LightDeviceFactory.h"
#include "launch/LaunchOptions.h"
#include "lights/DelayedLights.h"
#include "lights/OutputWatch.h"
#include "lights/SimulatedBoard.h"
#include "support/FakeLightDevice.h"
#include "support/FakeSoundInput.h"
#include "support/FakeUsbTransport.h"
#include "support/RecordingView.h"
#include "support/SampleBuffers.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;
using Log = std::vector<std::string>;
using Outputs = std::vector<std::unique_ptr<LightOutput>>;

// An output that records its frames and, as "<frames before> on|off", its start/stop calls.
struct RecordingOutput final : LightOutput {
    explicit RecordingOutput(std::string name) : label(std::move(name)) {}
    std::string name() const override { return label; }
    void show(const LightFrame& frame) override { frames.push_back(frame); }
    void setRunning(bool on) override {
        runs.push_back(std::to_string(frames.size()) + (on ? " on" : " off"));
    }
    bool connected() const override { return isConnected; }
    ~RecordingOutput() override {
        if (last != nullptr) {  // the calls it saw, its last frame's pattern
            *last = std::to_string(frames.size()) + " frames, pattern " +
                    std::to_string(frames.back().pattern) + ", " + runs.back();
        }
    }
    std::string* last = nullptr;
    std::string label;
    std::vector<LightFrame> frames;
    Log runs;
    bool isConnected = true;
};

// An engine driving the board alone (delayMs < 0), in the output list with one recording
// output (0), or behind the light delay too (> 0), on a virtual clock.
struct Rig {
    explicit Rig(int delayMs) {
        LightSink* sink = board.get();
        if (delayMs >= 0) {
            Outputs others;
            others.push_back(std::make_unique<RecordingOutput>("OLA 1"));
            seen = static_cast<RecordingOutput*>(others[0].get());
            list = std::make_unique<LightOutputs>(*board, true, std::move(others));
            sink = list.get();
        }
        if (delayMs > 0) {
            delayed = std::make_unique<DelayedLights>(*list, timers, delayMs);
            sink = delayed.get();
        }
        applyStartupDefaults(state);
        state.EffectIntervalMs = 200;
        engine = std::make_unique<Engine>(state, view, *sink, input, timers);
    }
    test::VirtualTimerPort timers;
    SharedState state;
    test::RecordingView view;
    test::FakeSoundInput input;
    std::unique_ptr<FakeLightDevice> board = std::make_unique<FakeLightDevice>();
    std::unique_ptr<LightOutputs> list;
    std::unique_ptr<DelayedLights> delayed;
    RecordingOutput* seen = nullptr;
    std::unique_ptr<Engine> engine;
};

// The board in the list sees the calls it sees alone at the same moments; behind the delay,
// each exactly the delay later, and the other outputs' frames and start/stop too. The others
// see the prepare frame, each buffer's pattern and levels as one frame (also when the pattern
// changes, so no frame mixes new levels with the old pattern), automaton steps with full
// levels held while the steps run, as the board holds them.
TEST(LightOutputs, TheBoardSeesWhatItSeesAloneAndTheDelayPlaysEverythingLater) {
    constexpr ChannelLevels kFull = {255, 255, 255, 255, 255, 255, 255, 255};
    for (const int delay : {8, 250, 1000}) {
        SCOPED_TRACE(delay);
        Rig alone(-1), now(0), late(delay);
        std::vector<std::size_t> calls, frames;  // alone's board calls and now's frames by ms
        for (Rig* r : {&alone, &now, &late}) {
            EXPECT_TRUE(r->engine->start());
        }
        for (int ms = 0; ms < 4800; ++ms) {
            if (ms == 4400) {  // the automaton runs; then Stop and Start with music
                EXPECT_EQ(frames[4399] - frames[3999], 2u) << "two steps, no buffer's levels";
                const auto step =
                    static_cast<std::uint8_t>(now.engine->automaton().effectPattern());
                EXPECT_EQ(now.seen->frames.back(), (LightFrame{step, kFull, FrameKind::kStep}));
                for (Rig* r : {&alone, &now, &late}) {
                    r->engine->stop();
                    EXPECT_TRUE(r->engine->start());
                }
            }
            calls.push_back(alone.board->calls.size());
            frames.push_back(now.seen->frames.size());
            if ((ms > 0 && ms < 300) || ms > 4400) {
                EXPECT_LE(frames[ms] - frames[ms - 1], 1u) << "one frame a buffer, at " << ms;
            }
            EXPECT_EQ(now.board->calls.size(), calls[ms]);
            EXPECT_EQ(late.board->calls.size(), ms < delay ? 0 : calls[ms - delay]);
            EXPECT_EQ(late.seen->frames.size(), ms < delay ? 0 : frames[ms - delay]);
            const BufferPipeline& chain = now.engine->pipeline();
            if (!now.engine->timer3().enabled() && ms % 50 == 49) {
                const LightFrame& last = now.seen->frames.back();
                EXPECT_EQ(std::pair(last.pattern, last.levels),
                          std::pair(chain.lightPattern(), chain.channelShown()));
            }
            const bool music = ms < 300 || ms >= 4400;
            for (Rig* r : {&alone, &now, &late}) {
                r->input.pending.assign(
                    1, music ? test::cosineOnBin(test::kBinOfChannel3) : test::silenceBuffer());
                r->timers.advance(1);
            }
        }
        EXPECT_EQ(frames[299], 6u);  // the prepare frame, then the frames of five buffers
        EXPECT_GE(frames[4799] - frames[4400], 7u);
        for (Rig* r : {&alone, &now, &late}) {
            r->engine->stop();
        }
        const std::string restart = std::to_string(frames[4400] - 1);  // before Start's set-up
        EXPECT_EQ(now.seen->runs, (Log{"0 on", restart + " off", restart + " on",
                                       std::to_string(now.seen->frames.size()) + " off"}));
        late.timers.advance(delay);
        EXPECT_EQ(late.seen->runs, now.seen->runs);
        EXPECT_EQ(late.seen->frames, now.seen->frames);
        EXPECT_EQ(now.board->calls, alone.board->calls);
        EXPECT_EQ(late.board->calls, alone.board->calls);
    }
}

// Delayed frames answer the board's last answer (none before the first); a full queue hands
// over its oldest at once rather than lose one; entries still waiting at the end are handed
// over in order.
TEST(DelayedLights, AFullQueueHandsOverItsOldestAndTheEndFlushes) {
    FakeLightDevice board;
    test::VirtualTimerPort timers;
    constexpr int kCalls = static_cast<int>(DelayedLights::kCapacity) + 3;
    std::vector<PortBytes> expected;
    {
        DelayedLights delayed(board, timers, 1000);
        for (int i = 0; i < kCalls; ++i) {
            const auto pattern = static_cast<std::uint8_t>(i);
            expected.push_back(portBytesForPattern(pattern));
            EXPECT_EQ(delayed.show({pattern, {}, FrameKind::kStep}),
                      i < kCalls - 3 ? std::nullopt : std::optional(true));
            timers.advance(1);
        }
        EXPECT_EQ(board.outWrites(),
                  std::vector<PortBytes>(expected.begin(), expected.begin() + 3));
    }
    EXPECT_EQ(board.outWrites(), expected);
}

// OK in "Выход света…": a kept output and a kept board see no call; a new output is told that
// capture runs and shown the current frame; a removed one is shown the dark frame and stopped
// before it is destroyed; a new board is set up and shown the current pattern, the old one
// written dark.
TEST(LightOutputs, ReplaceTouchesOnlyWhatChanged) {
    FakeLightDevice board, newBoard;
    Outputs first;
    first.push_back(std::make_unique<RecordingOutput>("kept"));
    first.push_back(std::make_unique<RecordingOutput>("removed"));
    auto* kept = static_cast<RecordingOutput*>(first[0].get());
    std::string removed;
    static_cast<RecordingOutput*>(first[1].get())->last = &removed;
    LightOutputs outputs(board, true, std::move(first));
    outputs.setRunning(true);
    const LightFrame music{0b101, {9, 0, 9}, FrameKind::kBuffer};
    outputs.show(music);
    const auto boardCalls = board.calls;
    for (FakeLightDevice* next : {&board, &newBoard}) {
        std::vector<LightOutputs::Next> list;
        list.push_back({.kept = kept, .fresh = nullptr});
        list.push_back({.kept = nullptr, .fresh = std::make_unique<RecordingOutput>("new")});
        auto* added = static_cast<RecordingOutput*>(list[1].fresh.get());
        outputs.replace(*next, true, std::move(list));
        EXPECT_EQ(board.calls.size(), boardCalls.size() + (next == &board ? 0 : 1));
        EXPECT_EQ(kept->frames.size(), 1u);
        EXPECT_EQ(added->runs, Log{"0 on"});
        EXPECT_EQ(added->frames, std::vector<LightFrame>{music});
    }
    EXPECT_EQ(removed, "2 frames, pattern 0, 2 off");
    EXPECT_EQ(board.calls.back(),
              (FakeLightDevice::Call{FakeLightDevice::Call::kOut, portBytesForPattern(0)}));
    EXPECT_EQ(newBoard.calls.at(1).kind, FakeLightDevice::Call::kDirections);
    EXPECT_EQ(newBoard.outWrites().back(), portBytesForPattern(0b101));
}

// A delay changed while frames wait: none is lost, none overtakes one queued before it; at 0
// with nothing waiting, calls go straight through.
TEST(DelayedLights, AChangedDelayKeepsTheOrder) {
    FakeLightDevice board;
    test::VirtualTimerPort timers;
    DelayedLights delayed(board, timers, 500);
    const auto step = [&](std::uint8_t pattern) { delayed.show({pattern, {}, FrameKind::kStep}); };
    step(1);
    delayed.setDelay(0);
    step(2);
    EXPECT_TRUE(board.outWrites().empty());
    timers.advance(500);
    step(3);
    EXPECT_EQ(board.outWrites(),
              (std::vector<PortBytes>{portBytesForPattern(1), portBytesForPattern(2),
                                      portBytesForPattern(3)}));
}

// The watch reports each output that is not connected at its first look, a second after the
// start, and then every change: the board (its last answer) like the others, the absent
// stand-in never.
TEST(OutputWatch, ReportsChangesOnceASecondTheBoardLikeTheOthers) {
    for (const bool boardListed : {true, false}) {
        SCOPED_TRACE(boardListed);
        FakeLightDevice board;
        board.connected = false;
        Outputs others;
        others.push_back(std::make_unique<RecordingOutput>("OLA 1"));
        others.push_back(std::make_unique<RecordingOutput>("GPIO gpiochip0"));
        auto& ola = static_cast<RecordingOutput&>(*others[0]);
        auto& gpio = static_cast<RecordingOutput&>(*others[1]);
        ola.isConnected = false;
        LightOutputs outputs(board, boardListed, std::move(others));
        test::VirtualTimerPort timers;
        Log heard;
        const OutputWatch watch(outputs, timers, [&](const LightOutput& output, bool connected) {
            heard.push_back(std::to_string(timers.nowMs()) + " " + output.name() +
                            (connected ? " on" : " off"));
        });
        EXPECT_EQ(outputs.show({0, {}, FrameKind::kPrepare}), false);
        timers.advance(999);
        EXPECT_TRUE(heard.empty());
        timers.advance(1);
        ola.isConnected = true;
        board.connected = true;
        timers.advance(500);
        EXPECT_EQ(outputs.show({1, {}, FrameKind::kStep}), true);  // the board answers anew
        timers.advance(500);
        gpio.isConnected = false;
        timers.advance(3000);
        Log expected = {"1000 OLA 1 off", "2000 OLA 1 on", "3000 GPIO gpiochip0 off"};
        if (boardListed) {
            expected.insert(expected.begin() + 1, "2000 USB on");
            expected.insert(expected.begin(), "1000 USB off");
        }
        EXPECT_EQ(heard, expected);
    }
}

std::unique_ptr<LightDevice> make(const char* kind, std::FILE* log = nullptr,
                                  std::function<std::int64_t()> clockMs = {}) {
    DeviceOptions options;
    options.kind = kind;
    options.simLog = log;
    options.clockMs = std::move(clockMs);
    auto made = createLightDevice(options);
    return made ? std::move(*made) : nullptr;
}

// The USB board goes through the real libusb: on a machine without the board (or without a
// USB bus) it reads as not connected, never a crash. No board is never connected. The ids of
// --usb-id reach the bus as vendor and product.
TEST(LightDeviceFactory, TheUsbBoardAndNoBoardReadAsNotConnectedHere) {
    for (const char* kind : {"usb", "none"}) {
        SCOPED_TRACE(kind);
        const auto device = make(kind);
        EXPECT_FALSE(device == nullptr || probeDevice(*device));
        EXPECT_EQ(device ? writePattern(*device, 255) : 0, kNotConnected);
    }
    test::FakeUsbTransport* bus = nullptr;
    LightSetupOptions options;
    options.usbTransport = [&bus] {
        auto made = std::make_unique<test::FakeUsbTransport>();
        bus = made.get();
        return made;
    };
    const auto parsed = parseLaunchOptions(std::vector<std::string>{"--usb-id", "16c0:05dc"},
                                           LaunchProgram::kCliRun);
    test::VirtualTimerPort timers;
    const LightSetup setup =
        createLightSetup(resolveOutputChoices({}, parsed.value()), options, timers);
    EXPECT_EQ(setup.sink().show({0, {}, FrameKind::kPrepare}), true);
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(std::pair(bus->lastVendorId, bus->lastProductId),
              std::pair(std::uint16_t{0x16C0}, std::uint16_t{0x05DC}));
}

// The simulated board logs each port write with the milliseconds since it was made, on the
// clock the factory hands it; a log it cannot write is reported once, and it stays connected.
TEST(SimulatedBoard, LogsEachPortWriteWithMillisecondsSinceConstruction) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    std::int64_t nowMs = 52'000;
    auto board = make("sim", log, [&] { return nowMs; });
    nowMs += 3;
    EXPECT_TRUE(probeDevice(*board));
    EXPECT_NE(board->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_NE(writePattern(*board, 0), kNotConnected);
    nowMs += 1250;
    EXPECT_NE(writePattern(*board, 255), kNotConnected);
    nowMs += 1;
    EXPECT_NE(board->DoSetOutDataPorts(200, 1, 7, 5), kNotConnected);
    std::string text(100, '\0');
    std::rewind(log);
    text.resize(std::fread(text.data(), 1, text.size(), log));
    EXPECT_EQ(text, "3 0 0 0 3\n1253 12 63 0 3\n1254 200 1 7 5\n");
    std::fclose(log);

    std::FILE* readOnly = std::fopen("/dev/null", "r");
    std::vector<std::string> problems;
    SimulatedBoard unwritable(readOnly, {},
                              [&](const std::string& text) { problems.push_back(text); });
    EXPECT_NE(writePattern(unwritable, 1), kNotConnected);
    EXPECT_NE(writePattern(unwritable, 2), kNotConnected);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "cannot write the output: Bad file descriptor");
    std::fclose(readOnly);
}

}  // namespace
}  // namespace kalindor
