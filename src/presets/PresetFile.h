// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/Expected.h"
#include "core/SharedState.h"
#include "presets/PresetError.h"
#include "presets/PresetValues.h"

namespace kalindor {

// Reading and writing preset (.lcf) files. Both run to their end on the calling thread (the
// main thread in the window); neither throws for file or content problems.

// Reads the file at `path` (opened exactly as given; trimming a command line is the caller's
// job) and applies it to `state` only when all 33 items are readable and in range: on any error
// the state is left exactly as it was. Failure codes: PresetErrorCode (PresetError.h).
Expected<void, PresetError> loadPreset(const std::string& path, SharedState& state);

// Reads and validates the file at `path` without applying it.
Expected<PresetValues, PresetError> readPresetFile(const std::string& path);

// Writes the state's preset to `path`, replacing any file there. The bytes go to a new file in
// the same folder, which is flushed to disk and then renamed over `path`, so a failed save
// (missing folder, `path` being a folder, disk full, size limit) leaves an existing preset
// byte-identical and no temporary file behind. A replaced file's permission bits are kept; a
// symbolic link at `path` is followed and its target replaced. A target that exists and is not
// a regular file (a device, a FIFO, a socket) is refused and left as it is.
Expected<void, PresetError> savePreset(const std::string& path, const SharedState& state);

// The same for bytes already formatted (formatPreset).
Expected<void, PresetError> savePresetText(const std::string& path, const std::string& bytes);

}  // namespace kalindor
