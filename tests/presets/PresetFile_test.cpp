#include "presets/PresetFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
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

// Every stored setting away from its default (each channel differently), through the
// controls' own routines.
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
    state.AgcSpeed = 20000;
    state.PortAddress = 632;
    return state;
}

std::string changedBytes() {
    return formatPreset(presetValuesFromState(changedState()));
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
    ASSERT_FALSE(savePreset(pathOf("link.lcf"), changedState()));
    EXPECT_TRUE(fs::is_symlink(pathOf("link.lcf")));
    EXPECT_EQ(readBytes(path), changedBytes());
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), (std::set<std::string>{"keep.lcf", "link.lcf"}));

    SharedState loaded = defaultState();
    const auto error = loadPreset(path, loaded);
    EXPECT_FALSE(error) << error->describe();
    EXPECT_EQ(loaded, changedState());

    // Only the first 33 lines of a huge file are read.
    writeBytes(path, changedBytes() + std::string(8 * 1024 * 1024, 'z'));
    loaded = defaultState();
    EXPECT_FALSE(loadPreset(path, loaded));
    EXPECT_EQ(loaded, changedState());
}

// A failed read changes no setting: the bad files differ from the state in every readable
// line before the failure, so a reader that applied items one by one would be seen.
TEST_F(PresetFileTest, FailedLoadsChangeNoSettingAndSayWhy) {
    writeBytes(pathOf("x.lcf"), changedBytes());
    std::string shortFile = changedBytes();
    shortFile.resize(shortFile.find(" 205 \r\n"));  // the first 20 lines
    writeBytes(pathOf("short.lcf"), shortFile);
    writeBytes(pathOf("port.lcf"),
               changedBytes().replace(changedBytes().rfind(" 632"), 4, "-40000"));
    writeBytes(pathOf("long.lcf"), " 50\r\n" + std::string(100000, ' ') + "5\r\n");
    fs::create_directory(pathOf("folder.lcf"));
    // Path, failing line (0: not tied to a line), code.
    const std::tuple<std::string, int, int> cases[] = {
        {pathOf("short.lcf"), 21, kPresetPastEndOfFile},
        {pathOf("port.lcf"), 33, kPresetOverflow},
        {pathOf("long.lcf"), 2, kPresetNotNumeric},
        {pathOf("absent.lcf"), 0, kPresetFileNotFound},
        {pathOf("x.lcf "), 0, kPresetFileNotFound},  // opened as given, not trimmed
        {pathOf("x.lcf/y.lcf"), 0, kPresetPathNotFound},
        {pathOf("folder.lcf"), 0, kPresetAccessError},
        {"", 0, kPresetFileNotFound},
    };
    for (const auto& [path, line, code] : cases) {
        SCOPED_TRACE(path);
        SharedState state = defaultState();
        const PresetError error = loadPreset(path, state).value_or(PresetError{-1, 0, "loaded"});
        EXPECT_EQ(error.line, line) << error.describe();
        EXPECT_EQ(error.code, code) << error.describe();
        EXPECT_EQ(state, defaultState());
    }
}

TEST_F(PresetFileTest, FailedSavesLeaveTheOldFileAndNoTemporary) {
    const std::string oldBytes = formatPreset(presetValuesFromState(defaultState()));
    writeBytes(pathOf("full.lcf"), oldBytes);
    fs::create_directory(pathOf("taken.lcf"));
    writeBytes(pathOf("taken.lcf/inside"), "keep");
    const std::pair<std::string, int> cases[] = {
        {pathOf("taken.lcf"), kPresetAccessError},
        {pathOf("missing/new.lcf"), kPresetPathNotFound},
        {folder_.root().string() + "/", kPresetAccessError},
        {"", kPresetPathNotFound},
    };
    for (const auto& [path, code] : cases) {
        const auto error = savePreset(path, changedState());
        EXPECT_EQ(error ? error->code : 0, code) << path;
    }
    EXPECT_EQ(readBytes(pathOf("taken.lcf/inside")), "keep");

    // A file size limit below the preset's size.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto error = savePreset(pathOf("full.lcf"), changedState());
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(error ? error->code : 0, kPresetDiskFull);
    EXPECT_EQ(readBytes(pathOf("full.lcf")), oldBytes);
    EXPECT_EQ(entries(), (std::set<std::string>{"taken.lcf", "full.lcf"}));
}

// A small tmpfs that runs out of room, then turns read-only: each save fails saying why,
// the old preset stays byte-identical and still loads, and nothing is left behind.
TEST_F(PresetFileTest, SavesOnAFileSystemOutOfRoomOrReadOnlyKeepTheOldPreset) {
    const fs::path disk = folder_.root() / "disk";
    fs::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const struct Unmount {
        const fs::path& disk;
        ~Unmount() { ::umount2(disk.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string preset = (disk / "party.lcf").string();
    ASSERT_FALSE(savePreset(preset, defaultState()));
    const std::string oldBytes = readBytes(preset);
    const auto expectRefused = [&](int code, const char* reason) {
        const std::set<std::string> before = folder_.entries(disk);
        const auto error = savePreset(preset, changedState());
        EXPECT_EQ(error ? error->code : 0, code);
        if (error) {
            EXPECT_NE(error->reason.find(reason), std::string::npos) << error->reason;
            EXPECT_NE(error->reason.find(preset), std::string::npos) << error->reason;
        }
        EXPECT_EQ(readBytes(preset), oldBytes);
        EXPECT_EQ(folder_.entries(disk), before);
        SharedState loaded = changedState();
        EXPECT_FALSE(loadPreset(preset, loaded));
        EXPECT_EQ(loaded, defaultState());
    };

    const int filler = ::open((disk / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'f');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    ::close(filler);
    {
        SCOPED_TRACE("no free block");
        expectRefused(kPresetDiskFull, "No space left");
    }
    ASSERT_EQ(::mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    {
        SCOPED_TRACE("read-only");
        expectRefused(kPresetPermissionDenied, "Read-only");
    }
}

}  // namespace
}  // namespace kalindor
