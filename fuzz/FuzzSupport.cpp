// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kalindor::fuzz {

namespace {

// The folder's path for the exit handler, which may run after the string's destructor.
char removeAtExit[64] = {};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz scratch: %s: %s\n", what.c_str(), std::strerror(errno));
    std::abort();
}

}  // namespace

std::string scratchFolder() {
    static const std::string folder = [] {
        struct stat info = {};
        const bool shm = ::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode);
        std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/kalindor-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("mkdtemp " + pattern);
        }
        // Runs when libFuzzer ends normally (time or run limit); a crash leaves the folder to
        // look at.
        std::snprintf(removeAtExit, sizeof removeAtExit, "%s", pattern.c_str());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return pattern;
    }();
    return folder;
}

void writeScratchFile(const std::string& path, const void* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail("open " + path);
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t result = ::write(fd, bytes + written, size - written);
        if (result <= 0) {
            fail("write " + path);
        }
        written += static_cast<std::size_t>(result);
    }
    ::close(fd);
}

std::string readScratchFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail("open " + path);
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            fail("read " + path);
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

}  // namespace kalindor::fuzz
