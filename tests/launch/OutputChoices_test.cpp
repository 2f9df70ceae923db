#include "launch/OutputChoices.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

namespace kalindor {
namespace {

// Each value formats back as given, or in full with the OLA defaults (universe 1, slot 1).
TEST(OutputChoices, EveryKindParsesAndFormatsBack) {
    const std::pair<const char*, const char*> cases[] = {
        {"usb", "usb"},
        {"sim", "sim"},
        {"none", "none"},
        {"ola", "ola:1:1"},
        {"ola:7", "ola:7:1"},
        {"ola:0:505", "ola:0:505"},
        {"ola:4294967295:17", "ola:4294967295:17"},
        {"gpio:gpiochip0:17,27,22,23,24,25,5,6", "gpio:gpiochip0:17,27,22,23,24,25,5,6"},
        {"gpio:pinctrl:0,1,2,3,4,5,6,7:active-low", "gpio:pinctrl:0,1,2,3,4,5,6,7:active-low"},
    };
    for (const auto& [text, formatted] : cases) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        EXPECT_EQ(choice ? formatOutputChoice(*choice) : choice.error(), formatted) << text;
    }
}

// Space-separated, the first one empty.
TEST(OutputChoices, MalformedValuesAreRefused) {
    std::istringstream texts(
        " USB usb:1 dmx ola: ola:x ola:1:0 ola:1:506 ola:-1 ola:4294967296 ola:1:1:1 gpio gpio: "
        "gpio::1,2,3,4,5,6,7,8 gpio:c:1,2,3,4,5,6,7 gpio:c:1,2,3,4,5,6,7,8,9 "
        "gpio:c:1,2,3,4,5,6,7,7 gpio:c:1,2,3,4,5,6,7,8:active-high gpio:c:1,2,,4,5,6,7,8 "
        "gpio:c:1,2,3,4,5,6,7,8:");
    for (std::string text; std::getline(texts, text, ' ');) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        EXPECT_FALSE(choice) << "accepted: " << text;
        EXPECT_FALSE(!choice && choice.error().empty()) << text;
    }
}

}  // namespace
}  // namespace kalindor
