#include "core/LightDevice.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lights/AbsentBoard.h"
#include "lights/LightDeviceFactory.h"
#include "lights/SimulatedBoard.h"
#include "lights/usb/UsbIoBoard.h"

namespace kalindor {
namespace {

// Reads back everything written to a temporary file.
std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        text += static_cast<char>(c);
    }
    return text;
}

TEST(LightDeviceFactory, EachKindMakesItsBoardAndUnknownKindsNothing) {
    const auto make = [](const char* kind) {
        DeviceOptions options;
        options.kind = kind;
        return createLightDevice(options);
    };
    EXPECT_NE(dynamic_cast<UsbIoBoard*>(make("usb").get()), nullptr);
    EXPECT_NE(dynamic_cast<SimulatedBoard*>(make("sim").get()), nullptr);
    const auto absent = make("none");
    ASSERT_NE(dynamic_cast<AbsentBoard*>(absent.get()), nullptr);
    EXPECT_FALSE(probeDevice(*absent));
    EXPECT_EQ(absent->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_EQ(writePattern(*absent, 1), kNotConnected);
    for (const char* kind : {"", "USB", "simulated", "usb "}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(make(kind), nullptr);
    }
}

// The simulated board logs each port write with the milliseconds since it was made, on the
// clock the factory hands it.
TEST(SimulatedBoard, LogsEachPortWriteWithMillisecondsSinceConstruction) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    std::int64_t nowMs = 52'000;
    DeviceOptions options;
    options.kind = "sim";
    options.simLog = log;
    options.clockMs = [&] { return nowMs; };
    auto board = createLightDevice(options);
    nowMs += 3;
    EXPECT_TRUE(probeDevice(*board));
    EXPECT_NE(board->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_NE(writePattern(*board, 0), kNotConnected);
    nowMs += 1250;
    EXPECT_NE(writePattern(*board, 255), kNotConnected);
    nowMs += 1;
    EXPECT_NE(board->DoSetOutDataPorts(200, 1, 7, 5), kNotConnected);
    EXPECT_EQ(contents(log), "3 0 0 0 3\n1253 12 63 0 3\n1254 200 1 7 5\n");
    std::fclose(log);
}

TEST(SimulatedBoard, LogFailureIsReportedOnceAndTheBoardStaysConnected) {
    std::FILE* readOnly = std::fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    std::vector<std::string> problems;
    SimulatedBoard board(readOnly, {}, [&](const std::string& text) { problems.push_back(text); });
    EXPECT_NE(writePattern(board, 1), kNotConnected);
    EXPECT_NE(writePattern(board, 2), kNotConnected);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("simulated board log"), std::string::npos) << problems[0];
    std::fclose(readOnly);
}

}  // namespace
}  // namespace kalindor
