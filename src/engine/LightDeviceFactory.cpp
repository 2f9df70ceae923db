// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LightDeviceFactory.h"

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
    return delayed ? static_cast<LightSink&>(*delayed) : *outputs;
}

LightSetup createLightSetup(const OutputChoices& choices, const LightSetupOptions& options,
                            TimerPort& timers) {
    const OutputChoice::Kind boardChoice = boardKind(choices.devices);
    DeviceOptions board;
    board.kind = formatOutputChoice(OutputChoice{.kind = boardChoice});
    board.vendorId = choices.usbVendorId;
    board.productId = choices.usbProductId;
    board.simLog = options.simLog;
    board.clockMs = options.clockMs;
    board.onProblem = options.onProblem;
    board.usbTransport = options.usbTransport;

    LightSetup setup;
    std::vector<std::unique_ptr<LightOutput>> outputs;
    for (const OutputChoice& choice : choices.devices) {
        switch (choice.kind) {
            case OutputChoice::Kind::kOla:
#if KALINDOR_BUILT_WITH_OLA
                outputs.push_back(createOlaOutput({choice.universe, choice.firstSlot,
                                                   choices.dmxLevels, choices.olaPort,
                                                   choice.layout, choice.pixels, choices.colours}));
#else
                setup.failures.push_back("OLA " + std::to_string(choice.universe) +
                                         ": this program was built without " +
                                         std::string(unbuiltOutput(choice.kind)));
#endif
                break;
            case OutputChoice::Kind::kGpio:
#if KALINDOR_BUILT_WITH_GPIO
                if (auto gpio = openGpioOutput({choice.chip, choice.lines, choice.activeLow});
                    gpio) {
                    outputs.push_back(std::move(*gpio));
                } else {
                    setup.failures.push_back(gpio.error());
                }
#else
                setup.failures.push_back("GPIO " + choice.chip +
                                         ": this program was built without " +
                                         std::string(unbuiltOutput(choice.kind)));
#endif
                break;
            case OutputChoice::Kind::kUsb:
            case OutputChoice::Kind::kSim:
            case OutputChoice::Kind::kNone:
                break;
        }
    }
    // Every board kind is known to the board factory.
    setup.board = std::move(*createLightDevice(board));
    setup.outputs = std::make_unique<LightOutputs>(
        *setup.board, boardChoice != OutputChoice::Kind::kNone, std::move(outputs));
    if (choices.lightDelayMs > 0) {
        setup.delayed =
            std::make_unique<DelayedLights>(*setup.outputs, timers, choices.lightDelayMs);
    }
    return setup;
}

}  // namespace kalindor
