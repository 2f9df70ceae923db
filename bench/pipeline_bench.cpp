// SPDX-License-Identifier: GPL-3.0-or-later
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <sndfile.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "audio/AudioFile.h"
#include "core/ControlUpdates.h"
#include "dsp/BufferPipeline.h"
#include "dsp/OfflineAnalysis.h"
#include "dsp/RealFft.h"
#include "dsp/SongPreview.h"
#include "lights/LightOutputs.h"

namespace {

using kalindor::BufferPipeline;
using kalindor::SharedState;

constexpr int kBufferVariety = 256;  // different snapshots cycled through
constexpr double kRateHz = 32000.0;

// A board that is always there and drives nothing; the pipeline reaches it through the output
// list, as in a run.
class QuietBoard final : public kalindor::LightDevice {
  public:
    std::int32_t DoGetInfraCode(std::int32_t&, std::int32_t, std::int32_t&) override { return 0; }
    std::int32_t DoSetDataPortDirections(std::uint8_t, std::uint8_t, std::uint8_t,
                                         std::uint8_t) override {
        return 0;
    }
    std::int32_t DoSetOutDataPorts(std::uint8_t, std::uint8_t, std::uint8_t,
                                   std::uint8_t) override {
        return 0;
    }
};

// Music-like sound: a bass line, a melody and a high voice whose pitches and loudness change
// every 8 ms, over noise, as unsigned 8-bit samples.
std::vector<std::uint8_t> musicLikeSamples(std::size_t count) {
    std::mt19937 rng(2024);
    std::normal_distribution<double> noise(0.0, 0.04);
    std::uniform_real_distribution<double> pick(0.0, 1.0);
    std::vector<std::uint8_t> samples(count);
    double bass = 80.0;
    double melody = 440.0;
    double high = 3000.0;
    double loudness = 0.5;
    double phase[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 256 == 0) {
            bass = 55.0 * std::pow(2.0, std::floor(pick(rng) * 24.0) / 12.0);
            melody = 220.0 * std::pow(2.0, std::floor(pick(rng) * 36.0) / 12.0);
            high = 2000.0 + 6000.0 * pick(rng);
            loudness = 0.2 + 0.6 * pick(rng);
        }
        phase[0] += 2.0 * M_PI * bass / kRateHz;
        phase[1] += 2.0 * M_PI * melody / kRateHz;
        phase[2] += 2.0 * M_PI * high / kRateHz;
        const double x = loudness * (0.5 * std::sin(phase[0]) + 0.3 * std::sin(phase[1]) +
                                     0.1 * std::sin(phase[2])) +
                         noise(rng);
        samples[i] =
            static_cast<std::uint8_t>(std::clamp(std::lround(128.0 + 127.0 * x), 0L, 255L));
    }
    return samples;
}

void BM_ProcessBuffer(benchmark::State& bench) {
    SharedState state;
    kalindor::applyStartupDefaults(state);
    state.AgcEnabled = bench.range(0) != 0;
    kalindor::NullView view;
    QuietBoard board;
    kalindor::LightOutputs lights(board, true, {});
    BufferPipeline pipeline(state, view, lights);
    const std::vector<std::uint8_t> samples = musicLikeSamples(256 * kBufferVariety);
    for (int i = 0; i < kBufferVariety; ++i) {
        pipeline.ProcessBuffer(samples.data() + 256 * i);  // warm up tables and state
    }
    std::size_t next = 0;
    const std::int64_t allocationsBefore = allocationCount;
    for (auto _ : bench) {
        pipeline.ProcessBuffer(samples.data() + 256 * next);
        next = (next + 1) % kBufferVariety;
    }
    const std::int64_t allocations = allocationCount - allocationsBefore;
    bench.counters["allocs_per_buffer"] =
        static_cast<double>(allocations) / static_cast<double>(bench.iterations());
    benchmark::DoNotOptimize(pipeline.lightPattern());
}
BENCHMARK(BM_ProcessBuffer)->Arg(0)->Arg(1)->ArgName("agc");

std::vector<std::array<float, 256>> floatBuffers() {
    const std::vector<std::uint8_t> samples = musicLikeSamples(256 * kBufferVariety);
    std::vector<std::array<float, 256>> buffers(kBufferVariety);
    for (int b = 0; b < kBufferVariety; ++b) {
        for (int j = 0; j < 256; ++j) {
            buffers[b][j] = samples[256 * b + j];
        }
    }
    return buffers;
}

// Both transforms include the copy of the input into the work array.
void BM_RealFft(benchmark::State& bench) {
    const auto buffers = floatBuffers();
    std::array<float, 256> work{};
    std::size_t next = 0;
    for (auto _ : bench) {
        work = buffers[next];
        kalindor::RealFft(work.data());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
        next = (next + 1) % kBufferVariety;
    }
}
BENCHMARK(BM_RealFft);

void BM_FftwR2rHalfcomplex(benchmark::State& bench) {
    const auto buffers = floatBuffers();
    float* in = fftwf_alloc_real(256);
    float* out = fftwf_alloc_real(256);
    fftwf_plan plan = fftwf_plan_r2r_1d(256, in, out, FFTW_R2HC, FFTW_MEASURE);
    std::size_t next = 0;
    for (auto _ : bench) {
        std::copy(buffers[next].begin(), buffers[next].end(), in);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        next = (next + 1) % kBufferVariety;
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwR2rHalfcomplex);

void BM_FftwR2c(benchmark::State& bench) {
    const auto buffers = floatBuffers();
    float* in = fftwf_alloc_real(256);
    fftwf_complex* out = fftwf_alloc_complex(129);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(256, in, out, FFTW_MEASURE);
    std::size_t next = 0;
    for (auto _ : bench) {
        std::copy(buffers[next].begin(), buffers[next].end(), in);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
        next = (next + 1) % kBufferVariety;
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwR2c);

// The analyze command's core on 60 s of music-like sound at the default 50 ms tick, with the
// lines formatted as the command prints them. realtime_x = seconds of sound per second.
void BM_AnalyzeRecording(benchmark::State& bench) {
    constexpr double kSeconds = 60.0;
    const std::vector<std::uint8_t> samples =
        musicLikeSamples(static_cast<std::size_t>(kSeconds * kRateHz));
    kalindor::NullView view;
    QuietBoard board;
    kalindor::LightOutputs lights(board, true, {});
    std::vector<char> output(64 * 1024);
    for (auto _ : bench) {
        SharedState state;
        kalindor::applyStartupDefaults(state);
        std::size_t used = 0;
        kalindor::analyzeRecording(samples, static_cast<int>(bench.range(0)), state, view, lights,
                                   [&](const kalindor::SnapshotResult& result) {
                                       used += kalindor::formatSnapshotLine(
                                           result, output.data() + used % (60 * 1024));
                                   });
        benchmark::DoNotOptimize(used);
    }
    bench.counters["realtime_x"] = benchmark::Counter(
        kSeconds * static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalyzeRecording)->Arg(50)->Arg(30)->ArgName("tick_ms")->Unit(benchmark::kMillisecond);

// The whole command without process start: load a 60 s 16-bit stereo WAV (converted to the
// capture format, resampled unless it is at 32000 Hz), then analyse it at a 50 ms tick.
void BM_LoadAndAnalyzeWav(benchmark::State& bench) {
    constexpr double kSeconds = 60.0;
    const int rateHz = static_cast<int>(bench.range(0));
    const std::string path = "/tmp/kalindor-bench-" + std::to_string(rateHz) + ".wav";
    {
        SF_INFO info{};
        info.samplerate = rateHz;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            bench.SkipWithError(sf_strerror(nullptr));
            return;
        }
        const std::vector<std::uint8_t> music =
            musicLikeSamples(static_cast<std::size_t>(kSeconds * rateHz));
        std::vector<float> frames;
        frames.reserve(music.size() * 2);
        for (const std::uint8_t sample : music) {
            const float x = (static_cast<float>(sample) - 128.0f) / 128.0f;
            frames.push_back(x);
            frames.push_back(x);
        }
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(music.size()));
        sf_close(file);
    }
    kalindor::NullView view;
    QuietBoard board;
    kalindor::LightOutputs lights(board, true, {});
    for (auto _ : bench) {
        const kalindor::Expected<kalindor::AudioFile> audio = kalindor::loadAudioFile(path);
        if (!audio) {
            bench.SkipWithError(audio.error().c_str());
            break;
        }
        SharedState state;
        kalindor::applyStartupDefaults(state);
        std::int64_t lines = 0;
        kalindor::analyzeRecording(audio->samples, 50, state, view, lights,
                                   [&](const kalindor::SnapshotResult&) { ++lines; });
        benchmark::DoNotOptimize(lines);
    }
    std::remove(path.c_str());
    bench.counters["realtime_x"] = benchmark::Counter(
        kSeconds * static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadAndAnalyzeWav)
    ->Arg(32000)
    ->Arg(44100)
    ->ArgName("rate_hz")
    ->Unit(benchmark::kMillisecond);

// The song preview's redraw after a slider move: the analysis (levels, patterns, loudness,
// stretches) of a 4-minute song already decoded. The target is 500 ms; the decode once per
// song is BM_LoadAndAnalyzeWav's load.
void BM_SongPreviewRedraw(benchmark::State& bench) {
    const std::vector<std::uint8_t> samples =
        musicLikeSamples(static_cast<std::size_t>(240.0 * kRateHz));
    SharedState state;
    kalindor::applyStartupDefaults(state);
    state.ScanPeriodMs = static_cast<std::int16_t>(bench.range(0));
    for (auto _ : bench) {
        kalindor::SongPreview preview = kalindor::previewSong(samples, state);
        // A modifiable value: Google Benchmark 1.9 deprecates the const form (Debian 13).
        benchmark::DoNotOptimize(preview.channels[0].litShare);
    }
}
BENCHMARK(BM_SongPreviewRedraw)
    ->Arg(50)
    ->Arg(30)
    ->ArgName("tick_ms")
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
