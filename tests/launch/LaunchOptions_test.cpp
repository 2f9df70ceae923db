#include "launch/LaunchOptions.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/ControlUpdates.h"

namespace kalindor {
namespace {

Expected<LaunchOptions> parse(std::vector<std::string> args,
                              LaunchProgram program = LaunchProgram::kWindow) {
    return parseLaunchOptions(args, program);
}

TEST(LaunchOptions, DefaultsWithoutArguments) {
    const Expected<LaunchOptions> result = parse({});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(result->input, "default");
    EXPECT_EQ(result->device, DeviceChoice::kUsb);
    EXPECT_EQ(result->usbVendorId, 0x03EB);
    EXPECT_EQ(result->usbProductId, 0x21FF);
    EXPECT_FALSE(result->helpRequested);
    EXPECT_EQ(result->commandText, "");
    EXPECT_TRUE(result->command.path.empty());
    EXPECT_FALSE(result->runForMs);
}

TEST(LaunchOptions, OptionsMayStandAnywhereAndNeverJoinThePresetText) {
    const Expected<LaunchOptions> result = parse(
        {"--device", "sim", "my", "file.lcf", "--input=monitor", "start", "--usb-id=16c0:05DC"});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(result->device, DeviceChoice::kSim);
    EXPECT_EQ(result->input, "monitor");
    EXPECT_EQ(result->usbVendorId, 0x16C0);
    EXPECT_EQ(result->usbProductId, 0x05DC);
    EXPECT_EQ(result->commandText, "my file.lcf start");
    EXPECT_EQ(result->command.FName, "my file.lcf ");
    EXPECT_EQ(result->command.path, "my file.lcf");
    EXPECT_TRUE(result->command.StartRequested);
    EXPECT_FALSE(result->command.HideRequested);
}

TEST(LaunchOptions, ArgumentsKeepTheirInnerBlanksAndSingleDashes) {
    const Expected<LaunchOptions> result =
        parse({"-odd  name.lcf", "--input", "/music/a b.wav", "starth"});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(result->input, "/music/a b.wav");
    EXPECT_EQ(result->commandText, "-odd  name.lcf starth");
    EXPECT_EQ(result->command.path, "-odd  name.lcf");
    EXPECT_TRUE(result->command.HideRequested);
}

TEST(LaunchOptions, UsageErrorsNameTheOption) {
    const struct {
        std::vector<std::string> args;
        std::string message;
        LaunchProgram program = LaunchProgram::kWindow;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"x.lcf", "--"}, "unknown option '--'"},
        {{"--input"}, "--input needs a value"},
        {{"--input", "--device", "sim"}, "--input needs a value"},
        {{"--input="}, "--input"},
        {{"--device", "serial"}, "invalid value 'serial' for --device"},
        {{"--device=USB"}, "--device"},
        {{"--usb-id", "03EB"}, "--usb-id"},
        {{"--usb-id", "03EB:"}, "--usb-id"},
        {{"--usb-id", "12345:0001"}, "--usb-id"},
        {{"--usb-id", "zz:0001"}, "--usb-id"},
        {{"--usb-id", "03EB:21FF:1"}, "--usb-id"},
        {{"--usb-id", "-3:1"}, "--usb-id"},
        {{"--for", "2"}, "unknown option '--for'"},  // the window has no duration
        {{"--help=yes"}, "unknown option"},
        {{"--for", "0"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "-1"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "abc"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "1e3"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "1000000000"}, "--for", LaunchProgram::kCliRun},
        {{"--no-signal", "0"}, "--no-signal", LaunchProgram::kCliRun},
        {{"--no-signal", "11"}, "--no-signal", LaunchProgram::kCliRun},
        {{"--no-signal", "1.5"}, "--no-signal", LaunchProgram::kCliRun},
        {{"--effects", "strobe"}, "--effects", LaunchProgram::kCliRun},
        {{"--effect-speed", "0"}, "--effect-speed", LaunchProgram::kCliRun},
        {{"--effect-speed", "11"}, "--effect-speed", LaunchProgram::kCliRun},
        {{"--effect-speed"}, "--effect-speed", LaunchProgram::kCliRun},
    };
    for (const auto& c : cases) {
        const Expected<LaunchOptions> result = parse(c.args, c.program);
        ASSERT_FALSE(result.has_value()) << c.message;
        EXPECT_NE(result.error().find(c.message), std::string::npos)
            << "got '" << result.error() << "', expected '" << c.message << "'";
    }
}

TEST(LaunchOptions, HelpEndsParsing) {
    const Expected<LaunchOptions> result = parse({"x.lcf", "--help", "--bogus"});
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_TRUE(result->helpRequested);
    EXPECT_NE(launchOptionsHelp(LaunchProgram::kWindow).find("--usb-id"), std::string::npos);
    EXPECT_EQ(launchOptionsHelp(LaunchProgram::kWindow).find("--for"), std::string::npos);
    EXPECT_NE(launchOptionsHelp(LaunchProgram::kCliRun).find("--effect-speed"), std::string::npos);
}

TEST(LaunchOptions, RunOptionsSetTheAutomaton) {
    const Expected<LaunchOptions> result = parse(
        {"--for", "2.5", "--no-signal=10", "--effects", "wave", "--effect-speed", "3", "p.lcf"},
        LaunchProgram::kCliRun);
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(result->runForMs, 2500);
    EXPECT_EQ(result->command.path, "p.lcf");
    SharedState state;
    applyStartupDefaults(state);
    applyAutomatonOptions(*result, state);
    EXPECT_EQ(state.NoSignalSeconds, 10);
    EXPECT_EQ(state.EffectKind, kRunningWave);
    EXPECT_EQ(state.EffectIntervalMs, 300);
    EXPECT_FALSE(state.AutomatonDisabled);

    const Expected<LaunchOptions> off = parse({"--effects=off"}, LaunchProgram::kCliRun);
    ASSERT_TRUE(off.has_value()) << off.error();
    applyAutomatonOptions(*off, state);
    EXPECT_TRUE(state.AutomatonDisabled);
    EXPECT_EQ(state.NoSignalSeconds, 1);
    EXPECT_EQ(state.EffectIntervalMs, 1000);

    const Expected<LaunchOptions> random = parse({"--effects", "random"}, LaunchProgram::kCliRun);
    ASSERT_TRUE(random.has_value());
    applyAutomatonOptions(*random, state);
    EXPECT_EQ(state.EffectKind, kRandomEffect);
    EXPECT_FALSE(state.AutomatonDisabled);
}

}  // namespace
}  // namespace kalindor
