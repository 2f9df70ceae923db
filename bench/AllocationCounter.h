// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>

// Replaces the program's global operator new and delete so a benchmark can count its heap
// allocations: read allocationCount before and after the code under test. Include this header
// in exactly one source file of a program (it defines the replacements).
// Counts the calling thread's allocations only: the code under test runs on the main thread,
// while an output's own worker (an OLA reconnect, say) may allocate at any moment.
inline thread_local std::int64_t allocationCount = 0;

// GCC takes the free() of a replaced operator delete for a mismatch once both are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
