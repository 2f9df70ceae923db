#include "core/Expected.h"

#include <gtest/gtest.h>

#include <memory>

namespace kalindor {
namespace {

TEST(Expected, HoldsEitherTheValueOrTheErrorAndTestsTrueOnlyForTheValue) {
    const Expected<int> value = 0;  // a value that is itself false still means success
    EXPECT_TRUE(value && value.has_value() && *value == 0 && value.value() == 0);
    const Expected<int> failed = unexpected("no input");
    EXPECT_FALSE(failed || failed.has_value());
    EXPECT_EQ(failed.error(), "no input");
    EXPECT_ANY_THROW((void)failed.value());
    // A value of the error's own type is a value, not an error.
    const Expected<std::string> text = std::string("no input");
    EXPECT_TRUE(text && *text == "no input");

    Expected<std::unique_ptr<int>> owned = std::make_unique<int>(7);
    const std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 7);

    EXPECT_TRUE(Expected<void>{});
    const Expected<void, int> refused = unexpected(13);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), 13);
}

}  // namespace
}  // namespace kalindor
