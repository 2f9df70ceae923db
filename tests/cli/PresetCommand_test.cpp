#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "engine/ControlUpdates.h"
#include "presets/PresetValues.h"

extern char** environ;

namespace kalindor {
namespace {

namespace fs = std::filesystem;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class PresetCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kalindor-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Runs kalindor-cli with the arguments; stdout and stderr go through files in the folder.
    CliResult run(const std::vector<std::string>& args) {
        const std::string outPath = (folder_ / "stdout.txt").string();
        const std::string errPath = (folder_ / "stderr.txt").string();
        std::vector<std::string> all = {KALINDOR_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        CliResult result;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return result;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readBytes(outPath);
        result.err = readBytes(errPath);
        fs::remove(outPath);
        fs::remove(errPath);
        return result;
    }

    std::string pathOf(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

std::string defaultsBytes() {
    SharedState state;
    applyStartupDefaults(state);
    return formatPreset(presetValuesFromState(state));
}

TEST_F(PresetCommandTest, DefaultsWritesTheStartupPresetAndShowReadsIt) {
    const std::string path = pathOf("d.lcf");
    const CliResult written = run({"preset", "defaults", path});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.err, "");
    EXPECT_EQ(readBytes(path), defaultsBytes());
    EXPECT_TRUE(readBytes(path).starts_with(" 50 \r\n 5 \r\n 0 \r\n 5 \r\n 31 \r\n 1 \r\n"));

    const CliResult shown = run({"preset", "show", path});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    const auto lines = linesOf(shown.out);
    ASSERT_EQ(lines.size(), 33u) << shown.out;
    EXPECT_EQ(lines[0], "1  50  scan period (ms)");
    EXPECT_EQ(lines[2], "3  0  automatic level control (1 = on)");
    EXPECT_EQ(lines[26], "27  64  channel 8 frequency step (x 62.5 Hz)");
    EXPECT_EQ(lines[31], "32  5000  AGC speed (points between updates)");
    EXPECT_EQ(lines[32], "33  888  legacy port address");
}

TEST_F(PresetCommandTest, ReadErrorsExitOneWithTheLineOnStderr) {
    std::ofstream(pathOf("bad.lcf"), std::ios::binary) << " 50\n 5\n 1\n 5\n 31\n 300\n";
    const CliResult bad = run({"preset", "show", pathOf("bad.lcf")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(linesOf(bad.err).size(), 1u) << bad.err;
    EXPECT_TRUE(bad.err.starts_with("kalindor-cli: ")) << bad.err;
    EXPECT_NE(bad.err.find("line 6: 300 is outside 1..255"), std::string::npos) << bad.err;

    std::ofstream(pathOf("short.lcf"), std::ios::binary) << " 50 \r\n 5 \r\n";
    const CliResult shortFile = run({"preset", "show", pathOf("short.lcf")});
    EXPECT_EQ(shortFile.status, 1);
    EXPECT_NE(shortFile.err.find("line 3:"), std::string::npos) << shortFile.err;

    const CliResult missing = run({"preset", "show", pathOf("absent.lcf")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("absent.lcf"), std::string::npos) << missing.err;
}

TEST_F(PresetCommandTest, FailedDefaultsExitOneAndKeepWhatWasThere) {
    const CliResult noFolder = run({"preset", "defaults", pathOf("none/d.lcf")});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(linesOf(noFolder.err).size(), 1u) << noFolder.err;
    EXPECT_NE(noFolder.err.find("none/d.lcf"), std::string::npos) << noFolder.err;

    fs::create_directory(pathOf("dir.lcf"));
    const CliResult folder = run({"preset", "defaults", pathOf("dir.lcf")});
    EXPECT_EQ(folder.status, 1);
    EXPECT_TRUE(fs::is_directory(pathOf("dir.lcf")));
    EXPECT_TRUE(fs::is_empty(pathOf("dir.lcf")));
}

TEST_F(PresetCommandTest, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"preset"},
        {"preset", "show"},
        {"preset", "defaults"},
        {"preset", "load", "x.lcf"},
        {"preset", "show", "a.lcf", "b.lcf"},
        {"preset", "show", "--verbose"},
    };
    for (const auto& args : cases) {
        const CliResult result = run(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_TRUE(result.err.starts_with("kalindor-cli: preset: ")) << result.err;
    }

    const CliResult help = run({"preset", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("preset show FILE"), std::string::npos);
    EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kalindor
