// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "core/Expected.h"
#include "core/SharedState.h"

namespace kalindor {

// Line offsets and line values (0 or 1), one per channel in channel order.
using GpioOffsets = std::array<unsigned, kChannelCount>;
using GpioValues = std::array<int, kChannelCount>;

// The GPIO calls of the relay output: libgpiod in the program, a recording fake in the tests.
// Errors are one line without the chip's name. Main thread only.
class GpioLines {
  public:
    virtual ~GpioLines() = default;

    // Opens the chip by name ("gpiochip0"); the chip stays open for the object's life.
    virtual Expected<void> open(const std::string& chip) = 0;
    // Requests the eight lines as outputs for the consumer "kalindor", set to `values`. The
    // error names the line at fault when one is (missing, in use).
    virtual Expected<void> requestOutputs(const GpioOffsets& offsets, const GpioValues& values) = 0;
    // Sets all requested lines at once; false when the chip refused.
    virtual bool setValues(const GpioValues& values) = 0;
};

}  // namespace kalindor
