// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lights/usb/LightDevice.h"

namespace kalindor {

// A light device that is never connected: every call answers kNotConnected and touches nothing.
class AbsentBoard final : public LightDevice {
  public:
    std::int32_t DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) override {
        return kNotConnected;
    }
    std::int32_t DoSetDataPortDirections(std::uint8_t, std::uint8_t, std::uint8_t,
                                         std::uint8_t) override {
        return kNotConnected;
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t, std::uint8_t, std::uint8_t,
                                   std::uint8_t) override {
        return kNotConnected;
    }
};

}  // namespace kalindor
