#include "core/LightDevice.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "core/SharedState.h"
#include "lights/AbsentBoard.h"
#include "lights/SimulatedBoard.h"
#include "support/FakeLightDevice.h"

namespace kalindor {
namespace {

using test::FakeLightDevice;

// The pins the board's firmware lets us drive: PB2..PB5 (first port) and PC0..PC5 (second).
constexpr unsigned kDrivableFirst = 0x3C;
constexpr unsigned kDrivableSecond = 0x3F;

TEST(PatternSplit, EachChannelDrivesExactlyOneOwnDrivablePin) {
    unsigned usedFirst = 0;
    unsigned usedSecond = 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        const PortBytes ports = portBytesForPattern(static_cast<std::uint8_t>(1 << ch));
        EXPECT_EQ(std::popcount(unsigned{ports.first}) + std::popcount(unsigned{ports.second}), 1);
        EXPECT_EQ(ports.first & ~kDrivableFirst, 0u);
        EXPECT_EQ(ports.second & ~kDrivableSecond, 0u);
        EXPECT_EQ(usedFirst & ports.first, 0u);
        EXPECT_EQ(usedSecond & ports.second, 0u);
        usedFirst |= ports.first;
        usedSecond |= ports.second;
        EXPECT_EQ(ports.third, 0);
        EXPECT_EQ(ports.usedPorts, 3);
    }
}

TEST(PatternSplit, EveryPatternIsTheUnionOfItsChannelsWithNothingLost) {
    for (int pattern = 0; pattern < 256; ++pattern) {
        SCOPED_TRACE(pattern);
        PortBytes unionOfChannels{};
        for (int ch = 0; ch < kChannelCount; ++ch) {
            if ((pattern >> ch) & 1) {
                const PortBytes one = portBytesForPattern(static_cast<std::uint8_t>(1 << ch));
                unionOfChannels.first |= one.first;
                unionOfChannels.second |= one.second;
            }
        }
        EXPECT_EQ(portBytesForPattern(static_cast<std::uint8_t>(pattern)), unionOfChannels);
    }
}

TEST(DeviceHelpers, WritePatternSendsTheSplitAndReturnsTheAnswer) {
    FakeLightDevice device;
    EXPECT_NE(writePattern(device, 0xC5), kNotConnected);
    device.connected = false;
    EXPECT_EQ(writePattern(device, 0x01), kNotConnected);
    const std::vector<PortBytes> expected = {{12, 5, 0, 3}, {0, 1, 0, 3}};
    EXPECT_EQ(device.outWrites(), expected);
}

TEST(AbsentBoard, EveryCallAnswersNotConnected) {
    AbsentBoard board;
    std::int32_t code = 0;
    std::int32_t count = 0;
    EXPECT_EQ(board.DoGetInfraCode(code, 0, count), kNotConnected);
    EXPECT_EQ(board.DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_EQ(board.DoSetOutDataPorts(1, 2, 0, 3), kNotConnected);
    EXPECT_FALSE(probeDevice(board));
}

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

TEST(SimulatedBoard, LogsEachPortWriteWithMillisecondsSinceConstruction) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    std::int64_t nowMs = 52'000;
    SimulatedBoard board(log, [&] { return nowMs; });
    nowMs += 3;
    EXPECT_TRUE(probeDevice(board));
    EXPECT_NE(board.DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_NE(writePattern(board, 0), kNotConnected);
    nowMs += 1250;
    EXPECT_NE(writePattern(board, 255), kNotConnected);
    nowMs += 1;
    EXPECT_NE(board.DoSetOutDataPorts(200, 1, 7, 5), kNotConnected);
    // Only output writes are logged, each line complete when the call returns.
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
