#include "core/Rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <string>

namespace kalindor {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbourInEveryRoundingMode) {
    const struct {
        double value;
        double rounded;
    } cases[] = {
        {2.5, 2.0},
        {3.5, 4.0},
        {-2.5, -2.0},
        {-3.5, -4.0},
        {0.5, 0.0},
        {254.5, 254.0},
        {253.5, 254.0},
        {2.4999999999999996, 2.0},  // just below a half
        {2.5000000000000004, 3.0},  // just above
        {-0.49999999999999994, 0.0},
        {4503599627370495.5, 4503599627370496.0},  // 2^52 - 0.5
        {1e300, 1e300},
    };
    const struct {
        int mode;
        const char* name;
    } modes[] = {{FE_TONEAREST, "to nearest"},
                 {FE_UPWARD, "upward"},
                 {FE_DOWNWARD, "downward"},
                 {FE_TOWARDZERO, "toward zero"}};
    for (const auto& m : modes) {
        EXPECT_EQ(std::fesetround(m.mode), 0) << m.name;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(m.name) + ": " + std::to_string(c.value));
            volatile double value = c.value;  // keeps the compiler from rounding it beforehand
            EXPECT_EQ(roundHalfEven(value), c.rounded);
        }
    }
    std::fesetround(FE_TONEAREST);
}

}  // namespace
}  // namespace kalindor
