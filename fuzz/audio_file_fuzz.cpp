// SPDX-License-Identifier: GPL-3.0-or-later
// The audio-file reader of `analyze` on arbitrary bytes, then the analysis over what it loaded.
// Input layout: one byte whose lowest bit chooses a headerless capture file (".u8") or any other
// name (libsndfile decides the format), one byte for the tick (1..100 ms), then the file's bytes.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "audio/AudioFile.h"
#include "core/ControlUpdates.h"
#include "core/PipelineView.h"
#include "dsp/OfflineAnalysis.h"
#include "lights/LightOutputs.h"
#include "lights/usb/LightDevice.h"

namespace kalindor {
namespace {

using fuzz::require;

constexpr int kMaxTickMs = 100;
// The analysis runs over at most this many samples: the loop bounds are what is checked here,
// and the pipeline itself has its own target.
constexpr std::size_t kMaxAnalysedSamples = 4096;

// Frames and rate as libsndfile itself reports them, read independently of the loader.
struct Decoded {
    bool opened = false;
    std::size_t frames = 0;
    int rateHz = 0;
};

Decoded decodeDirectly(const std::string& path) {
    Decoded decoded;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return decoded;
    }
    decoded.opened = true;
    decoded.rateHz = info.samplerate;
    std::vector<float> chunk(4096 *
                             static_cast<std::size_t>(info.channels > 0 ? info.channels : 1));
    for (;;) {
        const sf_count_t got = sf_readf_float(file, chunk.data(), 4096);
        if (got <= 0) {
            break;
        }
        decoded.frames += static_cast<std::size_t>(got);
    }
    sf_close(file);
    return decoded;
}

// Counts the writes; always connected.
class CountingDevice final : public LightDevice {
  public:
    std::int32_t DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) override { return 0; }
    std::int32_t DoSetDataPortDirections(std::uint8_t, std::uint8_t, std::uint8_t,
                                         std::uint8_t) override {
        return 0;
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override {
        last = PortBytes{first, second, third, usedPorts};
        ++writes;
        return 0;
    }
    PortBytes last;
    int writes = 0;
};

void checkAnalysis(std::span<const std::uint8_t> samples, int tickMs) {
    SharedState state;
    applyStartupDefaults(state);
    NullView view;
    CountingDevice device;
    LightOutputs lights(device, true, {});
    std::size_t snapshots = 0;
    std::uint8_t previous = 0;
    int expectedWrites = 0;
    analyzeRecording(samples, tickMs, state, view, lights, [&](const SnapshotResult& result) {
        require(result.timeMs == static_cast<std::int64_t>(snapshots) * tickMs,
                "snapshot k is at k * tick");
        if (result.pattern != previous) {
            ++expectedWrites;
            require(device.last == portBytesForPattern(result.pattern),
                    "a changed pattern is what the device was sent");
        }
        require(device.writes == expectedWrites, "the device is written only on a change");
        previous = result.pattern;
        ++snapshots;
    });
    const std::size_t stride = static_cast<std::size_t>(tickMs) * kSamplesPerMs;
    const std::size_t expected = samples.size() < 256 ? 0 : (samples.size() - 256) / stride + 1;
    require(snapshots == expected, "one snapshot per tick while 256 samples remain");
}

}  // namespace
}  // namespace kalindor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalindor;
    if (size < 2) {
        return 0;
    }
    const bool raw = (data[0] & 1) != 0;
    const int tickMs = 1 + data[1] % kMaxTickMs;
    const std::uint8_t* bytes = data + 2;
    const std::size_t count = size - 2;
    static const std::string rawPath = fuzz::scratchFolder() + "/input.u8";
    static const std::string soundPath = fuzz::scratchFolder() + "/input.snd";
    const std::string& path = raw ? rawPath : soundPath;
    fuzz::writeScratchFile(path, bytes, count);

    const Expected<AudioFile> file = loadAudioFile(path);
    if (raw) {
        require(file.has_value(), "a readable headerless file always loads");
        require(file->samples == std::vector<std::uint8_t>(bytes, bytes + count),
                "a headerless file's samples are its bytes");
    } else if (file) {
        const Decoded decoded = decodeDirectly(path);
        require(decoded.opened, "a loaded file opens");
        if (decoded.rateHz == kSampleRate) {
            require(file->samples.size() == decoded.frames, "at 32000 Hz one sample per frame");
        } else {
            const double expected =
                static_cast<double>(decoded.frames) * kSampleRate / decoded.rateHz;
            require(std::fabs(static_cast<double>(file->samples.size()) - expected) <=
                        2.0 + expected * 0.001,
                    "the resampled length follows the rate");
        }
    } else {
        require(file.error().find(path) != std::string::npos, "the error names the file");
    }
    if (file) {
        const std::span<const std::uint8_t> all(file->samples);
        checkAnalysis(all.first(std::min(all.size(), kMaxAnalysedSamples)), tickMs);
    }
    return 0;
}
