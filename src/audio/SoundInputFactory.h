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

// The input of the window: the backend of the current choice, made anew at every open(), so
// that a choice made while capturing applies from the next start. Main thread only.
class ChoosableSoundInput final : public SoundInput {
  public:
    ChoosableSoundInput(std::string choice, bool loop);
    ~ChoosableSoundInput() override;
    ChoosableSoundInput(const ChoosableSoundInput&) = delete;
    ChoosableSoundInput& operator=(const ChoosableSoundInput&) = delete;

    // An --input value; used from the next open().
    void choose(std::string choice);
    const std::string& choice() const { return choice_; }

    Expected<void> open() override;
    void close() override;
    bool isOpen() const override { return current_ && current_->isOpen(); }
    bool takeBuffer(std::uint8_t* out) override { return current_ && current_->takeBuffer(out); }
    int msUntilBufferReady() const override {
        return current_ ? current_->msUntilBufferReady() : 0;
    }
    std::int64_t msSinceLastData() const override {
        return current_ ? current_->msSinceLastData() : 0;
    }
    bool ended() const override { return current_ && current_->ended(); }
    std::string failureDetail() const override {
        return current_ ? current_->failureDetail() : std::string();
    }
    std::uint64_t samplesCaptured() const override {
        return current_ ? current_->samplesCaptured() : 0;
    }

  private:
    std::string choice_;
    bool loop_;
    std::unique_ptr<SoundInput> current_;  // the backend of the last open()
};

// What `kalindor-cli inputs` lists.
struct SoundSourceList {
    std::vector<SoundSourceInfo> sources;
};

// The server's sources when a PulseAudio server answers, else PortAudio's input devices; the
// error, when neither can list anything, gives both reasons.
Expected<SoundSourceList> listSoundSources();

}  // namespace kalindor
