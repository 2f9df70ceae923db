// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace kalindor {

// What the program's command text asks for at start-up: an optional preset, then optionally
// "start" (with or without a blank before it), then optionally "h" straight after "start".
struct CommandLineRequest {
    // The text left after the suffixes. May end in blanks (a blank before "start"); the window's
    // caption shows it as it is. Empty when no preset is named.
    std::string FName;
    // FName without trailing blanks: the file to open.
    std::string path;
    bool StartRequested = false;
    bool HideRequested = false;  // only acted on together with StartRequested
};

// Parses the command text (the arguments joined with single blanks). Blanks are spaces and tabs;
// the suffixes are matched without regard to ASCII case. Lengths count UTF-8 characters, so a
// path may hold any UTF-8 text. A text of exactly five characters ending in "h" is a path
// (HideRequested is still set; without a start it does nothing).
CommandLineRequest parseCommandLine(std::string_view commandText);

}  // namespace kalindor
