#include "audio/AudioFile.h"

#include <gtest/gtest.h>
#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;

class AudioFileTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return folder_.path(name); }

    std::string writeWav(const std::string& name, const std::vector<float>& interleaved,
                         int channels, int rateHz) const {
        test::writeWav(path(name), interleaved, channels, rateHz);
        return path(name);
    }

    std::string writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        test::writeBytes(path(name), std::string(bytes.begin(), bytes.end()));
        return path(name);
    }

  private:
    test::TempFolder folder_;
};

TEST(CaptureSample, MapsMinusOneToOneOntoTheByteRangeAndClamps) {
    EXPECT_EQ(toCaptureSample(0.0f), 128);
    EXPECT_EQ(toCaptureSample(1.0f), 255);
    EXPECT_EQ(toCaptureSample(-1.0f), 1);
    EXPECT_EQ(toCaptureSample(0.5f), 192);  // 191.5 rounds away from zero
    EXPECT_EQ(toCaptureSample(1.5f), 255);
    EXPECT_EQ(toCaptureSample(-1.5f), 0);
    EXPECT_EQ(toCaptureSample(std::nanf("")), 128);
}

TEST_F(AudioFileTest, MonoFileAtThirtyTwoKilohertzIsConvertedSampleBySample) {
    std::vector<float> frames;
    for (int i = 0; i < 1000; ++i) {
        frames.push_back(static_cast<float>(std::sin(i * 0.05)) * 0.9f);
    }
    const Expected<AudioFile> file = loadAudioFile(writeWav("mono.wav", frames, 1, 32000));
    ASSERT_TRUE(file.has_value()) << file.error();
    ASSERT_EQ(file->samples.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        // 16-bit storage moves a value by at most 1/32768, under a quarter of one 8-bit step.
        ASSERT_NEAR(file->samples[i], 128.0 + 127.0 * frames[i], 0.6) << i;
    }
}

TEST_F(AudioFileTest, StereoIsMixedToTheMeanOfItsChannels) {
    std::vector<float> frames;
    for (int i = 0; i < 100; ++i) {
        frames.push_back(0.5f);
        frames.push_back(i < 50 ? -0.5f : 0.5f);
    }
    const Expected<AudioFile> file = loadAudioFile(writeWav("stereo.wav", frames, 2, 32000));
    ASSERT_TRUE(file.has_value()) << file.error();
    ASSERT_EQ(file->samples.size(), 100u);
    EXPECT_EQ(file->samples[10], 128);
    EXPECT_EQ(file->samples[90], 192);
}

TEST_F(AudioFileTest, OtherRatesAreResampledKeepingDurationAndTone) {
    constexpr int rate = 44100;
    std::vector<float> frames;
    for (int i = 0; i < rate; ++i) {
        frames.push_back(0.8f * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * i / rate)));
    }
    const Expected<AudioFile> file = loadAudioFile(writeWav("cd.wav", frames, 1, rate));
    ASSERT_TRUE(file.has_value()) << file.error();
    EXPECT_NEAR(static_cast<double>(file->samples.size()), 32000.0, 2.0);
    // A 1000 Hz sine at 32 kHz repeats every 32 samples: compare with the ideal one.
    double worst = 0.0;
    for (std::size_t i = 1000; i < 31000; ++i) {
        const double ideal = 128.0 + 127.0 * 0.8 * std::sin(2.0 * M_PI * 1000.0 * i / 32000.0);
        worst = std::max(worst, std::abs(file->samples[i] - ideal));
    }
    EXPECT_LT(worst, 1.5);
}

TEST_F(AudioFileTest, LongFilesConvertAsOneWholeBufferWould) {
    // Several read chunks long: the streamed conversion must neither lose the resampler's
    // tail nor differ at chunk boundaries from converting the whole file at once.
    constexpr int rate = 48000;
    std::vector<float> frames;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    for (int i = 0; i < 3 * rate + 123; ++i) {
        frames.push_back(0.6f * static_cast<float>(std::sin(i * 0.01)) + noise(rng));
    }
    const Expected<AudioFile> file = loadAudioFile(writeWav("long.wav", frames, 1, rate));
    ASSERT_TRUE(file.has_value()) << file.error();

    std::vector<float> stored(frames.size());  // as the 16-bit file holds them
    SF_INFO info{};
    SNDFILE* handle = sf_open(path("long.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(handle, nullptr);
    sf_readf_float(handle, stored.data(), static_cast<sf_count_t>(stored.size()));
    sf_close(handle);
    std::vector<float> whole(stored.size());
    SRC_DATA data{};
    data.data_in = stored.data();
    data.input_frames = static_cast<long>(stored.size());
    data.data_out = whole.data();
    data.output_frames = static_cast<long>(whole.size());
    data.src_ratio = 32000.0 / rate;
    data.end_of_input = 1;
    ASSERT_EQ(src_simple(&data, SRC_SINC_FASTEST, 1), 0);
    ASSERT_EQ(file->samples.size(), static_cast<std::size_t>(data.output_frames_gen));
    for (std::size_t i = 0; i < file->samples.size(); ++i) {
        ASSERT_EQ(file->samples[i], toCaptureSample(whole[i])) << i;
    }
}

TEST_F(AudioFileTest, HeaderlessFilesAreTakenAsTheyAre) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 700; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i * 7));
    }
    for (const char* name : {"take.u8", "take.raw"}) {
        const Expected<AudioFile> file = loadAudioFile(writeBytes(name, bytes));
        ASSERT_TRUE(file.has_value()) << file.error();
        EXPECT_EQ(file->samples, bytes) << name;
    }
}

TEST_F(AudioFileTest, FailuresNameTheFileAndTheReason) {
    const std::string missing = path("missing.wav");
    Expected<AudioFile> file = loadAudioFile(missing);
    EXPECT_FALSE(file.has_value());
    EXPECT_EQ(file.error().rfind("cannot open " + missing + ": ", 0), 0u) << file.error();

    file = loadAudioFile(path("missing.u8"));
    EXPECT_EQ(file.error(), "cannot open " + path("missing.u8") + ": No such file or directory");

    const std::string text = writeBytes("notes.wav", {'h', 'e', 'l', 'l', 'o', '\n'});
    file = loadAudioFile(text);
    EXPECT_EQ(file.error().rfind("cannot open " + text + ": ", 0), 0u) << file.error();

    // A folder opens but cannot be read: that must not pass as an empty recording.
    const std::string folder = path("folder.u8");
    fs::create_directory(folder);
    file = loadAudioFile(folder);
    EXPECT_FALSE(file.has_value());
    EXPECT_NE(file.error().find(folder), std::string::npos) << file.error();
}

}  // namespace
}  // namespace kalindor
