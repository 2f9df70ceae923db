// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"
#include "core/SoundInput.h"
#include "core/TimerPort.h"
#include "dsp/BufferPipeline.h"
#include "effects/EffectsAutomaton.h"

namespace kalindor {

class Capture;

// Everything below the window, wired together: the three timers, the capture, the buffer
// pipeline, the effects automaton and the lights they hand their frames to. The window and
// `kalindor-cli run` each own one; both drive it from their event loop's thread (the only thread
// that calls it).
class Engine {
  public:
    // All references must outlive the engine.
    Engine(SharedState& state, PipelineView& view, LightSink& lights, SoundInput& input,
           TimerPort& timers);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The Start branch of the Start/Stop toggle after the caption change: opens the sound
    // input; on failure the error is its detail and nothing else has changed (the caller shows
    // the defined message). On success starts capture (Timer1, Timer2 with NoSignalSeconds),
    // tells the lights they run, and prepares them.
    Expected<void> start();
    // The Stop branch: Timer1, Timer2, Timer3 off in that order; input reset, stopped, closed;
    // the lights told they stopped.
    void stop();
    // The close command: Timer1 off, input closed, the lights told they stopped. The caller then
    // ends the program.
    void close();
    // True while the sound input is open (a CaptureHandle is held).
    bool inputOpen() const;

    // Hands the lights a prepare frame (start-up and after every successful Start: the board is
    // probed and made ready). Updates the view's status with the board's answer.
    void prepareLights();

    // Re-reads the timer periods from the state (scan period -> Timer1, NoSignalSeconds ->
    // Timer2, EffectIntervalMs -> Timer3) without enabling or disabling any timer. Call after a
    // control, dialog, preset or reset changed them.
    void applyTimerPeriods();

    // Called once, on the main thread, when the running input stops delivering (device pulled,
    // server gone): capture has already been stopped as Stop does. `detail` says why.
    void setInputLostHandler(std::function<void(const std::string& detail)> handler);

    Capture& capture();
    // How many buffers after which SignalSeen stood raised where it had been lowered before
    // (counts the level chain's raises that survive to the buffer's end; run statistics).
    std::uint64_t signalRaises() const { return signalRaises_; }

    Timer& timer1();
    Timer& timer2();
    Timer& timer3();
    BufferPipeline& pipeline();
    EffectsAutomaton& automaton();

  private:
    SharedState& state_;
    PipelineView& view_;
    LightSink& lights_;
    std::unique_ptr<Timer> timer1_;
    std::unique_ptr<Timer> timer2_;
    std::unique_ptr<Timer> timer3_;
    BufferPipeline pipeline_;
    EffectsAutomaton automaton_;
    std::unique_ptr<Capture> capture_;
    std::function<void(const std::string&)> onInputLost_;
    std::uint64_t signalRaises_ = 0;
};

}  // namespace kalindor
