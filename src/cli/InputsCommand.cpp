// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <cstdio>

#include "audio/SoundInputFactory.h"
#include "cli/Commands.h"

namespace kalindor::cli {

namespace {

constexpr const char* kInputsUsage =
    "Usage: kalindor-cli inputs\n"
    "\n"
    "Lists the sound sources 'run --input NAME' can capture, one per line:\n"
    "<name>\t<description>, with \"[monitor]\" after the sources that carry what an output\n"
    "plays, then the programs playing now as \"app:NAME\" with \"[program]\" (PulseAudio\n"
    "only). The sources come from the PulseAudio server when one answers, else from PortAudio\n"
    "(ALSA). Besides these names, --input takes \"default\", \"monitor\" or an audio file.\n"
    "With no source at all, \"no sound sources found\" goes to stderr (exit status 0).\n";

}  // namespace

int runInputs(std::span<const std::string> args) {
    if (!args.empty()) {
        if (args.front() == "--help" || args.front() == "-h") {
            std::fputs(kInputsUsage, stdout);
            return kExitOk;
        }
        std::fprintf(stderr,
                     "kalindor-cli: inputs: unexpected argument '%s' (see 'kalindor-cli inputs "
                     "--help')\n",
                     args.front().c_str());
        return kExitUsage;
    }
    const Expected<SoundSourceList> list = listSoundSources();
    if (!list) {
        std::fprintf(stderr, "kalindor-cli: inputs: no sound system answers: %s\n",
                     list.error().c_str());
        return kExitRuntimeError;
    }
    if (list->sources.empty()) {
        std::fputs("kalindor-cli: inputs: no sound sources found\n", stderr);
        return kExitOk;
    }
    errno = 0;
    for (const SoundSourceInfo& source : list->sources) {
        std::printf("%s\t%s%s\n", source.name.c_str(), source.description.c_str(),
                    source.monitor       ? " [monitor]"
                    : source.application ? " [program]"
                                         : "");
    }
    if (const std::optional<std::string> failure = outputFailure()) {
        std::fprintf(stderr, "kalindor-cli: inputs: %s\n", failure->c_str());
        return kExitRuntimeError;
    }
    return kExitOk;
}

}  // namespace kalindor::cli
