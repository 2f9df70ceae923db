// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/CaptureFormat.h"
#include "core/Expected.h"

namespace kalindor {

// One capturable source as a sound server or audio system lists it.
struct SoundSourceInfo {
    std::string name;          // what --input takes
    std::string description;   // for people
    bool monitor = false;      // the monitor of an output (what the computer plays)
    bool application = false;  // one program's playback stream ("app:NAME")
};

// The prefix of an --input choice that names a playing program rather than a source.
inline constexpr std::string_view kApplicationPrefix = "app:";

// A sound source delivering unsigned 8-bit mono samples (128 = silence) at 32000 Hz.
// A backend captures continuously on its own thread into a lock-free ring; the main thread
// takes snapshots from it without blocking. Every method is called on the main thread.
class SoundInput {
  public:
    virtual ~SoundInput() = default;

    // Opens the source and starts capturing; the error is the failure detail.
    virtual Expected<void> open() = 0;
    // Stops capturing and closes the source; harmless when not open.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Non-blocking. When at least 256 samples have been captured since the previous taken
    // snapshot (or since open), copies the newest 256 into out[0..255] and returns true.
    virtual bool takeBuffer(std::uint8_t* out) = 0;
    // Milliseconds until takeBuffer can succeed (0 = now); lets the caller wait on a timer
    // instead of spinning.
    virtual int msUntilBufferReady() const = 0;
    // Milliseconds since the backend last delivered any sample (since open if none yet); a
    // long silence of the source itself (not of the music) means it has gone away.
    virtual std::int64_t msSinceLastData() const = 0;

    // True once a finite source (a file played without looping) has delivered its last
    // sample; a live source never ends.
    virtual bool ended() const { return false; }
    // Why the source stopped delivering, when the backend knows (server gone, stream
    // failed); empty otherwise.
    virtual std::string failureDetail() const { return {}; }
    // Total samples captured since open; tells the caller how far apart two snapshots are.
    virtual std::uint64_t samplesCaptured() const = 0;
};

}  // namespace kalindor
