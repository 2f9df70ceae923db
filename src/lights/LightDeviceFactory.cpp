#include "lights/LightDeviceFactory.h"

#include "lights/AbsentBoard.h"
#include "lights/SimulatedBoard.h"
#include "lights/usb/LibusbTransport.h"

namespace kalindor {

Expected<std::unique_ptr<LightDevice>> createLightDevice(const DeviceOptions& options) {
    if (options.kind == "usb") {
        return std::make_unique<UsbIoBoard>(std::make_unique<LibusbTransport>(), options.vendorId,
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

}  // namespace kalindor
