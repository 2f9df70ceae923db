// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/PulseSoundInput.h"
#include "core/Expected.h"
#include "core/SoundInput.h"

namespace kalindor {

// Whether an --input choice names a file: "default" and "monitor" never do (a file of that
// name is given as "./monitor"); an existing file does, and so does a text that looks like a
// path, with a '/' or a sound file's extension, so that a missing file is reported as missing
// rather than as an unknown source.
bool isSoundFileChoice(const std::string& choice);

// The backend for an --input choice: the file backend for a file (isSoundFileChoice), else a
// source of the PulseAudio server when one answers, else an ALSA device through PortAudio.
// loop applies to the file backend only. Creating touches no device; open() does.
std::unique_ptr<SoundInput> createSoundInput(const std::string& choice, bool loop);

// What `kalindor-cli inputs` lists.
struct SoundSourceList {
    std::vector<SoundSourceInfo> sources;
};

// The server's sources when a PulseAudio server answers, else PortAudio's input devices; the
// error, when neither can list anything, gives both reasons.
Expected<SoundSourceList> listSoundSources();

}  // namespace kalindor
