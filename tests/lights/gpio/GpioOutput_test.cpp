// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/gpio/GpioOutput.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "support/FakeGpioLines.h"

namespace kalindor {
namespace {

// A Raspberry Pi relay board's wiring, in no order of the line numbers.
constexpr GpioOffsets kWiring = {17, 18, 27, 22, 23, 24, 25, 4};

Expected<std::unique_ptr<GpioOutput>> openOn(test::FakeGpioLines*& fake, bool activeLow,
                                             const std::string& requestError = {}) {
    auto lines = std::make_unique<test::FakeGpioLines>();
    fake = lines.get();
    fake->requestError = requestError;
    return GpioOutput::open(std::move(lines), {"gpiochip0", kWiring, activeLow});
}

// Channel n drives line Ln; active-low inverts every line; the relays start and end off; a
// refused set shows as not connected and is tried again with the next frame, even an unchanged
// one.
TEST(GpioOutput, EachChannelDrivesItsLineAndActiveLowInverts) {
    for (const bool activeLow : {false, true}) {
        SCOPED_TRACE(activeLow);
        const int off = activeLow ? 1 : 0;
        test::FakeGpioLines* fake = nullptr;
        const auto output = std::move(*openOn(fake, activeLow));
        EXPECT_EQ(fake->chip, "gpiochip0");
        std::map<unsigned, int> dark;
        for (const unsigned line : kWiring) {
            dark[line] = off;
        }
        EXPECT_EQ(fake->lines, dark);
        output->setRunning(true);
        output->show({0b10000101, {}});
        std::map<unsigned, int> lit = dark;
        lit[17] = lit[27] = lit[4] = 1 - off;
        EXPECT_EQ(fake->lines, lit);
        const int sets = fake->sets;  // levels move no relay; an unchanged pattern is not sent
        output->show({0b10000101, {9, 9, 9, 9, 9, 9, 9, 9}});
        EXPECT_EQ(fake->sets, sets);
        output->setRunning(false);
        EXPECT_EQ(fake->lines, dark);

        fake->setsWork = false;
        output->show({1, {}});
        EXPECT_FALSE(output->connected());
        fake->setsWork = true;
        output->show({1, {}});
        EXPECT_TRUE(output->connected());
        EXPECT_EQ(fake->lines[17], 1 - off);
    }
}

// A failed request is an error naming the chip (a chip that cannot be opened is tried through
// libgpiod by the command-line tests).
TEST(GpioOutput, ARequestThatFailsNamesTheChip) {
    test::FakeGpioLines* fake = nullptr;
    const auto busy = openOn(fake, false, "line 17 is in use by 'lights'");
    EXPECT_EQ(busy ? "" : busy.error(), "GPIO gpiochip0: line 17 is in use by 'lights'");
}

}  // namespace
}  // namespace kalindor
