#include "engine/CommandLine.h"

#include <gtest/gtest.h>

namespace kalindor {
namespace {

struct Case {
    std::string text;
    std::string FName;
    std::string path;
    bool start;
    bool hide;
};

void expectParsed(const Case& c) {
    const CommandLineRequest request = parseCommandLine(c.text);
    EXPECT_EQ(request.FName, c.FName) << "'" << c.text << "'";
    EXPECT_EQ(request.path, c.path) << "'" << c.text << "'";
    EXPECT_EQ(request.StartRequested, c.start) << "'" << c.text << "'";
    EXPECT_EQ(request.HideRequested, c.hide) << "'" << c.text << "'";
}

TEST(CommandLine, StartAndHideSuffixes) {
    const Case cases[] = {
        {"", "", "", false, false},
        {"x.lcf", "x.lcf", "x.lcf", false, false},
        {"x.lcf start", "x.lcf ", "x.lcf", true, false},
        {"x.lcfstart", "x.lcf", "x.lcf", true, false},
        {"x.lcf starth", "x.lcf ", "x.lcf", true, true},
        {"x.lcfSTARTH", "x.lcf", "x.lcf", true, true},
        {"x.lcf StArT", "x.lcf ", "x.lcf", true, false},
        {"x.lcf startH", "x.lcf ", "x.lcf", true, true},
        {"STARTH", "", "", true, true},
        {"start", "", "", true, false},
        {"x.lcf start h", "x.lcf start h", "x.lcf start h", false, true},
        {"x.lcf hstart", "x.lcf h", "x.lcf h", true, false},
        {"x.lcf startstart", "x.lcf start", "x.lcf start", true, false},
    };
    for (const Case& c : cases) {
        expectParsed(c);
    }
}

TEST(CommandLine, TextEndingInHWithoutStartIsAllPath) {
    expectParsed({"path.lcfh", "path.lcfh", "path.lcfh", false, true});
    expectParsed({"tarth", "tarth", "tarth", false, true});
    // Five characters: nothing fits before the "h"; the text is a path.
    expectParsed({"abcdh", "abcdh", "abcdh", false, true});
    // Fewer than five characters: no suffix is looked at.
    expectParsed({"abch", "abch", "abch", false, false});
    expectParsed({"tart", "tart", "tart", false, false});
}

TEST(CommandLine, BlanksAroundAreTrimmedButOneBeforeStartStaysInFName) {
    expectParsed({"   x.lcf   ", "x.lcf", "x.lcf", false, false});
    expectParsed({" \tmy file.lcf  start \t", "my file.lcf  ", "my file.lcf", true, false});
    expectParsed({"  starth  ", "", "", true, true});
    expectParsed({"     ", "", "", false, false});
    expectParsed({"a b.lcf", "a b.lcf", "a b.lcf", false, false});
}

TEST(CommandLine, LengthCountsCharactersNotBytes) {
    // Three characters in five bytes: too short for any suffix.
    expectParsed({"ёжh", "ёжh", "ёжh", false, false});
    expectParsed({"Пресет.lcf START", "Пресет.lcf ", "Пресет.lcf", true, false});
    expectParsed({"/tmp/ночь.lcfstartH", "/tmp/ночь.lcf", "/tmp/ночь.lcf", true, true});
}

}  // namespace
}  // namespace kalindor
