// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Engine.h"

#include <utility>

#include "capture/Capture.h"

namespace kalindor {

namespace {

constexpr int kMsPerSecond = 1000;

// Setting the interval of an enabled timer restarts its period; only a real change may do
// that, or frequent control moves would keep postponing the no-signal check.
void setIntervalIfChanged(Timer& timer, int ms) {
    if (timer.interval() != ms) {
        timer.setInterval(ms);
    }
}

}  // namespace

Engine::Engine(SharedState& state, PipelineView& view, LightSink& lights, SoundInput& input,
               TimerPort& timers)
    : state_(state),
      view_(view),
      lights_(lights),
      timer1_(timers.createTimer([this] { capture_->CaptureTick(); })),
      timer2_(timers.createTimer([this] { automaton_.noSignalTick(); })),
      timer3_(timers.createTimer([this] { automaton_.RunEffectStep(); })),
      pipeline_(state, view, lights),
      automaton_(state, view, lights, *timer3_),
      capture_(std::make_unique<Capture>(input, timers, [this](const std::uint8_t* samples) {
          const bool raisedBefore = state_.SignalSeen;
          pipeline_.ProcessBuffer(samples);
          if (!raisedBefore && state_.SignalSeen) {
              ++signalRaises_;
          }
      })) {
    capture_->setSourceLostHandler([this](const std::string& detail) {
        stop();
        if (onInputLost_) {
            onInputLost_(detail);
        }
    });
    applyTimerPeriods();
}

Engine::~Engine() = default;

Expected<void> Engine::start() {
    if (Expected<void> opened = capture_->open(); !opened) {
        return opened;
    }
    // StartCapture: the input already records (open starts it); Timer1, then Timer2.
    setIntervalIfChanged(*timer1_, state_.ScanPeriodMs);
    timer1_->setEnabled(true);
    setIntervalIfChanged(*timer2_, state_.NoSignalSeconds * kMsPerSecond);
    timer2_->setEnabled(true);
    lights_.setRunning(true);
    prepareLights();
    return {};
}

void Engine::stop() {
    timer1_->setEnabled(false);
    timer2_->setEnabled(false);
    timer3_->setEnabled(false);
    capture_->stop();
    lights_.setRunning(false);
}

void Engine::close() {
    timer1_->setEnabled(false);
    capture_->close();
    lights_.setRunning(false);
}

bool Engine::inputOpen() const {
    return capture_->inputOpen();
}

void Engine::prepareLights() {
    if (const std::optional<bool> board = lights_.show({0, {}, FrameKind::kPrepare})) {
        view_.setDeviceStatus(*board);
    }
}

void Engine::applyTimerPeriods() {
    setIntervalIfChanged(*timer1_, state_.ScanPeriodMs);
    setIntervalIfChanged(*timer2_, state_.NoSignalSeconds * kMsPerSecond);
    setIntervalIfChanged(*timer3_, state_.EffectIntervalMs);
}

void Engine::setInputLostHandler(std::function<void(const std::string&)> handler) {
    onInputLost_ = std::move(handler);
}

Capture& Engine::capture() {
    return *capture_;
}

Timer& Engine::timer1() {
    return *timer1_;
}

Timer& Engine::timer2() {
    return *timer2_;
}

Timer& Engine::timer3() {
    return *timer3_;
}

BufferPipeline& Engine::pipeline() {
    return pipeline_;
}

EffectsAutomaton& Engine::automaton() {
    return automaton_;
}

}  // namespace kalindor
