// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/ola/OlaOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "support/OlaDaemon.h"

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

}  // namespace
}  // namespace kalindor
