// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "capture/SampleRing.h"
#include "core/SoundInput.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace kalindor {

// Capture from a PulseAudio server (PipeWire's pulse server included). The server converts
// to unsigned 8-bit mono at 32000 Hz and hands fragments of at most 8 ms to the mainloop
// thread, whose read callback only copies them into the ring.
class PulseSoundInput final : public SoundInput {
  public:
    // source: "default" (the server's default source), "monitor" (the monitor of the default
    // output), "app:NAME" (the playback stream of the program whose application name or binary
    // is NAME, case ignored: the first one playing at open(), recorded alone through the
    // server's single-stream monitor), or a source name.
    explicit PulseSoundInput(std::string source);
    ~PulseSoundInput() override;
    PulseSoundInput(const PulseSoundInput&) = delete;
    PulseSoundInput& operator=(const PulseSoundInput&) = delete;

    Expected<void> open() override;
    void close() override;
    bool isOpen() const override { return stream_ != nullptr; }
    bool takeBuffer(std::uint8_t* out) override { return ring_.takeNewest(out); }
    int msUntilBufferReady() const override { return ring_.msUntilSnapshotReady(); }
    std::int64_t msSinceLastData() const override { return ring_.msSinceLastWrite(); }
    std::string failureDetail() const override;
    std::uint64_t samplesCaptured() const override { return ring_.totalWritten(); }

    // True when a server answers within a short time (PULSE_SERVER and the usual places are
    // tried; no server is spawned).
    static bool serverAnswers();
    // The server's sources, then the programs playing now (application entries, each named
    // "app:NAME"); the error says why none could be listed (no server answers).
    static Expected<std::vector<SoundSourceInfo>> listSources();

  private:
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* self);

    void release();

    std::string source_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    SampleRing ring_;
    std::atomic<int> failedError_{0};  // pa error code once the stream or context failed
};

}  // namespace kalindor
