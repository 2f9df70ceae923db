// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PresetFile.h"
#include "presets/PresetValues.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "core/ControlUpdates.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

SharedState defaultState() {
    SharedState state;
    applyStartupDefaults(state);
    return state;
}

PresetValues defaultValues() {
    return presetValuesFromState(defaultState());
}

// The values a preset text parses to; a failure to parse fails the test.
PresetValues parsedValues(std::string_view text) {
    const auto parsed = parsePreset(text);
    EXPECT_TRUE(parsed) << (parsed ? "" : parsed.error().describe());
    return parsed ? *parsed : PresetValues{};
}

// The defaults, `lines` lines of them, with line `line` (1-based) replaced by `text`, each
// number between `pad`s and ended by `ending`.
std::string defaultsWithLine(int line, const std::string& text, int lines = kPresetLineCount,
                             const std::string& pad = "", const std::string& ending = "\r\n") {
    const auto numbers = presetLines(defaultValues());
    std::string out;
    for (int i = 1; i <= lines; ++i) {
        out += pad + (i == line ? text : std::to_string(numbers[i - 1])) + pad + ending;
    }
    return out;
}

// Each number is written between blanks, a negative one with its sign in place of the first.
// (The start-up values line by line are pinned by the preset show command's test, the writing
// of every line by the preset file tests below.)
TEST(PresetFormat, NegativeNumbersTakeThePlaceOfTheBlank) {
    PresetValues values = defaultValues();
    values.AgcSpeed = -32768;
    values.PortAddress = 0;
    values.AgcEnabled = true;
    const std::string text = formatPreset(values);
    EXPECT_TRUE(text.ends_with("\r\n 1 \r\n 1 \r\n-32768 \r\n 0 \r\n")) << text;
    EXPECT_TRUE(text.starts_with(" 50 \r\n 5 \r\n 1 \r\n")) << text;
    EXPECT_EQ(parsedValues(text), values);
}

TEST(PresetParse, LineEndsBlanksAndTrailingLinesAreTolerated) {
    const std::string defaults = formatPreset(defaultValues());
    const std::string texts[] = {
        defaults + "garbage\r\n\x01\x02\r\n",          defaults.substr(0, defaults.size() - 2),
        defaultsWithLine(0, "", 33, "", "\n"),         defaultsWithLine(0, "", 33, "", "\r"),
        defaultsWithLine(0, "", 33, "   \t ", "\r\n"),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parsedValues(text), defaultValues());
    }
}

// Positions and lines 32/33 round half to even; items 3 and 29 are on only when exactly 1,
// items 30 and 31 when non-zero after rounding.
TEST(PresetParse, NumbersRoundHalfToEvenAndSwitchesFollowTheirOwnRules) {
    const std::tuple<int, std::string, int> cases[] = {
        {2, "2.5", 2},    {2, "3.5", 4},          {2, "+3.49", 3},
        {1, "49.5", 50},  {1, "50.5", 50},        {1, "29.5", 30},
        {6, "1e2", 100},  {5, ".6", 1},           {32, "-2.5", -2},
        {33, "-3.5", -4}, {32, "-32768", -32768}, {33, "32767", 32767},
        {3, "1", 1},      {3, "-1", 0},           {3, "2", 0},
        {3, "1.0", 1},    {3, "0.6", 0},          {29, "1", 1},
        {29, "2", 0},     {29, "-1", 0},          {30, "-1", 1},
        {30, "0.5", 0},   {30, "0.6", 1},         {30, "1e-400", 0},
        {30, "1e300", 1}, {31, "5", 1},           {31, "-0.4", 0},
    };
    for (const auto& [line, text, expected] : cases) {
        SCOPED_TRACE("line " + std::to_string(line) + " '" + text + "'");
        EXPECT_EQ(presetLines(parsedValues(defaultsWithLine(line, text)))[line - 1], expected);
    }
}

TEST(PresetParse, TheFirstFailureNamesItsLineCodeAndReason) {
    std::string twoBadLines = defaultsWithLine(9, "x");
    twoBadLines.replace(twoBadLines.find("25\r\n"), 2, "999");  // line 18
    // File, failing line, code, text within the reason.
    const std::tuple<std::string, int, int, std::string> cases[] = {
        {"", 1, kPresetPastEndOfFile, "ends"},
        {defaultsWithLine(0, "", 32), 33, kPresetPastEndOfFile, "ends"},
        {twoBadLines, 9, kPresetNotNumeric, "\"x\" is not a number"},
        {defaultsWithLine(29, ""), 29, kPresetNotNumeric, "empty"},
        {defaultsWithLine(3, "on"), 3, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "inf"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "0x5"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "5e"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "."), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(11, "\x01\xff"), 11, kPresetNotNumeric, "\"\\x01\\xFF\""},
        {defaultsWithLine(12, "5" + std::string(2000, ' ')), 12, kPresetNotNumeric, "longer"},
        {defaultsWithLine(6, "300"), 6, kPresetInvalidPosition, "300 is outside 1..255"},
        {defaultsWithLine(27, "0"), 27, kPresetInvalidPosition, "0 is outside 1..255"},
        {defaultsWithLine(1, "29.4"), 1, kPresetInvalidPosition, "29.4 is outside 30..100"},
        {defaultsWithLine(1, "101"), 1, kPresetInvalidPosition, "outside 30..100"},
        {defaultsWithLine(2, "0"), 2, kPresetInvalidPosition, "outside 1..10"},
        {defaultsWithLine(4, "11"), 4, kPresetInvalidPosition, "outside 1..10"},
        {defaultsWithLine(26, "41"), 26, kPresetInvalidPosition, "outside 1..40"},
        {defaultsWithLine(28, "49"), 28, kPresetInvalidPosition, "outside 50..100"},
        {defaultsWithLine(32, "32767.5"), 32, kPresetOverflow, "16-bit"},
        {defaultsWithLine(33, "-32769"), 33, kPresetOverflow, "16-bit"},
        {defaultsWithLine(7, "-1e400"), 7, kPresetOverflow, "too large"},
    };
    for (const auto& [file, line, code, reason] : cases) {
        SCOPED_TRACE("line " + std::to_string(line) + ": " + reason);
        const auto parsed = parsePreset(file);
        const PresetError error = parsed ? PresetError{0, 0, "accepted"} : parsed.error();
        EXPECT_EQ(error.line, line);
        EXPECT_EQ(error.code, code);
        EXPECT_NE(error.reason.find(reason), std::string::npos) << error.reason;
        EXPECT_TRUE(error.describe().starts_with("line " + std::to_string(line) + ": "));
    }
}

// A preset with every stored setting away from its default, each channel differently.
std::string changedBytes() {
    std::string text = " 70 \r\n 2 \r\n 1 \r\n";
    for (int ch = 0; ch < kChannelCount; ++ch) {
        for (const int position : {1 + ch, 40 - 3 * ch, 200 + ch}) {
            text += ' ';
            text += std::to_string(position);
            text += " \r\n";
        }
    }
    return text + " 60 \r\n 0 \r\n 0 \r\n 1 \r\n 20000 \r\n 632 \r\n";
}

SharedState changedState() {
    SharedState state = defaultState();
    applyPresetValues(parsePreset(changedBytes()).value(), state);
    return state;
}

class PresetFileTest : public ::testing::Test {
  protected:
    test::TempFolder folder_;
};

// The save goes through a temporary file renamed over the target: the target keeps its
// permissions, a symbolic link stays a link to the replaced file, and no temporary is left.
TEST_F(PresetFileTest, SaveThenLoadGivesBackEverySettingKeepingPermissionsAndLinks) {
    const std::string path = folder_.path("keep.lcf");
    writeBytes(path, std::string(5000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    fs::create_symlink(path, folder_.path("link.lcf"));
    ASSERT_TRUE(savePreset(folder_.path("link.lcf"), changedState()));
    EXPECT_TRUE(fs::is_symlink(folder_.path("link.lcf")));
    EXPECT_EQ(readBytes(path), changedBytes());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder_.entries(), (std::set<std::string>{"keep.lcf", "link.lcf"}));

    SharedState loaded = defaultState();
    EXPECT_TRUE(loadPreset(path, loaded));
    EXPECT_EQ(loaded, changedState());

    // Only the first 33 lines of a huge file are read.
    writeBytes(path, changedBytes() + std::string(8 * 1024 * 1024, 'z'));
    loaded = defaultState();
    EXPECT_TRUE(loadPreset(path, loaded));
    EXPECT_EQ(loaded, changedState());
}

// A failed read changes no setting: the short file differs from the state in every line it
// has, so a reader that applied items one by one would be seen. (What the parser refuses is
// checked on texts by the PresetParse tests above.)
TEST_F(PresetFileTest, FailedLoadsChangeNoSettingAndSayWhy) {
    writeBytes(folder_.path("x.lcf"), changedBytes());
    std::string shortFile = changedBytes();
    shortFile.resize(shortFile.find(" 205 \r\n"));  // the first 20 lines
    writeBytes(folder_.path("short.lcf"), shortFile);
    fs::create_directory(folder_.path("folder.lcf"));
    // Path, failing line (0: not tied to a line), code.
    const std::tuple<std::string, int, int> cases[] = {
        {folder_.path("short.lcf"), 21, kPresetPastEndOfFile},
        {folder_.path("absent.lcf"), 0, kPresetFileNotFound},
        {folder_.path("x.lcf "), 0, kPresetFileNotFound},  // opened as given, not trimmed
        {folder_.path("x.lcf/y.lcf"), 0, kPresetPathNotFound},
        {folder_.path("folder.lcf"), 0, kPresetAccessError},
        {"", 0, kPresetFileNotFound},
    };
    for (const auto& [path, line, code] : cases) {
        SCOPED_TRACE(path);
        SharedState state = defaultState();
        const auto loaded = loadPreset(path, state);
        const PresetError error = loaded ? PresetError{-1, 0, "loaded"} : loaded.error();
        EXPECT_EQ(std::pair(error.line, error.code), std::pair(line, code)) << error.describe();
        EXPECT_EQ(state, defaultState());
    }
}

// A failed save says why, leaves the old preset byte-identical and nothing behind: a folder in
// the file's place, a FIFO (as a device would be, it stays what it is), a missing folder, no
// name, a file size limit; then, on a small tmpfs, a full disk and a file system turned
// read-only.
TEST_F(PresetFileTest, FailedSavesKeepTheOldPresetAndLeaveNothingBehind) {
    fs::create_directory(folder_.path("taken.lcf"));
    writeBytes(folder_.path("taken.lcf/inside"), "keep");
    ASSERT_EQ(::mkfifo(folder_.path("fifo.lcf").c_str(), 0600), 0);
    const std::pair<std::string, int> cases[] = {
        {folder_.path("taken.lcf"), kPresetAccessError},
        {folder_.path("fifo.lcf"), kPresetAccessError},
        {folder_.path("missing/new.lcf"), kPresetPathNotFound},
        {folder_.root().string() + "/", kPresetAccessError},
        {"", kPresetPathNotFound},
    };
    for (const auto& [path, code] : cases) {
        const auto saved = savePreset(path, changedState());
        EXPECT_EQ(saved ? 0 : saved.error().code, code) << path;
    }
    // A file size limit below the preset's size counts as a full disk.
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    limit.rlim_cur = 40;
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto limited = savePreset(folder_.path("limited.lcf"), changedState());
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_EQ(limited ? 0 : limited.error().code, kPresetDiskFull);
    EXPECT_EQ(readBytes(folder_.path("taken.lcf/inside")), "keep");
    EXPECT_TRUE(fs::is_fifo(folder_.path("fifo.lcf")));
    EXPECT_EQ(folder_.entries(), (std::set<std::string>{"fifo.lcf", "taken.lcf"}));

    const fs::path disk = folder_.root() / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const std::string preset = (disk / "party.lcf").string();
    EXPECT_TRUE(savePreset(preset, defaultState()));
    const std::string oldBytes = readBytes(preset);
    std::ofstream filler(disk / "filler");
    while (filler.write(std::string(4096, 'f').data(), 4096)) {
    }
    filler.close();
    for (const auto& [code, reason] :
         {std::pair{kPresetDiskFull, "No space left"}, {kPresetPermissionDenied, "Read-only"}}) {
        SCOPED_TRACE(reason);
        const auto saved = savePreset(preset, changedState());
        const PresetError error = saved ? PresetError{} : saved.error();
        EXPECT_EQ(error.code, code);
        EXPECT_NE(error.reason.find(reason), std::string::npos);
        EXPECT_EQ(readBytes(preset), oldBytes);
        EXPECT_EQ(folder_.entries(disk), (std::set<std::string>{"filler", "party.lcf"}));
        SharedState loaded = changedState();
        EXPECT_TRUE(loadPreset(preset, loaded));
        EXPECT_EQ(loaded, defaultState());
        EXPECT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    }
    ::umount2(disk.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace kalindor
