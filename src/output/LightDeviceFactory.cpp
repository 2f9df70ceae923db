#include "output/LightDeviceFactory.h"

#include "output/AbsentBoard.h"
#include "output/LibusbTransport.h"
#include "output/SimulatedBoard.h"

namespace kalindor {

std::unique_ptr<LightDevice> createLightDevice(const DeviceOptions& options) {
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
    return nullptr;
}

}  // namespace kalindor
