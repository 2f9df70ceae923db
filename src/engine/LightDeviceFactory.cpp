// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LightDeviceFactory.h"

#include <utility>

#include "core/BuildFeatures.h"
#include "lights/AbsentBoard.h"
#include "lights/SimulatedBoard.h"
#include "lights/usb/LibusbTransport.h"
#if KALINDOR_BUILT_WITH_OLA
#include "lights/ola/OlaOutput.h"
#endif
#if KALINDOR_BUILT_WITH_GPIO
#include "lights/gpio/GpioOutput.h"
#endif

namespace kalindor {

Expected<std::unique_ptr<LightDevice>> createLightDevice(const DeviceOptions& options) {
    if (options.kind == "usb") {
        std::unique_ptr<UsbTransport> transport =
            options.usbTransport ? options.usbTransport() : std::make_unique<LibusbTransport>();
        return std::make_unique<UsbIoBoard>(std::move(transport), options.vendorId,
                                            options.productId, options.clockMs, options.onProblem);
    }
    if (options.kind == "sim") {
        return std::make_unique<SimulatedBoard>(options.simLog, options.clockMs, options.onProblem);
    }
    if (options.kind == "none") {
        return std::make_unique<AbsentBoard>();
    }
    return unexpected("unknown device kind '" + options.kind + "'");
}

LightSink& LightSetup::sink() const {
    return *delayed;
}

namespace {

// The output of one OLA or GPIO choice; the error is one line naming the output.
Expected<std::unique_ptr<LightOutput>> openOutput(const OutputChoice& choice,
                                                  const OutputChoices& choices) {
    if (choice.kind == OutputChoice::Kind::kOla) {
#if KALINDOR_BUILT_WITH_OLA
        return createOlaOutput({choice.universe, choice.firstSlot, choices.dmxLevels,
                                choices.olaPort, choice.layout, choice.pixels, choices.colours});
#else
        (void)choices;
        return unexpected("OLA " + std::to_string(choice.universe) +
                          ": this program was built without " +
                          std::string(unbuiltOutput(choice.kind)));
#endif
    }
#if KALINDOR_BUILT_WITH_GPIO
    auto gpio = openGpioOutput({choice.chip, choice.lines, choice.activeLow});
    if (!gpio) {
        return unexpected(gpio.error());
    }
    return std::unique_ptr<LightOutput>(std::move(*gpio));
#else
    return unexpected("GPIO " + choice.chip + ": this program was built without " +
                      std::string(unbuiltOutput(choice.kind)));
#endif
}

bool isBoard(const OutputChoice& choice) {
    return choice.kind == OutputChoice::Kind::kUsb || choice.kind == OutputChoice::Kind::kSim ||
           choice.kind == OutputChoice::Kind::kNone;
}

// Whether the output built from `a` of `as` would be built alike from `b` of `bs`.
bool sameOutput(const OutputChoice& a, const OutputChoices& as, const OutputChoice& b,
                const OutputChoices& bs) {
    return a == b &&
           (a.kind != OutputChoice::Kind::kOla ||
            (as.olaPort == bs.olaPort && as.dmxLevels == bs.dmxLevels && as.colours == bs.colours));
}

std::unique_ptr<LightDevice> createBoard(const OutputChoices& choices,
                                         const LightSetupOptions& options) {
    DeviceOptions board;
    board.kind = formatOutputChoice(OutputChoice{.kind = boardKind(choices.devices)});
    board.vendorId = choices.usbVendorId;
    board.productId = choices.usbProductId;
    board.simLog = options.simLog;
    board.clockMs = options.clockMs;
    board.onProblem = options.onProblem;
    board.usbTransport = options.usbTransport;
    // Every board kind is known to the board factory.
    return std::move(*createLightDevice(board));
}

// Puts `output` in place of the output at `index` of outputs.others(), which goes dark and
// closes; the others see no call.
void replaceOther(LightOutputs& outputs, std::size_t index, std::unique_ptr<LightOutput> output) {
    std::vector<LightOutputs::Next> next;
    const auto others = outputs.others();
    for (std::size_t i = 0; i < others.size(); ++i) {
        next.push_back(i == index ? LightOutputs::Next{.kept = nullptr, .fresh = std::move(output)}
                                  : LightOutputs::Next{.kept = others[i].get(), .fresh = nullptr});
    }
    outputs.replace(outputs.boardDevice(), outputs.boardListed(), std::move(next));
}

}  // namespace

LightSetup createLightSetup(const OutputChoices& choices, const LightSetupOptions& options,
                            TimerPort& timers) {
    LightSetup setup;
    setup.choices = choices;
    std::vector<std::unique_ptr<LightOutput>> outputs;
    for (const OutputChoice& choice : choices.devices) {
        if (isBoard(choice)) {
            continue;
        }
        if (auto output = openOutput(choice, choices)) {
            outputs.push_back(std::move(*output));
        } else {
            setup.failures.push_back(output.error());
            outputs.push_back(std::make_unique<FailedOutput>(outputName(choice)));
        }
    }
    setup.board = createBoard(choices, options);
    setup.outputs = std::make_unique<LightOutputs>(
        *setup.board, boardKind(choices.devices) != OutputChoice::Kind::kNone, std::move(outputs));
    setup.delayed = std::make_unique<DelayedLights>(*setup.outputs, timers, choices.lightDelayMs);
    return setup;
}

Expected<void> applyLightChoices(LightSetup& setup, const OutputChoices& next,
                                 const LightSetupOptions& options) {
    // Every output is opened before any is closed: a failure changes nothing.
    std::vector<LightOutputs::Next> outputs;
    std::vector<const OutputChoice*> oldChoices;
    for (const OutputChoice& choice : setup.choices.devices) {
        if (!isBoard(choice)) {
            oldChoices.push_back(&choice);
        }
    }
    for (const OutputChoice& choice : next.devices) {
        if (isBoard(choice)) {
            continue;
        }
        const auto others = setup.outputs->others();
        bool kept = false;
        for (std::size_t i = 0; i < oldChoices.size() && i < others.size(); ++i) {
            if (oldChoices[i] != nullptr &&
                dynamic_cast<const FailedOutput*>(others[i].get()) == nullptr &&
                sameOutput(*oldChoices[i], setup.choices, choice, next)) {
                outputs.push_back({.kept = others[i].get(), .fresh = nullptr});
                oldChoices[i] = nullptr;
                kept = true;
                break;
            }
        }
        if (kept) {
            continue;
        }
        auto opened = openOutput(choice, next);
        if (!opened && choice.kind == OutputChoice::Kind::kGpio) {
            // The lines may be held by the output this one replaces on the same chip: that one
            // goes dark and closes first, and comes back when the new one still cannot open.
            for (std::size_t i = 0; i < oldChoices.size() && !opened; ++i) {
                const OutputChoice* old = oldChoices[i];
                if (old == nullptr || old->kind != choice.kind || old->chip != choice.chip) {
                    continue;
                }
                oldChoices[i] = nullptr;
                replaceOther(*setup.outputs, i, std::make_unique<FailedOutput>(outputName(*old)));
                opened = openOutput(choice, next);
                if (!opened) {
                    auto back = openOutput(*old, setup.choices);
                    replaceOther(
                        *setup.outputs, i,
                        back ? std::move(*back) : std::make_unique<FailedOutput>(outputName(*old)));
                }
            }
        }
        if (!opened) {
            return unexpected(opened.error());
        }
        outputs.push_back({.kept = nullptr, .fresh = std::move(*opened)});
    }
    const OutputChoice::Kind board = boardKind(next.devices);
    std::unique_ptr<LightDevice> oldBoard;
    if (board != boardKind(setup.choices.devices) ||
        next.usbVendorId != setup.choices.usbVendorId ||
        next.usbProductId != setup.choices.usbProductId) {
        oldBoard = std::exchange(setup.board, createBoard(next, options));
    }
    setup.outputs->replace(*setup.board, board != OutputChoice::Kind::kNone, std::move(outputs));
    setup.delayed->setDelay(next.lightDelayMs);
    setup.choices = next;
    setup.failures.clear();
    return {};
}

std::string outputName(const OutputChoice& choice) {
    switch (choice.kind) {
        case OutputChoice::Kind::kOla:
            return "OLA " + std::to_string(choice.universe);
        case OutputChoice::Kind::kGpio:
            return "GPIO " + choice.chip;
        case OutputChoice::Kind::kUsb:
        case OutputChoice::Kind::kSim:
        case OutputChoice::Kind::kNone:
            break;
    }
    return "USB";
}

}  // namespace kalindor
