// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/LaunchOptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/BuildFeatures.h"
#include "core/ControlUpdates.h"
#include "launch/OutputChoices.h"

namespace kalindor {
namespace {

// Rows {text, FName, path, StartRequested, HideRequested}.
TEST(CommandLine, StartAndHideSuffixesBlanksAndShortTexts) {
    const std::tuple<std::string, std::string, std::string, bool, bool> cases[] = {
        {"", "", "", false, false},
        {"x.lcf start", "x.lcf ", "x.lcf", true, false},
        {"x.lcf\tstart", "x.lcf\t", "x.lcf", true, false},  // a tab is a blank too
        {"x.lcfstart", "x.lcf", "x.lcf", true, false},
        {"x.lcf starth", "x.lcf ", "x.lcf", true, true},
        {"x.lcfSTARTH", "x.lcf", "x.lcf", true, true},
        {"STARTH", "", "", true, true},
        {"x.lcf start h", "x.lcf start h", "x.lcf start h", false, true},
        {"x.lcf hstart", "x.lcf h", "x.lcf h", true, false},
        {"x.lcf startstart", "x.lcf start", "x.lcf start", true, false},
        // Ending in "h" without "start": all of it is the path.
        {"path.lcfh", "path.lcfh", "path.lcfh", false, true},
        {"abcdh", "abcdh", "abcdh", false, true},  // five characters: nothing before the "h"
        {"abch", "abch", "abch", false, false},    // under five: no suffix looked at
        // Blanks around are trimmed, but one before "start" stays in FName.
        {" \tmy file.lcf  start \t", "my file.lcf  ", "my file.lcf", true, false},
        // Lengths count characters, not bytes: "ёжh" is three characters in five bytes.
        {"ёжh", "ёжh", "ёжh", false, false},
        {"/tmp/ночь.lcfstartH", "/tmp/ночь.lcf", "/tmp/ночь.lcf", true, true},
    };
    for (const auto& [text, FName, path, start, hide] : cases) {
        SCOPED_TRACE("'" + text + "'");
        const CommandLineRequest r = parseCommandLine(text);
        EXPECT_EQ(std::tie(r.FName, r.path, r.StartRequested, r.HideRequested),
                  std::tie(FName, path, start, hide));
    }
}

// Parses arguments that must be accepted.
LaunchOptions parsed(const std::vector<std::string>& args,
                     LaunchProgram program = LaunchProgram::kWindow) {
    const auto result = parseLaunchOptions(args, program);
    EXPECT_TRUE(result) << result.error();
    return result ? *result : LaunchOptions{};
}

// Options may stand anywhere, as "--opt value" or "--opt=value", and never join the preset
// text; other arguments keep their inner blanks and single dashes.
TEST(LaunchOptions, OptionsAndPresetText) {
    EXPECT_EQ(parsed({}).input, "default");
    EXPECT_EQ(resolveOutputChoices(OutputChoices{}, parsed({})), OutputChoices{});
    const LaunchOptions result = parsed(
        {"--device", "sim", "-odd  name.lcf", "--input=/a b.wav", "starth", "--usb-id=16c0:05DC"});
    EXPECT_EQ(result.devices, std::vector<OutputChoice>{{.kind = OutputChoice::Kind::kSim}});
    EXPECT_EQ(result.input, "/a b.wav");
    EXPECT_EQ(*result.usbVendorId << 16 | *result.usbProductId, 0x16C005DC);
    EXPECT_EQ(result.commandText, "-odd  name.lcf starth");
    EXPECT_EQ(result.command.path, "-odd  name.lcf");
    EXPECT_TRUE(result.command.HideRequested);
    EXPECT_TRUE(parsed({"x.lcf", "--help", "--bogus"}).helpRequested);
    const LaunchOptions version = parsed({"-platform", "--version", "--bogus"});
    EXPECT_TRUE(version.versionRequested && !version.helpRequested);
}

// Output options given on the command line replace the saved choices for the run; the ones
// not given keep theirs.
TEST(LaunchOptions, OutputOptionsOverrideTheSavedChoices) {
    const OutputChoices saved{
        .devices = {{.kind = OutputChoice::Kind::kNone}, *parseOutputChoice("ola:3:10")},
        .olaPort = 9100,
        .dmxLevels = DmxLevels::kDim,
        .lightDelayMs = 120};
    OutputChoices expected = saved;
    expected.lightDelayMs = 0;
    expected.colours[0] = {0x12, 0xAB, 0xEF};  // '#' optional, either case
    expected.colours[7] = {};
    EXPECT_EQ(resolveOutputChoices(
                  saved, parsed({"--light-delay=0", "--colours",
                                 "#12abEF,FF00FF,FFFF00,00FF00,00FFFF,0000FF,C0C0FF,000000"})),
              expected);
    EXPECT_EQ(*parseColours(formatColours(expected.colours)), expected.colours);

    if (!kBuiltWithOla || !kBuiltWithGpio) {
        GTEST_SKIP() << "the rest needs the OLA and GPIO outputs";
    }
    const char* gpio = "gpio:gpiochip0:1,2,3,4,5,6,7,8:active-low";
    const LaunchOptions result = parsed({"--device", "usb", "--device=ola:2", "--ola-port", "9011",
                                         "--dmx-levels", "switch", "--device", gpio},
                                        LaunchProgram::kCliRun);
    expected = saved;
    expected.devices = {OutputChoice{}, *parseOutputChoice("ola:2"), *parseOutputChoice(gpio)};
    expected.olaPort = 9011;
    expected.dmxLevels = DmxLevels::kSwitch;
    EXPECT_EQ(resolveOutputChoices(saved, result), expected);
    EXPECT_EQ(boardKind(expected.devices), OutputChoice::Kind::kUsb);
    EXPECT_EQ(boardKind(saved.devices), OutputChoice::Kind::kNone);
}

TEST(LaunchOptions, RunOptionsSetTheDurationAndTheAutomaton) {
    SharedState state;
    applyStartupDefaults(state);
    for (const char* effects : {"--effects=off", "--effects=wave"}) {
        const LaunchOptions result =
            parsed({"--for", "2.5", "--no-signal=10", effects, "--effect-speed", "3", "p.lcf"},
                   LaunchProgram::kCliRun);
        EXPECT_EQ(result.runForMs, 2500);
        EXPECT_EQ(result.command.path, "p.lcf");
        applyAutomatonOptions(result, state);
        EXPECT_EQ(state.AutomatonDisabled, effects == std::string("--effects=off"));
    }
    EXPECT_EQ(state.NoSignalSeconds, 10);
    EXPECT_EQ(state.EffectKind, kRunningWave);
    EXPECT_EQ(state.EffectIntervalMs, 300);
}

// A build without OLA or GPIO refuses that --device value, naming the program.
TEST(LaunchOptions, UsageErrorsNameTheOption) {
    const auto needs = [](bool built, const std::string& value, const std::string& program,
                          const std::string& output, const std::string& message) {
        return built ? message
                     : "--device " + value + ": this " + program + " was built without " + output;
    };
    const struct {
        std::vector<std::string> args;
        std::string message;
        LaunchProgram program = LaunchProgram::kWindow;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--input"}, "option --input needs a value"},
        {{"--input", "--device", "sim"}, "option --input needs a value"},
        {{"--input="}, "invalid value '' for --input"},
        {{"--device", "serial"}, "invalid value 'serial' for --device (expected usb, sim, none, "},
        {{"--device", "ola:1:510"}, "invalid value 'ola:1:510' for --device (expected ola["},
        {{"--device", "usb", "--device", "none"},
         "--device none: usb, sim and none cannot be combined"},
        {{"--device", "usb", "--device", "usb"}, "--device usb: usb is given more than once"},
        {{"--device", "ola:1", "--device", "ola:1:20"},
         needs(kBuiltWithOla, "ola:1", "kalindor", "OLA (DMX) output",
               "OLA universe 1 is given more than once")},
        {{"--device", "gpio:a:1,2,3,4,5,6,7,8", "--device", "gpio:a:9,10,11,12,13,14,15,16"},
         needs(kBuiltWithGpio, "gpio:a:1,2,3,4,5,6,7,8", "kalindor-cli", "GPIO output",
               "GPIO chip a is given more than once"),
         LaunchProgram::kCliRun},
        {{"--device", "ola:1:1:pixels:30", "--device", "ola:2"},
         needs(kBuiltWithOla, "ola:1:1:pixels:30", "kalindor", "OLA (DMX) output",
               "--device ola:2: ola:1:1:pixels:30 and ola:2:1 both use OLA universe 2")},
        {{"--device", "ola:9:1:pixels:20", "--device", "ola:8:400:pixels:20"},
         needs(kBuiltWithOla, "ola:9:1:pixels:20", "kalindor", "OLA (DMX) output",
               "ola:9:1:pixels:20 and ola:8:400:pixels:20 both use OLA universe 9")},
        {{"--device", "ola:1:1:pixels:171"},
         "(expected pixels:171 from slot 1: at most 1360 LEDs (pixels:170) fit in 8 universes, "
         "not 1368)"},
        {{"--device", "ola:1:490:rgb"}, "with FIRST_SLOT 1..489 for rgb)"},
        {{"--device", "ola:1:482:rgbw"}, "with FIRST_SLOT 1..481 for rgbw)"},
        {{"--colours", "FF0000,FF00FF,FFFF0,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF"},
         "invalid value 'FF0000,FF00FF,FFFF0,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF' for --colours "
         "(expected eight colours RRGGBB separated by commas: 'FFFF0' is not a colour RRGGBB)"},
        {{"--colours", "FF0000,,FFFF00,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF"},
         "'' is not a colour RRGGBB"},
        {{"--colours", "FF0000,FF00FF,FFFF00,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF,FFFFFF"},
         "9 colours given, not 8"},
        {{"--colours", "#FF0000"}, "1 colours given, not 8"},
        {{"--colours", "0x0000,FF00FF,FFFF00,00FF00,00FFFF,0000FF,C0C0FF,FFFFFF"}, "'0x0000' is"},
        {{"--ola-port", "0"}, "--ola-port"},
        {{"--dmx-levels", "bright"},
         "invalid value 'bright' for --dmx-levels (expected switch or dim)"},
        {{"--light-delay", "1001"}, "--light-delay"},
        {{"--light-delay", "-1"}, "--light-delay"},
        {{"--usb-id", "03EB"}, "--usb-id"},
        {{"--usb-id", "12345:0001"}, "--usb-id"},
        {{"--for", "2"}, "unknown option '--for'"},  // the window has no duration
        {{"--help=yes"}, "unknown option '--help=yes'"},
        {{"--version=1"}, "unknown option '--version=1'"},
        {{"--version"}, "unknown option '--version'", LaunchProgram::kCliRun},
        {{"--for", "0"}, "--for", LaunchProgram::kCliRun},
        {{"--for", "0.0004"}, "--for", LaunchProgram::kCliRun},  // 0 ms once rounded
        {{"--for", "1000000000"}, "--for", LaunchProgram::kCliRun},
        {{"--no-signal", "0"}, "invalid value '0' for --no-signal", LaunchProgram::kCliRun},
        {{"--no-signal", "11"}, "--no-signal", LaunchProgram::kCliRun},
        {{"--effects", "strobe"}, "--effects", LaunchProgram::kCliRun},
        {{"--effect-speed", "11"}, "--effect-speed", LaunchProgram::kCliRun},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const auto result = parseLaunchOptions(c.args, c.program);
        const std::string error = result ? "accepted" : result.error();
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// Each value formats back as given, or in full with the OLA defaults (universe 1, slot 1).
TEST(OutputChoices, EveryKindParsesAndFormatsBack) {
    const std::pair<const char*, const char*> cases[] = {
        {"usb", "usb"},
        {"sim", "sim"},
        {"none", "none"},
        {"ola", "ola:1:1"},
        {"ola:7", "ola:7:1"},
        {"ola:0:505", "ola:0:505"},
        {"ola:4294967295:17", "ola:4294967295:17"},
        {"ola:3:1:dimmer", "ola:3:1"},
        {"ola:1:489:rgb", "ola:1:489:rgb"},
        {"ola:1:481:rgbw", "ola:1:481:rgbw"},
        {"ola:1:510:pixels:1", "ola:1:510:pixels:1"},
        {"ola:4294967288:1:pixels:170", "ola:4294967288:1:pixels:170"},  // the last 8 universes
        {"gpio:gpiochip0:17,27,22,23,24,25,5,6", "gpio:gpiochip0:17,27,22,23,24,25,5,6"},
        {"gpio:pinctrl:0,1,2,3,4,5,6,7:active-low", "gpio:pinctrl:0,1,2,3,4,5,6,7:active-low"},
    };
    for (const auto& [text, formatted] : cases) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        EXPECT_EQ(choice ? formatOutputChoice(*choice) : choice.error(), formatted) << text;
    }
}

// Space-separated, the first one empty.
TEST(OutputChoices, MalformedValuesAreRefused) {
    std::istringstream texts(
        " USB usb:1 dmx ola: ola:x ola:1:0 ola:1:506 ola:-1 ola:4294967296 ola:1:1:1 ola:1:1:RGB "
        "ola:1:1:pixels ola:1:1:pixels: ola:1:1:pixels:0 ola:1:1:rgb:3 ola:1:511:pixels:1 "
        "ola:4294967289:1:pixels:170 gpio gpio: "
        "gpio::1,2,3,4,5,6,7,8 gpio:c:1,2,3,4,5,6,7 gpio:c:1,2,3,4,5,6,7,8,9 "
        "gpio:c:1,2,3,4,5,6,7,7 gpio:c:1,2,3,4,5,6,7,8:active-high gpio:c:1,2,,4,5,6,7,8 "
        "gpio:c:1,2,3,4,5,6,7,8:");
    for (std::string text; std::getline(texts, text, ' ');) {
        const Expected<OutputChoice> choice = parseOutputChoice(text);
        EXPECT_FALSE(choice) << "accepted: " << text;
        EXPECT_FALSE(!choice && choice.error().empty()) << text;
    }
}

}  // namespace
}  // namespace kalindor
