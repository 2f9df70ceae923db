// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>

namespace kalindor {

// Milliseconds on the monotonic clock (unaffected by changes of the wall-clock time); safe to
// call from any thread, including a capture thread (no allocation, no lock).
inline std::int64_t monotonicMs() noexcept {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace kalindor
