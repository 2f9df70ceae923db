#include "launch/LaunchOptions.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/ControlUpdates.h"

namespace kalindor {
namespace {

// Options may stand anywhere, as "--opt value" or "--opt=value", and never join the preset
// text; other arguments keep their inner blanks and single dashes.
TEST(LaunchOptions, OptionsAndPresetText) {
    LaunchParse result = parseLaunchOptions(std::vector<std::string>{}, LaunchProgram::kWindow);
    EXPECT_EQ(result.options.input, "default");
    EXPECT_EQ(result.options.device, DeviceChoice::kUsb);
    EXPECT_EQ(result.options.usbVendorId << 16 | result.options.usbProductId, 0x03EB21FF);

    result = parseLaunchOptions(
        std::vector<std::string>{"--device", "sim", "-odd  name.lcf", "--input=/a b.wav", "starth",
                                 "--usb-id=16c0:05DC"},
        LaunchProgram::kWindow);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.options.device, DeviceChoice::kSim);
    EXPECT_EQ(result.options.input, "/a b.wav");
    EXPECT_EQ(result.options.usbVendorId, 0x16C0);
    EXPECT_EQ(result.options.usbProductId, 0x05DC);
    EXPECT_EQ(result.options.commandText, "-odd  name.lcf starth");
    EXPECT_EQ(result.options.command.path, "-odd  name.lcf");
    EXPECT_TRUE(result.options.command.StartRequested);
    EXPECT_TRUE(result.options.command.HideRequested);

    result = parseLaunchOptions(std::vector<std::string>{"x.lcf", "--help", "--bogus"},
                                LaunchProgram::kWindow);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_TRUE(result.options.helpRequested);
    EXPECT_EQ(launchOptionsHelp(LaunchProgram::kWindow).find("--for"), std::string::npos);
    EXPECT_NE(launchOptionsHelp(LaunchProgram::kCliRun).find("--effect-speed"), std::string::npos);
}

TEST(LaunchOptions, RunOptionsSetTheAutomaton) {
    const struct {
        std::vector<std::string> args;
        int noSignalSeconds;
        std::int16_t effectKind;
        bool disabled;
        int intervalMs;
    } rows[] = {
        {{"--no-signal=10", "--effects=wave", "--effect-speed", "3"}, 10, kRunningWave, false, 300},
        {{"--effects=off"}, 1, kRunningFire, true, 1000},
        {{"--effects", "random"}, 1, kRandomEffect, false, 1000},
        {{"--effects", "fire", "--effect-speed", "1"}, 1, kRunningFire, false, 100},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        const LaunchParse result = parseLaunchOptions(row.args, LaunchProgram::kCliRun);
        EXPECT_TRUE(result.ok()) << result.error;
        SharedState state;
        applyStartupDefaults(state);
        state.AutomatonDisabled = !row.disabled;
        applyAutomatonOptions(result.options, state);
        EXPECT_EQ(state.NoSignalSeconds, row.noSignalSeconds);
        EXPECT_EQ(state.EffectKind, row.effectKind);
        EXPECT_EQ(state.AutomatonDisabled, row.disabled);
        EXPECT_EQ(state.EffectIntervalMs, row.intervalMs);
    }
    const LaunchParse result = parseLaunchOptions(std::vector<std::string>{"--for", "2.5", "p.lcf"},
                                                  LaunchProgram::kCliRun);
    EXPECT_EQ(result.options.runForMs, 2500);
    EXPECT_EQ(result.options.command.path, "p.lcf");
}

TEST(LaunchOptions, UsageErrorsNameTheOption) {
    const struct {
        std::vector<std::string> args;
        std::string message;
        LaunchProgram program = LaunchProgram::kWindow;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"x.lcf", "--"}, "unknown option '--'"},
        {{"--input"}, "option --input needs a value"},
        {{"--input", "--device", "sim"}, "option --input needs a value"},
        {{"--input="}, "invalid value '' for --input"},
        {{"--device", "serial"}, "invalid value 'serial' for --device (expected usb, sim or none)"},
        {{"--usb-id", "03EB"}, "--usb-id"},
        {{"--usb-id", "12345:0001"}, "--usb-id"},
        {{"--usb-id", "03EB:21FF:1"}, "--usb-id"},
        {{"--for", "2"}, "unknown option '--for'"},  // the window has no duration
        {{"--help=yes"}, "unknown option"},
        {{"--for", "0"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "1e3"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "1000000000"}, "--for", LaunchProgram::kCliRun},
        {{"--no-signal", "0"}, "invalid value '0' for --no-signal", LaunchProgram::kCliRun},
        {{"--no-signal", "11"}, "--no-signal", LaunchProgram::kCliRun},
        {{"--effects", "strobe"}, "--effects", LaunchProgram::kCliRun},
        {{"--effect-speed", "11"}, "--effect-speed", LaunchProgram::kCliRun},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const LaunchParse result = parseLaunchOptions(c.args, c.program);
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    }
}

}  // namespace
}  // namespace kalindor
