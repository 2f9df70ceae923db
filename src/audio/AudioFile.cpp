// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kalindor {

namespace {

constexpr std::size_t kChunkFrames = 16384;  // frames read, mixed and resampled at a time
// Most samples reserved up front from the length a header claims (10 minutes of capture
// format). A header can claim any length, so a longer file grows the vector as it is read.
constexpr double kMaxReservedSamples = 10.0 * 60.0 * kSampleRate;
// soxr's recipe for every rate conversion (its tests build the expected samples with it).
constexpr unsigned long kResamplerQuality = SOXR_LQ;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// Closes a descriptor on every path out of a function.
struct Descriptor {
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int fd;
};

// Opens a file for reading; a missing file or a folder is told in the words the preset files
// use ("cannot open 'x': reason", "'x' is a folder"), whatever the format.
Expected<void> openForReading(const std::string& path, Descriptor& file) {
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) {
        return unexpected("cannot open " + quoted(path) + ": " + std::strerror(errno));
    }
    struct stat info = {};
    if (::fstat(file.fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        return unexpected(quoted(path) + " is a folder");
    }
    return {};
}

Expected<AudioFile> loadRaw(const std::string& path, Descriptor& file) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(::fdopen(file.fd, "rb"), &std::fclose);
    if (!stream) {
        return unexpected("cannot read " + quoted(path) + ": " + std::strerror(errno));
    }
    file.fd = -1;  // the stream owns it now
    AudioFile audio;
    std::vector<std::uint8_t> chunk(65536);
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), stream.get());
        audio.samples.insert(audio.samples.end(), chunk.begin(),
                             chunk.begin() + static_cast<std::ptrdiff_t>(got));
        if (got < chunk.size()) {
            break;
        }
    }
    if (std::ferror(stream.get())) {
        return unexpected("cannot read " + quoted(path) + ": " + std::strerror(errno));
    }
    return audio;
}

struct SndfileCloser {
    void operator()(SNDFILE* handle) const { sf_close(handle); }
};

struct ResamplerDeleter {
    void operator()(soxr* resampler) const { soxr_delete(resampler); }
};

// Turns interleaved float frames into capture-format samples chunk by chunk: mono mix (mean
// of the channels), resampling to 32000 Hz when the rate differs, 8-bit conversion. Keeps
// the resampler's state between chunks, so a file never has to be held as floats.
class CaptureFormatConverter {
  public:
    // Fails with the reason when the format cannot be converted.
    Expected<void> open(int channels, int rateHz) {
        if (channels < 1) {
            return unexpected("no audio channels");
        }
        if (rateHz <= 0) {
            return unexpected("invalid sample rate " + std::to_string(rateHz) + " Hz");
        }
        channels_ = channels;
        if (rateHz == kSampleRate) {
            return {};
        }
        const double ratio = static_cast<double>(kSampleRate) / rateHz;
        if (ratio < 1.0 / 256.0 || ratio > 256.0) {
            return unexpected("sample rate " + std::to_string(rateHz) +
                              " Hz cannot be converted to " + std::to_string(kSampleRate) + " Hz");
        }
        soxr_error_t error = nullptr;
        // soxr's low quality (16-bit, 3 dB point at 95 % of the band) is still far cleaner
        // than the 8-bit result needs, and about ten times as fast as a sinc converter: a
        // 4-minute song resamples in well under the half second a preview may take.
        const soxr_quality_spec_t quality = soxr_quality_spec(kResamplerQuality, 0);
        resampler_.reset(soxr_create(rateHz, kSampleRate, 1, &error, nullptr, &quality, nullptr));
        if (!resampler_ || error != nullptr) {
            return unexpected(error != nullptr ? error : "cannot create the resampler");
        }
        resampled_.resize(static_cast<std::size_t>(std::ceil(kChunkFrames * ratio)) + 64);
        return {};
    }

    // Appends the samples for `frames` frames (at most kChunkFrames).
    Expected<void> append(const float* interleaved, std::size_t frames,
                          std::vector<std::uint8_t>& out) {
        mono_.resize(frames);
        for (std::size_t f = 0; f < frames; ++f) {
            const float* frame = interleaved + f * static_cast<std::size_t>(channels_);
            double sum = 0.0;
            for (int c = 0; c < channels_; ++c) {
                sum += frame[c];
            }
            mono_[f] = static_cast<float>(sum / channels_);
        }
        if (!resampler_) {
            const std::size_t base = out.size();
            out.resize(base + frames);
            for (std::size_t f = 0; f < frames; ++f) {
                out[base + f] = toCaptureSample(mono_[f]);
            }
            return {};
        }
        return resample(mono_.data(), frames, out);
    }

    // Drains what the resampler still holds; call once after the last append.
    Expected<void> finish(std::vector<std::uint8_t>& out) {
        if (!resampler_) {
            return {};
        }
        return resample(nullptr, 0, out);
    }

  private:
    // input == nullptr flushes the resampler's tail.
    Expected<void> resample(const float* input, std::size_t frames,
                            std::vector<std::uint8_t>& out) {
        while (true) {
            std::size_t used = 0;
            std::size_t generated = 0;
            if (const soxr_error_t error =
                    soxr_process(resampler_.get(), input, frames, &used, resampled_.data(),
                                 resampled_.size(), &generated);
                error != nullptr) {
                return unexpected(error);
            }
            const std::size_t base = out.size();
            out.resize(base + generated);
            for (std::size_t i = 0; i < generated; ++i) {
                out[base + i] = toCaptureSample(resampled_[i]);
            }
            if (input != nullptr) {
                input += used;
                frames -= used;
                if (frames == 0) {
                    return {};
                }
            } else if (generated == 0) {
                return {};
            }
        }
    }

    int channels_ = 1;
    std::unique_ptr<soxr, ResamplerDeleter> resampler_;
    std::vector<float> mono_;
    std::vector<float> resampled_;
};

}  // namespace

bool isRawCaptureFileName(const std::string& path) {
    return endsWith(path, ".u8") || endsWith(path, ".raw");
}

bool hasSoundFileExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return false;
    }
    if (isRawCaptureFileName(path)) {
        return true;
    }
    std::string extension = path.substr(dot + 1);
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // Common names libsndfile reads that its format list gives under another extension.
    for (const char* other : {"ogg", "opus", "mp3", "aif", "aifc", "snd"}) {
        if (extension == other) {
            return true;
        }
    }
    int formats = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &formats, sizeof formats);
    for (int i = 0; i < formats; ++i) {
        SF_FORMAT_INFO format{};
        format.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &format, sizeof format) == 0 &&
            format.extension != nullptr && extension == format.extension) {
            return true;
        }
    }
    return false;
}

std::uint8_t toCaptureSample(float x) {
    if (std::isnan(x)) {
        return 128;
    }
    const double value = 128.0 + 127.0 * static_cast<double>(x);
    if (value <= 0.0) {
        return 0;
    }
    if (value >= 255.0) {
        return 255;
    }
    // Halves away from zero, without a libm call per sample: the whole part and the
    // fraction of a positive double below 256 are exact.
    const int whole = static_cast<int>(value);
    return static_cast<std::uint8_t>(whole + (value - whole >= 0.5 ? 1 : 0));
}

Expected<std::vector<std::uint8_t>> convertToCaptureFormat(const float* interleaved,
                                                           std::size_t frames, int channels,
                                                           int rateHz) {
    std::vector<std::uint8_t> out;
    CaptureFormatConverter converter;
    if (Expected<void> opened = converter.open(channels, rateHz); !opened) {
        return unexpected(std::move(opened).error());
    }
    for (std::size_t done = 0; done < frames; done += kChunkFrames) {
        const std::size_t count = std::min(kChunkFrames, frames - done);
        const float* chunk = interleaved + done * static_cast<std::size_t>(channels);
        if (Expected<void> appended = converter.append(chunk, count, out); !appended) {
            return unexpected(std::move(appended).error());
        }
    }
    if (Expected<void> finished = converter.finish(out); !finished) {
        return unexpected(std::move(finished).error());
    }
    return out;
}

Expected<AudioFile> loadAudioFile(const std::string& path) {
    return loadAudioFile(path, nullptr);
}

Expected<AudioFile> loadAudioFile(const std::string& path,
                                  const std::function<bool(double)>& progress) {
    Descriptor descriptor(-1);
    if (Expected<void> opened = openForReading(path, descriptor); !opened) {
        return unexpected(std::move(opened).error());
    }
    if (isRawCaptureFileName(path)) {
        return loadRaw(path, descriptor);
    }
    SF_INFO info{};
    // Declared after the descriptor, so closed before it.
    std::unique_ptr<SNDFILE, SndfileCloser> handle(
        sf_open_fd(descriptor.fd, SFM_READ, &info, SF_FALSE));
    if (!handle) {
        return unexpected("cannot read " + quoted(path) + ": " + sf_strerror(nullptr));
    }
    CaptureFormatConverter converter;
    if (const Expected<void> opened = converter.open(info.channels, info.samplerate); !opened) {
        return unexpected("cannot convert " + quoted(path) + ": " + opened.error());
    }
    AudioFile file;
    if (info.frames > 0 && info.frames < (sf_count_t{1} << 31)) {
        file.samples.reserve(static_cast<std::size_t>(
            std::min(kMaxReservedSamples,
                     std::ceil(static_cast<double>(info.frames) * kSampleRate / info.samplerate))));
    }
    std::vector<float> chunk(kChunkFrames * static_cast<std::size_t>(info.channels));
    sf_count_t framesRead = 0;
    while (true) {
        const sf_count_t got = sf_readf_float(handle.get(), chunk.data(), kChunkFrames);
        if (got <= 0) {
            break;
        }
        framesRead += got;
        if (progress &&
            !progress(info.frames > 0 ? std::min(1.0, static_cast<double>(framesRead) /
                                                          static_cast<double>(info.frames))
                                      : 0.0)) {
            return unexpected(kLoadCancelled);
        }
        if (const Expected<void> appended =
                converter.append(chunk.data(), static_cast<std::size_t>(got), file.samples);
            !appended) {
            return unexpected("cannot convert " + quoted(path) + ": " + appended.error());
        }
    }
    if (sf_error(handle.get()) != SF_ERR_NO_ERROR) {
        return unexpected("cannot read " + quoted(path) + ": " + sf_strerror(handle.get()));
    }
    if (const Expected<void> finished = converter.finish(file.samples); !finished) {
        return unexpected("cannot convert " + quoted(path) + ": " + finished.error());
    }
    return file;
}

}  // namespace kalindor
