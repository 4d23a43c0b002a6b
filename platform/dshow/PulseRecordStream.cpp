#include "PulseRecordStream.h"

#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <pulse/error.h>
#include <pulse/introspect.h>

#include <algorithm>

namespace {

struct SourceLookup
{
    bool found = false;
    pa_sample_spec sampleFormat{};
    pa_channel_map channelMap{};

    static void OnSource(pa_context*, const pa_source_info* source, int eol, void* userdata)
    {
        auto* lookup = static_cast<SourceLookup*>(userdata);
        if (eol == 0 && source) {
            lookup->found = true;
            lookup->sampleFormat = source->sample_spec;
            lookup->channelMap = source->channel_map;
        }
    }
};

void OnSuccess(pa_stream*, int success, void* userdata)
{
    *static_cast<int*>(userdata) = success;
}

} // namespace

HRESULT PulseRecordStream::Create(const std::string& sourceName, const Options& options,
                                  Callbacks callbacks, std::unique_ptr<PulseRecordStream>& stream,
                                  std::string* error)
{
    stream.reset();
    std::unique_ptr<PulseConnection> connection;
    HRESULT hr = PulseConnection::Open("Quillet capture", options.server, connection, error);
    if (FAILED(hr))
        return hr;

    SourceLookup lookup;
    {
        PulseConnection::Lock lock(*connection);
        pa_operation* operation = pa_context_get_source_info_by_name(
            connection->Context(), sourceName.c_str(), SourceLookup::OnSource, &lookup);
        if (!connection->Complete(operation, "looking up a source", error))
            return connection->IsReady() ? E_FAIL : PULSE_E_SERVER_UNAVAILABLE;
    }
    if (!lookup.found) {
        if (error)
            *error = "PulseAudio: no source named '" + sourceName + "'";
        return VFW_E_NOT_FOUND;
    }

    PulseCaptureFormat format = options.format;
    if (format.rate == 0)
        format.rate = lookup.sampleFormat.rate;
    if (format.channels == 0)
        format.channels = lookup.sampleFormat.channels;
    pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, format.rate, uint8_t(format.channels)};
    if (format.channels > PA_CHANNELS_MAX || !pa_sample_spec_valid(&sampleFormat)) {
        if (error)
            *error = "PulseAudio: cannot record " + std::to_string(format.channels) +
                     " channels at " + std::to_string(format.rate) + " Hz";
        return E_INVALIDARG;
    }
    // The source's own layout avoids a remix when the channel counts agree.
    pa_channel_map channelMap = lookup.channelMap;
    if (format.channels != lookup.sampleFormat.channels)
        pa_channel_map_init_extend(&channelMap, format.channels, PA_CHANNEL_MAP_DEFAULT);

    stream.reset(new (std::nothrow)
                     PulseRecordStream(std::move(connection), sourceName, format, channelMap,
                                       options.fragmentUsec, std::move(callbacks)));
    return stream ? S_OK : E_OUTOFMEMORY;
}

PulseRecordStream::PulseRecordStream(std::unique_ptr<PulseConnection> connection,
                                     std::string sourceName, PulseCaptureFormat format,
                                     const pa_channel_map& channelMap, uint32_t fragmentUsec,
                                     Callbacks callbacks)
    : connection(std::move(connection)), sourceName(std::move(sourceName)), format(format),
      channelMap(channelMap), fragmentUsec(fragmentUsec), callbacks(std::move(callbacks))
{
}

PulseRecordStream::~PulseRecordStream()
{
    Stop();
    PulseConnection::Lock lock(*connection);
    ReleaseRetired();
}

HRESULT PulseRecordStream::Start(std::string* error)
{
    PulseConnection::Lock lock(*connection);
    if (connection->InMainLoopThread()) {
        if (error)
            *error = "PulseAudio: a record stream cannot start from its own callback";
        return VFW_E_WRONG_STATE;
    }
    if (stream)
        return S_FALSE;
    ReleaseRetired();
    if (!connection->IsReady()) {
        if (error)
            *error =
                "PulseAudio: the connection to the server is lost: " + connection->LastErrorText();
        return PULSE_E_DEVICE_LOST;
    }

    pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, format.rate, uint8_t(format.channels)};
    pa_stream* created =
        pa_stream_new(connection->Context(), "Quillet recording", &sampleFormat, &channelMap);
    if (!created) {
        if (error)
            *error = "PulseAudio: cannot create a record stream: " + connection->LastErrorText();
        return E_FAIL;
    }
    pa_stream_set_state_callback(created, OnState, this);
    pa_stream_set_read_callback(created, OnRead, this);

    // A small fragment with latency adjustment makes the server send about every fragmentUsec;
    // the other fields keep their defaults.
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(-1);
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(pa_usec_to_bytes(fragmentUsec, &sampleFormat));
    // DONT_MOVE: a capture device that disappears is lost, not silently replaced by another.
    auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);

    stream = created;
    position = 0;
    lost = false;
    partialFrame.clear();
    if (pa_stream_connect_record(created, sourceName.c_str(), &attributes, flags) == 0) {
        connection->WaitUntil([created] {
            pa_stream_state_t state = pa_stream_get_state(created);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
    }
    if (pa_stream_get_state(created) != PA_STREAM_READY) {
        int code = pa_context_errno(connection->Context());
        std::string message = "PulseAudio: cannot record from '" + sourceName +
                              "': " + (code ? pa_strerror(code) : "no answer within 5 s");
        QUILLET_LOG("pulse", "%s", message.c_str());
        if (error)
            *error = message;
        Detach(created);
        ReleaseRetired();
        return code == PA_ERR_NOENTITY ? VFW_E_NOT_FOUND : E_FAIL;
    }
    running = true;
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(created);
    QUILLET_LOG("pulse", "record stream %p on %s: %u Hz, %u channels, fragment %u bytes",
                static_cast<void*>(this), sourceName.c_str(), format.rate, format.channels,
                granted ? granted->fragsize : 0);
    return S_OK;
}

HRESULT PulseRecordStream::Pause(std::string* error)
{
    return Cork(true, "pausing", error);
}

HRESULT PulseRecordStream::Resume(std::string* error)
{
    return Cork(false, "resuming", error);
}

HRESULT PulseRecordStream::Cork(bool cork, const char* what, std::string* error)
{
    PulseConnection::Lock lock(*connection);
    if (!stream) {
        if (error)
            *error = std::string("PulseAudio: ") + what + " a record stream that is not started";
        return VFW_E_WRONG_STATE;
    }
    if (lost || !running) {
        if (error)
            *error = std::string("PulseAudio: ") + what + " a record stream whose device is lost";
        return PULSE_E_DEVICE_LOST;
    }
    int success = 0;
    pa_operation* operation = pa_stream_cork(stream, cork ? 1 : 0, OnSuccess, &success);
    if (connection->InMainLoopThread()) {
        // A callback cannot wait for the answer it would itself have to dispatch.
        if (operation) {
            pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
        return operation ? S_OK : E_FAIL;
    }
    if (!connection->Complete(operation, what, error))
        return connection->IsReady() ? E_FAIL : PULSE_E_DEVICE_LOST;
    if (!success) {
        if (error)
            *error = std::string("PulseAudio: ") + what + " the record stream on '" + sourceName +
                     "': " + connection->LastErrorText();
        return E_FAIL;
    }
    QUILLET_LOG("pulse", "record stream %p %s at frame %llu", static_cast<void*>(this),
                cork ? "paused" : "resumed", static_cast<unsigned long long>(position));
    return S_OK;
}

void PulseRecordStream::Stop()
{
    PulseConnection::Lock lock(*connection);
    if (!stream)
        return;
    QUILLET_LOG("pulse", "record stream %p stopped after %llu frames", static_cast<void*>(this),
                static_cast<unsigned long long>(position));
    Detach(stream);
    if (!connection->InMainLoopThread())
        ReleaseRetired();
}

void PulseRecordStream::Detach(pa_stream* from)
{
    pa_stream_set_state_callback(from, nullptr, nullptr);
    pa_stream_set_read_callback(from, nullptr, nullptr);
    // A stream that already failed (its source or server is gone) has nothing to disconnect.
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(from)))
        pa_stream_disconnect(from);
    retired.push_back(from);
    if (stream == from)
        stream = nullptr;
    running = false;
}

void PulseRecordStream::ReleaseRetired()
{
    for (pa_stream* old : retired)
        pa_stream_unref(old);
    retired.clear();
}

void PulseRecordStream::OnState(pa_stream* from, void* userdata)
{
    auto* self = static_cast<PulseRecordStream*>(userdata);
    self->connection->Signal();
    pa_stream_state_t state = pa_stream_get_state(from);
    if (from != self->stream || PA_STREAM_IS_GOOD(state) || !self->running)
        return;
    self->ReportLost("PulseAudio: the record stream on '" + self->sourceName +
                     "' ended: " + pa_strerror(pa_context_errno(self->connection->Context())));
}

void PulseRecordStream::OnRead(pa_stream* from, size_t, void* userdata)
{
    static_cast<PulseRecordStream*>(userdata)->ReadAvailable(from);
}

void PulseRecordStream::ReadAvailable(pa_stream* from)
{
    while (from == stream && running) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(from, &data, &bytes) < 0) {
            ReportLost("PulseAudio: reading from '" + sourceName +
                       "': " + connection->LastErrorText());
            return;
        }
        if (bytes == 0)
            return;
        if (data) {
            Deliver(static_cast<const uint8_t*>(data), bytes);
        } else {
            // A hole: the server lost data. Silence in its place keeps positions true to time.
            QUILLET_LOG("pulse", "record stream %p: a hole of %zu bytes", static_cast<void*>(this),
                        bytes);
            try {
                silence.assign(bytes, 0);
                Deliver(silence.data(), silence.size());
            } catch (const std::bad_alloc&) {
                QUILLET_LOG("pulse", "record stream %p: out of memory", static_cast<void*>(this));
            }
        }
        // Stop may have run inside the callback; the stream is then disconnected.
        if (from != stream || !running)
            return;
        pa_stream_drop(from);
    }
}

void PulseRecordStream::Deliver(const uint8_t* data, size_t bytes)
{
    const size_t frameBytes = format.FrameBytes();
    if (partialFrame.empty() && bytes % frameBytes == 0) {
        Emit(data, bytes);
        return;
    }
    // The server hands out whole frames; should a read ever split one, carry the rest over.
    try {
        partialFrame.insert(partialFrame.end(), data, data + bytes);
    } catch (const std::bad_alloc&) {
        QUILLET_LOG("pulse", "record stream %p: out of memory", static_cast<void*>(this));
        return;
    }
    size_t whole = partialFrame.size() / frameBytes * frameBytes;
    if (whole == 0)
        return;
    std::vector<uint8_t> frames(partialFrame.begin(), partialFrame.begin() + long(whole));
    partialFrame.erase(partialFrame.begin(), partialFrame.begin() + long(whole));
    Emit(frames.data(), frames.size());
}

void PulseRecordStream::Emit(const uint8_t* data, size_t bytes)
{
    PulseCaptureChunk chunk;
    chunk.data = data;
    chunk.bytes = bytes;
    chunk.position = position;
    chunk.frames = uint32_t(bytes / format.FrameBytes());
    position += chunk.frames;
    if (!callbacks.onData)
        return;
    try {
        callbacks.onData(chunk);
    } catch (...) {
        // Nothing may unwind through libpulse; the consumer's failure is its own to report.
        QUILLET_LOG("pulse", "record stream %p: the data callback threw", static_cast<void*>(this));
    }
}

void PulseRecordStream::ReportLost(const std::string& message)
{
    if (lost)
        return;
    lost = true;
    running = false;
    QUILLET_LOG("pulse", "record stream %p: %s", static_cast<void*>(this), message.c_str());
    if (!callbacks.onError)
        return;
    try {
        callbacks.onError(PULSE_E_DEVICE_LOST, message);
    } catch (...) {
        QUILLET_LOG("pulse", "record stream %p: the error callback threw",
                    static_cast<void*>(this));
    }
}
