// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SoundInputFactory.h"

#include <sys/stat.h>

#include <utility>

#include "audio/AudioFile.h"
#include "audio/FileSoundInput.h"
#include "audio/PortAudioSoundInput.h"

namespace kalindor {

bool isSoundFileChoice(const std::string& choice) {
    if (choice == "default" || choice == "monitor") {
        return false;
    }
    struct stat info = {};
    if (::stat(choice.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return true;
    }
    if (choice.starts_with(kApplicationPrefix)) {
        return false;
    }
    // A path that does not exist is still a path: the file backend reports it as missing
    // rather than the server as an unknown source.
    return choice.find('/') != std::string::npos || hasSoundFileExtension(choice);
}

std::unique_ptr<SoundInput> createSoundInput(const std::string& choice, bool loop) {
    if (isSoundFileChoice(choice)) {
        return std::make_unique<FileSoundInput>(choice, loop);
    }
    if (PulseSoundInput::serverAnswers()) {
        return std::make_unique<PulseSoundInput>(choice);
    }
    return std::make_unique<PortAudioSoundInput>(choice);
}

ChoosableSoundInput::ChoosableSoundInput(std::string choice, bool loop)
    : choice_(std::move(choice)), loop_(loop) {}

ChoosableSoundInput::~ChoosableSoundInput() = default;

void ChoosableSoundInput::choose(std::string choice) {
    choice_ = std::move(choice);
}

Expected<void> ChoosableSoundInput::open() {
    if (isOpen()) {
        return {};
    }
    current_ = createSoundInput(choice_, loop_);
    return current_->open();
}

void ChoosableSoundInput::close() {
    if (current_) {
        current_->close();
    }
}

Expected<SoundSourceList> listSoundSources() {
    Expected<std::vector<SoundSourceInfo>> sources = PulseSoundInput::listSources();
    if (sources) {
        return SoundSourceList{std::move(*sources)};
    }
    Expected<std::vector<SoundSourceInfo>> devices = PortAudioSoundInput::listDevices();
    if (!devices) {
        return unexpected(sources.error() + "; " + devices.error());
    }
    return SoundSourceList{std::move(*devices)};
}

}  // namespace kalindor
