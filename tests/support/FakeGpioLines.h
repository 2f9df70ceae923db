// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

#include "lights/gpio/GpioLines.h"

namespace kalindor::test {

// GPIO lines that record the chip opened and each line's value by offset, and fail a request as
// told.
struct FakeGpioLines final : GpioLines {
    Expected<void> open(const std::string& name) override {
        chip = name;
        return {};
    }
    Expected<void> requestOutputs(const GpioOffsets& wanted, const GpioValues& values) override {
        if (!requestError.empty()) {
            return unexpected(requestError);
        }
        offsets = wanted;
        setValues(values);
        return {};
    }
    bool setValues(const GpioValues& values) override {
        ++sets;
        for (std::size_t i = 0; i < values.size() && setsWork; ++i) {
            lines[offsets[i]] = values[i];
        }
        return setsWork;
    }
    std::string requestError;  // empty: the request succeeds
    bool setsWork = true;
    std::string chip;
    GpioOffsets offsets{};
    std::map<unsigned, int> lines;  // offset -> value last set
    int sets = 0;
};

}  // namespace kalindor::test
