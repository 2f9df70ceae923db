// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PresetValues.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <type_traits>

#include "core/ControlUpdates.h"
#include "core/Rounding.h"

namespace kalindor {

namespace {

// How many characters of an offending item an error message quotes.
constexpr std::size_t kQuotedItemMaxBytes = 40;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The item as it may appear in a one-line message: control bytes and non-ASCII escaped, long
// items cut, so a binary file cannot garble the terminal.
std::string quoteItem(std::string_view item) {
    std::string out;
    const std::size_t shown = std::min(item.size(), kQuotedItemMaxBytes);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(item[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    if (shown < item.size()) {
        out += "...";
    }
    return out;
}

enum class NumberKind { kNumber, kNotNumeric, kTooLarge };

// Decimal order of magnitude of a syntactically valid unsigned number text such as "0.003e5"
// (here 2). Only used to tell overflow from underflow when the conversion reports either.
long orderOfMagnitude(std::string_view body) {
    std::size_t i = 0;
    long order = 0;
    bool found = false;
    long intDigits = 0;
    while (i < body.size() && isDigit(body[i])) {
        if (found || body[i] != '0') {
            found = true;
            ++intDigits;
        }
        ++i;
    }
    if (found) {
        order = intDigits - 1;
    } else if (i < body.size() && body[i] == '.') {
        ++i;
        long zeros = 0;
        while (i < body.size() && body[i] == '0') {
            ++zeros;
            ++i;
        }
        order = -(zeros + 1);
    }
    const std::size_t e = body.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::size_t j = e + 1;
        const bool negative = j < body.size() && body[j] == '-';
        if (j < body.size() && (body[j] == '-' || body[j] == '+')) {
            ++j;
        }
        long exponent = 0;
        for (; j < body.size(); ++j) {
            exponent = std::min(exponent * 10 + (body[j] - '0'), 1'000'000L);
        }
        order += negative ? -exponent : exponent;
    }
    return order;
}

// Accepts [+-] digits [. digits] [e [+-] digits] (at least one mantissa digit), nothing else:
// no "inf", "nan", hexadecimal or locale-dependent separators.
NumberKind readNumber(std::string_view item, double& value) {
    std::size_t i = 0;
    bool negative = false;
    if (!item.empty() && (item[0] == '+' || item[0] == '-')) {
        negative = item[0] == '-';
        i = 1;
    }
    const std::size_t bodyStart = i;
    std::size_t mantissaDigits = 0;
    while (i < item.size() && isDigit(item[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < item.size() && item[i] == '.') {
        ++i;
        while (i < item.size() && isDigit(item[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return NumberKind::kNotNumeric;
    }
    if (i < item.size() && (item[i] == 'e' || item[i] == 'E')) {
        ++i;
        if (i < item.size() && (item[i] == '+' || item[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < item.size() && isDigit(item[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return NumberKind::kNotNumeric;
        }
    }
    if (i != item.size()) {
        return NumberKind::kNotNumeric;
    }
    const std::string_view body = item.substr(bodyStart);
    double magnitude = 0.0;
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), magnitude);
    if (ec == std::errc::result_out_of_range) {
        if (orderOfMagnitude(body) > 0) {
            return NumberKind::kTooLarge;
        }
        magnitude = 0.0;  // underflow: far below anything that rounds away from zero
    } else if (ec != std::errc{} || end != body.data() + body.size()) {
        return NumberKind::kNotNumeric;
    }
    value = negative ? -magnitude : magnitude;
    return NumberKind::kNumber;
}

// Walks the first lines of a preset text. A line ends at CR LF, LF or CR.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    // False when the text has no further line.
    bool next(std::string_view& line) {
        if (position_ >= text_.size()) {
            return false;
        }
        const std::size_t end = text_.find_first_of("\r\n", position_);
        if (end == std::string_view::npos) {
            line = text_.substr(position_);
            position_ = text_.size();
            return true;
        }
        line = text_.substr(position_, end - position_);
        position_ = end + 1;
        if (text_[end] == '\r' && position_ < text_.size() && text_[position_] == '\n') {
            ++position_;
        }
        return true;
    }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

PresetError lineError(int line, int code, std::string reason) {
    return PresetError{line, code, std::move(reason)};
}

// One item, decoded as a number: its text (blanks trimmed) and value.
struct Item {
    std::string_view text;
    double value = 0.0;
};

Expected<Item, PresetError> decodeItem(int line, std::string_view raw) {
    if (raw.size() > kPresetMaxLineBytes) {
        return unexpected(lineError(line, kPresetNotNumeric,
                                    "longer than " + std::to_string(kPresetMaxLineBytes) +
                                        " characters, a number is expected"));
    }
    Item item;
    item.text = trimBlanks(raw);
    if (item.text.empty()) {
        return unexpected(lineError(line, kPresetNotNumeric, "empty, a number is expected"));
    }
    switch (readNumber(item.text, item.value)) {
        case NumberKind::kNumber:
            break;
        case NumberKind::kNotNumeric:
            return unexpected(lineError(
                line, kPresetNotNumeric,
                std::string(1, '"').append(quoteItem(item.text)).append("\" is not a number")));
        case NumberKind::kTooLarge:
            return unexpected(
                lineError(line, kPresetOverflow, quoteItem(item.text) + " is too large"));
    }
    return item;
}

Expected<int, PresetError> position(int line, const Item& item, const SettingInfo& info) {
    const double rounded = roundHalfEven(item.value);
    if (rounded < info.low || rounded > info.high) {
        return unexpected(lineError(line, kPresetInvalidPosition,
                                    quoteItem(item.text) + " is outside " + rangeText(info.id)));
    }
    return static_cast<int>(rounded);
}

Expected<int, PresetError> int16Value(int line, const Item& item) {
    constexpr int kLow = std::numeric_limits<std::int16_t>::min();
    constexpr int kHigh = std::numeric_limits<std::int16_t>::max();
    const double rounded = roundHalfEven(item.value);
    if (rounded < kLow || rounded > kHigh) {
        return unexpected(lineError(line, kPresetOverflow,
                                    quoteItem(item.text) + " is outside the 16-bit range " +
                                        std::to_string(kLow) + ".." + std::to_string(kHigh)));
    }
    return static_cast<int>(rounded);
}

// Calls use(field) with the member of `values` that holds the setting of channel ch.
template <class Values, class Use>
void withField(Values& values, Setting id, int ch, Use use) {
    switch (id) {
        case Setting::kScanPeriod:
            return use(values.ScanPeriodMs);
        case Setting::kDecaySpeed:
            return use(values.DecaySpeed);
        case Setting::kAgcEnabled:
            return use(values.AgcEnabled);
        case Setting::kThreshold:
            return use(values.ThresholdPosition[ch]);
        case Setting::kGain:
            return use(values.GainPosition[ch]);
        case Setting::kFrequency:
            return use(values.ChannelFrequency[ch]);
        case Setting::kNoiseFilter:
            return use(values.NoiseFilterPosition);
        case Setting::kGraphPolygon:
            return use(values.GraphPolygon);
        case Setting::kXScaleLog:
            return use(values.XScaleLog);
        case Setting::kYScaleLog:
            return use(values.YScaleLog);
        case Setting::kAgcSpeed:
            return use(values.AgcSpeed);
        case Setting::kPortAddress:
            return use(values.PortAddress);
        case Setting::kNoSignalSeconds:
        case Setting::kEffectSpeed:
            return;  // not stored in presets
    }
}

// The number a line holds: a position, a switch as 1 or 0, or a 16-bit value.
int itemAt(const PresetValues& values, const PresetLineSetting& at) {
    int item = 0;
    withField(values, at.info->id, at.ch, [&item](const auto& field) { item = field; });
    return item;
}

void setItemAt(PresetValues& values, const PresetLineSetting& at, int item) {
    withField(values, at.info->id, at.ch, [item](auto& field) {
        field = static_cast<std::remove_reference_t<decltype(field)>>(item);
    });
}

// Decides one decoded item as its line's setting takes it and stores it into `values`.
Expected<void, PresetError> storeItem(int line, const Item& item, PresetValues& values) {
    const PresetLineSetting at = settingAtPresetLine(line);
    Expected<int, PresetError> stored = 0;
    switch (at.info->presetItem) {
        case PresetItem::kPosition:
            stored = position(line, item, *at.info);
            break;
        case PresetItem::kOnWhenOne:
            stored = item.value == 1.0 ? 1 : 0;
            break;
        case PresetItem::kOnWhenNonZero:
            stored = roundHalfEven(item.value) != 0.0 ? 1 : 0;
            break;
        case PresetItem::kInt16:
            stored = int16Value(line, item);
            break;
        case PresetItem::kNone:
            break;
    }
    if (!stored) {
        return unexpected(stored.error());
    }
    setItemAt(values, at, *stored);
    return {};
}

void appendLine(std::string& out, int value) {
    out += value < 0 ? '-' : ' ';
    out += std::to_string(value < 0 ? -static_cast<long>(value) : static_cast<long>(value));
    out += " \r\n";
}

}  // namespace

PresetValues presetValuesFromState(const SharedState& state) {
    PresetValues values;
    for (int line = 1; line <= kPresetLineCount; ++line) {
        const PresetLineSetting at = settingAtPresetLine(line);
        setItemAt(values, at, at.info->position(state, at.ch));
    }
    return values;
}

void applyPresetValues(const PresetValues& values, SharedState& state) {
    for (int line = 1; line <= kPresetLineCount; ++line) {
        const PresetLineSetting at = settingAtPresetLine(line);
        const int item = itemAt(values, at);
        if (at.info->presetItem == PresetItem::kInt16) {
            // Stored as it stands: the AGC speed dialog's range is deliberately not imposed.
            at.info->store(state, at.ch, item);
        } else {
            updateSetting(state, at.info->id, at.ch, item);
        }
    }
}

std::array<int, kPresetLineCount> presetLines(const PresetValues& values) {
    std::array<int, kPresetLineCount> lines{};
    for (int line = 1; line <= kPresetLineCount; ++line) {
        lines[line - 1] = itemAt(values, settingAtPresetLine(line));
    }
    return lines;
}

std::string formatPreset(const PresetValues& values) {
    std::string out;
    for (const int value : presetLines(values)) {
        appendLine(out, value);
    }
    return out;
}

Expected<PresetValues, PresetError> parsePreset(std::string_view text) {
    PresetValues values;
    LineReader reader(text);
    for (int line = 1; line <= kPresetLineCount; ++line) {
        std::string_view raw;
        if (!reader.next(raw)) {
            return unexpected(lineError(line, kPresetPastEndOfFile,
                                        "the file ends here; " + std::to_string(kPresetLineCount) +
                                            " numbers are expected"));
        }
        const auto item = decodeItem(line, raw);
        if (!item) {
            return unexpected(item.error());
        }
        if (auto stored = storeItem(line, *item, values); !stored) {
            return unexpected(stored.error());
        }
    }
    return values;
}

std::string presetLineMeaning(int line) {
    const PresetLineSetting at = settingAtPresetLine(line);
    return at.info != nullptr ? settingMeaning(at.info->id, at.ch) : "";
}

}  // namespace kalindor
