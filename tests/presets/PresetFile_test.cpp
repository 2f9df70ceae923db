#include "presets/PresetFile.h"

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
#include <tuple>

#include "core/ControlUpdates.h"
#include "presets/PresetValues.h"
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

// A preset with every stored setting away from its default, each channel differently.
std::string changedBytes() {
    std::string text = " 70 \r\n 2 \r\n 1 \r\n";
    for (int ch = 0; ch < kChannelCount; ++ch) {
        for (const int position : {1 + ch, 40 - 3 * ch, 200 + ch}) {
            text += " " + std::to_string(position) + " \r\n";
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
    std::string pathOf(const std::string& name) const { return folder_.path(name); }
    std::set<std::string> entries() const { return folder_.entries(); }

    test::TempFolder folder_;
};

// The save goes through a temporary file renamed over the target: the target keeps its
// permissions, a symbolic link stays a link to the replaced file, and no temporary is left.
TEST_F(PresetFileTest, SaveThenLoadGivesBackEverySettingKeepingPermissionsAndLinks) {
    const std::string path = pathOf("keep.lcf");
    writeBytes(path, std::string(5000, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    fs::create_symlink(path, pathOf("link.lcf"));
    ASSERT_TRUE(savePreset(pathOf("link.lcf"), changedState()));
    EXPECT_TRUE(fs::is_symlink(pathOf("link.lcf")));
    EXPECT_EQ(readBytes(path), changedBytes());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), (std::set<std::string>{"keep.lcf", "link.lcf"}));

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
// checked on texts by the preset values' tests.)
TEST_F(PresetFileTest, FailedLoadsChangeNoSettingAndSayWhy) {
    writeBytes(pathOf("x.lcf"), changedBytes());
    std::string shortFile = changedBytes();
    shortFile.resize(shortFile.find(" 205 \r\n"));  // the first 20 lines
    writeBytes(pathOf("short.lcf"), shortFile);
    fs::create_directory(pathOf("folder.lcf"));
    // Path, failing line (0: not tied to a line), code.
    const std::tuple<std::string, int, int> cases[] = {
        {pathOf("short.lcf"), 21, kPresetPastEndOfFile},
        {pathOf("absent.lcf"), 0, kPresetFileNotFound},
        {pathOf("x.lcf "), 0, kPresetFileNotFound},  // opened as given, not trimmed
        {pathOf("x.lcf/y.lcf"), 0, kPresetPathNotFound},
        {pathOf("folder.lcf"), 0, kPresetAccessError},
        {"", 0, kPresetFileNotFound},
    };
    for (const auto& [path, line, code] : cases) {
        SCOPED_TRACE(path);
        SharedState state = defaultState();
        const auto loaded = loadPreset(path, state);
        const PresetError error = loaded ? PresetError{-1, 0, "loaded"} : loaded.error();
        EXPECT_EQ(error.line, line) << error.describe();
        EXPECT_EQ(error.code, code) << error.describe();
        EXPECT_EQ(state, defaultState());
    }
}

// A failed save says why, leaves the old preset byte-identical and nothing behind: a folder in
// the file's place, a missing folder, no name, a file size limit; then, on a small tmpfs, a full
// disk and a file system turned read-only.
TEST_F(PresetFileTest, FailedSavesKeepTheOldPresetAndLeaveNothingBehind) {
    fs::create_directory(pathOf("taken.lcf"));
    writeBytes(pathOf("taken.lcf/inside"), "keep");
    const std::pair<std::string, int> cases[] = {
        {pathOf("taken.lcf"), kPresetAccessError},
        {pathOf("missing/new.lcf"), kPresetPathNotFound},
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
    const auto limited = savePreset(pathOf("limited.lcf"), changedState());
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_EQ(limited ? 0 : limited.error().code, kPresetDiskFull);
    EXPECT_EQ(readBytes(pathOf("taken.lcf/inside")), "keep");
    EXPECT_EQ(entries(), (std::set<std::string>{"taken.lcf"}));

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
