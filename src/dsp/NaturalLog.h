// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kalindor {

namespace natural_log_detail {

inline constexpr int kTableBits = 7;
inline constexpr int kTableSize = 1 << kTableBits;

// Mantissa m in [1, 2) is split as c_k * (1 + r) with c_k = 1 + k/128 (the top seven bits of
// m) and 0 <= r < 1/128: ln m = ln c_k + ln(1 + r). c_0 = 1, so ln 1 is exactly 0.
struct LogTable {
    std::array<double, kTableSize> inverse{};  // 1 / c_k
    std::array<double, kTableSize> logOf{};    // ln c_k
};

const LogTable& logTable();

}  // namespace natural_log_detail

// Natural logarithm of a positive finite float, in double precision. Accurate to a few units
// of 1e-16 (table of 128 mantissa steps plus a short series), so a result scaled and rounded
// to float matches one taken from std::log; several times faster than std::log, which matters
// at 255 calls per buffer. Subnormal inputs are passed to std::log; v <= 0 is not allowed.
inline double naturalLog(float v) {
    using namespace natural_log_detail;
    constexpr int kMantissaBits = 23;
    constexpr std::uint32_t kMantissaMask = (1u << kMantissaBits) - 1;
    constexpr std::uint32_t kOneBits = 0x3F800000u;  // 1.0f
    constexpr std::uint32_t kSmallestNormalBits = 0x00800000u;
    constexpr int kExponentBias = 127;
    constexpr double kLn2 = 0.6931471805599453094;

    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    if (bits < kSmallestNormalBits) {
        return std::log(static_cast<double>(v));
    }
    const int exponent = static_cast<int>(bits >> kMantissaBits) - kExponentBias;
    const std::uint32_t mantissa = bits & kMantissaMask;
    const auto k = static_cast<std::size_t>(mantissa >> (kMantissaBits - kTableBits));
    const double m = std::bit_cast<float>(mantissa | kOneBits);
    const LogTable& table = logTable();
    const double r = m * table.inverse[k] - 1.0;
    // ln(1 + r) by its series to r^8; the first omitted term is below 1e-17.
    const double series =
        ((((((-1.0 / 8 * r + 1.0 / 7) * r - 1.0 / 6) * r + 1.0 / 5) * r - 1.0 / 4) * r + 1.0 / 3) *
             r -
         1.0 / 2) *
        r;
    return static_cast<double>(exponent) * kLn2 + (table.logOf[k] + (r + series * r));
}

}  // namespace kalindor
