#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

// Replaces the program's global operator new and delete so a benchmark can count its heap
// allocations: read allocationCount before and after the code under test. Include this header
// in exactly one source file of a program (it defines the replacements).
inline std::atomic<std::int64_t> allocationCount{0};

// GCC takes the free() of a replaced operator delete for a mismatch once both are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
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
