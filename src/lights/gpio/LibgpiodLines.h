// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "lights/gpio/GpioLines.h"

struct gpiod_chip;
struct gpiod_line_bulk;

namespace kalindor {

// GPIO lines through libgpiod 1.6 (the kernel's character device). The lines are released and
// the chip closed on destruction.
class LibgpiodLines final : public GpioLines {
  public:
    LibgpiodLines();
    ~LibgpiodLines() override;
    LibgpiodLines(const LibgpiodLines&) = delete;
    LibgpiodLines& operator=(const LibgpiodLines&) = delete;

    Expected<void> open(const std::string& chip) override;
    Expected<void> requestOutputs(const GpioOffsets& offsets, const GpioValues& values) override;
    bool setValues(const GpioValues& values) override;

  private:
    gpiod_chip* chip_ = nullptr;
    std::unique_ptr<gpiod_line_bulk> bulk_;  // the requested lines
    bool requested_ = false;
};

}  // namespace kalindor
