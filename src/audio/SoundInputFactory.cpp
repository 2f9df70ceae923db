#include "audio/SoundInputFactory.h"

#include <sys/stat.h>

#include "audio/FileSoundInput.h"
#include "audio/PortAudioSoundInput.h"

namespace kalindor {

namespace {

bool isFileChoice(const std::string& choice) {
    struct stat info {};
    if (::stat(choice.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return true;
    }
    // A path that does not exist is still a path: the file backend reports it as missing
    // rather than the server as an unknown source.
    return choice.find('/') != std::string::npos;
}

}  // namespace

std::unique_ptr<SoundInput> createSoundInput(const std::string& choice, bool loop) {
    if (isFileChoice(choice)) {
        return std::make_unique<FileSoundInput>(choice, loop);
    }
    if (PulseSoundInput::serverAnswers()) {
        return std::make_unique<PulseSoundInput>(choice);
    }
    return std::make_unique<PortAudioSoundInput>(choice);
}

SoundSourceList listSoundSources() {
    SoundSourceList list;
    std::string pulseError;
    list.sources = PulseSoundInput::listSources(pulseError);
    if (pulseError.empty()) {
        list.system = "PulseAudio";
        return list;
    }
    std::string portAudioError;
    list.system = "PortAudio";
    list.sources = PortAudioSoundInput::listDevices(portAudioError);
    if (!portAudioError.empty()) {
        list.error = pulseError + "; " + portAudioError;
    }
    return list;
}

}  // namespace kalindor
