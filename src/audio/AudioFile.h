// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/CaptureFormat.h"
#include "core/Expected.h"

namespace kalindor {

// A whole sound file in the capture format: mono unsigned 8-bit samples at 32000 Hz,
// silence = 128.
struct AudioFile {
    std::vector<std::uint8_t> samples;
};

// Loads any file libsndfile reads, mixing to mono (mean of the channels) and resampling to
// 32000 Hz with libsoxr (low quality recipe: ample for 8 bits). A file whose name ends ".u8" or
// ".raw" has no header and is taken as capture-format samples as they are. Reads the whole file
// into memory. The error is a text the user can act on, in the preset files' words: "cannot open
// 'PATH': reason",
// "'PATH' is a folder", "cannot read 'PATH': reason".
Expected<AudioFile> loadAudioFile(const std::string& path);

// The same, telling progress (0..1, after each chunk, on the calling thread) to `progress`,
// which returns false to stop: the load then fails with kLoadCancelled.
Expected<AudioFile> loadAudioFile(const std::string& path,
                                  const std::function<bool(double fraction)>& progress);
inline constexpr const char* kLoadCancelled = "cancelled";

// True for the headerless capture-format names (".u8", ".raw").
bool isRawCaptureFileName(const std::string& path);

// True when the name ends in the extension of a sound file (any case): a format libsndfile
// knows, the usual names of the ones it reads under another (.ogg, .opus, .mp3, ...), or a
// headerless capture-format name.
bool hasSoundFileExtension(const std::string& path);

// The one conversion of a sample x (nominally -1..1) to unsigned 8-bit:
// clamp(round(128 + 127 x), 0, 255), halves away from zero; NaN counts as silence.
std::uint8_t toCaptureSample(float x);

// Converts interleaved float frames (channels >= 1, rateHz > 0) to the capture format; the
// error is the reason (resampler error, unusable rate).
Expected<std::vector<std::uint8_t>> convertToCaptureFormat(const float* interleaved,
                                                           std::size_t frames, int channels,
                                                           int rateHz);

}  // namespace kalindor
