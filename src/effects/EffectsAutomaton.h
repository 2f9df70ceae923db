// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <random>

#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"
#include "core/TimerPort.h"

namespace kalindor {

// The effects automaton: the no-signal check (each Timer2 tick) and one effect step (each
// Timer3 tick). It enables and disables Timer3 itself; the owner wires the timers' callbacks
// to noSignalTick() and RunEffectStep(). Main thread only.
class EffectsAutomaton {
  public:
    // All references must outlive the automaton.
    EffectsAutomaton(SharedState& state, PipelineView& view, LightSink& lights, Timer& timer3);

    void noSignalTick();
    void RunEffectStep();

    std::int16_t effectPattern() const { return EffectPattern_; }
    int effectStep() const { return EffectStep_; }
    bool fireRising() const { return FireRising_; }

    // Restarts the random effect's generator from a fixed state (tests); by default it starts
    // from the generator's default state, which nothing changes at start-up, so every run of the
    // program shows the same random sequence.
    void restartRandom(std::uint32_t state) { random_ = std::minstd_rand(state); }

  private:
    SharedState& state_;
    PipelineView& view_;
    LightSink& lights_;
    Timer& timer3_;
    std::int16_t EffectPattern_ = 0;
    int EffectStep_ = 0;
    bool FireRising_ = false;
    std::minstd_rand random_;
};

}  // namespace kalindor
