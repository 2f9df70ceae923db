#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/ControlUpdates.h"
#include "presets/PresetValues.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;
using test::linesOf;
using test::readBytes;

class PresetCommandTest : public ::testing::Test {
  protected:
    test::CliResult run(const std::vector<std::string>& args) {
        return test::runCli(args, folder_.root());
    }
    std::string pathOf(const std::string& name) const { return folder_.path(name); }

    test::TempFolder folder_;
};

TEST_F(PresetCommandTest, DefaultsWritesTheStartupPresetAndShowReadsIt) {
    const std::string path = pathOf("d.lcf");
    const test::CliResult written = run({"preset", "defaults", path});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out + written.err, "");
    SharedState state;
    applyStartupDefaults(state);
    EXPECT_EQ(readBytes(path), formatPreset(presetValuesFromState(state)));

    const test::CliResult shown = run({"preset", "show", path});
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

// Runtime errors: exit 1, nothing on stdout, one stderr line naming the cause.
TEST_F(PresetCommandTest, ReadAndSaveErrorsExitOneWithOneLine) {
    test::writeBytes(pathOf("bad.lcf"), " 50\n 5\n 1\n 5\n 31\n 300\n");
    test::writeBytes(pathOf("short.lcf"), " 50 \r\n 5 \r\n");
    fs::create_directory(pathOf("dir.lcf"));
    const struct {
        std::vector<std::string> args;
        std::string detail;
    } cases[] = {
        {{"preset", "show", pathOf("bad.lcf")}, "line 6: 300 is outside 1..255"},
        {{"preset", "show", pathOf("short.lcf")}, "line 3:"},
        {{"preset", "show", pathOf("absent.lcf")}, "absent.lcf"},
        {{"preset", "defaults", pathOf("none/d.lcf")}, "none/d.lcf"},
        {{"preset", "defaults", pathOf("dir.lcf")}, "dir.lcf"},
    };
    for (const auto& c : cases) {
        const test::CliResult result = run(c.args);
        EXPECT_EQ(result.status, 1) << c.args.back();
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_TRUE(result.err.starts_with("kalindor-cli: ")) << result.err;
        EXPECT_NE(result.err.find(c.detail), std::string::npos) << result.err;
    }
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
        const test::CliResult result = run(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_TRUE(result.err.starts_with("kalindor-cli: preset: ")) << result.err;
    }

    const test::CliResult help = run({"preset", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("preset show FILE"), std::string::npos);
    EXPECT_EQ(help.err, "");
}

}  // namespace
}  // namespace kalindor
