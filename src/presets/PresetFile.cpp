// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PresetFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace kalindor {

namespace {

// Enough bytes for 33 lines of the longest accepted length with CR LF, plus one so that a line
// that is too long is seen as such.
constexpr std::size_t kReadLimitBytes =
    static_cast<std::size_t>(kPresetLineCount) * (kPresetMaxLineBytes + 2) + 1;
constexpr int kTemporaryNameAttempts = 100;

enum class Operation { kRead, kWrite };

int codeForErrno(int err, Operation operation) {
    switch (err) {
        case ENOENT:
            return operation == Operation::kRead ? kPresetFileNotFound : kPresetPathNotFound;
        case ENOTDIR:
            return kPresetPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kPresetPermissionDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kPresetDiskFull;
        case EIO:
            return kPresetIoError;
        default:
            return kPresetAccessError;
    }
}

PresetError systemError(Operation operation, int err, const std::string& what) {
    return PresetError{0, codeForErrno(err, operation),
                       what + ": " + std::generic_category().message(err)};
}

// Closes a descriptor on every path out of a function.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports the result, which for a written file can carry a late write error.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// The folder part and the name part of a path ("a/b.lcf" -> "a", "b.lcf").
void splitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// What a path that is neither a regular file nor a folder names, for the refusal to save there.
const char* specialFileKind(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    return S_ISSOCK(mode) ? "a socket" : "a special file";
}

// A symbolic link is replaced at its target, as writing through it in place would.
std::string resolveTarget(const std::string& path) {
    struct stat info = {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

// Creates a new, empty file next to the target, with a name no other file has, and returns its
// descriptor; the error is the errno of the last attempt. Mode 0666 lets the umask decide the
// permissions, as for any newly created file.
Expected<int, int> createTemporary(const std::string& folder, const std::string& name,
                                   std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    int err = EEXIST;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        tempPath = folder;
        tempPath.append("/.").append(name).append(".tmp").append(std::to_string(::getpid()));
        tempPath.append("-").append(std::to_string(counter.fetch_add(1)));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        err = errno;
        if (err != EEXIST) {
            break;
        }
    }
    return unexpected(err);
}

Expected<void, PresetError> writeAll(int fd, const std::string& bytes, const std::string& what) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unexpected(systemError(Operation::kWrite, errno, what));
        }
        if (result == 0) {
            return unexpected(systemError(Operation::kWrite, ENOSPC, what));
        }
        written += static_cast<std::size_t>(result);
    }
    return {};
}

// Writes `bytes` to the already created temporary file and puts it in the target's place.
Expected<void, PresetError> fillAndRename(FileDescriptor& file, const std::string& tempPath,
                                          const std::string& target, const std::string& path,
                                          const std::string& bytes) {
    struct stat existing = {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Best effort: file systems without permission bits (FAT on a stick) refuse this, and
        // the preset's content is what the save is for.
        (void)::fchmod(file.get(), existing.st_mode & 07777);
    }
    const std::string what = "cannot write " + quoted(path);
    if (Expected<void, PresetError> written = writeAll(file.get(), bytes, what); !written) {
        return written;
    }
    if (::fsync(file.get()) != 0) {
        return unexpected(systemError(Operation::kWrite, errno, what));
    }
    if (file.close() != 0) {
        return unexpected(systemError(Operation::kWrite, errno, what));
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        return unexpected(systemError(Operation::kWrite, errno, "cannot replace " + quoted(path)));
    }
    return {};
}

// Makes the rename itself durable. The new preset is already in place when this runs, so a
// failure here is not a failed save and is not reported as one.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

Expected<PresetValues, PresetError> readPresetFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return unexpected(systemError(Operation::kRead, errno, "cannot open " + quoted(path)));
    }
    struct stat info = {};
    if (::fstat(file.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return unexpected(PresetError{0, kPresetAccessError, quoted(path) + " is a folder"});
    }
    std::string text(kReadLimitBytes, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + filled, text.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unexpected(systemError(Operation::kRead, errno, "cannot read " + quoted(path)));
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    text.resize(filled);
    return parsePreset(text);
}

Expected<void, PresetError> loadPreset(const std::string& path, SharedState& state) {
    const Expected<PresetValues, PresetError> values = readPresetFile(path);
    if (!values) {
        return unexpected(values.error());
    }
    applyPresetValues(*values, state);
    return {};
}

Expected<void, PresetError> savePresetText(const std::string& path, const std::string& bytes) {
    if (path.empty()) {
        return unexpected(PresetError{0, kPresetPathNotFound, "no file name given"});
    }
    const std::string target = resolveTarget(path);
    std::string folder;
    std::string name;
    splitPath(target, folder, name);
    struct stat info = {};
    if (name.empty() || (::stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        return unexpected(PresetError{0, kPresetAccessError, quoted(path) + " is a folder"});
    }
    // The rename would put a regular file in the place of a device, a FIFO or a socket.
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return unexpected(PresetError{0, kPresetAccessError,
                                      "cannot save " + quoted(path) + ": it is " +
                                          specialFileKind(info.st_mode) + ", not a regular file"});
    }
    std::string tempPath;
    const Expected<int, int> fd = createTemporary(folder, name, tempPath);
    if (!fd) {
        return unexpected(systemError(
            Operation::kWrite, fd.error(),
            "cannot save " + quoted(path) + " (creating a file in " + quoted(folder) + ")"));
    }
    FileDescriptor file(*fd);
    Expected<void, PresetError> filled = fillAndRename(file, tempPath, target, path, bytes);
    if (!filled) {
        if (file.get() >= 0) {
            file.close();
        }
        ::unlink(tempPath.c_str());
        return filled;
    }
    syncFolder(folder);
    return {};
}

Expected<void, PresetError> savePreset(const std::string& path, const SharedState& state) {
    return savePresetText(path, formatPreset(presetValuesFromState(state)));
}

}  // namespace kalindor
