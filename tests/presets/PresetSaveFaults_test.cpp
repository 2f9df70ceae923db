// Saves that cannot complete on a real file system that runs out of room (a small tmpfs the
// test mounts): no space for the data, no inode for the new file, the file system read-only.
// The old preset stays byte-identical, nothing is left behind, the caller learns why, and
// `kalindor-cli preset defaults` says so on one stderr line with exit status 1. Tests run as
// root, so only a real file system can refuse a write.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/ControlUpdates.h"
#include "presets/PresetFile.h"
#include "presets/PresetValues.h"
#include "support/TestFiles.h"

namespace kalindor {
namespace {

namespace fs = std::filesystem;
using test::readBytes;

SharedState changedState() {
    SharedState state;
    applyStartupDefaults(state);
    setScanPeriod(state, 35);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setFrequency(state, ch, 100 + ch);
    }
    state.PortAddress = 632;
    return state;
}

class PresetSaveFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        disk_ = scratch_.root() / "disk";
        fs::create_directory(disk_);
    }
    void TearDown() override {
        if (mounted_) {
            ::umount2(disk_.c_str(), MNT_DETACH);
        }
    }

    // Mounts a tmpfs of `options` on the disk folder; skips the test where mounting is not
    // allowed (the file size limit stands in for a full disk in PresetFile_test there).
    bool mountDisk(const std::string& options) {
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            return false;
        }
        mounted_ = true;
        return true;
    }

    void remountReadOnly() {
        ASSERT_EQ(::mount("tmpfs", disk_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << std::strerror(errno);
    }

    // Fills the disk's free blocks with one file; returns its path.
    fs::path fillDisk() {
        const fs::path filler = disk_ / "filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        const int err = errno;
        ::close(fd);
        EXPECT_EQ(err, ENOSPC);
        return filler;
    }

    // Takes every free inode with empty files.
    void useAllInodes() {
        for (int i = 0; i < 10000; ++i) {
            const fs::path extra = disk_ / ("inode-" + std::to_string(i));
            const int fd = ::open(extra.c_str(), O_WRONLY | O_CREAT, 0600);
            if (fd < 0) {
                EXPECT_EQ(errno, ENOSPC);
                return;
            }
            ::close(fd);
        }
        ADD_FAILURE() << "the inode limit was never reached";
    }

    std::set<std::string> diskEntries() const { return scratch_.entries(disk_); }

    test::CliResult runCli(const std::vector<std::string>& args) {
        return test::runCli(args, scratch_.root());
    }

    test::TempFolder scratch_;
    fs::path disk_;
    bool mounted_ = false;
};

#define MOUNT_OR_SKIP(options)                                                 \
    if (!mountDisk(options)) {                                                 \
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno); \
    }

TEST_F(PresetSaveFaultsTest, FullDiskKeepsTheOldPresetAndASaveAfterFreeingSpaceWorks) {
    MOUNT_OR_SKIP("size=64k,mode=0755");
    const fs::path preset = disk_ / "party.lcf";
    SharedState old;
    applyStartupDefaults(old);
    ASSERT_TRUE(savePreset(preset.string(), old));
    const std::string oldBytes = readBytes(preset);
    const fs::path filler = fillDisk();

    const auto saved = savePreset(preset.string(), changedState());
    ASSERT_FALSE(saved);
    const PresetError& error = saved.error();
    EXPECT_EQ(error.code, kPresetDiskFull) << error.describe();
    EXPECT_EQ(error.line, 0);
    EXPECT_NE(error.reason.find(preset.string()), std::string::npos) << error.reason;
    EXPECT_NE(error.reason.find("No space left"), std::string::npos) << error.reason;
    EXPECT_EQ(readBytes(preset), oldBytes);
    EXPECT_EQ(diskEntries(), (std::set<std::string>{"party.lcf", "filler"}));
    SharedState loaded = changedState();
    ASSERT_TRUE(loadPreset(preset.string(), loaded));
    EXPECT_EQ(loaded, old);

    fs::remove(filler);
    ASSERT_TRUE(savePreset(preset.string(), changedState()));
    EXPECT_EQ(readBytes(preset), formatPreset(presetValuesFromState(changedState())));
}

TEST_F(PresetSaveFaultsTest, NoFreeInodeForTheNewFileKeepsTheOldPreset) {
    MOUNT_OR_SKIP("size=1m,nr_inodes=16,mode=0755");
    const fs::path preset = disk_ / "party.lcf";
    ASSERT_TRUE(savePreset(preset.string(), changedState()));
    const std::string oldBytes = readBytes(preset);
    useAllInodes();
    const std::set<std::string> entries = diskEntries();

    SharedState other;
    applyStartupDefaults(other);
    const auto saved = savePreset(preset.string(), other);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetDiskFull) << saved.error().describe();
    EXPECT_EQ(readBytes(preset), oldBytes);
    EXPECT_EQ(diskEntries(), entries);
}

TEST_F(PresetSaveFaultsTest, ReadOnlyFileSystemRefusesTheSaveButStillLoads) {
    MOUNT_OR_SKIP("size=64k,mode=0755");
    const fs::path preset = disk_ / "party.lcf";
    ASSERT_TRUE(savePreset(preset.string(), changedState()));
    const std::string oldBytes = readBytes(preset);
    remountReadOnly();

    SharedState other;
    applyStartupDefaults(other);
    const auto saved = savePreset(preset.string(), other);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, kPresetPermissionDenied) << saved.error().describe();
    EXPECT_EQ(readBytes(preset), oldBytes);
    ASSERT_TRUE(loadPreset(preset.string(), other));
    EXPECT_EQ(other, changedState());
}

TEST_F(PresetSaveFaultsTest, CliReportsAFailedSaveOnOneLineWithStatusOne) {
    MOUNT_OR_SKIP("size=64k,mode=0755");
    const fs::path preset = disk_ / "party.lcf";
    ASSERT_TRUE(savePreset(preset.string(), changedState()));
    const std::string oldBytes = readBytes(preset);
    fillDisk();

    test::CliResult result = runCli({"preset", "defaults", preset.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_TRUE(result.err.starts_with("kalindor-cli: ")) << result.err;
    EXPECT_NE(result.err.find("No space left"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_EQ(readBytes(preset), oldBytes);

    remountReadOnly();
    result = runCli({"preset", "defaults", preset.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.err.starts_with("kalindor-cli: ")) << result.err;
    EXPECT_NE(result.err.find("Read-only file system"), std::string::npos) << result.err;
    EXPECT_EQ(readBytes(preset), oldBytes);
}

}  // namespace
}  // namespace kalindor
