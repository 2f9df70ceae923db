// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kalindor::fuzz {

// Stops the run with a message when an invariant does not hold; libFuzzer then saves the input
// that broke it as a crash file.
inline void require(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

// A private folder for the files a target writes, on a memory file system when there is one
// (a fuzz target writes thousands of files a second). Created once per process.
std::string scratchFolder();

// Writes size bytes to path, replacing it; aborts when that fails (the machine, not the code
// under test, is broken then).
void writeScratchFile(const std::string& path, const void* data, std::size_t size);

// The whole content of a file; aborts when it cannot be read.
std::string readScratchFile(const std::string& path);

}  // namespace kalindor::fuzz
