// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/SoundInputFactory.h"
#include "capture/Capture.h"
#include "cli/Commands.h"
#include "core/ControlUpdates.h"
#include "engine/Engine.h"
#include "engine/LightDeviceFactory.h"
#include "launch/LaunchOptions.h"
#include "lights/OutputWatch.h"
#include "platform/PollEventLoop.h"
#include "presets/PresetFile.h"

namespace kalindor::cli {

namespace {

constexpr const char* kRunUsage =
    "Usage: kalindor-cli run [OPTIONS] [PRESET]\n"
    "\n"
    "Captures live sound and drives the lights: the capture tick, the analysis, the device\n"
    "writes and the effects automaton run on their timers until SIGINT or SIGTERM (or --for).\n"
    "With an audio file as input the run also ends, with exit status 0, when the file has\n"
    "played (unless --loop).\n"
    "PRESET is a preset (.lcf) applied over the start-up settings before capture starts. As on\n"
    "the window's command line, the arguments that are not options are joined with single\n"
    "blanks into one path (a path with blanks may come as several words, as the service's\n"
    "KALINDOR_ARGS gives it), and a trailing \"start\" or \"starth\" is accepted and ignored:\n"
    "capture always starts here.\n"
    "With --device sim every port write is printed on stdout as\n"
    "<ms since start> <first> <second> <third> <used>, the board's port bytes in decimal:\n"
    "first is port B (channels 7 and 8 on bits 2 and 3), second port C (channels 1 to 6 on\n"
    "bits 0 to 5), third port D (unused, 0), used the ports in use (bit 0 B, bit 1 C, bit 2 D).\n"
    "A run whose output cannot be written (a full disk, a reader gone) ends at once, exit 1.\n"
    "\n"
    "Options:\n";

constexpr const char* kRunOwnOptionsHelp =
    "  --loop\n"
    "        With a file as input: play it again from the start at its end (default: the run\n"
    "        ends when the file has played).\n"
    "  --stats\n"
    "        At the end, print one line of capture statistics on stderr (ticks, buffers, skipped\n"
    "        ticks, overlapping buffers, SignalSeen raises, elapsed and scan milliseconds).\n";

struct RunOwnOptions {
    bool loop = false;
    bool stats = false;
};

// Takes the options only this command knows out of the arguments; the rest are the shared
// launch options.
std::vector<std::string> takeOwnOptions(std::span<const std::string> args, RunOwnOptions& own) {
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg == "--loop") {
            own.loop = true;
        } else if (arg == "--stats") {
            own.stats = true;
        } else {
            rest.push_back(arg);
        }
    }
    return rest;
}

std::int64_t wallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void printError(const std::string& detail) {
    std::fprintf(stderr, "kalindor-cli: run: %s\n", detail.c_str());
}

}  // namespace

int runLive(std::span<const std::string> args) {
    RunOwnOptions own;
    const std::vector<std::string> launchArgs = takeOwnOptions(args, own);
    const Expected<LaunchOptions> parsed = parseLaunchOptions(launchArgs, LaunchProgram::kCliRun);
    if (!parsed) {
        std::fprintf(stderr, "kalindor-cli: run: %s (see 'kalindor-cli run --help')\n",
                     parsed.error().c_str());
        return kExitUsage;
    }
    const LaunchOptions& options = *parsed;
    if (options.helpRequested) {
        std::fputs(kRunUsage, stdout);
        std::fputs(launchOptionsHelp(LaunchProgram::kCliRun).c_str(), stdout);
        std::fputs(kRunOwnOptionsHelp, stdout);
        return kExitOk;
    }

    SharedState state;
    applyStartupDefaults(state);
    applyAutomatonOptions(options, state);
    if (!options.command.path.empty()) {
        if (const auto loaded = loadPreset(options.command.path, state); !loaded) {
            printError("cannot read preset '" + options.command.path +
                       "': " + loaded.error().describe());
            return kExitRuntimeError;
        }
    }

    PollEventLoop loop;
    if (const Expected<void> watching = loop.watchSignals({SIGINT, SIGTERM}); !watching) {
        printError(watching.error());
        return kExitRuntimeError;
    }
    // A closed stdout (the log's reader went away) must surface as a write problem, not kill
    // the process before the input is closed.
    std::signal(SIGPIPE, SIG_IGN);

    // The sim log counts milliseconds from the board's creation, just below; the statistics
    // give that origin on the wall clock so that a benchmark can line the log up with the
    // sound it played.
    const std::int64_t logOriginUnixMs = wallClockMs();
    const std::int64_t logOriginMs = loop.nowMs();
    const OutputChoices outputs = resolveOutputChoices(OutputChoices{}, options);
    LightSetupOptions lightOptions;
    lightOptions.simLog = boardKind(outputs.devices) == OutputChoice::Kind::kSim ? stdout : nullptr;
    // The simulated board's one problem is its log, stdout, refusing a write: a run whose
    // output is lost (a full disk, a reader gone) ends at once as failed.
    bool outputLost = false;
    lightOptions.onProblem = [&](const std::string& problem) {
        printError(problem);
        if (lightOptions.simLog != nullptr) {
            outputLost = true;
            loop.quit();
        }
    };
    const LightSetup lights = createLightSetup(outputs, lightOptions, loop);
    if (!lights.failures.empty()) {
        printError(lights.failures.front());
        return kExitRuntimeError;
    }
    const OutputWatch watch(*lights.outputs, loop, [](const LightOutput& output, bool connected) {
        printError(output.name() + (connected ? ": connected" : ": not connected"));
    });

    const std::unique_ptr<SoundInput> input = createSoundInput(options.input, own.loop);
    NullView view;
    Engine engine(state, view, lights.sink(), *input, loop);

    std::optional<std::string> inputLost;
    engine.setInputLostHandler([&](const std::string& detail) {
        inputLost = detail;
        loop.quit();
    });

    const std::int64_t startMs = loop.nowMs();
    if (const Expected<void> started = engine.start(); !started) {
        printError("cannot open the sound input '" + options.input + "': " + started.error());
        return kExitRuntimeError;
    }
    const std::int64_t captureStartMs = loop.nowMs() - logOriginMs;

    // A run may last longer than one timer interval can (int milliseconds, ~24.8 days): the
    // end-of-run timer wakes at most hourly and quits once the end time has come.
    static constexpr std::int64_t kLongestWaitMs = 3'600'000;
    std::unique_ptr<Timer> endOfRun;
    if (options.runForMs) {
        const std::int64_t endMs = loop.nowMs() + *options.runForMs;
        const auto nextWaitMs = [&loop, endMs] {
            return static_cast<int>(
                std::clamp<std::int64_t>(endMs - loop.nowMs(), 1, kLongestWaitMs));
        };
        endOfRun = loop.createTimer([&loop, &endOfRun, endMs, nextWaitMs] {
            if (loop.nowMs() >= endMs) {
                loop.quit();
            } else {
                endOfRun->setInterval(nextWaitMs());
            }
        });
        endOfRun->setInterval(nextWaitMs());
        endOfRun->setEnabled(true);
    }
    // A log write during the start may already have lost the output; quit() before run() would
    // be forgotten.
    const Expected<int> ran = outputLost ? Expected<int>(0) : loop.run();
    const std::int64_t elapsedMs = loop.nowMs() - startMs;
    if (engine.inputOpen()) {
        engine.stop();
    }
    if (!ran) {
        printError(ran.error());
        return kExitRuntimeError;
    }

    if (own.stats) {
        const Capture& capture = engine.capture();
        std::fprintf(stderr,
                     "kalindor-cli: run: statistics: ticks=%llu buffers=%llu skipped-ticks=%llu "
                     "overlapping=%llu signal-raises=%llu elapsed-ms=%lld scan-ms=%d "
                     "log-origin-unix-ms=%lld capture-start-ms=%lld\n",
                     static_cast<unsigned long long>(capture.ticks()),
                     static_cast<unsigned long long>(capture.buffersProcessed()),
                     static_cast<unsigned long long>(capture.ticksSkipped()),
                     static_cast<unsigned long long>(capture.buffersOverlapping()),
                     static_cast<unsigned long long>(engine.signalRaises()),
                     static_cast<long long>(elapsedMs), static_cast<int>(state.ScanPeriodMs),
                     static_cast<long long>(logOriginUnixMs),
                     static_cast<long long>(captureStartMs));
    }
    if (outputLost) {
        return kExitRuntimeError;
    }
    if (const std::optional<std::string> failure =
            lightOptions.simLog != nullptr ? outputFailure() : std::nullopt) {
        printError(*failure);
        return kExitRuntimeError;
    }
    if (inputLost && !input->ended()) {
        printError("the sound input was lost (" + *inputLost + "); capture stopped");
        return kExitRuntimeError;
    }
    return kExitOk;
}

}  // namespace kalindor::cli
