#include "engine/FileSoundInput.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "engine/AudioFile.h"

namespace kalindor {

namespace {
constexpr std::size_t kChunkSamples = 128;  // 4 ms at 32000 Hz
}  // namespace

FileSoundInput::FileSoundInput(std::string path, bool loop) : path_(std::move(path)), loop_(loop) {}

FileSoundInput::FileSoundInput(std::vector<std::uint8_t> samples, bool loop)
    : loop_(loop), samples_(std::move(samples)) {}

FileSoundInput::~FileSoundInput() {
    close();
}

std::optional<std::string> FileSoundInput::open() {
    if (isOpen()) {
        return std::nullopt;
    }
    if (!path_.empty()) {
        AudioFile file = loadAudioFile(path_);
        if (!file.ok()) {
            return file.error;
        }
        samples_ = std::move(file.samples);
    }
    if (samples_.empty()) {
        return std::string("the sound file holds no samples");
    }
    ring_.reset();
    stopRequested_.store(false);
    ended_.store(false);
    player_ = std::thread([this] { play(); });
    return std::nullopt;
}

void FileSoundInput::close() {
    if (player_.joinable()) {
        stopRequested_.store(true);
        player_.join();
    }
}

// The player thread. Each wake-up writes every sample that is due by the clock, so a late
// wake-up catches up instead of stretching the sound; it never blocks on anything but sleep.
void FileSoundInput::play() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const std::size_t total = samples_.size();
    std::uint64_t delivered = 0;
    std::size_t position = 0;
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        const auto elapsed = Clock::now() - start;
        const std::uint64_t due = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * kSampleRate /
            1'000'000);
        while (delivered < due) {
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>({due - delivered, total - position}));
            ring_.write(samples_.data() + position, count);
            delivered += count;
            position += count;
            if (position == total) {
                if (!loop_) {
                    ended_.store(true, std::memory_order_release);
                    return;
                }
                position = 0;
            }
        }
        const auto nextChunk = start + std::chrono::microseconds((delivered + kChunkSamples) *
                                                                 1'000'000 / kSampleRate);
        std::this_thread::sleep_until(nextChunk);
    }
}

}  // namespace kalindor
