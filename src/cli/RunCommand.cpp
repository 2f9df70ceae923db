#include <cstdio>

#include "cli/Commands.h"

namespace kalindor::cli {

int runLive(std::span<const std::string>) {
    std::fputs("kalindor-cli: this command is not built yet\n", stderr);
    return kExitRuntimeError;
}

}  // namespace kalindor::cli
