// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/PulseSoundInput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cctype>
#include <tuple>
#include <utility>

namespace kalindor {

namespace {

constexpr pa_usec_t kConnectTimeoutUsec = 3 * PA_USEC_PER_SEC;
// Largest piece the server sends at once, and (with PA_STREAM_ADJUST_LATENCY) the source
// latency it is asked for: 256 samples = 8 ms, one snapshot. A fresh snapshot is then complete
// at most about 8 ms after its last sample was captured, well inside the 30..100 ms tick. A
// smaller request buys little latency but makes the server run the source (for a monitor, the
// whole sink) in smaller blocks and wake this process for every block: at 4 ms both the server
// and the mainloop thread here spent about twice the CPU.
constexpr std::uint32_t kFragmentBytes = kBufferSamples;

std::string pulseError(pa_context* context) {
    return std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context));
}

// A mainloop thread with a context. Waits happen with the mainloop locked; every callback
// used with it signals the mainloop, and a timeout event ends any wait that takes too long.
class Connection {
  public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { release(); }

    // Connects to the server; the error is the failure detail. On success the mainloop stays
    // locked until unlock().
    Expected<void> connect() {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) {
            return unexpected("PulseAudio: cannot start the mainloop thread");
        }
        pa_threaded_mainloop_lock(loop_);
        locked_ = true;
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Kalindor");
        if (context_ == nullptr) {
            return unexpected("PulseAudio: cannot create a context");
        }
        pa_context_set_state_callback(context_, &Connection::signalLoop, loop_);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return unexpected(pulseError(context_));
        }
        armTimeout();
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                disarmTimeout();
                return {};
            }
            if (!PA_CONTEXT_IS_GOOD(state)) {
                return unexpected(pulseError(context_));
            }
            if (timedOut_) {
                return unexpected("PulseAudio: the server did not answer in time");
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }

    // Waits (mainloop locked) until the operation is done, failed or the time is up.
    bool waitFor(pa_operation* operation) {
        if (operation == nullptr) {
            return false;
        }
        armTimeout();
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && !timedOut_ &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            pa_threaded_mainloop_wait(loop_);
        }
        const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        if (!done) {
            pa_operation_cancel(operation);
        }
        pa_operation_unref(operation);
        disarmTimeout();
        return done;
    }

    // Waits (mainloop locked) until the stream is ready or failed or the time is up.
    Expected<void> waitReady(pa_stream* stream) {
        armTimeout();
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (state == PA_STREAM_READY) {
                disarmTimeout();
                return {};
            }
            if (!PA_STREAM_IS_GOOD(state)) {
                disarmTimeout();
                return unexpected(pulseError(context_));
            }
            if (timedOut_) {
                disarmTimeout();
                return unexpected("PulseAudio: the source did not start in time");
            }
            pa_threaded_mainloop_wait(loop_);
        }
    }

    void unlock() {
        if (locked_) {
            locked_ = false;
            pa_threaded_mainloop_unlock(loop_);
        }
    }

    void release() {
        if (loop_ == nullptr) {
            return;
        }
        if (!locked_) {
            pa_threaded_mainloop_lock(loop_);
            locked_ = true;
        }
        disarmTimeout();
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        unlock();
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }

    // Hands the mainloop and context over to an owner that frees them itself.
    std::pair<pa_threaded_mainloop*, pa_context*> detach() {
        disarmTimeout();
        auto result = std::make_pair(loop_, context_);
        loop_ = nullptr;
        context_ = nullptr;
        locked_ = false;
        return result;
    }

    pa_threaded_mainloop* loop() const { return loop_; }
    pa_context* context() const { return context_; }

    static void signalLoop(pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
    }

  private:
    static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* connection = static_cast<Connection*>(self);
        connection->timedOut_ = true;
        pa_threaded_mainloop_signal(connection->loop_, 0);
    }

    void armTimeout() {
        disarmTimeout();
        timedOut_ = false;
        timeout_ = pa_context_rttime_new(context_, pa_rtclock_now() + kConnectTimeoutUsec,
                                         &Connection::onTimeout, this);
    }
    void disarmTimeout() {
        if (timeout_ != nullptr) {
            pa_threaded_mainloop_get_api(loop_)->time_free(timeout_);
            timeout_ = nullptr;
        }
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* timeout_ = nullptr;
    bool locked_ = false;
    bool timedOut_ = false;
};

struct ServerInfoRequest {
    pa_threaded_mainloop* loop;
    std::string defaultSink;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* request = static_cast<ServerInfoRequest*>(userdata);
    if (info != nullptr && info->default_sink_name != nullptr) {
        request->defaultSink = info->default_sink_name;
    }
    pa_threaded_mainloop_signal(request->loop, 0);
}

struct SourceListRequest {
    pa_threaded_mainloop* loop;
    std::vector<SoundSourceInfo> sources;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* request = static_cast<SourceListRequest*>(userdata);
    if (eol == 0 && info != nullptr) {
        request->sources.push_back({info->name != nullptr ? info->name : "",
                                    info->description != nullptr ? info->description : "",
                                    info->monitor_of_sink != PA_INVALID_INDEX});
    }
    pa_threaded_mainloop_signal(request->loop, 0);
}

// One program's playback stream (a sink input).
struct PlaybackStream {
    std::uint32_t index = PA_INVALID_INDEX;
    std::uint32_t sink = PA_INVALID_INDEX;
    std::string application;  // application.name
    std::string binary;       // application.process.binary
    std::string media;        // media.name, e.g. the page or song
    bool playing = false;     // not corked
};

struct PlaybackListRequest {
    pa_threaded_mainloop* loop;
    std::vector<PlaybackStream> streams;
};

std::string property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    return value != nullptr ? value : "";
}

void onSinkInputInfo(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
    auto* request = static_cast<PlaybackListRequest*>(userdata);
    if (eol == 0 && info != nullptr) {
        request->streams.push_back(
            {info->index, info->sink, property(info->proplist, PA_PROP_APPLICATION_NAME),
             property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY),
             property(info->proplist, PA_PROP_MEDIA_NAME), info->corked == 0});
    }
    pa_threaded_mainloop_signal(request->loop, 0);
}

// The name "app:NAME" lists a stream by: its application name, else its binary.
std::string applicationName(const PlaybackStream& stream) {
    return !stream.application.empty() ? stream.application : stream.binary;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

struct SinkMonitorRequest {
    pa_threaded_mainloop* loop;
    std::string monitor;
};

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* request = static_cast<SinkMonitorRequest*>(userdata);
    if (eol == 0 && info != nullptr && info->monitor_source_name != nullptr) {
        request->monitor = info->monitor_source_name;
    }
    pa_threaded_mainloop_signal(request->loop, 0);
}

Expected<std::vector<PlaybackStream>> listPlayback(Connection& connection) {
    PlaybackListRequest request{connection.loop(), {}};
    if (!connection.waitFor(pa_context_get_sink_input_info_list(connection.context(),
                                                                &onSinkInputInfo, &request))) {
        return unexpected("PulseAudio: the server did not list the programs playing");
    }
    return request.streams;
}

// Where to record the program `name`: the monitor of the sink its first playing stream plays
// to, and that stream's index.
Expected<std::pair<std::string, std::uint32_t>> findApplication(Connection& connection,
                                                                std::string_view name) {
    Expected<std::vector<PlaybackStream>> streams = listPlayback(connection);
    if (!streams) {
        return unexpected(std::move(streams).error());
    }
    const auto found = std::ranges::find_if(*streams, [&](const PlaybackStream& stream) {
        return stream.playing &&
               (sameName(stream.application, name) || sameName(stream.binary, name));
    });
    if (found == streams->end()) {
        return unexpected("PulseAudio: no program named '" + std::string(name) + "' is playing");
    }
    SinkMonitorRequest request{connection.loop(), {}};
    if (!connection.waitFor(pa_context_get_sink_info_by_index(connection.context(), found->sink,
                                                              &onSinkInfo, &request)) ||
        request.monitor.empty()) {
        return unexpected("PulseAudio: the output of '" + std::string(name) + "' has no monitor");
    }
    return std::make_pair(request.monitor, found->index);
}

void signalStreamLoop(pa_stream*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

PulseSoundInput::PulseSoundInput(std::string source) : source_(std::move(source)) {}

PulseSoundInput::~PulseSoundInput() {
    close();
}

Expected<void> PulseSoundInput::open() {
    if (isOpen()) {
        return {};
    }
    Connection connection;
    if (Expected<void> connected = connection.connect(); !connected) {
        return connected;
    }
    std::string device = source_;
    if (source_ == "monitor") {
        ServerInfoRequest request{connection.loop(), {}};
        if (!connection.waitFor(
                pa_context_get_server_info(connection.context(), &onServerInfo, &request)) ||
            request.defaultSink.empty()) {
            return unexpected("PulseAudio: the server names no default output to monitor");
        }
        device = request.defaultSink + ".monitor";
    }
    std::uint32_t monitoredStream = PA_INVALID_INDEX;
    if (source_.starts_with(kApplicationPrefix)) {
        Expected<std::pair<std::string, std::uint32_t>> application = findApplication(
            connection, std::string_view(source_).substr(kApplicationPrefix.size()));
        if (!application) {
            return unexpected(std::move(application).error());
        }
        std::tie(device, monitoredStream) = *application;
    }

    const pa_sample_spec format{PA_SAMPLE_U8, static_cast<std::uint32_t>(kSampleRate), 1};
    pa_stream* stream = pa_stream_new(connection.context(), "Kalindor capture", &format, nullptr);
    if (stream == nullptr) {
        return unexpected(pulseError(connection.context()));
    }
    pa_stream_set_state_callback(stream, &signalStreamLoop, connection.loop());
    pa_stream_flags_t flags = PA_STREAM_ADJUST_LATENCY;
    if (monitoredStream != PA_INVALID_INDEX) {
        // Only that stream's sound, taken before it is mixed into its output; the recording
        // follows the stream and ends with it (reported as a lost input).
        pa_stream_set_monitor_stream(stream, monitoredStream);
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
    }
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(-1);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = kFragmentBytes;
    ring_.reset();
    failedError_.store(0);
    const char* deviceName = device == "default" ? nullptr : device.c_str();
    Expected<void> ready;
    if (pa_stream_connect_record(stream, deviceName, &attributes, flags) < 0) {
        ready = unexpected(pulseError(connection.context()));
    } else {
        ready = connection.waitReady(stream);
    }
    if (!ready) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        if (device != "default") {
            ready.error() += " (source '" + device + "')";
        }
        return ready;
    }

    // From here the mainloop thread feeds the ring; the state callbacks only note failures.
    std::tie(mainloop_, context_) = connection.detach();
    stream_ = stream;
    pa_context_set_state_callback(context_, &PulseSoundInput::onContextState, this);
    pa_stream_set_state_callback(stream_, &PulseSoundInput::onStreamState, this);
    pa_stream_set_read_callback(stream_, &PulseSoundInput::onStreamRead, this);
    pa_threaded_mainloop_unlock(mainloop_);
    return {};
}

void PulseSoundInput::close() {
    release();
}

void PulseSoundInput::release() {
    if (mainloop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (stream_ != nullptr) {
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
    mainloop_ = nullptr;
}

std::string PulseSoundInput::failureDetail() const {
    const int error = failedError_.load();
    if (error == 0) {
        return {};
    }
    return std::string("PulseAudio: ") + pa_strerror(error);
}

void PulseSoundInput::onContextState(pa_context* context, void* self) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        const int error = pa_context_errno(context);
        static_cast<PulseSoundInput*>(self)->failedError_.store(
            error != 0 ? error : PA_ERR_CONNECTIONTERMINATED);
    }
}

void PulseSoundInput::onStreamState(pa_stream* stream, void* self) {
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        const int error = pa_context_errno(pa_stream_get_context(stream));
        static_cast<PulseSoundInput*>(self)->failedError_.store(error != 0 ? error
                                                                           : PA_ERR_NOENTITY);
    }
}

// The mainloop thread's per-fragment path: no locks of ours, no allocation, no I/O.
void PulseSoundInput::onStreamRead(pa_stream* stream, std::size_t, void* self) {
    auto* input = static_cast<PulseSoundInput*>(self);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        // data == nullptr marks a hole: the server lost samples there; they count as silence.
        input->ring_.write(static_cast<const std::uint8_t*>(data), bytes);
        pa_stream_drop(stream);
    }
}

bool PulseSoundInput::serverAnswers() {
    Connection connection;
    return connection.connect().has_value();
}

Expected<std::vector<SoundSourceInfo>> PulseSoundInput::listSources() {
    Connection connection;
    if (Expected<void> connected = connection.connect(); !connected) {
        return unexpected(std::move(connected).error());
    }
    SourceListRequest request{connection.loop(), {}};
    if (!connection.waitFor(
            pa_context_get_source_info_list(connection.context(), &onSourceInfo, &request))) {
        return unexpected("PulseAudio: the server did not list its sources");
    }
    Expected<std::vector<PlaybackStream>> streams = listPlayback(connection);
    if (!streams) {
        return unexpected(std::move(streams).error());
    }
    for (const PlaybackStream& stream : *streams) {
        const std::string name = applicationName(stream);
        // A name listed once: "app:NAME" captures the first of its streams playing anyway.
        const std::string choice = std::string(kApplicationPrefix) + name;
        if (name.empty() || std::ranges::any_of(request.sources, [&](const SoundSourceInfo& s) {
                return s.name == choice;
            })) {
            continue;
        }
        std::string description = name;
        if (!stream.binary.empty() && stream.binary != name) {
            description += " (" + stream.binary + ")";
        }
        if (!stream.media.empty()) {
            description += ": " + stream.media;
        }
        request.sources.push_back({choice, description, false, true});
    }
    return request.sources;
}

}  // namespace kalindor
