// SPDX-License-Identifier: GPL-3.0-or-later
// The GPIO lines over the libgpiod 1.6 API (Debian 12).
#include <gpiod.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "lights/gpio/LibgpiodLines.h"

namespace kalindor {

namespace {

constexpr const char* kConsumer = "kalindor";

std::string why() {
    return std::strerror(errno);
}

class Libgpiod1Lines final : public GpioLines {
  public:
    Libgpiod1Lines() { gpiod_line_bulk_init(&bulk_); }
    ~Libgpiod1Lines() override {
        if (requested_) {
            gpiod_line_release_bulk(&bulk_);
        }
        if (chip_ != nullptr) {
            gpiod_chip_close(chip_);
        }
    }
    Libgpiod1Lines(const Libgpiod1Lines&) = delete;
    Libgpiod1Lines& operator=(const Libgpiod1Lines&) = delete;

    Expected<void> open(const std::string& chip) override {
        chip_ = chip.find('/') != std::string::npos ? gpiod_chip_open(chip.c_str())
                                                    : gpiod_chip_open_by_name(chip.c_str());
        if (chip_ == nullptr) {
            return unexpected("cannot open the chip (" + why() + ")");
        }
        return {};
    }

    Expected<void> requestOutputs(const GpioOffsets& offsets, const GpioValues& values) override {
        const unsigned lineCount = gpiod_chip_num_lines(chip_);
        for (const unsigned offset : offsets) {
            if (offset >= lineCount) {
                return unexpected("no line " + std::to_string(offset) + " (the chip has " +
                                  std::to_string(lineCount) + " lines)");
            }
        }
        GpioOffsets wanted = offsets;
        if (gpiod_chip_get_lines(chip_, wanted.data(), kChannelCount, &bulk_) != 0) {
            return unexpected("cannot read the lines (" + why() + ")");
        }
        for (int ch = 0; ch < kChannelCount; ++ch) {
            gpiod_line* line = gpiod_line_bulk_get_line(&bulk_, ch);
            if (gpiod_line_is_used(line)) {
                const char* consumer = gpiod_line_consumer(line);
                return unexpected(
                    "line " + std::to_string(offsets[ch]) + " is in use" +
                    (consumer != nullptr ? " by '" + std::string(consumer) + "'" : ""));
            }
        }
        if (gpiod_line_request_bulk_output(&bulk_, kConsumer, values.data()) != 0) {
            return unexpected("cannot request the lines as outputs (" + why() + ")");
        }
        requested_ = true;
        return {};
    }

    bool setValues(const GpioValues& values) override {
        return requested_ && gpiod_line_set_value_bulk(&bulk_, values.data()) == 0;
    }

  private:
    gpiod_chip* chip_ = nullptr;
    gpiod_line_bulk bulk_{};  // the requested lines
    bool requested_ = false;
};

}  // namespace

std::unique_ptr<GpioLines> createLibgpiodLines() {
    return std::make_unique<Libgpiod1Lines>();
}

}  // namespace kalindor
