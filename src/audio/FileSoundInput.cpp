// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/FileSoundInput.h"

#include <algorithm>
#include <utility>

#include "audio/AudioFile.h"

namespace kalindor {

namespace {
constexpr std::uint8_t kSilence = 128;
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
}  // namespace

FileSoundInput::FileSoundInput(std::string path, bool loop) : path_(std::move(path)), loop_(loop) {}

FileSoundInput::FileSoundInput(std::vector<std::uint8_t> samples, bool loop)
    : loop_(loop), samples_(std::move(samples)) {}

Expected<void> FileSoundInput::open() {
    if (open_) {
        return {};
    }
    if (!path_.empty()) {
        Expected<AudioFile> file = loadAudioFile(path_);
        if (!file) {
            return unexpected(std::move(file).error());
        }
        samples_ = std::move(file->samples);
    }
    if (samples_.empty()) {
        return unexpected("the sound file holds no samples");
    }
    takenUpTo_ = 0;
    playedAtClose_ = 0;
    start_ = Clock::now();
    open_ = true;
    return {};
}

void FileSoundInput::close() {
    if (open_) {
        playedAtClose_ = playedSamples();
        open_ = false;
    }
}

std::uint64_t FileSoundInput::playedSamples() const {
    if (!open_) {
        return playedAtClose_;
    }
    const auto elapsedUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    const std::uint64_t played = static_cast<std::uint64_t>(std::max<std::int64_t>(elapsedUs, 0)) *
                                 kSampleRate / kMicrosecondsPerSecond;
    return loop_ ? played : std::min<std::uint64_t>(played, samples_.size());
}

std::uint8_t FileSoundInput::sampleAt(std::int64_t position) const {
    if (position < 0) {
        return kSilence;
    }
    return samples_[static_cast<std::size_t>(position) % samples_.size()];
}

bool FileSoundInput::takeBuffer(std::uint8_t* out) {
    const std::uint64_t end = playedSamples();
    if (!open_ || end - takenUpTo_ < static_cast<std::uint64_t>(kBufferSamples)) {
        return false;
    }
    const std::int64_t begin = static_cast<std::int64_t>(end) - kBufferSamples;
    for (int i = 0; i < kBufferSamples; ++i) {
        out[i] = sampleAt(begin + i);
    }
    takenUpTo_ = end;
    return true;
}

int FileSoundInput::msUntilBufferReady() const {
    const std::uint64_t fresh = playedSamples() - takenUpTo_;
    if (fresh >= static_cast<std::uint64_t>(kBufferSamples)) {
        return 0;
    }
    const std::uint64_t missing = static_cast<std::uint64_t>(kBufferSamples) - fresh;
    return static_cast<int>((missing * 1000 + kSampleRate - 1) / kSampleRate);
}

std::int64_t FileSoundInput::msSinceLastData() const {
    if (!ended()) {
        return 0;
    }
    const auto playedUs =
        static_cast<std::int64_t>(samples_.size()) * kMicrosecondsPerSecond / kSampleRate;
    if (!open_) {
        return 0;
    }
    const auto elapsedUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    return std::max<std::int64_t>(0, (elapsedUs - playedUs) / 1000);
}

bool FileSoundInput::ended() const {
    return !loop_ && !samples_.empty() && playedSamples() >= samples_.size();
}

std::uint64_t FileSoundInput::samplesCaptured() const {
    return playedSamples();
}

}  // namespace kalindor
