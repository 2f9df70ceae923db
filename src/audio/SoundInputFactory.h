// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/PulseSoundInput.h"
#include "core/Expected.h"
#include "core/SoundInput.h"

namespace kalindor {

// The backend for an --input choice: a path to an existing file (or any text with a '/')
// selects the file backend; "default", "monitor" and other names select a source of the
// PulseAudio server when one answers, else an ALSA device through PortAudio. loop applies to
// the file backend only. Creating touches no device; open() does.
std::unique_ptr<SoundInput> createSoundInput(const std::string& choice, bool loop);

// What `kalindor-cli inputs` lists.
struct SoundSourceList {
    std::string system;  // "PulseAudio" or "PortAudio"
    std::vector<SoundSourceInfo> sources;
};

// The server's sources when a PulseAudio server answers, else PortAudio's input devices; the
// error, when neither can list anything, gives both reasons.
Expected<SoundSourceList> listSoundSources();

}  // namespace kalindor
