// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the initial corpus of every fuzz target: make_initial_corpus FOLDER creates
// FOLDER/<target>/ with a few well-formed inputs each, so the fuzzers start from real presets,
// command lines, sound files and settings sequences rather than from nothing.

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/ControlUpdates.h"
#include "presets/PresetValues.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;

int filesWritten = 0;

bool writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_initial_corpus: cannot write %s\n", path.c_str());
        return false;
    }
    ++filesWritten;
    return true;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool presets(const fs::path& folder) {
    SharedState state;
    applyStartupDefaults(state);
    const std::string defaults = formatPreset(presetValuesFromState(state));

    SharedState changed = state;
    setScanPeriod(changed, 30);
    setDecaySpeed(changed, 10);
    changed.AgcEnabled = true;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setThreshold(changed, ch, 1 + ch);
        setGain(changed, ch, 40 - 5 * ch);
        setFrequency(changed, ch, 255 - 30 * ch);
    }
    setNoiseFilter(changed, 50);
    changed.GraphPolygon = false;
    changed.XScaleLog = false;
    changed.AgcSpeed = -32768;
    changed.PortAddress = 632;
    const std::string other = formatPreset(presetValuesFromState(changed));

    std::string lfOnly;
    std::string loose;
    for (const char c : defaults) {
        if (c != '\r') {
            lfOnly += c;
        }
        loose += c == ' ' ? std::string("\t ") : std::string(1, c);
    }
    std::string fractions = "50.5\r\n2.5\r\n1.0\r\n";
    fractions +=
        defaults.substr(defaults.find('\n', defaults.find('\n', defaults.find('\n') + 1) + 1) + 1);

    return writeFile(folder / "defaults.lcf", defaults) &&
           writeFile(folder / "changed.lcf", other) && writeFile(folder / "lf-only.lcf", lfOnly) &&
           writeFile(folder / "blanks.lcf", loose) &&
           writeFile(folder / "fractions.lcf", fractions) &&
           writeFile(folder / "short.lcf", defaults.substr(0, defaults.size() / 2)) &&
           writeFile(folder / "extra.lcf", defaults + " 7 \r\nanything\r\n") &&
           writeFile(folder / "exponent.lcf", "5e1\r\n" + defaults.substr(defaults.find('\n') + 1));
}

bool commandLines(const fs::path& folder) {
    using namespace std::string_literals;
    const std::vector<std::string> inputs = {
        "\x00party.lcf start"s,
        "\x00party.lcf starth"s,
        "\x00/home/user/my presets/a.lcfSTARTH"s,
        "\x00"s
        "file.h"s,
        "\x00start"s,
        "\x01--device\x00sim\x00--for\x00"
        "2.5\x00party.lcf\x00start"s,
        "\x01--input=monitor\x00--usb-id\x00"
        "03eb:21ff\x00--effects\x00wave\x00--effect-speed\x00"
        "3"s,
        "\x01--no-signal\x00"
        "10\x00--effects=off\x00preset.lcf"s,
        "\x00--help"s,
        "\x00party.lcf\x00--version\x00--input=x.wav\x00start"s,  // the parse ends at --version
        "\x00"
        "\xd0\x9f\xd1\x80\xd0\xb5\xd1\x81\xd0\xb5\xd1\x82.lcf starth"s,
    };
    int n = 0;
    for (const std::string& input : inputs) {
        if (!writeFile(folder / ("args-" + std::to_string(n++)), input)) {
            return false;
        }
    }
    return true;
}

// A sound file of `format` holding a 440 Hz tone, prefixed with the target's two header bytes.
bool soundFile(const fs::path& folder, const std::string& name, int format, int channels,
               int rateHz, int frames) {
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info)) {
        std::fprintf(stderr, "make_initial_corpus: libsndfile cannot write %s, skipped\n",
                     name.c_str());
        return true;
    }
    const fs::path scratch = folder / (name + ".tmp");
    SNDFILE* file = sf_open(scratch.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "make_initial_corpus: %s: %s\n", name.c_str(), sf_strerror(nullptr));
        return false;
    }
    std::vector<float> samples(static_cast<std::size_t>(frames) * channels);
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            samples[static_cast<std::size_t>(f) * channels + c] =
                static_cast<float>(0.8 * std::sin(2.0 * M_PI * 440.0 * (c + 1) * f / rateHz));
        }
    }
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    const std::string bytes = readFile(scratch);
    fs::remove(scratch);
    return writeFile(folder / name, std::string("\x00\x31", 2) + bytes);
}

bool audioFiles(const fs::path& folder) {
    std::string raw = std::string("\x01\x31", 2);
    for (int j = 0; j < 2000; ++j) {
        raw += static_cast<char>(
            std::lround(128.0 + 100.0 * std::sin(2.0 * M_PI * 1000.0 * j / 32000.0)));
    }
    return writeFile(folder / "tone.u8", raw) &&
           soundFile(folder, "pcm16-44100.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 2000) &&
           soundFile(folder, "float-stereo-48000.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000,
                     1500) &&
           soundFile(folder, "u8-32000.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 32000, 1200) &&
           soundFile(folder, "pcm24-8000.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 8000, 800) &&
           soundFile(folder, "ulaw-16000.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 1, 16000, 800) &&
           soundFile(folder, "pcm16-22050.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 22050,
                     1000) &&
           soundFile(folder, "vorbis-44100.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 44100, 4000);
}

void appendInt32(std::string& out, std::int32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((static_cast<std::uint32_t>(value) >> shift) & 0xFF);
    }
}

void appendTone(std::string& out, double hz, double amplitude, double phase) {
    out += static_cast<char>(200);  // a buffer command
    for (int j = 0; j < 256; ++j) {
        const double v = 128.0 + amplitude * std::sin(2.0 * M_PI * hz * j / 32000.0 + phase);
        out += static_cast<char>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
    }
}

bool pipelineRuns(const fs::path& folder) {
    // Music-like tones at the default channel points, with AGC off and on.
    std::string plain;
    for (int b = 0; b < 30; ++b) {
        appendTone(plain, 62.5 * (1 + (b % 8) * (b % 8)), 20.0 + 3.0 * b, 0.3 * b);
    }
    std::string agc;
    agc += static_cast<char>(10);
    agc += static_cast<char>(0x0F);
    agc += static_cast<char>(6);
    appendInt32(agc, 1000);
    agc += static_cast<char>(5);
    appendInt32(agc, 80);
    for (int b = 0; b < 40; ++b) {
        appendTone(agc, 1000.0 + 10.0 * b, 100.0, 0.7 * b);
    }
    // Settings moved out of range between buffers, raw fields included.
    std::string moves;
    moves += static_cast<char>(4);
    moves += static_cast<char>(2);
    appendInt32(moves, 300);
    moves += static_cast<char>(7);
    moves += static_cast<char>(3);
    moves += std::string("\x00\x01", 2);  // ChannelFrequency[3] = 256
    moves += static_cast<char>(2);
    moves += static_cast<char>(1);
    appendInt32(moves, 0);  // threshold position 0 -> clamped
    moves += static_cast<char>(9);
    moves += std::string("\x00\x80", 2);  // DecaySpeed = -32768
    for (int b = 0; b < 10; ++b) {
        appendTone(moves, 500.0 * (b + 1), 127.0, 0.0);
    }
    return writeFile(folder / "tones", plain) && writeFile(folder / "agc", agc) &&
           writeFile(folder / "moves", moves);
}

}  // namespace
}  // namespace kalindor

int main(int argc, char** argv) {
    using namespace kalindor;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_initial_corpus FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    std::error_code error;
    for (const char* target :
         {"preset_reader_fuzz", "command_line_fuzz", "audio_file_fuzz", "pipeline_fuzz"}) {
        fs::create_directories(root / target, error);
        if (error) {
            std::fprintf(stderr, "make_initial_corpus: cannot create %s: %s\n",
                         (root / target).c_str(), error.message().c_str());
            return 1;
        }
    }
    const bool ok = presets(root / "preset_reader_fuzz") &&
                    commandLines(root / "command_line_fuzz") &&
                    audioFiles(root / "audio_file_fuzz") && pipelineRuns(root / "pipeline_fuzz");
    if (!ok) {
        return 1;
    }
    std::printf("make_initial_corpus: %d files in %s\n", filesWritten, root.c_str());
    return 0;
}
