// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/gpio/GpioOutput.h"

#include <utility>

#include "lights/gpio/LibgpiodLines.h"

namespace kalindor {

Expected<std::unique_ptr<GpioOutput>> GpioOutput::open(std::unique_ptr<GpioLines> lines,
                                                       const GpioOutputOptions& options) {
    std::unique_ptr<GpioOutput> output(new GpioOutput(std::move(lines), options));
    const auto failed = [&](const std::string& detail) {
        return unexpected("GPIO " + options.chip + ": " + detail);
    };
    if (Expected<void> opened = output->lines_->open(options.chip); !opened) {
        return failed(opened.error());
    }
    if (Expected<void> requested =
            output->lines_->requestOutputs(options.lines, output->valuesFor(0));
        !requested) {
        return failed(requested.error());
    }
    return output;
}

GpioOutput::GpioOutput(std::unique_ptr<GpioLines> lines, const GpioOutputOptions& options)
    : lines_(std::move(lines)), chip_(options.chip), activeLow_(options.activeLow) {}

GpioOutput::~GpioOutput() {
    showPattern(0);
}

GpioValues GpioOutput::valuesFor(std::uint8_t pattern) const {
    GpioValues values{};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const bool lit = ((pattern >> ch) & 1u) != 0;
        values[ch] = lit != activeLow_ ? 1 : 0;
    }
    return values;
}

void GpioOutput::show(const LightFrame& frame) {
    showPattern(frame.pattern);
}

void GpioOutput::setRunning(bool running) {
    if (!running) {
        showPattern(0);
    }
}

void GpioOutput::showPattern(std::uint8_t pattern) {
    if (pattern == shown_ && connected_) {
        return;
    }
    connected_ = lines_->setValues(valuesFor(pattern));
    shown_ = pattern;
}

Expected<std::unique_ptr<GpioOutput>> openGpioOutput(const GpioOutputOptions& options) {
    return GpioOutput::open(createLibgpiodLines(), options);
}

}  // namespace kalindor
