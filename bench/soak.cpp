// SPDX-License-Identifier: GPL-3.0-or-later
// Soak run in fast time: the whole engine (capture, buffer pipeline, effects automaton) with a
// simulated board, on an hour of generated, varied sound (music-like tone mixes, silence,
// noise, clipping, DC offset), on a virtual clock. Every few seconds a setting changes at
// random as a user would change it: sliders through the control update routines, menu
// switches, the effects dialog, the reset command, presets saved and loaded, Stop and Start.
//
//   soak [SECONDS [PIXELS]]   virtual seconds to run (default 3600); with PIXELS the DMX
//                             output is a strip of PIXELS LEDs a channel from slot 1
//                             (ola:U:1:pixels:PIXELS, 170 spans eight universes)
//
// The lights are the simulated board and a DMX universe in the output list, with a light
// delay. Prints RSS at start and end, heap allocations per buffer (counted in the per-buffer
// path only, which must not allocate), device writes, automaton starts and stops, and wall time.
// Exit status 1 when the per-buffer path allocated or a saved preset did not read back.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "capture/Capture.h"
#include "core/ControlUpdates.h"
#include "engine/Engine.h"
#include "lights/DelayedLights.h"
#include "lights/LightOutputs.h"
#include "lights/SimulatedBoard.h"
#include "lights/ola/OlaOutput.h"
#include "presets/PresetFile.h"
#include "presets/PresetValues.h"

namespace {

std::int64_t countedAllocations = 0;  // made while the per-buffer path ran

}  // namespace

namespace kalindor {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr std::int64_t kSamplesPerMsSoak = kSampleRate / 1000;
constexpr std::uint32_t kSoakUniverse = 4242;  // far from the universes of a real rig
constexpr int kSoakLightDelayMs = 300;

// Periodic timers on a virtual clock, fired in due order with no catch-up, as the Timer
// contract asks. Holds at most a handful of timers; advancing allocates nothing.
class VirtualClock final : public TimerPort {
  public:
    class VirtualTimer final : public Timer {
      public:
        VirtualTimer(VirtualClock& clock, std::function<void()> onTick)
            : clock_(clock), onTick_(std::move(onTick)) {}
        ~VirtualTimer() override { std::erase(clock_.timers_, this); }
        void setInterval(int ms) override {
            interval_ = ms;
            due_ = clock_.now_ + interval_;
        }
        int interval() const override { return interval_; }
        void setEnabled(bool enabled) override {
            if (enabled && !enabled_) {
                due_ = clock_.now_ + interval_;
                ++enables;
            } else if (!enabled && enabled_) {
                ++disables;
            }
            enabled_ = enabled;
        }
        bool enabled() const override { return enabled_; }

        int enables = 0;
        int disables = 0;

      private:
        friend class VirtualClock;
        VirtualClock& clock_;
        std::function<void()> onTick_;
        int interval_ = 0;
        bool enabled_ = false;
        std::int64_t due_ = 0;
    };

    std::unique_ptr<Timer> createTimer(std::function<void()> onTick) override {
        auto timer = std::make_unique<VirtualTimer>(*this, std::move(onTick));
        timers_.push_back(timer.get());
        return timer;
    }
    std::int64_t nowMs() const override { return now_; }

    void advance(std::int64_t ms) {
        const std::int64_t end = now_ + ms;
        for (;;) {
            VirtualTimer* next = nullptr;
            for (VirtualTimer* timer : timers_) {
                if (timer->enabled_ && (next == nullptr || timer->due_ < next->due_)) {
                    next = timer;
                }
            }
            if (next == nullptr || next->due_ > end) {
                break;
            }
            now_ = std::max(now_, next->due_);
            next->due_ = now_ + std::max(next->interval_, 1);
            next->onTick_();
        }
        now_ = end;
    }

  private:
    std::vector<VirtualTimer*> timers_;
    std::int64_t now_ = 0;
};

// What the generated sound does for a while.
enum class SoundKind { kMusic, kSilence, kNoise, kClipping, kDcOffset, kCount };

// One stretch of sound: a kind, its length and its own tones.
struct Segment {
    SoundKind kind = SoundKind::kSilence;
    std::int64_t endSample = 0;
    double tonesHz[4] = {};
    double beatHz = 2.0;  // loudness pulse, like a beat
    double level = 0.5;   // of full scale
};

// A sound source on the virtual clock: it has captured every sample up to now, and a snapshot
// is computed from the sound model for the newest 256. No thread, no allocation per buffer.
class GeneratedSoundInput final : public SoundInput {
  public:
    GeneratedSoundInput(const TimerPort& clock, std::uint32_t randomStart)
        : clock_(clock), random_(randomStart) {}

    Expected<void> open() override {
        open_ = true;
        openedAtSample_ = absoluteSample();
        takenUpTo_ = openedAtSample_;
        return {};
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }

    bool takeBuffer(std::uint8_t* out) override {
        const std::int64_t newest = absoluteSample();
        if (!open_ || newest - takenUpTo_ < kBufferSamples) {
            return false;
        }
        for (std::int64_t n = newest - kBufferSamples; n < newest; ++n) {
            *out++ = sampleAt(n);
        }
        takenUpTo_ = newest;
        return true;
    }
    int msUntilBufferReady() const override {
        const std::int64_t missing = kBufferSamples - (absoluteSample() - takenUpTo_);
        return missing <= 0
                   ? 0
                   : static_cast<int>((missing + kSamplesPerMsSoak - 1) / kSamplesPerMsSoak);
    }
    std::int64_t msSinceLastData() const override { return 0; }
    std::uint64_t samplesCaptured() const override {
        return static_cast<std::uint64_t>(absoluteSample() - openedAtSample_);
    }

    std::int64_t secondsOf(SoundKind kind) const {
        return samplesOf_[static_cast<int>(kind)] / kSampleRate;
    }

  private:
    std::int64_t absoluteSample() const { return clock_.nowMs() * kSamplesPerMsSoak; }

    void nextSegment(std::int64_t startSample) {
        std::uniform_int_distribution<int> kindDraw(0, static_cast<int>(SoundKind::kCount) - 1);
        std::uniform_int_distribution<int> secondsDraw(5, 40);
        std::uniform_real_distribution<double> toneDraw(60.0, 5000.0);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        // Music most of the time, as at a party.
        segment_.kind =
            unit(random_) < 0.5 ? SoundKind::kMusic : static_cast<SoundKind>(kindDraw(random_));
        segment_.endSample = startSample + std::int64_t{secondsDraw(random_)} * kSampleRate;
        for (double& hz : segment_.tonesHz) {
            hz = toneDraw(random_);
        }
        segment_.beatHz = 1.0 + 2.0 * unit(random_);
        segment_.level = 0.1 + 0.8 * unit(random_);
        samplesOf_[static_cast<int>(segment_.kind)] += segment_.endSample - startSample;
    }

    double tones(std::int64_t n) const {
        const double t = static_cast<double>(n) / kSampleRate;
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            sum += std::sin(kTwoPi * segment_.tonesHz[i] * t) / (i + 1);
        }
        return sum / 2.1;
    }

    std::uint8_t sampleAt(std::int64_t n) {
        while (n >= segment_.endSample) {
            nextSegment(segment_.endSample);
        }
        const double t = static_cast<double>(n) / kSampleRate;
        double x = 0.0;
        switch (segment_.kind) {
            case SoundKind::kMusic: {
                const double pulse = 0.55 + 0.45 * std::cos(kTwoPi * segment_.beatHz * t);
                x = segment_.level * pulse * tones(n);
                break;
            }
            case SoundKind::kSilence:
                x = 0.0;
                break;
            case SoundKind::kNoise:
                x = segment_.level * (2.0 * noise_(random_) - 1.0);
                break;
            case SoundKind::kClipping:
                x = 4.0 * tones(n);
                break;
            case SoundKind::kDcOffset:
                x = 0.45 + 0.3 * segment_.level * tones(n);
                break;
            case SoundKind::kCount:
                break;
        }
        const double value = std::round(128.0 + 127.0 * x);
        return static_cast<std::uint8_t>(value < 0.0 ? 0.0 : (value > 255.0 ? 255.0 : value));
    }

    const TimerPort& clock_;
    std::mt19937 random_;
    std::uniform_real_distribution<double> noise_{0.0, 1.0};
    bool open_ = false;
    std::int64_t openedAtSample_ = 0;
    std::int64_t takenUpTo_ = 0;
    Segment segment_;
    std::int64_t samplesOf_[static_cast<int>(SoundKind::kCount)] = {};
};

// Passes calls to the simulated board and counts them.
class CountingDevice final : public LightDevice {
  public:
    explicit CountingDevice(LightDevice& board) : board_(board) {}
    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override {
        ++probes;
        return board_.DoGetInfraCode(code, value, count);
    }
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override {
        ++directionWrites;
        return board_.DoSetDataPortDirections(first, second, third, usedPorts);
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override {
        ++outWrites;
        return board_.DoSetOutDataPorts(first, second, third, usedPorts);
    }
    std::int64_t probes = 0;
    std::int64_t directionWrites = 0;
    std::int64_t outWrites = 0;

  private:
    LightDevice& board_;
};

// Resident set size in KiB, now and at its peak.
long residentKib() {
    long pages = 0;
    long resident = 0;
    std::ifstream statm("/proc/self/statm");
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
long peakResidentKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Figures {
    int settingChanges = 0;
    int presetsSaved = 0;
    int presetsLoaded = 0;
    int presetMismatches = 0;
    int stops = 0;
};

// One random change, as a user makes it between two buffers.
void changeSomething(std::mt19937& random, SharedState& state, Engine& engine,
                     const std::filesystem::path& folder, Figures& figures) {
    std::uniform_int_distribution<int> what(0, 13);
    std::uniform_int_distribution<int> channel(0, kChannelCount - 1);
    const auto in = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const auto anywhere = [&](Setting setting) {
        const SettingInfo& info = settingInfo(setting);
        return in(info.low, info.high);
    };
    const std::string preset = (folder / ("preset-" + std::to_string(in(0, 3)) + ".lcf")).string();
    ++figures.settingChanges;
    switch (what(random)) {
        case 0:
            setScanPeriod(state, anywhere(Setting::kScanPeriod));
            break;
        case 1:
            setDecaySpeed(state, anywhere(Setting::kDecaySpeed));
            break;
        case 2:
            setThreshold(state, channel(random), anywhere(Setting::kThreshold));
            break;
        case 3:
            setGain(state, channel(random), anywhere(Setting::kGain));
            break;
        case 4:
            setFrequency(state, channel(random), anywhere(Setting::kFrequency));
            break;
        case 5:
            setNoiseFilter(state, anywhere(Setting::kNoiseFilter));
            setAgcSpeed(state, anywhere(Setting::kAgcSpeed));
            break;
        case 6:
            state.AgcEnabled = !state.AgcEnabled;
            break;
        case 7:
            state.XScaleLog = in(0, 1) == 1;
            state.YScaleLog = in(0, 1) == 1;
            state.GraphPolygon = in(0, 1) == 1;
            break;
        case 8:
            setNoSignalSeconds(state, anywhere(Setting::kNoSignalSeconds));
            setEffectSpeed(state, anywhere(Setting::kEffectSpeed));
            state.EffectKind = static_cast<std::int16_t>(in(0, 2));
            state.AutomatonDisabled = in(0, 5) == 0;
            break;
        case 9:
            resetSettings(state);
            break;
        case 10:
        case 11: {
            const PresetValues saved = presetValuesFromState(state);
            if (savePreset(preset, state)) {
                ++figures.presetsSaved;
                SharedState check = state;
                if (!loadPreset(preset, check) || presetValuesFromState(check) != saved) {
                    ++figures.presetMismatches;
                }
            }
            break;
        }
        case 12:
            if (loadPreset(preset, state)) {
                ++figures.presetsLoaded;
            }
            break;
        default:
            engine.stop();
            ++figures.stops;
            if (const auto started = engine.start(); !started) {
                std::fprintf(stderr, "soak: cannot start again: %s\n", started.error().c_str());
            }
            break;
    }
    engine.applyTimerPeriods();
}

int runSoak(std::int64_t seconds, int pixels) {
    const auto wallStart = std::chrono::steady_clock::now();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kalindor-soak-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);

    SharedState state;
    applyStartupDefaults(state);
    VirtualClock clock;
    GeneratedSoundInput input(clock, 20240611u);
    SimulatedBoard board(nullptr, [&clock] { return clock.nowMs(); });
    CountingDevice device(board);
    // Every output kind on the per-buffer path: a dimming DMX universe (a daemon need not run)
    // in the output list, and the light delay in front of it.
    std::vector<std::unique_ptr<LightOutput>> others;
    others.push_back(createOlaOutput({kSoakUniverse, 1, DmxLevels::kDim, kDefaultOlaPort,
                                      pixels > 0 ? DmxLayout::kPixels : DmxLayout::kDimmer,
                                      std::max(pixels, 1)}));
    LightOutputs outputs(device, true, std::move(others));
    DelayedLights delayed(outputs, clock, kSoakLightDelayMs);
    NullView view;
    Engine engine(state, view, delayed, input, clock);
    Figures figures;
    std::mt19937 random(7u);
    std::uniform_int_distribution<int> gapMs(2000, 8000);

    if (const auto started = engine.start(); !started) {
        std::fprintf(stderr, "soak: cannot start: %s\n", started.error().c_str());
        return 1;
    }
    clock.advance(1000);  // first buffers, tables and lazily built state in place
    const long rssStartKib = residentKib();
    const std::uint64_t buffersAtStart = engine.capture().buffersProcessed();
    std::uint64_t buffers = 0;
    std::uint64_t skipped = 0;

    const std::int64_t endMs = seconds * 1000;
    while (clock.nowMs() < endMs) {
        const std::int64_t step = std::min<std::int64_t>(gapMs(random), endMs - clock.nowMs());
        const std::uint64_t before = engine.capture().buffersProcessed();
        const std::uint64_t skippedBefore = engine.capture().ticksSkipped();
        const std::int64_t allocationsBefore = allocationCount;
        clock.advance(step);
        countedAllocations += allocationCount - allocationsBefore;
        buffers += engine.capture().buffersProcessed() - before;
        skipped += engine.capture().ticksSkipped() - skippedBefore;
        changeSomething(random, state, engine, folder, figures);
    }
    engine.stop();
    const long rssEndKib = residentKib();
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::filesystem::remove_all(folder);

    auto& automatonTimer = static_cast<VirtualClock::VirtualTimer&>(engine.timer3());
    const double perBuffer = buffers == 0 ? 0.0 : static_cast<double>(countedAllocations) / buffers;
    std::printf("soak: %lld s of sound in %.1f s wall time (%.0fx real time)\n",
                static_cast<long long>(seconds), wallSeconds, seconds / wallSeconds);
    std::printf(
        "  sound: music %llds, silence %llds, noise %llds, clipping %llds, DC offset %llds\n",
        static_cast<long long>(input.secondsOf(SoundKind::kMusic)),
        static_cast<long long>(input.secondsOf(SoundKind::kSilence)),
        static_cast<long long>(input.secondsOf(SoundKind::kNoise)),
        static_cast<long long>(input.secondsOf(SoundKind::kClipping)),
        static_cast<long long>(input.secondsOf(SoundKind::kDcOffset)));
    std::printf("  buffers processed: %llu (+%llu before measuring), ticks skipped: %llu\n",
                static_cast<unsigned long long>(buffers),
                static_cast<unsigned long long>(buffersAtStart),
                static_cast<unsigned long long>(skipped));
    std::printf("  heap allocations in the per-buffer path: %lld (%.4f per buffer)\n",
                static_cast<long long>(countedAllocations), perBuffer);
    std::printf("  RSS: %ld KiB at start, %ld KiB at end, peak %ld KiB\n", rssStartKib, rssEndKib,
                peakResidentKib());
    std::printf("  outputs: the board, OLA universe %u (dim, %s), light delay %d ms\n",
                static_cast<unsigned>(kSoakUniverse),
                pixels > 0 ? ("pixels:" + std::to_string(pixels)).c_str() : "dimmer",
                kSoakLightDelayMs);
    std::printf("  device: %lld port writes, %lld probes, %lld direction writes\n",
                static_cast<long long>(device.outWrites), static_cast<long long>(device.probes),
                static_cast<long long>(device.directionWrites));
    std::printf("  automaton: %d starts, %d stops (Stop included)\n", automatonTimer.enables,
                automatonTimer.disables);
    std::printf("  settings changed %d times: %d presets saved, %d loaded, %d Stop/Start\n",
                figures.settingChanges, figures.presetsSaved, figures.presetsLoaded, figures.stops);
    bool ok = true;
    if (countedAllocations != 0) {
        std::fprintf(stderr, "soak: the per-buffer path allocated\n");
        ok = false;
    }
    if (figures.presetMismatches != 0) {
        std::fprintf(stderr, "soak: %d saved presets did not read back\n",
                     figures.presetMismatches);
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace kalindor

int main(int argc, char** argv) {
    std::int64_t seconds = 3600;
    int pixels = 0;
    if (argc > 3 || (argc >= 2 && (seconds = std::atoll(argv[1])) <= 0) ||
        (argc == 3 && ((pixels = std::atoi(argv[2])) < 1 || pixels > kalindor::kLedsPerUniverse))) {
        std::fprintf(stderr, "usage: soak [SECONDS [PIXELS]]\n");
        return 2;
    }
    return kalindor::runSoak(seconds, pixels);
}
