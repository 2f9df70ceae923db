#include "launch/CommandLine.h"

#include <gtest/gtest.h>

namespace kalindor {
namespace {

TEST(CommandLine, StartAndHideSuffixesBlanksAndShortTexts) {
    const struct {
        std::string text;
        std::string FName;
        std::string path;
        bool start;
        bool hide;
    } cases[] = {
        {"", "", "", false, false},
        {"x.lcf start", "x.lcf ", "x.lcf", true, false},
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
    for (const auto& c : cases) {
        SCOPED_TRACE("'" + c.text + "'");
        const CommandLineRequest request = parseCommandLine(c.text);
        EXPECT_EQ(request.FName, c.FName);
        EXPECT_EQ(request.path, c.path);
        EXPECT_EQ(request.StartRequested, c.start);
        EXPECT_EQ(request.HideRequested, c.hide);
    }
}

}  // namespace
}  // namespace kalindor
