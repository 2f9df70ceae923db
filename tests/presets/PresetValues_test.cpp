#include "presets/PresetValues.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/ControlUpdates.h"

namespace kalindor {
namespace {

// The preset written right after start-up, byte for byte.
constexpr std::string_view kDefaultsFile =
    " 50 \r\n 5 \r\n 0 \r\n"
    " 5 \r\n 31 \r\n 1 \r\n 5 \r\n 31 \r\n 4 \r\n 5 \r\n 31 \r\n 9 \r\n 5 \r\n 31 \r\n 16 \r\n"
    " 5 \r\n 31 \r\n 25 \r\n 5 \r\n 31 \r\n 36 \r\n 5 \r\n 31 \r\n 49 \r\n 5 \r\n 31 \r\n 64 \r\n"
    " 100 \r\n 1 \r\n 1 \r\n 1 \r\n 5000 \r\n 888 \r\n";

PresetValues defaultValues() {
    SharedState state;
    applyStartupDefaults(state);
    return presetValuesFromState(state);
}

// The values a preset text parses to; a failure to parse fails the test.
PresetValues parsedValues(std::string_view text) {
    const auto parsed = parsePreset(text);
    EXPECT_TRUE(parsed) << (parsed ? "" : parsed.error().describe());
    return parsed ? *parsed : PresetValues{};
}

// The defaults, `lines` lines of them, with line `line` (1-based) replaced by `text`, each
// number between `pad`s and ended by `ending`.
std::string defaultsWithLine(int line, const std::string& text, int lines = kPresetLineCount,
                             const std::string& pad = "", const std::string& ending = "\r\n") {
    const auto numbers = presetLines(defaultValues());
    std::string out;
    for (int i = 1; i <= lines; ++i) {
        out += pad + (i == line ? text : std::to_string(numbers[i - 1])) + pad + ending;
    }
    return out;
}

TEST(PresetFormat, DefaultsAreByteExactAndNegativeNumbersTakeThePlaceOfTheBlank) {
    EXPECT_EQ(formatPreset(defaultValues()), kDefaultsFile);
    PresetValues values = defaultValues();
    values.AgcSpeed = -32768;
    values.PortAddress = 0;
    values.AgcEnabled = true;
    const std::string text = formatPreset(values);
    EXPECT_TRUE(text.ends_with("\r\n 1 \r\n 1 \r\n-32768 \r\n 0 \r\n")) << text;
    EXPECT_TRUE(text.starts_with(" 50 \r\n 5 \r\n 1 \r\n")) << text;
    EXPECT_EQ(parsedValues(text), values);
}

TEST(PresetParse, LineEndsBlanksAndTrailingLinesAreTolerated) {
    const std::string texts[] = {
        std::string(kDefaultsFile) + "garbage\r\n\x01\x02\r\n",
        std::string(kDefaultsFile.substr(0, kDefaultsFile.size() - 2)),
        defaultsWithLine(0, "", 33, "", "\n"),
        defaultsWithLine(0, "", 33, "", "\r"),
        defaultsWithLine(0, "", 33, "   \t ", "\r\n"),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parsedValues(text), defaultValues());
    }
}

// Positions and lines 32/33 round half to even; items 3 and 29 are on only when exactly 1,
// items 30 and 31 when non-zero after rounding.
TEST(PresetParse, NumbersRoundHalfToEvenAndSwitchesFollowTheirOwnRules) {
    const std::tuple<int, std::string, int> cases[] = {
        {2, "2.5", 2},    {2, "3.5", 4},          {2, "+3.49", 3},
        {1, "49.5", 50},  {1, "50.5", 50},        {1, "29.5", 30},
        {6, "1e2", 100},  {5, ".6", 1},           {32, "-2.5", -2},
        {33, "-3.5", -4}, {32, "-32768", -32768}, {33, "32767", 32767},
        {3, "1", 1},      {3, "-1", 0},           {3, "2", 0},
        {3, "1.0", 1},    {3, "0.6", 0},          {29, "1", 1},
        {29, "2", 0},     {29, "-1", 0},          {30, "-1", 1},
        {30, "0.5", 0},   {30, "0.6", 1},         {30, "1e-400", 0},
        {30, "1e300", 1}, {31, "5", 1},           {31, "-0.4", 0},
    };
    for (const auto& [line, text, expected] : cases) {
        SCOPED_TRACE("line " + std::to_string(line) + " '" + text + "'");
        EXPECT_EQ(presetLines(parsedValues(defaultsWithLine(line, text)))[line - 1], expected);
    }
}

TEST(PresetParse, TheFirstFailureNamesItsLineCodeAndReason) {
    std::string twoBadLines = defaultsWithLine(9, "x");
    twoBadLines.replace(twoBadLines.find("25\r\n"), 2, "999");  // line 18
    // File, failing line, code, text within the reason.
    const std::tuple<std::string, int, int, std::string> cases[] = {
        {"", 1, kPresetPastEndOfFile, "ends"},
        {defaultsWithLine(0, "", 32), 33, kPresetPastEndOfFile, "ends"},
        {twoBadLines, 9, kPresetNotNumeric, "\"x\" is not a number"},
        {defaultsWithLine(29, ""), 29, kPresetNotNumeric, "empty"},
        {defaultsWithLine(3, "on"), 3, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "inf"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "0x5"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "5e"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "."), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(11, "\x01\xff"), 11, kPresetNotNumeric, "\"\\x01\\xFF\""},
        {defaultsWithLine(12, "5" + std::string(2000, ' ')), 12, kPresetNotNumeric, "longer"},
        {defaultsWithLine(6, "300"), 6, kPresetInvalidPosition, "300 is outside 1..255"},
        {defaultsWithLine(27, "0"), 27, kPresetInvalidPosition, "0 is outside 1..255"},
        {defaultsWithLine(1, "29.4"), 1, kPresetInvalidPosition, "29.4 is outside 30..100"},
        {defaultsWithLine(1, "101"), 1, kPresetInvalidPosition, "outside 30..100"},
        {defaultsWithLine(2, "0"), 2, kPresetInvalidPosition, "outside 1..10"},
        {defaultsWithLine(4, "11"), 4, kPresetInvalidPosition, "outside 1..10"},
        {defaultsWithLine(26, "41"), 26, kPresetInvalidPosition, "outside 1..40"},
        {defaultsWithLine(28, "49"), 28, kPresetInvalidPosition, "outside 50..100"},
        {defaultsWithLine(32, "32767.5"), 32, kPresetOverflow, "16-bit"},
        {defaultsWithLine(33, "-32769"), 33, kPresetOverflow, "16-bit"},
        {defaultsWithLine(7, "-1e400"), 7, kPresetOverflow, "too large"},
    };
    for (const auto& [file, line, code, reason] : cases) {
        SCOPED_TRACE("line " + std::to_string(line) + ": " + reason);
        const auto parsed = parsePreset(file);
        const PresetError error = parsed ? PresetError{0, 0, "accepted"} : parsed.error();
        EXPECT_EQ(error.line, line);
        EXPECT_EQ(error.code, code);
        EXPECT_NE(error.reason.find(reason), std::string::npos) << error.reason;
        EXPECT_TRUE(error.describe().starts_with("line " + std::to_string(line) + ": "));
    }
}

}  // namespace
}  // namespace kalindor
