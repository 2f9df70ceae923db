#include "effects/EffectsAutomaton.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;
using test::RecordingView;
using test::VirtualTimerPort;

// The automaton with its two timers on a virtual clock, wired as the engine wires them.
struct AutomatonRig {
    AutomatonRig() {
        applyStartupDefaults(state);
        timer3 = timers.createTimer([this] { automaton->RunEffectStep(); });
        timer2 = timers.createTimer([this] { automaton->noSignalTick(); });
        automaton = std::make_unique<EffectsAutomaton>(state, view, device, *timer3);
        applyPeriods();
    }

    void applyPeriods() {
        timer2->setInterval(state.NoSignalSeconds * 1000);
        timer3->setInterval(state.EffectIntervalMs);
    }
    void start() { timer2->setEnabled(true); }
    void stop() {
        timer2->setEnabled(false);
        timer3->setEnabled(false);
    }
    std::size_t writes() const { return device.outWrites().size(); }
    // True when the last port write is exactly the board split of `pattern`.
    bool lastWriteIs(int pattern) const {
        return !device.outWrites().empty() &&
               device.outWrites().back() == portBytesForPattern(static_cast<std::uint8_t>(pattern));
    }
    // Which lamps are green, lamp 0 first, as 'X' (green) and '.' (black).
    std::string greenLamps() const {
        std::string lamps;
        for (const Rgb& colour : view.lamps) {
            EXPECT_TRUE(colour == kGreen || colour == kBlack);
            lamps += colour == kGreen ? 'X' : '.';
        }
        return lamps;
    }

    SharedState state;
    RecordingView view;
    FakeLightDevice device;
    VirtualTimerPort timers;
    std::unique_ptr<Timer> timer3;
    std::unique_ptr<Timer> timer2;
    std::unique_ptr<EffectsAutomaton> automaton;
};

TEST(EffectsAutomatonFire, RunsUpAndDownShowingEachEndTwiceFromStartUp) {
    AutomatonRig rig;
    const std::vector<int> positions = {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 0, 1, 2};
    for (const int position : positions) {
        SCOPED_TRACE(position);
        rig.automaton->RunEffectStep();
        EXPECT_EQ(rig.automaton->effectStep(), position);
        EXPECT_EQ(rig.automaton->effectPattern(), 1 << position);
        EXPECT_TRUE(rig.lastWriteIs(1 << position));
        std::string expectedLamps(8, '.');
        expectedLamps[static_cast<std::size_t>(position)] = 'X';
        EXPECT_EQ(rig.greenLamps(), expectedLamps);
        EXPECT_TRUE(rig.view.connected);
    }
    EXPECT_EQ(rig.writes(), positions.size());
    EXPECT_EQ(rig.view.statusUpdates, static_cast<int>(positions.size()));
}

TEST(EffectsAutomatonWave, FollowsTheTableWithLampsMirroredAndWraps) {
    // Lit bits from bit 7 down to bit 0; lamp i shows bit 7 - i, so the string is the lamps.
    const std::array<const char*, 28> rows = {
        "X.......", "XX......", "XXX.....", "XXXX....", "XXXXX...", "XXXXXX..", "XXXXXXX.",
        "XXXXXXXX", ".XXXXXXX", "..XXXXXX", "...XXXXX", "....XXXX", ".....XXX", "......XX",
        ".......X", "......XX", ".....XXX", "....XXXX", "...XXXXX", "..XXXXXX", ".XXXXXXX",
        "XXXXXXXX", "XXXXXXX.", "XXXXXX..", "XXXXX...", "XXXX....", "XXX.....", "XX......"};
    AutomatonRig rig;
    rig.state.EffectKind = kRunningWave;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t step = 0; step < rows.size(); ++step) {
            SCOPED_TRACE(testing::Message() << "pass " << pass << " step " << step);
            rig.automaton->RunEffectStep();
            int pattern = 0;
            for (int bit = 7; bit >= 0; --bit) {
                pattern |= (rows[step][7 - bit] == 'X' ? 1 : 0) << bit;
            }
            EXPECT_EQ(rig.automaton->effectPattern(), pattern);
            EXPECT_TRUE(rig.lastWriteIs(pattern));
            EXPECT_EQ(rig.greenLamps(), rows[step]);
            EXPECT_EQ(rig.automaton->effectStep(), step == rows.size() - 1 ? 0 : int(step) + 1);
        }
    }
}

TEST(EffectsAutomatonOutput, StatusFollowsEveryWriteAndEffectsGoOnWhenNotConnected) {
    AutomatonRig rig;
    rig.device.connected = false;
    rig.automaton->RunEffectStep();
    rig.automaton->RunEffectStep();
    EXPECT_FALSE(rig.view.connected);
    EXPECT_EQ(rig.automaton->effectStep(), 1);
    rig.device.connected = true;
    rig.automaton->RunEffectStep();
    EXPECT_TRUE(rig.view.connected);
    EXPECT_EQ(rig.view.statusUpdates, 3);
    EXPECT_EQ(rig.writes(), 3u);
}

TEST(EffectsAutomatonSwitching, WaveStepAboveSevenBecomesSevenFallingOnTheFirstFireStep) {
    for (const bool risingBefore : {false, true}) {
        SCOPED_TRACE(risingBefore);
        AutomatonRig rig;
        if (risingBefore) {
            rig.automaton->RunEffectStep();  // fire from start-up: position 0, now rising
            ASSERT_TRUE(rig.automaton->fireRising());
        }
        rig.state.EffectKind = kRunningWave;
        while (rig.automaton->effectStep() != 20) {
            rig.automaton->RunEffectStep();
        }
        rig.state.EffectKind = kRunningFire;
        rig.automaton->RunEffectStep();
        EXPECT_EQ(rig.automaton->effectStep(), 7);
        EXPECT_FALSE(rig.automaton->fireRising());
        EXPECT_EQ(rig.automaton->effectPattern(), 128);
        EXPECT_EQ(rig.greenLamps(), ".......X");
        rig.automaton->RunEffectStep();
        EXPECT_EQ(rig.automaton->effectStep(), 6);
    }
}

TEST(EffectsAutomatonSwitching, WaveContinuesAtTheFirePosition) {
    AutomatonRig rig;
    for (int i = 0; i < 4; ++i) {
        rig.automaton->RunEffectStep();  // positions 0, 1, 2, 3
    }
    rig.state.EffectKind = kRunningWave;
    rig.automaton->RunEffectStep();
    EXPECT_EQ(rig.automaton->effectPattern(), 240);  // wave row 3
    EXPECT_EQ(rig.greenLamps(), "XXXX....");
    EXPECT_EQ(rig.automaton->effectStep(), 4);
}

TEST(EffectsAutomatonRandom, ChoiceReplacesTheSettingAndResendsThePreviousPattern) {
    bool choseFire = false;
    bool choseWave = false;
    // Generator states spread over the whole range, so first draws fall on both sides of 0.5.
    for (std::uint32_t i = 0; i < 64; ++i) {
        const std::uint32_t generatorState = 1 + i * 33'554'393u;
        SCOPED_TRACE(generatorState);
        AutomatonRig rig;
        rig.automaton->restartRandom(generatorState);
        for (int i = 0; i < 3; ++i) {
            rig.automaton->RunEffectStep();  // fire: positions 0, 1, 2 (pattern 4, rising)
        }
        const std::string lampsBefore = rig.greenLamps();
        const int lampUpdatesBefore = rig.view.lampUpdates;

        rig.state.EffectKind = kRandomEffect;
        rig.automaton->RunEffectStep();
        ASSERT_TRUE(rig.state.EffectKind == kRunningFire || rig.state.EffectKind == kRunningWave);
        EXPECT_EQ(rig.writes(), 4u);
        EXPECT_TRUE(rig.lastWriteIs(4));
        EXPECT_EQ(rig.automaton->effectPattern(), 4);
        EXPECT_EQ(rig.automaton->effectStep(), 2);
        EXPECT_TRUE(rig.automaton->fireRising());
        EXPECT_EQ(rig.view.lampUpdates, lampUpdatesBefore);
        EXPECT_EQ(rig.greenLamps(), lampsBefore);
        EXPECT_EQ(rig.view.statusUpdates, 4);

        // The chosen effect runs from then on, continuing the shared step.
        rig.automaton->RunEffectStep();
        if (rig.state.EffectKind == kRunningWave) {
            choseWave = true;
            EXPECT_EQ(rig.automaton->effectPattern(), 224);  // wave row 2
        } else {
            choseFire = true;
            EXPECT_EQ(rig.automaton->effectPattern(), 8);  // fire position 3
        }
    }
    EXPECT_TRUE(choseFire);
    EXPECT_TRUE(choseWave);
}

TEST(EffectsAutomatonTiming, StartsOnTheFirstSilentCheckAndStepsOneIntervalLater) {
    AutomatonRig rig;
    rig.state.NoSignalSeconds = 3;
    rig.state.EffectIntervalMs = 200;
    rig.applyPeriods();
    rig.start();
    rig.timers.advance(2999);
    EXPECT_FALSE(rig.timer3->enabled());
    EXPECT_FALSE(rig.state.NoSignalMode);
    rig.timers.advance(1);
    EXPECT_TRUE(rig.timer3->enabled());
    EXPECT_TRUE(rig.state.NoSignalMode);
    EXPECT_EQ(rig.writes(), 0u);
    rig.timers.advance(199);
    EXPECT_EQ(rig.writes(), 0u);
    rig.timers.advance(1);
    EXPECT_EQ(rig.writes(), 1u);
    EXPECT_TRUE(rig.lastWriteIs(1));  // first fire step after start-up: channel 0
    rig.timers.advance(800);
    EXPECT_EQ(rig.writes(), 5u);
}

TEST(EffectsAutomatonTiming, SignalLeftSeenDelaysTheStartByOnePeriod) {
    AutomatonRig rig;
    rig.state.SignalSeen = true;
    rig.start();
    rig.timers.advance(1000);
    EXPECT_FALSE(rig.state.SignalSeen);
    EXPECT_FALSE(rig.state.NoSignalMode);
    EXPECT_FALSE(rig.timer3->enabled());
    rig.timers.advance(1000);
    EXPECT_TRUE(rig.timer3->enabled());
    EXPECT_EQ(rig.writes(), 0u);
    rig.timers.advance(1000);
    EXPECT_EQ(rig.writes(), 1u);
}

TEST(EffectsAutomatonTiming, SignalStopsTheEffectsAtTheNextCheck) {
    AutomatonRig rig;
    rig.start();
    rig.timers.advance(3000);  // started at 1000, steps at 2000 and 3000
    ASSERT_EQ(rig.writes(), 2u);
    rig.state.SignalSeen = true;  // the level chain sent a changed pattern
    rig.timers.advance(1000);     // the step at 4000 runs, then the check sees the signal
    ASSERT_EQ(rig.writes(), 3u);
    EXPECT_FALSE(rig.timer3->enabled());
    EXPECT_FALSE(rig.state.NoSignalMode);
    EXPECT_FALSE(rig.state.SignalSeen);
    const int stepWhenStopped = rig.automaton->effectStep();
    // The check at 5000 finds a new silence; the first step comes at 6000 and continues the
    // effect where it stopped.
    rig.timers.advance(1999);
    EXPECT_TRUE(rig.timer3->enabled());
    EXPECT_EQ(rig.writes(), 3u);
    rig.timers.advance(1);
    EXPECT_EQ(rig.writes(), 4u);
    EXPECT_EQ(rig.automaton->effectStep(), stepWhenStopped + 1);
}

TEST(EffectsAutomatonSettings, DisablingDuringEffectsDoesNotStopThem) {
    AutomatonRig rig;
    rig.start();
    rig.timers.advance(2000);
    ASSERT_EQ(rig.writes(), 1u);
    rig.state.AutomatonDisabled = true;
    rig.timers.advance(3000);
    EXPECT_EQ(rig.writes(), 4u);
    EXPECT_TRUE(rig.timer3->enabled());
}

TEST(EffectsAutomatonSettings, EnablingDuringADisabledSilenceWaitsForSignalThenNewSilence) {
    AutomatonRig rig;
    rig.state.AutomatonDisabled = true;
    rig.start();
    rig.timers.advance(1000);
    EXPECT_TRUE(rig.state.NoSignalMode);
    EXPECT_FALSE(rig.timer3->enabled());
    rig.state.AutomatonDisabled = false;
    rig.timers.advance(5000);
    EXPECT_FALSE(rig.timer3->enabled());
    EXPECT_EQ(rig.writes(), 0u);
    rig.state.SignalSeen = true;
    rig.timers.advance(1000);  // check sees the signal
    EXPECT_FALSE(rig.state.NoSignalMode);
    rig.timers.advance(1000);  // new silence
    EXPECT_TRUE(rig.timer3->enabled());
    rig.timers.advance(1000);
    EXPECT_EQ(rig.writes(), 1u);
}

TEST(EffectsAutomatonSettings, StopLeavesSilenceModeSoEffectsResumeOnlyAfterSignalAndSilence) {
    AutomatonRig rig;
    rig.start();
    rig.timers.advance(4000);  // effects at 2000, 3000, 4000
    ASSERT_EQ(rig.writes(), 3u);
    const int stepAtStop = rig.automaton->effectStep();
    const bool risingAtStop = rig.automaton->fireRising();
    rig.stop();
    EXPECT_TRUE(rig.state.NoSignalMode);
    EXPECT_EQ(rig.automaton->effectStep(), stepAtStop);
    EXPECT_EQ(rig.automaton->fireRising(), risingAtStop);

    rig.start();
    rig.timers.advance(5000);
    EXPECT_EQ(rig.writes(), 3u);
    EXPECT_FALSE(rig.timer3->enabled());

    rig.state.SignalSeen = true;
    rig.timers.advance(1000);
    EXPECT_FALSE(rig.state.NoSignalMode);
    rig.timers.advance(2000);  // silence found, then the first step
    EXPECT_EQ(rig.writes(), 4u);
    EXPECT_EQ(rig.automaton->effectStep(), stepAtStop + 1);
}

}  // namespace
}  // namespace kalindor
