// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioFile.h"
#include "audio/SoundInputFactory.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace kalindor {
namespace {

TEST(AudioFile, SamplesMapMinusOneToOneOntoTheByteRangeHalvesAwayFromZero) {
    const std::pair<float, int> cases[] = {{0.0f, 128}, {1.0f, 255},         {-1.0f, 1},
                                           {0.5f, 192}, {-0.5f, 65},         {1.5f, 255},
                                           {-1.5f, 0},  {std::nanf(""), 128}};
    for (const auto& [x, expected] : cases) {
        EXPECT_EQ(toCaptureSample(x), expected) << x;
    }
}

// At 32000 Hz samples convert one by one, stereo as the mean of its channels. (Headerless
// files and failures are checked through the CLI's analyze command.)
TEST(AudioFile, FilesAtTheCaptureRateConvertSampleBySample) {
    const test::TempFolder folder;
    std::vector<float> frames;
    for (int i = 0; i < 1000; ++i) {
        frames.push_back(0.9f * static_cast<float>(std::sin(i * 0.05)));
        frames.push_back(i < 500 ? -0.5f : 0.5f);
    }
    test::writeWav(folder.path("stereo.wav"), frames, 2, 32000);
    const auto loaded = loadAudioFile(folder.path("stereo.wav"));
    ASSERT_TRUE(loaded) << loaded.error();
    ASSERT_EQ(loaded->samples.size(), 1000u);
    for (std::size_t i = 0; i < 1000; ++i) {
        // 16-bit storage moves a value by at most 1/32768, under a quarter of one 8-bit step.
        EXPECT_NEAR(loaded->samples[i], 128.0 + 127.0 * (frames[2 * i] + frames[2 * i + 1]) / 2,
                    0.6)
            << i;
    }
}

// Several read chunks long: the streamed conversion must neither lose the resampler's tail
// nor differ at chunk boundaries from converting the whole file at once.
TEST(AudioFile, OtherRatesAreResampledAsOneWholeBufferWouldBe) {
    const test::TempFolder folder;
    constexpr int rate = 48000;
    std::vector<float> frames;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    for (int i = 0; i < 3 * rate + 123; ++i) {
        frames.push_back(0.6f * static_cast<float>(std::sin(i * 0.01)) + noise(rng));
    }
    test::writeWav(folder.path("long.wav"), frames, 1, rate);
    const auto loaded = loadAudioFile(folder.path("long.wav"));
    ASSERT_TRUE(loaded) << loaded.error();

    const auto count = static_cast<long>(frames.size());
    std::vector<float> stored(frames.size());  // as the 16-bit file holds them
    std::vector<float> whole(frames.size());
    SF_INFO info{};
    SNDFILE* handle = sf_open(folder.path("long.wav").c_str(), SFM_READ, &info);
    sf_readf_float(handle, stored.data(), count);
    sf_close(handle);
    std::size_t generated = 0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_LQ, 0);
    ASSERT_EQ(soxr_oneshot(rate, 32000, 1, stored.data(), frames.size(), nullptr, whole.data(),
                           whole.size(), &generated, nullptr, &quality, nullptr),
              nullptr);
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 0; i < generated; ++i) {
        expected.push_back(toCaptureSample(whole[static_cast<std::size_t>(i)]));
    }
    EXPECT_EQ(loaded->samples, expected);
}

// "default" and "monitor" name the sound server's sources even beside files of those names;
// an existing file, or a text with a '/' or a sound file's extension, is a file.
TEST(AudioFile, InputChoicesNameFilesOnlyWhenTheyLookLikeOnes) {
    const test::TempFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.root());
    for (const char* name : {"monitor", "default", "song"}) {
        test::writeBytes(name, "x");
    }
    const std::pair<const char*, bool> cases[] = {
        {"monitor", false}, {"default", false},    {"./monitor", true},
        {"song", true},     {"missing.wav", true}, {"missing.OGG", true},
        {"take.u8", true},  {"no/such", true},     {"alsa_input.usb-mic.analog-stereo", false},
        {"missing", false}, {"hw:1", false},       {"a.flac.monitor", false},
    };
    for (const auto& [choice, isFile] : cases) {
        EXPECT_EQ(isSoundFileChoice(choice), isFile) << choice;
    }
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace kalindor
