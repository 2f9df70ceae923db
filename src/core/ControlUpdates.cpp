#include "core/ControlUpdates.h"

#include <algorithm>
#include <cmath>

#include "core/Rounding.h"

namespace kalindor {

namespace {

int clampTo(int value, int low, int high) {
    return std::clamp(value, low, high);
}

bool validChannel(int ch) {
    return ch >= 0 && ch < kChannelCount;
}

// Whole numbers of a percentage label are computed in integer arithmetic.
std::string percent(int value) {
    return std::to_string(value) + "%";
}

}  // namespace

float thresholdForPosition(int position) {
    const int t = 105 - 10 * position;
    return static_cast<float>(static_cast<double>(t) / 100.0);
}

float gainForPosition(int position) {
    const int g = 410 - 10 * position;
    return static_cast<float>(static_cast<double>(g) / 100.0);
}

float noiseFilterLevelForPosition(int position) {
    return static_cast<float>(static_cast<double>(100 - position) * 2.55);
}

int noiseFilterPositionForLevel(float level) {
    const double p = roundHalfEven(100.0 - static_cast<double>(level) / 2.55);
    return clampTo(static_cast<int>(p), kNoiseFilterPositionMin, kNoiseFilterPositionMax);
}

int effectSpeedForInterval(int effectIntervalMs) {
    const double p = roundHalfEven(static_cast<double>(effectIntervalMs) / 100.0);
    return clampTo(static_cast<int>(p), kEffectSpeedMin, kEffectSpeedMax);
}

std::string scanPeriodLabel(int ms) {
    return std::to_string(ms) + "ms";
}
std::string thresholdLabel(int position) {
    return percent(105 - 10 * position);
}
std::string gainLabel(int position) {
    return percent(410 - 10 * position);
}

std::string frequencyLabel(int position) {
    // position * 62.5 is a whole number or ends in .5; always a point as decimal separator.
    const int tenths = position * 625;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += "." + std::to_string(std::abs(tenths % 10));
    }
    return text + " Гц";
}

std::string noiseFilterLabel(int position) {
    if (position == 100) {
        return "Выкл";
    }
    return percent(100 - position);
}

std::string setScanPeriod(SharedState& state, int ms) {
    ms = clampTo(ms, kScanPeriodMinMs, kScanPeriodMaxMs);
    state.ScanPeriodMs = static_cast<std::int16_t>(ms);
    return scanPeriodLabel(ms);
}

void setDecaySpeed(SharedState& state, int position) {
    state.DecaySpeed = static_cast<std::int16_t>(clampTo(position, kDecayMin, kDecayMax));
}

std::string setThreshold(SharedState& state, int ch, int position) {
    position = clampTo(position, kThresholdPositionMin, kThresholdPositionMax);
    if (validChannel(ch)) {
        state.ThresholdPosition[ch] = static_cast<std::int16_t>(position);
        state.ChannelThreshold[ch] = thresholdForPosition(position);
    }
    return thresholdLabel(position);
}

std::string setGain(SharedState& state, int ch, int position) {
    position = clampTo(position, kGainPositionMin, kGainPositionMax);
    if (validChannel(ch)) {
        state.GainPosition[ch] = static_cast<std::int16_t>(position);
        state.ChannelGain[ch] = gainForPosition(position);
    }
    return gainLabel(position);
}

std::string setFrequency(SharedState& state, int ch, int position) {
    position = clampTo(position, kFrequencyMin, kFrequencyMax);
    if (validChannel(ch)) {
        state.ChannelFrequency[ch] = static_cast<std::int16_t>(position);
    }
    return frequencyLabel(position);
}

std::string setNoiseFilter(SharedState& state, int position) {
    position = clampTo(position, kNoiseFilterPositionMin, kNoiseFilterPositionMax);
    state.NoiseFilterPosition = static_cast<std::int16_t>(position);
    state.NoiseFilterLevel = noiseFilterLevelForPosition(position);
    return noiseFilterLabel(position);
}

std::string setAgcSpeed(SharedState& state, int value) {
    value = clampTo(value, kAgcSpeedMin, kAgcSpeedMax);
    state.AgcSpeed = static_cast<std::int16_t>(value);
    return std::to_string(value);
}

std::string setNoSignalSeconds(SharedState& state, int seconds) {
    seconds = clampTo(seconds, kNoSignalSecondsMin, kNoSignalSecondsMax);
    state.NoSignalSeconds = static_cast<std::int16_t>(seconds);
    return std::to_string(seconds);
}

void setEffectSpeed(SharedState& state, int tenths) {
    state.EffectIntervalMs = clampTo(tenths, kEffectSpeedMin, kEffectSpeedMax) * 100;
}

namespace {

// Steps shared by start-up and reset: graph modes, decay, AGC speed, per-channel sliders.
void applyDisplayAndChannelDefaults(SharedState& state) {
    state.GraphPolygon = true;
    setDecaySpeed(state, kDefaultDecay);
    state.XScaleLog = true;
    state.YScaleLog = true;
    state.AgcSpeed = kDefaultAgcSpeed;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        // (ch+1)^2 computed in floating point and rounded, as the original does.
        const double square = std::pow(static_cast<double>(ch + 1), 2.0);
        state.ChannelFrequency[ch] = static_cast<std::int16_t>(std::lround(square));
        setThreshold(state, ch, kDefaultThresholdPosition);
        setGain(state, ch, kDefaultGainPosition);
    }
}

}  // namespace

void applyStartupDefaults(SharedState& state) {
    state.NoSignalSeconds = 1;
    state.SignalSeen = false;
    applyDisplayAndChannelDefaults(state);
    state.EffectKind = kRunningFire;
    state.PortAddress = kDefaultPortAddress;
}

void resetSettings(SharedState& state) {
    applyDisplayAndChannelDefaults(state);
    state.PortAddress = kDefaultPortAddress;
}

}  // namespace kalindor
