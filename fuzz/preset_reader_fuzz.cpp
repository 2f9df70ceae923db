// SPDX-License-Identifier: GPL-3.0-or-later
// The preset reader on arbitrary bytes. A rejected preset changes no setting; an accepted one
// applies exactly the numbers it holds, and written back and read again gives the same 33
// numbers and the same settings. The text parser and the file reader agree.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "core/ControlUpdates.h"
#include "presets/PresetFile.h"
#include "presets/PresetValues.h"

namespace kalindor {
namespace {

using fuzz::require;

// A state away from the start-up values in every setting a preset holds, and in some it does
// not, so that any partial application or stray write shows.
SharedState startingState() {
    SharedState state;
    applyStartupDefaults(state);
    setScanPeriod(state, 77);
    setDecaySpeed(state, 9);
    state.AgcEnabled = true;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setThreshold(state, ch, 10 - ch);
        setGain(state, ch, 3 + 4 * ch);
        setFrequency(state, ch, 250 - 7 * ch);
    }
    setNoiseFilter(state, 63);
    state.GraphPolygon = false;
    state.XScaleLog = false;
    state.YScaleLog = false;
    state.AgcSpeed = -1234;
    state.PortAddress = 632;
    setNoSignalSeconds(state, 7);
    setEffectSpeed(state, 3);
    state.AutomatonDisabled = true;
    state.EffectKind = kRunningWave;
    state.SignalSeen = true;
    state.NoSignalMode = true;
    return state;
}

bool knownCode(int code) {
    switch (code) {
        case kPresetOverflow:
        case kPresetNotNumeric:
        case kPresetFileNotFound:
        case kPresetIoError:
        case kPresetDiskFull:
        case kPresetPastEndOfFile:
        case kPresetPermissionDenied:
        case kPresetAccessError:
        case kPresetPathNotFound:
        case kPresetInvalidPosition:
            return true;
        default:
            return false;
    }
}

}  // namespace
}  // namespace kalindor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalindor;
    static const std::string inputPath = fuzz::scratchFolder() + "/input.lcf";
    static const std::string savedPath = fuzz::scratchFolder() + "/saved.lcf";
    static const SharedState initial = startingState();

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Expected<PresetValues, PresetError> parsed = parsePreset(text);

    fuzz::writeScratchFile(inputPath, data, size);
    SharedState state = initial;
    const Expected<void, PresetError> loaded = loadPreset(inputPath, state);

    require(loaded.has_value() == parsed.has_value(), "file reader and parser agree");
    if (!loaded) {
        const PresetError& error = loaded.error();
        require(state == initial, "a rejected preset changes no setting");
        require(error.line == parsed.error().line && error.code == parsed.error().code,
                "file reader and parser name the same line and code");
        require(error.line >= 1 && error.line <= kPresetLineCount,
                "a content error names a line 1..33");
        require(knownCode(error.code), "the error code is a known one");
        require(!error.reason.empty(), "the error has a reason");
        require(error.reason.find('\n') == std::string::npos &&
                    error.reason.find('\r') == std::string::npos,
                "the reason is one line");
        return 0;
    }

    const auto numbers = presetLines(*parsed);
    require(presetLines(presetValuesFromState(state)) == numbers,
            "an accepted preset applies exactly its numbers");

    const bool saved = savePreset(savedPath, state).has_value();
    require(saved, "the settings of an accepted preset can be saved");
    require(fuzz::readScratchFile(savedPath) == formatPreset(*parsed),
            "the saved bytes are the writer's form of the numbers read");
    SharedState again = initial;
    const bool readBack = loadPreset(savedPath, again).has_value();
    require(readBack, "a saved preset reads back");
    require(presetLines(presetValuesFromState(again)) == numbers,
            "written back and read again: the same 33 numbers");
    require(again == state, "written back and read again: the same settings");
    return 0;
}
