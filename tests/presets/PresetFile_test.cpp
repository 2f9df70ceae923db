#include "presets/PresetFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "core/ControlUpdates.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

class PresetFileTest : public ::testing::Test {
  protected:
    std::string pathOf(const std::string& name) const { return folder_.path(name); }
    std::set<std::string> folderEntries() const { return folder_.entries(); }

    test::TempFolder folder_;
};

SharedState defaultState() {
    SharedState state;
    applyStartupDefaults(state);
    return state;
}

// Every stored setting away from its default, through the controls' own routines.
SharedState changedState() {
    SharedState state = defaultState();
    setScanPeriod(state, 70);
    setDecaySpeed(state, 2);
    state.AgcEnabled = true;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setThreshold(state, ch, 1 + ch);
        setGain(state, ch, 40 - 3 * ch);
        setFrequency(state, ch, 200 + ch);
    }
    setNoiseFilter(state, 60);
    state.GraphPolygon = false;
    state.XScaleLog = false;
    state.YScaleLog = false;
    state.AgcSpeed = 20000;
    state.PortAddress = 632;
    return state;
}

TEST_F(PresetFileTest, SaveThenLoadGivesBackEverySetting) {
    const SharedState saved = changedState();
    const std::string path = pathOf("round.lcf");
    ASSERT_TRUE(savePreset(path, saved));
    EXPECT_EQ(readBytes(path), formatPreset(presetValuesFromState(saved)));
    SharedState loaded = defaultState();
    const auto read = loadPreset(path, loaded);
    ASSERT_TRUE(read) << read.error().describe();
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(folderEntries(), std::set<std::string>{"round.lcf"});
}

// The save goes through a temporary file renamed over the target: the target keeps its
// permissions, a symbolic link stays a link to the replaced file, and no temporary is left.
TEST_F(PresetFileTest, SavingReplacesTheTargetKeepingPermissionsAndLinks) {
    const std::string path = pathOf("keep.lcf");
    writeBytes(path, std::string(5000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    fs::create_symlink(path, pathOf("link.lcf"));
    ASSERT_TRUE(savePreset(pathOf("link.lcf"), changedState()));
    EXPECT_TRUE(fs::is_symlink(pathOf("link.lcf")));
    EXPECT_EQ(readBytes(path), formatPreset(presetValuesFromState(changedState())));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(folderEntries(), (std::set<std::string>{"keep.lcf", "link.lcf"}));
}

TEST_F(PresetFileTest, FailedSavesLeaveTheOldFileAndNoTemporary) {
    const std::string oldBytes = formatPreset(presetValuesFromState(defaultState()));

    // A folder in the target's place.
    fs::create_directory(pathOf("taken.lcf"));
    writeBytes(pathOf("taken.lcf/inside"), "keep");
    auto saved = savePreset(pathOf("taken.lcf"), changedState());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetAccessError);
    EXPECT_EQ(saved.error().line, 0);
    EXPECT_TRUE(fs::is_directory(pathOf("taken.lcf")));
    EXPECT_EQ(readBytes(pathOf("taken.lcf/inside")), "keep");

    // A folder that does not exist.
    saved = savePreset(pathOf("missing/new.lcf"), changedState());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetPathNotFound);
    EXPECT_NE(saved.error().reason.find("missing"), std::string::npos) << saved.error().reason;
    EXPECT_FALSE(fs::exists(pathOf("missing")));

    // A path ending in a slash names no file.
    saved = savePreset(folder_.root().string() + "/", changedState());
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetAccessError);

    EXPECT_EQ(savePreset("", changedState()).error().code, kPresetPathNotFound);

    // A full disk, stood in for by a file size limit below the preset's size.
    const std::string path = pathOf("full.lcf");
    writeBytes(path, oldBytes);
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    saved = savePreset(path, changedState());
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetDiskFull) << saved.error().describe();
    EXPECT_EQ(readBytes(path), oldBytes);

    EXPECT_EQ(folderEntries(), (std::set<std::string>{"taken.lcf", "full.lcf"}));
}

// Each bad file differs from the state in every readable line before the failure, so a reader
// that applied items one by one would change the state.
TEST_F(PresetFileTest, ReadFailuresChangeNoSettingAndNameTheLine) {
    const auto numbers = presetLines(presetValuesFromState(defaultState()));
    const auto fileWith = [&](int line, const std::string& text, int lineCount) {
        std::string out;
        for (int i = 1; i <= lineCount; ++i) {
            out += (i == line ? text : std::to_string(numbers[i - 1])) + "\r\n";
        }
        return out;
    };
    const struct {
        std::string name;
        std::string bytes;
        int line;
        int code;
    } cases[] = {
        {"short.lcf", fileWith(0, "", 20), 21, kPresetPastEndOfFile},
        {"empty.lcf", "", 1, kPresetPastEndOfFile},
        {"word.lcf", fileWith(17, "abc", 33), 17, kPresetNotNumeric},
        {"agc.lcf", fileWith(3, "on", 33), 3, kPresetNotNumeric},
        {"graph.lcf", fileWith(29, "polygon", 33), 29, kPresetNotNumeric},
        {"freq.lcf", fileWith(27, "300", 33), 27, kPresetInvalidPosition},
        {"noise.lcf", fileWith(28, "101", 33), 28, kPresetInvalidPosition},
        {"speed.lcf", fileWith(32, "40000", 33), 32, kPresetOverflow},
        {"port.lcf", fileWith(33, "-40000", 33), 33, kPresetOverflow},
    };
    for (const auto& c : cases) {
        writeBytes(pathOf(c.name), c.bytes);
        SharedState state = changedState();
        const SharedState before = state;
        const auto loaded = loadPreset(pathOf(c.name), state);
        ASSERT_FALSE(loaded) << c.name;
        const PresetError& error = loaded.error();
        EXPECT_EQ(error.line, c.line) << c.name << ": " << error.describe();
        EXPECT_EQ(error.code, c.code) << c.name << ": " << error.describe();
        EXPECT_EQ(state, before) << c.name << " changed a setting";
    }
}

TEST_F(PresetFileTest, FileProblemsChangeNoSetting) {
    writeBytes(pathOf("x.lcf"), formatPreset(presetValuesFromState(defaultState())));
    fs::create_directory(pathOf("folder.lcf"));
    const struct {
        std::string path;
        int code;
    } cases[] = {
        {pathOf("absent.lcf"), kPresetFileNotFound},
        {pathOf("x.lcf "), kPresetFileNotFound},  // opened as given; trimming is the caller's
        {pathOf("x.lcf/y.lcf"), kPresetPathNotFound},
        {pathOf("folder.lcf"), kPresetAccessError},
        {"", kPresetFileNotFound},
    };
    for (const auto& c : cases) {
        SharedState state = changedState();
        const auto loaded = loadPreset(c.path, state);
        ASSERT_FALSE(loaded) << c.path;
        EXPECT_EQ(loaded.error().code, c.code) << c.path << ": " << loaded.error().describe();
        EXPECT_EQ(loaded.error().line, 0);
        EXPECT_EQ(state, changedState()) << c.path;
    }
    SharedState state = changedState();
    EXPECT_TRUE(loadPreset(pathOf("x.lcf"), state));
    EXPECT_EQ(state, defaultState());
}

TEST_F(PresetFileTest, OnlyTheFirstLinesOfAHugeFileAreRead) {
    std::string bytes = formatPreset(presetValuesFromState(changedState()));
    bytes += std::string(8 * 1024 * 1024, 'z');
    writeBytes(pathOf("huge.lcf"), bytes);
    SharedState state = defaultState();
    const auto loaded = loadPreset(pathOf("huge.lcf"), state);
    ASSERT_TRUE(loaded) << loaded.error().describe();
    EXPECT_EQ(state, changedState());

    // One overlong line within the first 33 is reported, whatever follows.
    writeBytes(pathOf("long.lcf"), " 50\r\n" + std::string(100000, ' ') + "5\r\n");
    const auto longLine = loadPreset(pathOf("long.lcf"), state);
    ASSERT_FALSE(longLine);
    EXPECT_EQ(longLine.error().line, 2);
    EXPECT_EQ(longLine.error().code, kPresetNotNumeric);
}

}  // namespace
}  // namespace kalindor
