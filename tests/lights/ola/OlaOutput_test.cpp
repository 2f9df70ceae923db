// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/ola/OlaOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "engine/LightDeviceFactory.h"
#include "support/OlaDaemon.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::eventually;
using test::OlaDaemon;
using Slots = std::vector<std::uint8_t>;

// Channels 0, 2 and 7 lit; channel 1 has a level but is dark.
const LightFrame kMusic{0b1000'0101, {200, 90, 130, 0, 0, 0, 0, 77}};
const Slots kMusicSwitched{255, 0, 255, 0, 0, 0, 0, 255};
// An automaton step: its lit channels full on, in either mode.
const LightFrame kStep{0b0101'0000, {255, 255, 255, 255, 255, 255, 255, 255}};
const Slots kStepSlots{0, 0, 0, 0, 255, 0, 255, 0};

// A private daemon on a free port for each test; skipped where olad is missing.
class OlaOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OlaDaemon::installed()) {
            GTEST_SKIP() << OlaDaemon::kNotInstalled;
        }
    }
    Slots await(int firstSlot, const Slots& expected) const {
        return olad.awaitSlots(OlaDaemon::kUniverse, firstSlot, expected);
    }

    OlaDaemon olad;
    const int port = OlaDaemon::freePort();
};

// A lit channel sends 255 (switch) or its level (dim), a dark one 0, an automaton step 255 in
// both modes; the slots around the eight stay 0; stopping sends the dark frame.
TEST_F(OlaOutputTest, SendsTheChannelsAtTheirSlotsAndGoesDarkOnStop) {
    const std::tuple<DmxLevels, int, Slots> cases[] = {
        {DmxLevels::kSwitch, 42, kMusicSwitched},
        {DmxLevels::kDim, 505, {200, 0, 130, 0, 0, 0, 0, 77}}};
    ASSERT_TRUE(olad.start(port)) << olad.log();
    for (const auto& [levels, firstSlot, music] : cases) {
        SCOPED_TRACE(firstSlot);
        auto lights = createOlaOutput({OlaDaemon::kUniverse, firstSlot, levels, port});
        lights->setRunning(true);
        lights->show(kMusic);
        Slots around(10, 0);  // from the slot before the first
        std::copy(music.begin(), music.end(), around.begin() + 1);
        EXPECT_EQ(await(firstSlot - 1, around), around);
        EXPECT_TRUE(lights->connected());
        lights->show(kStep);
        EXPECT_EQ(await(firstSlot, kStepSlots), kStepSlots);
        lights->setRunning(false);
        EXPECT_EQ(await(firstSlot, Slots(8, 0)), Slots(8, 0));
    }
}

// Without a daemon nothing fails or prints (OLA's own logging stays quiet); a daemon that
// starts later gets the current frame. One killed mid-run is noticed with no new show(), by
// the repeats of a running output, without harm to the process; restarted, it gets the
// frame shown while it was away.
TEST_F(OlaOutputTest, ReachesADaemonThatStartsLateOrComesBack) {
    ::testing::internal::CaptureStderr();
    auto lights = createOlaOutput({OlaDaemon::kUniverse, 3, DmxLevels::kSwitch, port});
    lights->setRunning(true);
    lights->show(kMusic);
    EXPECT_FALSE(lights->connected());
    EXPECT_TRUE(olad.start(port)) << olad.log();
    EXPECT_EQ(await(3, kMusicSwitched), kMusicSwitched);
    EXPECT_TRUE(lights->connected());
    olad.kill();
    EXPECT_TRUE(eventually([&] { return !lights->connected(); }));
    lights->show(kStep);
    EXPECT_TRUE(olad.start(port)) << olad.log();
    EXPECT_EQ(await(3, kStepSlots), kStepSlots);
    EXPECT_TRUE(lights->connected());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// `times` copies of `slots`, for the runs of equal LEDs or fixtures below.
Slots operator*(const Slots& slots, int times) {
    Slots all;
    for (int i = 0; i < times; ++i) {
        all.insert(all.end(), slots.begin(), slots.end());
    }
    return all;
}
Slots operator+(Slots a, const Slots& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each colour layout puts a burst on channels 2 and 3 exactly on their slots: dimming scales
// the colour (200 and 100 of 255, rounded), rgbw takes the smallest of R, G, B out as white,
// and an automaton step shows full colour even when dimming. A strip continues at slot 1 of
// the next universe, an LED never split. Stop darkens every universe the output uses.
TEST_F(OlaOutputTest, ColourLayoutsPutEachChannelOnItsSlots) {
    ChannelColours colours = kDefaultChannelColours;
    colours[1] = {255, 128, 0};
    colours[2] = {40, 200, 100};
    const LightFrame burst{0b110, {90, 200, 100, 0, 0, 0, 0, 0}};
    const LightFrame step{0b10, {255, 255, 255, 255, 255, 255, 255, 255}};
    const Slots off{0, 0, 0}, orange{255, 128, 0}, green{40, 200, 100};
    const struct {
        DmxLayout layout;
        int pixels;
        DmxLevels levels;
        int firstSlot;    // the expected slots below start one slot before it
        Slots burst;      // universe 1
        Slots second;     // universe 2 from slot 1
        Slots stepSlots;  // universe 1 after the step, from firstSlot - 1
    } cases[] = {
        {DmxLayout::kRgb,
         1,
         DmxLevels::kSwitch,
         10,
         Slots{0} + off + orange + green + off * 6 + Slots{0},
         {},
         Slots{0} + off + orange + off},
        {DmxLayout::kRgb,
         1,
         DmxLevels::kDim,
         2,
         Slots{0} + off + Slots{200, 100, 0, 16, 78, 39} + off * 5 + Slots{0},
         {},
         Slots{0} + off + orange + off},
        {DmxLayout::kRgbw,
         1,
         DmxLevels::kDim,
         2,
         Slots{0, 0, 0, 0, 0, 200, 100, 0, 0, 0, 62, 23, 16} + Slots(21, 0),
         {},
         Slots{0, 0, 0, 0, 0, 255, 128, 0, 0, 0}},
        {DmxLayout::kRgbw,
         1,
         DmxLevels::kSwitch,
         481,
         Slots{0} + Slots(4, 0) + Slots{255, 128, 0, 0, 0, 160, 60, 40} + Slots(20, 0),
         {},
         Slots(5, 0) + Slots{255, 128, 0, 0}},
        {DmxLayout::kPixels,
         2,
         DmxLevels::kSwitch,
         4,
         Slots{0} + off * 2 + orange * 2 + green * 2 + off * 11,
         {},
         Slots{0} + off * 2 + orange * 2 + off},
        // 37 LEDs fit from slot 400 (400..510); channel 2's LEDs 20..39 straddle.
        {DmxLayout::kPixels, 20, DmxLevels::kSwitch, 400,
         Slots{0} + off * 20 + orange * 17 + Slots{0, 0},
         orange * 3 + green * 20 + off * 100 + Slots(10, 0), Slots{0} + off * 20 + orange * 17},
    };
    OlaDaemon strip(OlaDaemon::withSecondUniverse());
    ASSERT_TRUE(strip.start(port)) << strip.log();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.layout) << " from " << c.firstSlot);
        auto lights = createOlaOutput(
            {OlaDaemon::kUniverse, c.firstSlot, c.levels, port, c.layout, c.pixels, colours});
        lights->setRunning(true);
        lights->show(burst);
        const int from = c.firstSlot - 1;
        EXPECT_EQ(strip.awaitSlots(OlaDaemon::kUniverse, from, c.burst), c.burst);
        if (!c.second.empty()) {
            EXPECT_EQ(strip.awaitSlots(OlaDaemon::kSecondUniverse, 1, c.second), c.second);
        }
        lights->show(step);
        EXPECT_EQ(strip.awaitSlots(OlaDaemon::kUniverse, from, c.stepSlots), c.stepSlots);
        lights->setRunning(false);
        const Slots dark(c.burst.size(), 0);
        EXPECT_EQ(strip.awaitSlots(OlaDaemon::kUniverse, from, dark), dark);
        const Slots darkSecond(c.second.size(), 0);
        EXPECT_EQ(strip.awaitSlots(OlaDaemon::kSecondUniverse, 1, darkSecond), darkSecond);
    }
}

// OK in "Выход света…" while capture runs: the universe added gets the current frame at once,
// the one removed goes dark, the board kept sees no call (its log does not grow), and a GPIO
// output that cannot be opened changes nothing.
TEST_F(OlaOutputTest, ChoicesAppliedWhileRunningReachOnlyTheChangedOutputs) {
    OlaDaemon two(OlaDaemon::withSecondUniverse());
    ASSERT_TRUE(two.start(port)) << two.log();
    std::FILE* boardLog = std::tmpfile();
    ASSERT_NE(boardLog, nullptr);
    test::VirtualTimerPort timers;
    const auto ola = [](std::uint32_t universe) {
        return OutputChoice{.kind = OutputChoice::Kind::kOla, .universe = universe};
    };
    OutputChoices choices{.devices = {{.kind = OutputChoice::Kind::kSim}, ola(1)}, .olaPort = port};
    LightSetupOptions options;
    options.simLog = boardLog;
    LightSetup setup = createLightSetup(choices, options, timers);
    setup.sink().setRunning(true);
    setup.sink().show(kMusic);
    EXPECT_EQ(two.awaitSlots(1, 1, kMusicSwitched), kMusicSwitched);
    const long boardCalls = std::ftell(boardLog);

    OutputChoices bad = choices;
    bad.devices.push_back({.kind = OutputChoice::Kind::kGpio, .chip = "bad chip/x"});
    EXPECT_FALSE(applyLightChoices(setup, bad, options));
    choices.devices[1] = ola(2);
    ASSERT_TRUE(applyLightChoices(setup, choices, options));
    EXPECT_EQ(two.awaitSlots(2, 1, kMusicSwitched, 1000), kMusicSwitched);
    EXPECT_EQ(two.awaitSlots(1, 1, Slots(8, 0), 1000), Slots(8, 0));
    EXPECT_EQ(std::ftell(boardLog), boardCalls);
    std::fclose(boardLog);
}

}  // namespace
}  // namespace kalindor
