// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PortAudioSoundInput.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace kalindor {

namespace {

constexpr unsigned long kFramesPerCallback = 128;  // 4 ms at 32000 Hz

// ALSA and JACK print their probing noise on stderr while PortAudio starts and opens a
// device; the user's terminal should see only our own messages, so stderr points at
// /dev/null meanwhile.
class QuietStderr {
  public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && devNull >= 0) {
            ::dup2(devNull, STDERR_FILENO);
        }
        if (devNull >= 0) {
            ::close(devNull);
        }
    }
    ~QuietStderr() {
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

PaError initializeQuietly() {
    const QuietStderr quiet;
    return Pa_Initialize();
}

std::string portAudioError(PaError error) {
    return std::string("PortAudio: ") + Pa_GetErrorText(error);
}

// PortAudio's callback thread: no locks, no allocation, no I/O.
int onBlock(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
            PaStreamCallbackFlags, void* ring) {
    static_cast<SampleRing*>(ring)->write(static_cast<const std::uint8_t*>(input), frames);
    return paContinue;
}

}  // namespace

PortAudioSoundInput::PortAudioSoundInput(std::string device) : device_(std::move(device)) {}

PortAudioSoundInput::~PortAudioSoundInput() {
    close();
}

Expected<void> PortAudioSoundInput::open() {
    if (isOpen()) {
        return {};
    }
    if (device_ == "monitor") {
        return unexpected("no sound server answers; the monitor of an output needs one");
    }
    if (device_.starts_with(kApplicationPrefix)) {
        return unexpected("no sound server answers; capturing one program needs one");
    }
    const PaError initError = initializeQuietly();
    if (initError != paNoError) {
        return unexpected(portAudioError(initError));
    }
    initialized_ = true;

    PaDeviceIndex index = paNoDevice;
    if (device_ == "default") {
        index = Pa_GetDefaultInputDevice();
    } else {
        for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info != nullptr && info->maxInputChannels > 0 && device_ == info->name) {
                index = i;
                break;
            }
        }
    }
    if (index == paNoDevice) {
        close();
        return unexpected(device_ == "default"
                              ? std::string("PortAudio: no input device")
                              : "PortAudio: no input device named '" + device_ + "'");
    }
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    PaStreamParameters parameters{};
    parameters.device = index;
    parameters.channelCount = 1;
    parameters.sampleFormat = paUInt8;
    parameters.suggestedLatency = info != nullptr ? info->defaultLowInputLatency : 0.01;
    ring_.reset();
    PaStream* stream = nullptr;
    PaError error = paNoError;
    {
        const QuietStderr quiet;
        error = Pa_OpenStream(&stream, &parameters, nullptr, kSampleRate, kFramesPerCallback,
                              paClipOff, &onBlock, &ring_);
        if (error == paNoError) {
            error = Pa_StartStream(stream);
            if (error != paNoError) {
                Pa_CloseStream(stream);
            }
        }
    }
    if (error != paNoError) {
        close();
        return unexpected(portAudioError(error));
    }
    stream_ = stream;
    return {};
}

void PortAudioSoundInput::close() {
    if (stream_ != nullptr) {
        Pa_AbortStream(static_cast<PaStream*>(stream_));
        Pa_CloseStream(static_cast<PaStream*>(stream_));
        stream_ = nullptr;
    }
    if (initialized_) {
        Pa_Terminate();
        initialized_ = false;
    }
}

Expected<std::vector<SoundSourceInfo>> PortAudioSoundInput::listDevices() {
    const PaError initError = initializeQuietly();
    if (initError != paNoError) {
        return unexpected(portAudioError(initError));
    }
    std::vector<SoundSourceInfo> devices;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxInputChannels <= 0) {
            continue;
        }
        const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
        std::string description = host != nullptr ? host->name : "";
        description += description.empty() ? "" : ", ";
        description += std::to_string(info->maxInputChannels) + " input channel(s)";
        devices.push_back({info->name, description, false});
    }
    Pa_Terminate();
    return devices;
}

}  // namespace kalindor
