#include "launch/OutputChoices.h"

#include <gtest/gtest.h>

namespace kalindor {
namespace {

TEST(OutputChoices, EveryKindParsesAndFormatsBack) {
    for (const char* text :
         {"usb", "sim", "none", "ola:1:1", "ola:0:505", "ola:4294967295:17",
          "gpio:gpiochip0:17,27,22,23,24,25,5,6", "gpio:pinctrl:0,1,2,3,4,5,6,7:active-low"}) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        ASSERT_TRUE(choice) << text << ": " << choice.error();
        EXPECT_EQ(formatOutputChoice(*choice), text);
    }
}

TEST(OutputChoices, OlaDefaultsAndGpioFields) {
    const Expected<OutputChoice> bare = parseOutputChoice("ola");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->kind, OutputChoice::Kind::kOla);
    EXPECT_EQ(bare->universe, 1u);
    EXPECT_EQ(bare->firstSlot, 1);
    const Expected<OutputChoice> universe = parseOutputChoice("ola:7");
    ASSERT_TRUE(universe);
    EXPECT_EQ(universe->universe, 7u);
    EXPECT_EQ(universe->firstSlot, 1);

    const Expected<OutputChoice> gpio = parseOutputChoice("gpio:gpiochip2:8,7,6,5,4,3,2,1");
    ASSERT_TRUE(gpio);
    EXPECT_EQ(gpio->chip, "gpiochip2");
    EXPECT_EQ(gpio->lines[0], 8u);
    EXPECT_EQ(gpio->lines[7], 1u);
    EXPECT_FALSE(gpio->activeLow);
}

TEST(OutputChoices, MalformedValuesAreRefused) {
    for (const char* text : {"",
                             "USB",
                             "usb:1",
                             "dmx",
                             "ola:",
                             "ola:x",
                             "ola:1:0",
                             "ola:1:506",
                             "ola:-1",
                             "ola:4294967296",
                             "ola:1:1:1",
                             "gpio",
                             "gpio:",
                             "gpio::1,2,3,4,5,6,7,8",
                             "gpio:c:1,2,3,4,5,6,7",
                             "gpio:c:1,2,3,4,5,6,7,8,9",
                             "gpio:c:1,2,3,4,5,6,7,7",
                             "gpio:c:1,2,3,4,5,6,7,8:active-high",
                             "gpio:c:1,2,,4,5,6,7,8",
                             "gpio:c:1,2,3,4,5,6,7,8:"}) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        EXPECT_FALSE(choice) << "accepted: " << text;
        if (!choice) {
            EXPECT_FALSE(choice.error().empty());
        }
    }
}

}  // namespace
}  // namespace kalindor
