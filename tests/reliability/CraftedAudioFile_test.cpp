// Sound files whose header lies about their length. A 44-byte FLAC file that claims
// 2^31 - 2 frames at 125 Hz once made the loader reserve room for 550 billion samples before
// reading a single frame: std::bad_alloc ended `kalindor-cli analyze` (and the window's file
// input) with an abort. The claimed length may only guide the reservation, never size it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/AudioFile.h"

extern char** environ;

namespace kalindor {
namespace {

namespace fs = std::filesystem;

// "fLaC", the last metadata block (STREAMINFO, 34 bytes): block sizes 4096, frame sizes 5461,
// 125 Hz, 2 channels, 16 bits, 2^31 - 2 frames, an MD5 that matches nothing; then 8 bytes
// that are no audio frame. Found by the audio-file fuzz target.
constexpr std::array<std::uint8_t, 44> kLyingFlac = {
    0x66, 0x4c, 0x61, 0x43, 0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00, 0x05, 0x55,
    0x00, 0x05, 0x55, 0x00, 0x07, 0xd2, 0xf0, 0x7f, 0xff, 0xff, 0xfe, 0x5d, 0xe6, 0x08, 0x18,
    0x28, 0x78, 0xe1, 0xa2, 0x0e, 0x3c, 0x97, 0x00, 0x87, 0xd5, 0xe0, 0xea, 0x41, 0x04};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CraftedAudioFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kalindor-crafted-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        std::ofstream out(flacPath(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(kLyingFlac.data()), kLyingFlac.size());
        ASSERT_TRUE(out.good());
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string flacPath() const { return (folder_ / "lying.flac").string(); }

    fs::path folder_;
};

TEST_F(CraftedAudioFileTest, LoaderReportsTheBadFileInsteadOfReservingWhatTheHeaderClaims) {
    AudioFile file;
    ASSERT_NO_THROW(file = loadAudioFile(flacPath()));
    EXPECT_FALSE(file.ok());
    EXPECT_NE(file.error.find(flacPath()), std::string::npos) << file.error;
    EXPECT_TRUE(file.samples.empty());
    EXPECT_LT(file.samples.capacity(), std::size_t{64} << 20);
}

TEST_F(CraftedAudioFileTest, AnalyzeEndsWithOneErrorLineAndStatusOne) {
    const std::string outPath = (folder_ / "stdout.txt").string();
    const std::string errPath = (folder_ / "stderr.txt").string();
    std::vector<std::string> args = {KALINDOR_CLI_PATH, "analyze", flacPath()};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0) << std::strerror(spawned);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = readBytes(errPath);
    EXPECT_TRUE(err.starts_with("kalindor-cli: analyze: ")) << err;
    EXPECT_NE(err.find("lying.flac"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_TRUE(readBytes(outPath).empty());
}

}  // namespace
}  // namespace kalindor
