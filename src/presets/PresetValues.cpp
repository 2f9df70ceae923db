#include "presets/PresetValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/ControlUpdates.h"

namespace kalindor {

namespace {

constexpr int kLineScanPeriod = 1;
constexpr int kLineDecay = 2;
constexpr int kLineAgc = 3;
constexpr int kFirstChannelLine = 4;  // threshold, gain, frequency of channel 0; 3 per channel
constexpr int kLinesPerChannel = 3;
constexpr int kLineNoiseFilter = 28;
constexpr int kLineGraphPolygon = 29;
constexpr int kLineXScale = 30;
constexpr int kLineYScale = 31;
constexpr int kLineAgcSpeed = 32;
constexpr int kLinePortAddress = 33;

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

// One item, decoded as a number. On failure, `error` says why.
struct Item {
    std::string_view text;
    double value = 0.0;
    std::optional<PresetError> error;
};

Item decodeItem(int line, std::string_view raw) {
    Item item;
    if (raw.size() > kPresetMaxLineBytes) {
        item.error = lineError(line, kPresetNotNumeric,
                               "longer than " + std::to_string(kPresetMaxLineBytes) +
                                   " characters, a number is expected");
        return item;
    }
    item.text = trimBlanks(raw);
    if (item.text.empty()) {
        item.error = lineError(line, kPresetNotNumeric, "empty, a number is expected");
        return item;
    }
    switch (readNumber(item.text, item.value)) {
        case NumberKind::kNumber:
            break;
        case NumberKind::kNotNumeric:
            item.error = lineError(line, kPresetNotNumeric,
                                   "\"" + quoteItem(item.text) + "\" is not a number");
            break;
        case NumberKind::kTooLarge:
            item.error = lineError(line, kPresetOverflow, quoteItem(item.text) + " is too large");
            break;
    }
    return item;
}

// Rounds to the nearest whole number, a tie going to the even one; independent of the
// floating-point environment's rounding mode.
double roundHalfEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction > 0.5) {
        return below + 1.0;
    }
    if (fraction < 0.5) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::optional<PresetError> position(int line, const Item& item, int low, int high, int& out) {
    const double rounded = roundHalfEven(item.value);
    if (rounded < low || rounded > high) {
        return lineError(line, kPresetInvalidPosition,
                         quoteItem(item.text) + " is outside " + std::to_string(low) + ".." +
                             std::to_string(high));
    }
    out = static_cast<int>(rounded);
    return std::nullopt;
}

std::optional<PresetError> int16Value(int line, const Item& item, std::int16_t& out) {
    constexpr int kLow = std::numeric_limits<std::int16_t>::min();
    constexpr int kHigh = std::numeric_limits<std::int16_t>::max();
    const double rounded = roundHalfEven(item.value);
    if (rounded < kLow || rounded > kHigh) {
        return lineError(line, kPresetOverflow,
                         quoteItem(item.text) + " is outside the 16-bit range " +
                             std::to_string(kLow) + ".." + std::to_string(kHigh));
    }
    out = static_cast<std::int16_t>(rounded);
    return std::nullopt;
}

// Stores one decoded item into its place in `values`.
std::optional<PresetError> storeItem(int line, const Item& item, PresetValues& values) {
    if (line == kLineScanPeriod) {
        return position(line, item, kScanPeriodMinMs, kScanPeriodMaxMs, values.ScanPeriodMs);
    }
    if (line == kLineDecay) {
        return position(line, item, kDecayMin, kDecayMax, values.DecaySpeed);
    }
    if (line == kLineAgc) {
        values.AgcEnabled = item.value == 1.0;
        return std::nullopt;
    }
    if (line < kLineNoiseFilter) {
        const int ch = (line - kFirstChannelLine) / kLinesPerChannel;
        switch ((line - kFirstChannelLine) % kLinesPerChannel) {
            case 0:
                return position(line, item, kThresholdPositionMin, kThresholdPositionMax,
                                values.ThresholdPosition[ch]);
            case 1:
                return position(line, item, kGainPositionMin, kGainPositionMax,
                                values.GainPosition[ch]);
            default:
                return position(line, item, kFrequencyMin, kFrequencyMax,
                                values.ChannelFrequency[ch]);
        }
    }
    switch (line) {
        case kLineNoiseFilter:
            return position(line, item, kNoiseFilterPositionMin, kNoiseFilterPositionMax,
                            values.NoiseFilterPosition);
        case kLineGraphPolygon:
            values.GraphPolygon = item.value == 1.0;
            return std::nullopt;
        case kLineXScale:
            values.XScaleLog = roundHalfEven(item.value) != 0.0;
            return std::nullopt;
        case kLineYScale:
            values.YScaleLog = roundHalfEven(item.value) != 0.0;
            return std::nullopt;
        case kLineAgcSpeed:
            return int16Value(line, item, values.AgcSpeed);
        default:
            return int16Value(line, item, values.PortAddress);
    }
}

void appendLine(std::string& out, int value) {
    out += value < 0 ? '-' : ' ';
    out += std::to_string(value < 0 ? -static_cast<long>(value) : static_cast<long>(value));
    out += " \r\n";
}

}  // namespace

PresetValues presetValuesFromState(const SharedState& state) {
    PresetValues values;
    values.ScanPeriodMs = state.ScanPeriodMs;
    values.DecaySpeed = state.DecaySpeed;
    values.AgcEnabled = state.AgcEnabled;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        values.ThresholdPosition[ch] = state.ThresholdPosition[ch];
        values.GainPosition[ch] = state.GainPosition[ch];
        values.ChannelFrequency[ch] = state.ChannelFrequency[ch];
    }
    values.NoiseFilterPosition = state.NoiseFilterPosition;
    values.GraphPolygon = state.GraphPolygon;
    values.XScaleLog = state.XScaleLog;
    values.YScaleLog = state.YScaleLog;
    values.AgcSpeed = state.AgcSpeed;
    values.PortAddress = state.PortAddress;
    return values;
}

void applyPresetValues(const PresetValues& values, SharedState& state) {
    setScanPeriod(state, values.ScanPeriodMs);
    setDecaySpeed(state, values.DecaySpeed);
    state.AgcEnabled = values.AgcEnabled;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setThreshold(state, ch, values.ThresholdPosition[ch]);
        setGain(state, ch, values.GainPosition[ch]);
        setFrequency(state, ch, values.ChannelFrequency[ch]);
    }
    setNoiseFilter(state, values.NoiseFilterPosition);
    state.GraphPolygon = values.GraphPolygon;
    state.XScaleLog = values.XScaleLog;
    state.YScaleLog = values.YScaleLog;
    // Stored as they stand; the AGC speed dialog's range is deliberately not imposed here.
    state.AgcSpeed = values.AgcSpeed;
    state.PortAddress = values.PortAddress;
}

std::array<int, kPresetLineCount> presetLines(const PresetValues& values) {
    std::array<int, kPresetLineCount> lines{};
    lines[kLineScanPeriod - 1] = values.ScanPeriodMs;
    lines[kLineDecay - 1] = values.DecaySpeed;
    lines[kLineAgc - 1] = values.AgcEnabled ? 1 : 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const int first = kFirstChannelLine - 1 + kLinesPerChannel * ch;
        lines[first] = values.ThresholdPosition[ch];
        lines[first + 1] = values.GainPosition[ch];
        lines[first + 2] = values.ChannelFrequency[ch];
    }
    lines[kLineNoiseFilter - 1] = values.NoiseFilterPosition;
    lines[kLineGraphPolygon - 1] = values.GraphPolygon ? 1 : 0;
    lines[kLineXScale - 1] = values.XScaleLog ? 1 : 0;
    lines[kLineYScale - 1] = values.YScaleLog ? 1 : 0;
    lines[kLineAgcSpeed - 1] = values.AgcSpeed;
    lines[kLinePortAddress - 1] = values.PortAddress;
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
        const Item item = decodeItem(line, raw);
        if (item.error) {
            return unexpected(*item.error);
        }
        if (auto error = storeItem(line, item, values)) {
            return unexpected(std::move(*error));
        }
    }
    return values;
}

std::string presetLineMeaning(int line) {
    if (line >= kFirstChannelLine && line < kLineNoiseFilter) {
        const int channel = (line - kFirstChannelLine) / kLinesPerChannel + 1;
        const std::string prefix = "channel " + std::to_string(channel) + " ";
        switch ((line - kFirstChannelLine) % kLinesPerChannel) {
            case 0:
                return prefix + "threshold position (1..10)";
            case 1:
                return prefix + "gain position (1..40)";
            default:
                return prefix + "frequency step (x 62.5 Hz)";
        }
    }
    switch (line) {
        case kLineScanPeriod:
            return "scan period (ms)";
        case kLineDecay:
            return "decay speed (1..10)";
        case kLineAgc:
            return "automatic level control (1 = on)";
        case kLineNoiseFilter:
            return "noise filter position (100 = off)";
        case kLineGraphPolygon:
            return "graph type (1 = polygon, 0 = histogram)";
        case kLineXScale:
            return "X scale (1 = logarithmic, 0 = linear)";
        case kLineYScale:
            return "Y scale (1 = logarithmic, 0 = linear)";
        case kLineAgcSpeed:
            return "AGC speed (points between updates)";
        case kLinePortAddress:
            return "legacy port address";
        default:
            return "";
    }
}

}  // namespace kalindor
