// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/EffectsAutomaton.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <tuple>

#include "core/ControlUpdates.h"
#include "support/FakeLightDevice.h"
#include "support/RecordingView.h"
#include "support/VirtualTimerPort.h"

namespace kalindor {
namespace {

// The automaton with its two timers (1 s each at start-up) on a virtual clock, wired as the
// engine wires them.
struct AutomatonRig {
    AutomatonRig() {
        applyStartupDefaults(state);
        timer3 = timers.createTimer([this] { automaton->RunEffectStep(); });
        timer2 = timers.createTimer([this] { automaton->noSignalTick(); });
        automaton = std::make_unique<EffectsAutomaton>(state, view, device, *timer3);
        timer2->setInterval(state.NoSignalSeconds * 1000);
        timer3->setInterval(state.EffectIntervalMs);
    }

    // Runs one step; returns the lamps, lamp 0 first, as 'X' (green) and '.' (black), or '?'
    // for any other colour, and checks that the pattern written is the automaton's.
    std::string step() {
        automaton->RunEffectStep();
        const auto pattern = static_cast<std::uint8_t>(automaton->effectPattern());
        EXPECT_EQ(device.outWrites().back(), portBytesForPattern(pattern));
        std::string lamps;
        for (const Rgb& colour : view.lamps) {
            lamps += colour == kGreen ? 'X' : colour == kBlack ? '.' : '?';
        }
        return lamps;
    }

    SharedState state;
    test::RecordingView view;
    test::FakeLightDevice device;
    test::VirtualTimerPort timers;
    std::unique_ptr<Timer> timer3;
    std::unique_ptr<Timer> timer2;
    std::unique_ptr<EffectsAutomaton> automaton;
};

// The status line follows every write; a board that is not connected stops nothing.
TEST(EffectsAutomaton, FireRunsUpAndDownShowingEachEndTwiceFromStartUp) {
    AutomatonRig rig;
    for (const int position : {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 5, 4, 3, 2, 1, 0, 0, 1, 2}) {
        SCOPED_TRACE(position);
        rig.device.connected = position != 5;
        std::string lamps(8, '.');
        lamps[static_cast<std::size_t>(position)] = 'X';
        EXPECT_EQ(rig.step(), lamps);
        EXPECT_EQ(rig.automaton->effectPattern(), 1 << position);
        EXPECT_EQ(rig.view.connected, position != 5);
    }
    EXPECT_EQ(rig.view.statusUpdates, 19);
}

// Lit bits from bit 7 down to bit 0, so lamp i shows bit 7 - i and the row is the lamps.
TEST(EffectsAutomaton, WaveFollowsItsTableWithLampsMirroredAndWraps) {
    const std::array<const char*, 28> rows = {
        "X.......", "XX......", "XXX.....", "XXXX....", "XXXXX...", "XXXXXX..", "XXXXXXX.",
        "XXXXXXXX", ".XXXXXXX", "..XXXXXX", "...XXXXX", "....XXXX", ".....XXX", "......XX",
        ".......X", "......XX", ".....XXX", "....XXXX", "...XXXXX", "..XXXXXX", ".XXXXXXX",
        "XXXXXXXX", "XXXXXXX.", "XXXXXX..", "XXXXX...", "XXXX....", "XXX.....", "XX......"};
    AutomatonRig rig;
    rig.state.EffectKind = kRunningWave;
    for (int pass = 0; pass < 2; ++pass) {
        for (const char* row : rows) {
            SCOPED_TRACE(row);
            EXPECT_EQ(rig.step(), row);
        }
    }
}

// One row per check period: what happens first (S signal, D disable, E enable, X Stop,
// R Start), then a second of virtual time; then the device writes so far, whether the effects
// step and NoSignalMode. Timer3 was created first, so at a shared instant the step runs before
// the check.
TEST(EffectsAutomaton, NoSignalCheckStartsAndStopsTheEffects) {
    const std::tuple<char, std::size_t, bool, bool> rows[] = {
        {'R', 0, true, true},    // the first check finds silence
        {' ', 1, true, true},    // the first step comes one interval later
        {'S', 2, false, false},  // a step, then the check sees the signal and stops
        {'D', 2, false, true},   // a silence while disabled sets the mode only
        {'E', 2, false, true},   // enabling during it starts nothing
        {'S', 2, false, false},  // only a signal,
        {' ', 2, true, true},    // then a new silence does
        {'D', 3, true, true},    // disabling does not stop running effects
        {'E', 4, true, true},   {'X', 4, false, true},  // enabled again; Stop leaves the mode set,
        {'R', 4, false, true},                          // so the silence after Start starts nothing
        {'S', 4, false, false}, {' ', 4, true, true},   // until a signal and a new silence:
        {' ', 5, true, true},                           // the effect goes on where it stopped
    };
    AutomatonRig rig;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const auto& [event, writes, stepping, silence] = rows[i];
        rig.state.SignalSeen = event == 'S';
        if (event == 'D' || event == 'E') {
            rig.state.AutomatonDisabled = event == 'D';
        }
        if (event == 'X' || event == 'R') {
            rig.timer2->setEnabled(event == 'R');
            rig.timer3->setEnabled(rig.timer3->enabled() && event == 'R');
        }
        rig.timers.advance(1000);
        EXPECT_EQ(rig.device.outWrites().size(), writes);
        EXPECT_EQ(rig.timer3->enabled(), stepping);
        EXPECT_EQ(rig.state.NoSignalMode, silence);
        EXPECT_FALSE(rig.state.SignalSeen);
    }
    EXPECT_EQ(rig.device.outWrites().back(), portBytesForPattern(1 << 4));
}

}  // namespace
}  // namespace kalindor
