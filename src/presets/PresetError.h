// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kalindor {

// Stable numeric codes of preset failures. The window shows the code in its command-line error
// message (" 53"), so the numbers never change meaning. They follow the classic BASIC run-time
// error numbers for the same kind of failure, which is what users of the old program know.
enum PresetErrorCode : int {
    kPresetOverflow = 6,           // line 32/33 outside -32768..32767, or a number too large
    kPresetNotNumeric = 13,        // an item that is not a decimal number (empty line included)
    kPresetFileNotFound = 53,      // the file to read does not exist
    kPresetIoError = 57,           // read, write, flush or close failed for another reason
    kPresetDiskFull = 61,          // no space left, quota or file size limit reached
    kPresetPastEndOfFile = 62,     // the file ends before the 33rd item
    kPresetPermissionDenied = 70,  // the system refused access
    kPresetAccessError = 75,       // the path names a folder, or another path/access failure
    kPresetPathNotFound = 76,      // a folder on the path does not exist
    kPresetInvalidPosition = 380,  // a control position outside its control's range
};

// Why a preset could not be read or saved. `line` is the 1-based preset line (item) that failed,
// 0 when the failure is not tied to a line (opening, writing, renaming). `reason` is English,
// for the CLI and logs; it does not repeat the line number.
struct PresetError {
    int line = 0;
    int code = kPresetIoError;  // PresetErrorCode
    std::string reason;

    // "line 6: 300 is outside 1..255", or the reason alone when line is 0.
    std::string describe() const {
        if (line > 0) {
            return "line " + std::to_string(line) + ": " + reason;
        }
        return reason;
    }
};

}  // namespace kalindor
