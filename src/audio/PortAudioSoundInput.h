// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "audio/PulseSoundInput.h"
#include "capture/SampleRing.h"
#include "core/SoundInput.h"

namespace kalindor {

// Capture through PortAudio (ALSA), for a system where no sound server answers. PortAudio's
// callback thread only copies each 128-sample block into the ring.
class PortAudioSoundInput final : public SoundInput {
  public:
    // device: "default" (PortAudio's default input) or the name of an input device;
    // "monitor" exists only with a sound server and fails to open here.
    explicit PortAudioSoundInput(std::string device);
    ~PortAudioSoundInput() override;
    PortAudioSoundInput(const PortAudioSoundInput&) = delete;
    PortAudioSoundInput& operator=(const PortAudioSoundInput&) = delete;

    Expected<void> open() override;
    void close() override;
    bool isOpen() const override { return stream_ != nullptr; }
    bool takeBuffer(std::uint8_t* out) override { return ring_.takeNewest(out); }
    int msUntilBufferReady() const override { return ring_.msUntilSnapshotReady(); }
    std::int64_t msSinceLastData() const override { return ring_.msSinceLastWrite(); }
    std::uint64_t samplesCaptured() const override { return ring_.totalWritten(); }

    // The input devices PortAudio sees; the error says why PortAudio cannot start.
    static Expected<std::vector<SoundSourceInfo>> listDevices();

  private:
    std::string device_;
    void* stream_ = nullptr;  // PaStream
    bool initialized_ = false;
    SampleRing ring_;
};

}  // namespace kalindor
