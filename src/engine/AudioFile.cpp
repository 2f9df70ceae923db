#include "engine/AudioFile.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kalindor {

namespace {

constexpr sf_count_t kReadChunkFrames = 65536;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

AudioFile failure(std::string text) {
    AudioFile file;
    file.error = std::move(text);
    return file;
}

AudioFile loadRaw(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path.c_str(), "rb"),
                                                           &std::fclose);
    if (!stream) {
        return failure("cannot open " + path + ": " + std::strerror(errno));
    }
    AudioFile file;
    std::uint8_t chunk[65536];
    while (true) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, stream.get());
        file.samples.insert(file.samples.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            break;
        }
    }
    if (std::ferror(stream.get())) {
        return failure("cannot read " + path + ": " + std::strerror(errno));
    }
    return file;
}

struct SndfileCloser {
    void operator()(SNDFILE* handle) const { sf_close(handle); }
};

}  // namespace

bool isRawCaptureFileName(const std::string& path) {
    return endsWith(path, ".u8") || endsWith(path, ".raw");
}

std::uint8_t toCaptureSample(float x) {
    if (std::isnan(x)) {
        return 128;
    }
    const double value = std::round(128.0 + 127.0 * static_cast<double>(x));
    if (value <= 0.0) {
        return 0;
    }
    if (value >= 255.0) {
        return 255;
    }
    return static_cast<std::uint8_t>(value);
}

std::string convertToCaptureFormat(const float* interleaved, std::size_t frames, int channels,
                                   int rateHz, std::vector<std::uint8_t>& out) {
    out.clear();
    if (channels < 1) {
        return "no audio channels";
    }
    if (rateHz <= 0) {
        return "invalid sample rate " + std::to_string(rateHz) + " Hz";
    }
    std::vector<float> mono(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        const float* frame = interleaved + f * static_cast<std::size_t>(channels);
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) {
            sum += frame[c];
        }
        mono[f] = static_cast<float>(sum / channels);
    }

    if (rateHz != kCaptureRateHz && frames > 0) {
        const double ratio = static_cast<double>(kCaptureRateHz) / rateHz;
        if (!src_is_valid_ratio(ratio)) {
            return "sample rate " + std::to_string(rateHz) + " Hz cannot be converted to " +
                   std::to_string(kCaptureRateHz) + " Hz";
        }
        std::vector<float> resampled(
            static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * ratio)) + 16);
        SRC_DATA data{};
        data.data_in = mono.data();
        data.input_frames = static_cast<long>(frames);
        data.data_out = resampled.data();
        data.output_frames = static_cast<long>(resampled.size());
        data.src_ratio = ratio;
        data.end_of_input = 1;
        // The fastest sinc converter is far cleaner than the 8-bit result needs.
        if (const int error = src_simple(&data, SRC_SINC_FASTEST, 1); error != 0) {
            return src_strerror(error);
        }
        resampled.resize(static_cast<std::size_t>(data.output_frames_gen));
        mono = std::move(resampled);
    }

    out.resize(mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i) {
        out[i] = toCaptureSample(mono[i]);
    }
    return {};
}

AudioFile loadAudioFile(const std::string& path) {
    if (isRawCaptureFileName(path)) {
        return loadRaw(path);
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> handle(sf_open(path.c_str(), SFM_READ, &info));
    if (!handle) {
        return failure("cannot open " + path + ": " + sf_strerror(nullptr));
    }
    if (info.channels < 1) {
        return failure("cannot read " + path + ": no audio channels");
    }
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved;
    std::vector<float> chunk(static_cast<std::size_t>(kReadChunkFrames) * channels);
    while (true) {
        const sf_count_t got = sf_readf_float(handle.get(), chunk.data(), kReadChunkFrames);
        if (got <= 0) {
            break;
        }
        interleaved.insert(interleaved.end(), chunk.begin(),
                           chunk.begin() + static_cast<std::ptrdiff_t>(got * info.channels));
    }
    if (sf_error(handle.get()) != SF_ERR_NO_ERROR) {
        return failure("cannot read " + path + ": " + sf_strerror(handle.get()));
    }
    AudioFile file;
    const std::string reason =
        convertToCaptureFormat(interleaved.data(), interleaved.size() / channels, info.channels,
                               info.samplerate, file.samples);
    if (!reason.empty()) {
        return failure("cannot convert " + path + ": " + reason);
    }
    return file;
}

}  // namespace kalindor
