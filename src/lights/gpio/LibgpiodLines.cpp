// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/gpio/LibgpiodLines.h"

#include <gpiod.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace kalindor {

namespace {

constexpr const char* kConsumer = "kalindor";

std::string why() {
    return std::strerror(errno);
}

}  // namespace

LibgpiodLines::LibgpiodLines() : bulk_(std::make_unique<gpiod_line_bulk>()) {
    gpiod_line_bulk_init(bulk_.get());
}

LibgpiodLines::~LibgpiodLines() {
    if (requested_) {
        gpiod_line_release_bulk(bulk_.get());
    }
    if (chip_ != nullptr) {
        gpiod_chip_close(chip_);
    }
}

Expected<void> LibgpiodLines::open(const std::string& chip) {
    chip_ = gpiod_chip_open_by_name(chip.c_str());
    if (chip_ == nullptr) {
        return unexpected("cannot open the chip (" + why() + ")");
    }
    return {};
}

Expected<void> LibgpiodLines::requestOutputs(const GpioOffsets& offsets, const GpioValues& values) {
    const unsigned lineCount = gpiod_chip_num_lines(chip_);
    for (const unsigned offset : offsets) {
        if (offset >= lineCount) {
            return unexpected("no line " + std::to_string(offset) + " (the chip has " +
                              std::to_string(lineCount) + " lines)");
        }
    }
    GpioOffsets wanted = offsets;
    if (gpiod_chip_get_lines(chip_, wanted.data(), kChannelCount, bulk_.get()) != 0) {
        return unexpected("cannot read the lines (" + why() + ")");
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        gpiod_line* line = gpiod_line_bulk_get_line(bulk_.get(), ch);
        if (gpiod_line_is_used(line)) {
            const char* consumer = gpiod_line_consumer(line);
            return unexpected("line " + std::to_string(offsets[ch]) + " is in use" +
                              (consumer != nullptr ? " by '" + std::string(consumer) + "'" : ""));
        }
    }
    if (gpiod_line_request_bulk_output(bulk_.get(), kConsumer, values.data()) != 0) {
        return unexpected("cannot request the lines as outputs (" + why() + ")");
    }
    requested_ = true;
    return {};
}

bool LibgpiodLines::setValues(const GpioValues& values) {
    return requested_ && gpiod_line_set_value_bulk(bulk_.get(), values.data()) == 0;
}

}  // namespace kalindor
