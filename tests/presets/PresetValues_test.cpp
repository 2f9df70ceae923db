#include "presets/PresetValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ControlUpdates.h"

namespace kalindor {
namespace {

// The preset written right after start-up, byte for byte.
constexpr std::string_view kDefaultsFile =
    " 50 \r\n 5 \r\n 0 \r\n"
    " 5 \r\n 31 \r\n 1 \r\n"
    " 5 \r\n 31 \r\n 4 \r\n"
    " 5 \r\n 31 \r\n 9 \r\n"
    " 5 \r\n 31 \r\n 16 \r\n"
    " 5 \r\n 31 \r\n 25 \r\n"
    " 5 \r\n 31 \r\n 36 \r\n"
    " 5 \r\n 31 \r\n 49 \r\n"
    " 5 \r\n 31 \r\n 64 \r\n"
    " 100 \r\n 1 \r\n 1 \r\n 1 \r\n 5000 \r\n 888 \r\n";

PresetValues defaultValues() {
    SharedState state;
    applyStartupDefaults(state);
    return presetValuesFromState(state);
}

// The 33 lines of the defaults file with line `line` (1-based) replaced, joined with `ending`.
std::string defaultsWithLine(int line, const std::string& text,
                             const std::string& ending = "\r\n") {
    const auto numbers = presetLines(defaultValues());
    std::string out;
    for (int i = 1; i <= kPresetLineCount; ++i) {
        out += (i == line ? text : std::to_string(numbers[i - 1])) + ending;
    }
    return out;
}

TEST(PresetFormat, DefaultsAreByteExact) {
    EXPECT_EQ(formatPreset(defaultValues()), kDefaultsFile);
}

TEST(PresetFormat, NegativeNumbersTakeThePlaceOfTheBlank) {
    PresetValues values = defaultValues();
    values.AgcSpeed = -32768;
    values.PortAddress = 0;
    values.AgcEnabled = true;
    values.GraphPolygon = false;
    const std::string text = formatPreset(values);
    EXPECT_TRUE(text.ends_with("\r\n 1 \r\n 1 \r\n-32768 \r\n 0 \r\n")) << text;
    EXPECT_TRUE(text.starts_with(" 50 \r\n 5 \r\n 1 \r\n"));
    const auto back = parsePreset(text);
    ASSERT_TRUE(back) << back.error().describe();
    EXPECT_EQ(*back, values);
}

TEST(PresetParse, DefaultsReadBackAndLinesAfterTheLastAreIgnored) {
    const auto parsed = parsePreset(std::string(kDefaultsFile) + "garbage\r\n\x01\x02\r\n");
    ASSERT_TRUE(parsed) << parsed.error().describe();
    EXPECT_EQ(*parsed, defaultValues());
}

TEST(PresetParse, BlanksAndLineEndsAreTolerated) {
    const auto numbers = presetLines(defaultValues());
    const std::vector<std::pair<std::string, std::string>> layouts = {
        {"", "\n"}, {"", "\r"}, {"", "\r\n"}, {"\t", "\n"}, {"   \t ", "\r\n"}};
    for (const auto& [pad, ending] : layouts) {
        std::string text;
        for (int i = 0; i < kPresetLineCount; ++i) {
            text += pad + std::to_string(numbers[i]) + pad + ending;
        }
        const auto parsed = parsePreset(text);
        ASSERT_TRUE(parsed) << parsed.error().describe();
        EXPECT_EQ(*parsed, defaultValues()) << "pad '" << pad << "'";
    }
    // No line end after the last number.
    std::string noFinalEnd(kDefaultsFile);
    noFinalEnd.resize(noFinalEnd.size() - 2);
    const auto parsed = parsePreset(noFinalEnd);
    ASSERT_TRUE(parsed) << parsed.error().describe();
    EXPECT_EQ(parsed->PortAddress, 888);
}

// Fractions round half to even; AGC speed and port address take any 16-bit value unchecked.
TEST(PresetParse, NumbersRoundHalfToEvenAndLines32And33AreUnchecked) {
    const struct {
        int line;
        std::string text;
        int expected;
    } cases[] = {{2, "2.5", 2},    {2, "3.5", 4},       {2, "+3.49", 3},
                 {1, "49.5", 50},  {1, "50.5", 50},     {1, "29.5", 30},
                 {6, "1e2", 100},  {5, ".6", 1},        {32, "5000.5", 5000},
                 {32, "-2.5", -2}, {33, "-3.5", -4},    {32, "-32768", -32768},
                 {32, "7", 7},     {33, "32767", 32767}};
    for (const auto& c : cases) {
        const auto parsed = parsePreset(defaultsWithLine(c.line, c.text));
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.error().describe();
        const int got = presetLines(*parsed)[c.line - 1];
        EXPECT_EQ(got, c.expected) << "line " << c.line << " '" << c.text << "'";
    }
}

TEST(PresetParse, SwitchesFollowTheirOwnRules) {
    const struct {
        int line;
        std::string text;
        bool on;
    } cases[] = {
        {3, "1", true},        {3, "-1", false},    {3, "2", false},    {3, "1.0", true},
        {3, "0.6", false},  // compared with 1 as read, not rounded
        {29, "1", true},       {29, "2", false},    {29, "-1", false},  {29, "0", false},
        {30, "-1", true},      {30, "0", false},    {30, "0.5", false}, {30, "0.6", true},
        {30, "1e-400", false}, {30, "1e300", true}, {31, "5", true},    {31, "0", false},
        {31, "-0.4", false},
    };
    for (const auto& c : cases) {
        const auto parsed = parsePreset(defaultsWithLine(c.line, c.text));
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.error().describe();
        const bool got = c.line == 3    ? parsed->AgcEnabled
                         : c.line == 29 ? parsed->GraphPolygon
                         : c.line == 30 ? parsed->XScaleLog
                                        : parsed->YScaleLog;
        EXPECT_EQ(got, c.on) << "line " << c.line << " '" << c.text << "'";
    }
}

struct BadItem {
    std::string file;
    int line;
    int code;
    std::string reason;  // expected within the reason
};

TEST(PresetParse, EveryFailureNamesItsLineCodeAndReason) {
    std::string twentyLines;
    for (int i = 0; i < 20; ++i) {
        twentyLines += std::to_string(presetLines(defaultValues())[i]) + "\r\n";
    }
    std::string thirtyTwoLines(kDefaultsFile);
    thirtyTwoLines.resize(thirtyTwoLines.rfind(" 888"));
    const std::vector<BadItem> cases = {
        {"", 1, kPresetPastEndOfFile, "ends"},
        {twentyLines, 21, kPresetPastEndOfFile, "ends"},
        {thirtyTwoLines, 33, kPresetPastEndOfFile, "ends"},
        {defaultsWithLine(5, "abc"), 5, kPresetNotNumeric, "\"abc\" is not a number"},
        {defaultsWithLine(3, "on"), 3, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(29, ""), 29, kPresetNotNumeric, "empty"},
        {defaultsWithLine(30, "yes"), 30, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "inf"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "nan"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "0x5"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "5,5"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "5 5"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "5e"), 10, kPresetNotNumeric, "not a number"},
        {defaultsWithLine(10, "-"), 10, kPresetNotNumeric, "not a number"},
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
        {defaultsWithLine(32, "32768"), 32, kPresetOverflow, "16-bit"},
        {defaultsWithLine(32, "32767.5"), 32, kPresetOverflow, "16-bit"},
        {defaultsWithLine(33, "-32769"), 33, kPresetOverflow, "16-bit"},
        {defaultsWithLine(33, "1e400"), 33, kPresetOverflow, "too large"},
        {defaultsWithLine(7, "-1e400"), 7, kPresetOverflow, "too large"},
    };
    for (const BadItem& c : cases) {
        const auto parsed = parsePreset(c.file);
        ASSERT_FALSE(parsed) << "expected a failure on line " << c.line;
        EXPECT_EQ(parsed.error().line, c.line) << parsed.error().describe();
        EXPECT_EQ(parsed.error().code, c.code) << parsed.error().describe();
        EXPECT_NE(parsed.error().reason.find(c.reason), std::string::npos)
            << parsed.error().describe();
        EXPECT_TRUE(parsed.error().describe().starts_with("line " + std::to_string(c.line) + ": "));
    }
}

TEST(PresetParse, TheFirstFailingLineIsReported) {
    std::string text = defaultsWithLine(9, "x");
    text.replace(text.find("25\r\n"), 2, "999");  // line 18, after the first failure
    const auto parsed = parsePreset(text);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().line, 9);
}

TEST(PresetApply, MovesEveryControlThroughItsUpdateRoutine) {
    SharedState state;
    applyStartupDefaults(state);
    PresetValues values = defaultValues();
    values.ScanPeriodMs = 30;
    values.DecaySpeed = 9;
    values.AgcEnabled = true;
    values.ThresholdPosition[7] = 1;
    values.GainPosition[0] = 40;
    values.ChannelFrequency[3] = 255;
    values.NoiseFilterPosition = 50;
    values.GraphPolygon = false;
    values.XScaleLog = false;
    values.YScaleLog = false;
    values.AgcSpeed = 123;
    values.PortAddress = 632;
    applyPresetValues(values, state);
    EXPECT_EQ(presetValuesFromState(state), values);
    EXPECT_FLOAT_EQ(state.ChannelThreshold[7], 0.95f);
    EXPECT_FLOAT_EQ(state.ChannelGain[0], 0.1f);
    EXPECT_FLOAT_EQ(state.NoiseFilterLevel, 127.5f);
    EXPECT_EQ(state.AgcSpeed, 123);
    EXPECT_FLOAT_EQ(state.ChannelThreshold[0], 0.55f);
}

}  // namespace
}  // namespace kalindor
