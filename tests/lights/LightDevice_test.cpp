#include "core/LightDevice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lights/LightDeviceFactory.h"
#include "lights/SimulatedBoard.h"

namespace kalindor {
namespace {

std::unique_ptr<LightDevice> make(const char* kind, std::FILE* log = nullptr,
                                  std::function<std::int64_t()> clockMs = {}) {
    DeviceOptions options;
    options.kind = kind;
    options.simLog = log;
    options.clockMs = std::move(clockMs);
    auto made = createLightDevice(options);
    return made ? std::move(*made) : nullptr;
}

// The USB board goes through the real libusb: on a machine without the board (or without a
// USB bus) it reads as not connected, never a crash. No board is never connected.
TEST(LightDeviceFactory, TheUsbBoardAndNoBoardReadAsNotConnectedHere) {
    for (const char* kind : {"usb", "none"}) {
        SCOPED_TRACE(kind);
        const auto device = make(kind);
        EXPECT_FALSE(device == nullptr || probeDevice(*device));
        EXPECT_EQ(device ? writePattern(*device, 255) : 0, kNotConnected);
    }
}

// The simulated board logs each port write with the milliseconds since it was made, on the
// clock the factory hands it; a log it cannot write is reported once, and it stays connected.
TEST(SimulatedBoard, LogsEachPortWriteWithMillisecondsSinceConstruction) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    std::int64_t nowMs = 52'000;
    auto board = make("sim", log, [&] { return nowMs; });
    nowMs += 3;
    EXPECT_TRUE(probeDevice(*board));
    EXPECT_NE(board->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_NE(writePattern(*board, 0), kNotConnected);
    nowMs += 1250;
    EXPECT_NE(writePattern(*board, 255), kNotConnected);
    nowMs += 1;
    EXPECT_NE(board->DoSetOutDataPorts(200, 1, 7, 5), kNotConnected);
    std::string text(100, '\0');
    std::rewind(log);
    text.resize(std::fread(text.data(), 1, text.size(), log));
    EXPECT_EQ(text, "3 0 0 0 3\n1253 12 63 0 3\n1254 200 1 7 5\n");
    std::fclose(log);

    std::FILE* readOnly = std::fopen("/dev/null", "r");
    std::vector<std::string> problems;
    SimulatedBoard unwritable(readOnly, {},
                              [&](const std::string& text) { problems.push_back(text); });
    EXPECT_NE(writePattern(unwritable, 1), kNotConnected);
    EXPECT_NE(writePattern(unwritable, 2), kNotConnected);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("simulated board log"), std::string::npos) << problems[0];
    std::fclose(readOnly);
}

}  // namespace
}  // namespace kalindor
