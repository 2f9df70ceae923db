// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Expected.h"
#include "core/LightOutput.h"
#include "lights/gpio/GpioLines.h"

namespace kalindor {

struct GpioOutputOptions {
    std::string chip;        // e.g. "gpiochip0"
    GpioOffsets lines{};     // channel n drives lines[n]
    bool activeLow = false;  // a lit channel drives its line low
};

// Relays on eight GPIO lines: a channel's relay is on while the channel is lit; levels are
// ignored. The lines are set only when the pattern changes; all relays go off when capture
// stops and when the output is destroyed (the program ends). A refused set shows as not
// connected and is tried again with the next frame.
class GpioOutput final : public LightOutput {
  public:
    // Opens the chip and requests the lines with every relay off. The error names the chip:
    // "GPIO gpiochip0: line 17 is in use by 'other'".
    static Expected<std::unique_ptr<GpioOutput>> open(std::unique_ptr<GpioLines> lines,
                                                      const GpioOutputOptions& options);

    ~GpioOutput() override;
    GpioOutput(const GpioOutput&) = delete;
    GpioOutput& operator=(const GpioOutput&) = delete;

    std::string name() const override { return "GPIO " + chip_; }
    void show(const LightFrame& frame) override;
    void setRunning(bool running) override;
    bool connected() const override { return connected_; }

  private:
    GpioOutput(std::unique_ptr<GpioLines> lines, const GpioOutputOptions& options);
    GpioValues valuesFor(std::uint8_t pattern) const;
    void showPattern(std::uint8_t pattern);

    std::unique_ptr<GpioLines> lines_;
    std::string chip_;
    bool activeLow_;
    std::uint8_t shown_ = 0;
    bool connected_ = true;
};

// The relay output over libgpiod.
Expected<std::unique_ptr<GpioOutput>> openGpioOutput(const GpioOutputOptions& options);

}  // namespace kalindor
