// SPDX-License-Identifier: GPL-3.0-or-later
// The GPIO lines over the libgpiod 2.x API (Debian 13).
#include <gpiod.h>

#include <array>
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

// Owners of libgpiod's objects, each freed by its own call.
template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using Chip = std::unique_ptr<gpiod_chip, Deleter<gpiod_chip_close>>;
using ChipInfo = std::unique_ptr<gpiod_chip_info, Deleter<gpiod_chip_info_free>>;
using LineInfo = std::unique_ptr<gpiod_line_info, Deleter<gpiod_line_info_free>>;
using LineSettings = std::unique_ptr<gpiod_line_settings, Deleter<gpiod_line_settings_free>>;
using LineConfig = std::unique_ptr<gpiod_line_config, Deleter<gpiod_line_config_free>>;
using RequestConfig = std::unique_ptr<gpiod_request_config, Deleter<gpiod_request_config_free>>;
using LineRequest = std::unique_ptr<gpiod_line_request, Deleter<gpiod_line_request_release>>;

using LineValues = std::array<gpiod_line_value, kChannelCount>;

LineValues lineValues(const GpioValues& values) {
    LineValues result{};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        result[ch] = values[ch] != 0 ? GPIOD_LINE_VALUE_ACTIVE : GPIOD_LINE_VALUE_INACTIVE;
    }
    return result;
}

class Libgpiod2Lines final : public GpioLines {
  public:
    Expected<void> open(const std::string& chip) override {
        const std::string path = chip.find('/') != std::string::npos ? chip : "/dev/" + chip;
        chip_.reset(gpiod_chip_open(path.c_str()));
        if (!chip_) {
            return unexpected("cannot open the chip (" + why() + ")");
        }
        return {};
    }

    Expected<void> requestOutputs(const GpioOffsets& offsets, const GpioValues& values) override {
        const ChipInfo info(gpiod_chip_get_info(chip_.get()));
        if (!info) {
            return unexpected("cannot read the chip (" + why() + ")");
        }
        const std::size_t lineCount = gpiod_chip_info_get_num_lines(info.get());
        for (const unsigned offset : offsets) {
            if (offset >= lineCount) {
                return unexpected("no line " + std::to_string(offset) + " (the chip has " +
                                  std::to_string(lineCount) + " lines)");
            }
        }
        for (const unsigned offset : offsets) {
            const LineInfo line(gpiod_chip_get_line_info(chip_.get(), offset));
            if (!line) {
                return unexpected("cannot read the lines (" + why() + ")");
            }
            if (gpiod_line_info_is_used(line.get())) {
                const char* consumer = gpiod_line_info_get_consumer(line.get());
                return unexpected(
                    "line " + std::to_string(offset) + " is in use" +
                    (consumer != nullptr ? " by '" + std::string(consumer) + "'" : ""));
            }
        }

        const LineSettings settings(gpiod_line_settings_new());
        const LineConfig lines(gpiod_line_config_new());
        const RequestConfig request(gpiod_request_config_new());
        const auto refused = [] {
            return unexpected("cannot request the lines as outputs (" + why() + ")");
        };
        if (!settings || !lines || !request ||
            gpiod_line_settings_set_direction(settings.get(), GPIOD_LINE_DIRECTION_OUTPUT) != 0) {
            return refused();
        }
        // The values follow the offsets in the order they were added: channel order.
        const LineValues initial = lineValues(values);
        if (gpiod_line_config_add_line_settings(lines.get(), offsets.data(), offsets.size(),
                                                settings.get()) != 0 ||
            gpiod_line_config_set_output_values(lines.get(), initial.data(), initial.size()) != 0) {
            return refused();
        }
        gpiod_request_config_set_consumer(request.get(), kConsumer);
        request_.reset(gpiod_chip_request_lines(chip_.get(), request.get(), lines.get()));
        if (!request_) {
            return refused();
        }
        return {};
    }

    bool setValues(const GpioValues& values) override {
        const LineValues wanted = lineValues(values);
        return request_ && gpiod_line_request_set_values(request_.get(), wanted.data()) == 0;
    }

  private:
    // Members go in reverse order: the lines are released before the chip is closed.
    Chip chip_;
    LineRequest request_;
};

}  // namespace

std::unique_ptr<GpioLines> createLibgpiodLines() {
    return std::make_unique<Libgpiod2Lines>();
}

}  // namespace kalindor
