// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/CommandLine.h"

namespace kalindor {

namespace {

constexpr std::string_view kStartWord = "start";
constexpr std::size_t kMinimumSuffixTextChars = 5;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view lowerWord) {
    if (text.size() != lowerWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (asciiLower(text[i]) != lowerWord[i]) {
            return false;
        }
    }
    return true;
}

// Number of UTF-8 characters: bytes that do not continue a multi-byte sequence.
std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::string_view trimTrailingBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return trimTrailingBlanks(text);
}

}  // namespace

CommandLineRequest parseCommandLine(std::string_view commandText) {
    CommandLineRequest request;
    std::string_view text = trimBlanks(commandText);
    // "start" and "h" are ASCII, so comparing bytes at the end never splits a UTF-8 character.
    if (characterCount(text) >= kMinimumSuffixTextChars) {
        const std::size_t size = text.size();
        if (asciiLower(text.back()) == 'h') {
            request.HideRequested = true;
            const std::size_t suffix = kStartWord.size() + 1;
            if (size >= suffix && equalsIgnoringAsciiCase(
                                      text.substr(size - suffix, kStartWord.size()), kStartWord)) {
                text.remove_suffix(suffix);
                request.StartRequested = true;
            }
        } else if (equalsIgnoringAsciiCase(text.substr(size - kStartWord.size()), kStartWord)) {
            text.remove_suffix(kStartWord.size());
            request.StartRequested = true;
        }
    }
    request.FName = std::string(text);
    request.path = std::string(trimTrailingBlanks(text));
    return request;
}

}  // namespace kalindor
