// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioFile.h"
#include "cli/Commands.h"
#include "core/ControlUpdates.h"
#include "core/Expected.h"
#include "core/PipelineView.h"
#include "dsp/OfflineAnalysis.h"
#include "dsp/SongPreview.h"
#include "lights/LightOutputs.h"
#include "lights/SimulatedBoard.h"
#include "presets/PresetFile.h"
#ifdef KALINDOR_HAVE_PICTURES
#include "ui/picture/SongPicture.h"
#endif

namespace kalindor::cli {

namespace {

constexpr const char* kAnalyzeUsage =
    "Usage: kalindor-cli analyze [--preset FILE] [--tick MS] [--picture IMAGE] AUDIO\n"
    "\n"
    "Runs the analysis offline on AUDIO: a sound file of any format libsndfile reads\n"
    "(mixed to mono and resampled to 32000 Hz, 8-bit), or a headerless file ending in\n"
    ".u8 or .raw holding 32000 Hz mono unsigned 8-bit samples.\n"
    "Every MS milliseconds of the recording one 256-sample snapshot is analysed, as the\n"
    "capture tick does, and one line is printed:\n"
    "  <ms> <light pattern> <bar1> ... <bar8>\n"
    "(the pattern has bit 0 for channel 1; the bars are the level bars' values, 0..255).\n"
    "\n"
    "  --preset FILE  Apply a preset (.lcf) over the start-up settings first.\n"
    "  --tick MS      Milliseconds between snapshots (default: the preset's scan period,\n"
    "                 else 50).\n"
    "  --picture IMAGE  Instead of the lines, draw the song's light show into IMAGE (SVG\n"
    "                 when the name ends in .svg, else PNG), as the window's \"Просмотр\n"
    "                 песни\" shows it: loudness, the lit stretches of each channel, the\n"
    "                 share of time lit and the switches per minute.\n"
    "\n"
    "Exit status: 0 success, 1 a file cannot be read or the output cannot be written,\n"
    "2 usage error.\n";

int usageError(const std::string& detail) {
    std::fprintf(stderr, "kalindor-cli: analyze: %s (see 'kalindor-cli analyze --help')\n",
                 detail.c_str());
    return kExitUsage;
}

int runtimeError(const std::string& detail) {
    std::fprintf(stderr, "kalindor-cli: analyze: %s\n", detail.c_str());
    return kExitRuntimeError;
}

std::optional<int> parsePositiveInt(const std::string& text) {
    int value = 0;
    const char* const end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end || value < 1) {
        return std::nullopt;
    }
    return value;
}

struct AnalyzeOptions {
    bool helpRequested = false;  // --help; the other fields are then not meaningful
    std::optional<std::string> presetPath;
    std::optional<int> tickMs;
    std::optional<std::string> picturePath;
    std::string audioPath;
};

// The error is a usage error, without the command's prefix and the pointer to --help.
Expected<AnalyzeOptions> parseOptions(std::span<const std::string> args) {
    AnalyzeOptions options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.helpRequested = true;
            return options;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (name != "--preset" && name != "--tick" && name != "--picture") {
            return unexpected("unknown option '" + arg + "'");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return unexpected(name + " needs a value");
            }
            value = args[++i];
        }
        if (name == "--preset") {
            options.presetPath = *value;
        } else if (name == "--picture") {
#ifndef KALINDOR_HAVE_PICTURES
            return unexpected("--picture: built without pictures (this build has no Qt)");
#endif
            if (value->empty()) {
                return unexpected("--picture needs a file name");
            }
            options.picturePath = *value;
        } else {
            options.tickMs = parsePositiveInt(*value);
            if (!options.tickMs) {
                return unexpected("--tick needs a whole number of milliseconds >= 1, not '" +
                                  *value + "'");
            }
        }
    }
    if (positional.empty()) {
        return unexpected("missing AUDIO file");
    }
    if (positional.size() > 1) {
        return unexpected("unexpected argument '" + positional[1] + "'");
    }
    options.audioPath = positional.front();
    return options;
}

int drawPicture(const AnalyzeOptions& options, SharedState& state, int tickMs,
                const std::vector<std::uint8_t>& samples) {
    if (samples.size() < kPreviewMinimumSamples) {
        return runtimeError("'" + options.audioPath +
                            "' is shorter than one snapshot (256 samples at 32000 Hz)");
    }
    state.ScanPeriodMs = static_cast<std::int16_t>(std::min(tickMs, 32767));
    [[maybe_unused]] const SongPreview preview = previewSong(samples, state);
#ifdef KALINDOR_HAVE_PICTURES
    const std::string title = options.audioPath.substr(options.audioPath.rfind('/') + 1);
    if (const Expected<void> written = ui::writeSongPicture(preview, title, *options.picturePath);
        !written) {
        return runtimeError(written.error());
    }
#endif
    return kExitOk;
}

}  // namespace

int runAnalyze(std::span<const std::string> args) {
    const Expected<AnalyzeOptions> options = parseOptions(args);
    if (!options) {
        return usageError(options.error());
    }
    if (options->helpRequested) {
        std::fputs(kAnalyzeUsage, stdout);
        return kExitOk;
    }

    SharedState state;
    applyStartupDefaults(state);
    if (options->presetPath) {
        if (const auto loaded = loadPreset(*options->presetPath, state); !loaded) {
            return runtimeError("cannot read preset '" + *options->presetPath +
                                "': " + loaded.error().describe());
        }
    }
    const int tickMs = options->tickMs.value_or(state.ScanPeriodMs);

    const Expected<AudioFile> audio = loadAudioFile(options->audioPath);
    if (!audio) {
        return runtimeError(audio.error());
    }

    if (options->picturePath) {
        return drawPicture(*options, state, tickMs, audio->samples);
    }

    NullView view;
    SimulatedBoard board;
    LightOutputs lights(board, true, {});
    std::vector<char> output;
    output.reserve(
        (audio->samples.size() / (static_cast<std::size_t>(tickMs) * kSamplesPerMs) + 1) * 24);
    analyzeRecording(audio->samples, tickMs, state, view, lights,
                     [&output](const SnapshotResult& result) {
                         char line[kSnapshotLineMax];
                         const std::size_t length = formatSnapshotLine(result, line);
                         output.insert(output.end(), line, line + length);
                     });

    errno = 0;
    std::fwrite(output.data(), 1, output.size(), stdout);
    if (const std::optional<std::string> failure = outputFailure()) {
        return runtimeError(*failure);
    }
    return kExitOk;
}

}  // namespace kalindor::cli
