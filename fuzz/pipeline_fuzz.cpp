// SPDX-License-Identifier: GPL-3.0-or-later
// The buffer pipeline fed arbitrary sample buffers under arbitrary settings. Input layout: a
// sequence of records, each one command byte and its arguments (little-endian):
//   0 scan period (int32)        1 decay position (int32)      2 threshold (ch byte, int32)
//   3 gain (ch byte, int32)      4 frequency (ch byte, int32)  5 noise filter (int32)
//   6 AGC speed (int32)          7 raw ChannelFrequency (ch byte, int16)
//   8 raw AgcSpeed (int16)       9 raw DecaySpeed (int16)      10 switches (byte: bit 0 AGC,
//   bit 1 log X, bit 2 log Y, bit 3 polygon)                   11 reset   12 start-up defaults
//   anything else: one buffer of 256 samples (missing samples are silence, 128).
// Positions go through the control update routines, in and out of range; the raw fields take
// values no control can give. The view and the device check every call they receive.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "core/ControlUpdates.h"
#include "core/PipelineView.h"
#include "dsp/BufferPipeline.h"
#include "lights/LightOutputs.h"
#include "lights/usb/LightDevice.h"

namespace kalindor {
namespace {

using fuzz::require;

// Channels whose frequency is a spectrum point (1..255): the only ones a buffer may touch.
std::uint8_t validChannels(const SharedState& state) {
    std::uint8_t mask = 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (state.ChannelFrequency[ch] >= 1 && state.ChannelFrequency[ch] <= 255) {
            mask = static_cast<std::uint8_t>(mask | (1u << ch));
        }
    }
    return mask;
}

class CheckingView final : public PipelineView {
  public:
    void clearGraph() override {}
    void drawLine(float x1, float y1, float x2, float y2, Rgb) override {
        require(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2),
                "graph lines have finite coordinates");
    }
    void graphDone() override {}
    void setLevelBar(int ch, int value) override {
        require(ch >= 0 && ch < kChannelCount, "a level bar of channel 0..7");
        require(((allowed >> ch) & 1u) != 0, "only a channel with a valid frequency moves its bar");
        require(value >= 0 && value <= 255, "a level bar stays within 0..255");
        bars[static_cast<std::size_t>(ch)] = value;
    }
    void setLamp(int ch, Rgb) override {
        require(ch >= 0 && ch < kChannelCount, "a lamp of channel 0..7");
        require(((allowed >> ch) & 1u) != 0,
                "only a channel with a valid frequency changes its lamp");
    }
    void setDeviceStatus(bool) override { ++statusUpdates; }

    std::uint8_t allowed = 0;
    std::array<int, kChannelCount> bars{};
    int statusUpdates = 0;
};

class CheckingDevice final : public LightDevice {
  public:
    std::int32_t DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) override {
        ++probes;
        return 0;
    }
    std::int32_t DoSetDataPortDirections(std::uint8_t, std::uint8_t, std::uint8_t,
                                         std::uint8_t) override {
        require(false, "the pipeline never sets port directions");
        return 0;
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t first, std::uint8_t second, std::uint8_t third,
                                   std::uint8_t usedPorts) override {
        last = PortBytes{first, second, third, usedPorts};
        ++writes;
        return 0;
    }
    PortBytes last;
    int writes = 0;
    int probes = 0;
};

int channelOf(fuzz::FuzzInput& input) {
    // Mostly 0..7, sometimes out of range, as a wrong caller would pass.
    const auto value = static_cast<std::int8_t>(input.byte());
    return value >= 0 ? value % 10 : value;
}

void runBuffer(BufferPipeline& pipeline, SharedState& state, CheckingView& view,
               CheckingDevice& device, fuzz::FuzzInput& input, std::uint8_t& lastPattern) {
    std::array<std::uint8_t, 256> samples{};
    input.bytes(samples.data(), samples.size(), 128);
    const std::uint8_t valid = validChannels(state);
    view.allowed = valid;
    const auto barsBefore = pipeline.channelShown();
    const auto litBefore = pipeline.channelLit();
    const int writesBefore = device.writes;

    pipeline.ProcessBuffer(samples.data());

    const std::uint8_t pattern = pipeline.lightPattern();
    require((pattern & ~valid) == 0,
            "the pattern only has bits of channels with a valid frequency");
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (((valid >> ch) & 1u) == 0) {
            require(pipeline.channelShown()[ch] == barsBefore[ch] &&
                        pipeline.channelLit()[ch] == litBefore[ch],
                    "a channel without a valid frequency keeps its bar and lamp");
        }
        require(static_cast<int>(pipeline.channelShown()[ch]) == view.bars[ch],
                "the shown value is what the bar was given");
    }
    for (int p = 1; p < 256; ++p) {
        const float held = pipeline.spectrumHeld()[p];
        require(!std::isnan(held) && held >= 0.0f, "held points are numbers, not below 0");
        require(!std::isnan(pipeline.spectrumRaw()[p]), "fresh points are numbers");
        require(!std::isnan(pipeline.levelChain().spectrumLevel()[p]), "levels are numbers");
    }
    require(!std::isnan(pipeline.agcGain()), "the AGC gain is a number");
    if (pattern != lastPattern) {
        require(device.writes == writesBefore + 1, "a changed pattern is written once");
        require(device.last == portBytesForPattern(pattern), "the written ports are the pattern's");
        require(state.SignalSeen || pattern == 0, "a new non-zero pattern raises SignalSeen");
    } else {
        require(device.writes == writesBefore, "an unchanged pattern is not written");
    }
    require(device.probes == device.writes, "every write is followed by one probe");
    lastPattern = pattern;
}

}  // namespace
}  // namespace kalindor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalindor;
    fuzz::FuzzInput input(data, size);
    SharedState state;
    applyStartupDefaults(state);
    CheckingView view;
    CheckingDevice device;
    LightOutputs lights(device, true, {});
    // Three 1 KiB arrays and more: on the heap, as the program keeps it.
    const auto pipeline = std::make_unique<BufferPipeline>(state, view, lights);
    std::uint8_t lastPattern = 0;
    int buffers = 0;
    // Bounds the work per input; a few hundred buffers reach every AGC period length.
    constexpr int kMaxBuffers = 400;

    while (!input.empty() && buffers < kMaxBuffers) {
        const std::uint8_t command = input.byte();
        switch (command) {
            case 0:
                setScanPeriod(state, input.int32());
                break;
            case 1:
                setDecaySpeed(state, input.int32());
                break;
            case 2: {
                const int ch = channelOf(input);
                setThreshold(state, ch, input.int32());
                break;
            }
            case 3: {
                const int ch = channelOf(input);
                setGain(state, ch, input.int32());
                break;
            }
            case 4: {
                const int ch = channelOf(input);
                setFrequency(state, ch, input.int32());
                break;
            }
            case 5:
                setNoiseFilter(state, input.int32());
                break;
            case 6:
                setAgcSpeed(state, input.int32());
                break;
            case 7: {
                const int ch = input.byte() % kChannelCount;
                state.ChannelFrequency[ch] = input.int16();
                break;
            }
            case 8:
                state.AgcSpeed = input.int16();
                break;
            case 9:
                state.DecaySpeed = input.int16();
                break;
            case 10: {
                const std::uint8_t bits = input.byte();
                state.AgcEnabled = (bits & 1) != 0;
                state.XScaleLog = (bits & 2) != 0;
                state.YScaleLog = (bits & 4) != 0;
                state.GraphPolygon = (bits & 8) != 0;
                break;
            }
            case 11:
                resetSettings(state);
                break;
            case 12:
                applyStartupDefaults(state);
                break;
            default:
                runBuffer(*pipeline, state, view, device, input, lastPattern);
                ++buffers;
                break;
        }
    }
    return 0;
}
