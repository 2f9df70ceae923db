#include "lights/LightDeviceFactory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "lights/AbsentBoard.h"
#include "lights/SimulatedBoard.h"
#include "lights/usb/UsbIoBoard.h"

namespace kalindor {
namespace {

TEST(LightDeviceFactory, EachKindMakesItsBoard) {
    DeviceOptions options;
    EXPECT_NE(dynamic_cast<UsbIoBoard*>(createLightDevice(options)->get()), nullptr);
    options.kind = "sim";
    EXPECT_NE(dynamic_cast<SimulatedBoard*>(createLightDevice(options)->get()), nullptr);
    options.kind = "none";
    EXPECT_NE(dynamic_cast<AbsentBoard*>(createLightDevice(options)->get()), nullptr);
}

TEST(LightDeviceFactory, UnknownKindsMakeNothing) {
    for (const char* kind : {"", "USB", "simulated", "usb "}) {
        SCOPED_TRACE(kind);
        DeviceOptions options;
        options.kind = kind;
        EXPECT_FALSE(createLightDevice(options));
    }
}

TEST(LightDeviceFactory, SimulatedBoardGetsTheLogAndTheClock) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    std::int64_t nowMs = 700;
    DeviceOptions options;
    options.kind = "sim";
    options.simLog = log;
    options.clockMs = [&] { return nowMs; };
    auto device = createLightDevice(options).value();
    nowMs = 950;
    EXPECT_NE(writePattern(*device, 65), kNotConnected);
    std::rewind(log);
    std::array<char, 64> line{};
    ASSERT_NE(std::fgets(line.data(), line.size(), log), nullptr);
    EXPECT_STREQ(line.data(), "250 4 1 0 3\n");
    std::fclose(log);
}

}  // namespace
}  // namespace kalindor
