#include "engine/NaturalLog.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace kalindor {

namespace {

constexpr int kTableBits = 7;
constexpr int kTableSize = 1 << kTableBits;
constexpr int kMantissaBits = 23;
constexpr std::uint32_t kMantissaMask = (1u << kMantissaBits) - 1;
constexpr std::uint32_t kOneBits = 0x3F800000u;  // 1.0f
constexpr std::uint32_t kSmallestNormalBits = 0x00800000u;
constexpr int kExponentBias = 127;
constexpr double kLn2 = 0.6931471805599453094;

// Mantissa m in [1, 2) is split as c_k * (1 + r) with c_k = 1 + k/128 (the top seven bits of
// m) and 0 <= r < 1/128: ln m = ln c_k + ln(1 + r). c_0 = 1, so ln 1 is exactly 0.
struct LogTable {
    std::array<double, kTableSize> inverse{};  // 1 / c_k
    std::array<double, kTableSize> logOf{};    // ln c_k
};

LogTable makeLogTable() {
    LogTable table;
    for (int k = 0; k < kTableSize; ++k) {
        const double c = 1.0 + static_cast<double>(k) / kTableSize;
        table.inverse[k] = 1.0 / c;
        table.logOf[k] = std::log(c);
    }
    return table;
}

const LogTable kTable = makeLogTable();

// ln(1 + r) for 0 <= r < 1/128 by its series to r^8; the first omitted term is below 1e-17.
double log1pSmall(double r) {
    const double p =
        ((((((-1.0 / 8 * r + 1.0 / 7) * r - 1.0 / 6) * r + 1.0 / 5) * r - 1.0 / 4) * r + 1.0 / 3) *
             r -
         1.0 / 2) *
        r;
    return r + p * r;
}

}  // namespace

double naturalLog(float v) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    if (bits < kSmallestNormalBits) {
        return std::log(static_cast<double>(v));
    }
    const int exponent = static_cast<int>(bits >> kMantissaBits) - kExponentBias;
    const std::uint32_t mantissa = bits & kMantissaMask;
    const auto k = static_cast<std::size_t>(mantissa >> (kMantissaBits - kTableBits));
    const double m = std::bit_cast<float>(mantissa | kOneBits);
    const double r = m * kTable.inverse[k] - 1.0;
    return static_cast<double>(exponent) * kLn2 + (kTable.logOf[k] + log1pSmall(r));
}

}  // namespace kalindor
