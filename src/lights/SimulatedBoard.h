// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "lights/usb/LightDevice.h"

namespace kalindor {

// A light device that is always connected and drives nothing. When given a log stream it
// writes one line per output-port write, "<ms since start> <first> <second> <third> <used>"
// in decimal, and flushes it at once so a reader of a pipe sees each write as it happens.
// Main thread only.
class SimulatedBoard final : public LightDevice {
  public:
    using Clock = std::function<std::int64_t()>;                     // monotonic milliseconds
    using ProblemHandler = std::function<void(const std::string&)>;  // one line, no newline

    // `log` may be null (no log) and is not owned; it must outlive the board. "Start" is the
    // clock's reading at construction; `clockMs` defaults to the steady clock. `onProblem`
    // hears once when writing the log fails: "cannot write the output: <reason>".
    explicit SimulatedBoard(std::FILE* log = nullptr, Clock clockMs = {},
                            ProblemHandler onProblem = {});

    std::int32_t DoGetInfraCode(std::int32_t& code, std::int32_t value,
                                std::int32_t& count) override;
    std::int32_t DoSetDataPortDirections(std::uint8_t first, std::uint8_t second,
                                         std::uint8_t third, std::uint8_t usedPorts) override;
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override;

  private:
    std::FILE* log_;
    Clock clockMs_;
    ProblemHandler onProblem_;
    std::int64_t startMs_;
    bool logFailureReported_ = false;
};

}  // namespace kalindor
