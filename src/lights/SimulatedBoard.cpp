// SPDX-License-Identifier: GPL-3.0-or-later
#include "lights/SimulatedBoard.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <utility>

#include "core/MonotonicClock.h"

namespace kalindor {

SimulatedBoard::SimulatedBoard(std::FILE* log, Clock clockMs, ProblemHandler onProblem)
    : log_(log),
      clockMs_(clockMs ? std::move(clockMs) : Clock(monotonicMs)),
      onProblem_(std::move(onProblem)),
      startMs_(clockMs_()) {}

std::int32_t SimulatedBoard::DoGetInfraCode(std::int32_t& code, std::int32_t, std::int32_t& count) {
    code = 0;
    count = 1;
    return 0;
}

std::int32_t SimulatedBoard::DoSetDataPortDirections(std::uint8_t, std::uint8_t, std::uint8_t,
                                                     std::uint8_t) {
    return 0;
}

std::int32_t SimulatedBoard::DoSetOutDataPorts(std::uint8_t first, std::uint8_t second,
                                               std::uint8_t third, std::uint8_t usedPorts) {
    if (log_ == nullptr) {
        return 0;
    }
    const std::int64_t elapsedMs = clockMs_() - startMs_;
    const bool written =
        std::fprintf(log_, "%" PRId64 " %u %u %u %u\n", elapsedMs, unsigned{first},
                     unsigned{second}, unsigned{third}, unsigned{usedPorts}) >= 0 &&
        std::fflush(log_) == 0;
    if (!written && !logFailureReported_) {
        logFailureReported_ = true;
        if (onProblem_) {
            onProblem_(std::string("cannot write the output: ") + std::strerror(errno));
        }
    }
    return 0;
}

}  // namespace kalindor
