#include "AudioRendererStream.h"

#include <algorithm>

#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <pulse/channelmap.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/volume.h>

namespace {
// How much the server buffers ahead of playback.
constexpr pa_usec_t kBufferUsec = 250'000;

pa_volume_t PulseVolume(LONG volume)
{
    if (volume <= -10000)
        return PA_VOLUME_MUTED;
    return pa_sw_volume_from_dB(volume / 100.0);
}

void ReleaseOperation(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}
} // namespace

AudioRendererStream::~AudioRendererStream()
{
    Close();
}

HRESULT AudioRendererStream::Start(uint32_t rate, uint32_t channels, std::string* error)
{
    Close();
    if (!connection || !connection->IsReady()) {
        // No stream exists now, so no Write can be waiting on the old connection's loop.
        connection.reset();
        HRESULT hr = PulseConnection::Open("Quillet playback", "", connection, error);
        if (FAILED(hr))
            return hr;
    }
    PulseConnection::Lock lock(*connection);
    streamFormat = pa_sample_spec{PA_SAMPLE_S16LE, rate, uint8_t(channels)};
    pa_channel_map map;
    if (channels == 0 || channels > PA_CHANNELS_MAX || !pa_sample_spec_valid(&streamFormat) ||
        !pa_channel_map_init_extend(&map, channels, PA_CHANNEL_MAP_WAVEEX)) {
        if (error)
            *error = "PulseAudio: cannot play " + std::to_string(channels) + " channels at " +
                     std::to_string(rate) + " Hz";
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    pa_stream* created =
        pa_stream_new(connection->Context(), "Quillet playback", &streamFormat, &map);
    if (!created) {
        if (error)
            *error = "PulseAudio: cannot create a playback stream: " + connection->LastErrorText();
        return E_FAIL;
    }
    pa_stream_set_state_callback(created, OnStreamEvent, this);
    pa_stream_set_write_callback(created, OnWritable, this);

    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(pa_usec_to_bytes(kBufferUsec, &streamFormat));
    // Playback starts once a fifth of the buffer is there: the server's default (the whole
    // buffer) can exceed what it ever asks a client to write, and then nothing would play.
    attributes.prebuf = uint32_t(pa_usec_to_bytes(kBufferUsec / 5, &streamFormat));
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(-1);
    // Corked until Run; timing interpolated so that the position moves smoothly.
    auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                   PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    pa_cvolume initial;
    pa_cvolume_set(&initial, channels, PulseVolume(volume));
    stream = created;
    written = 0;
    lastPlayed = 0;
    interrupted = false;
    // A null device is the default sink, or the one PULSE_SINK names.
    if (pa_stream_connect_playback(created, nullptr, &attributes, flags, &initial, nullptr) == 0) {
        connection->WaitUntil([created] {
            pa_stream_state_t state = pa_stream_get_state(created);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
    }
    if (pa_stream_get_state(created) != PA_STREAM_READY) {
        std::string message =
            "PulseAudio: cannot open a playback stream: " + connection->LastErrorText();
        QUILLET_LOG("pulse", "%s", message.c_str());
        if (error)
            *error = message;
        pa_stream_set_state_callback(created, nullptr, nullptr);
        pa_stream_set_write_callback(created, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(created)))
            pa_stream_disconnect(created);
        pa_stream_unref(created);
        stream = nullptr;
        return E_FAIL;
    }
    QUILLET_LOG("pulse", "playback stream %p: %u Hz, %u channels on %s", static_cast<void*>(this),
                rate, channels, pa_stream_get_device_name(created));
    return S_OK;
}

void AudioRendererStream::Close()
{
    if (!connection)
        return;
    PulseConnection::Lock lock(*connection);
    interrupted = true;
    CancelDrain();
    if (stream) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_write_callback(stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
        QUILLET_LOG("pulse", "playback stream %p closed", static_cast<void*>(this));
    }
    // Wakes a Write waiting for room; it finds no stream and gives up.
    connection->Signal();
}

HRESULT AudioRendererStream::SetCorked(bool corked)
{
    if (!connection)
        return S_OK;
    PulseConnection::Lock lock(*connection);
    if (!stream)
        return S_OK;
    // Not waited for: the server applies it in order with what follows.
    pa_operation* operation = pa_stream_cork(stream, corked ? 1 : 0, nullptr, nullptr);
    if (!operation)
        return E_FAIL;
    ReleaseOperation(operation);
    QUILLET_LOG("pulse", "playback stream %p %s", static_cast<void*>(this),
                corked ? "corked" : "uncorked");
    return S_OK;
}

HRESULT AudioRendererStream::SetVolume(LONG newVolume)
{
    if (newVolume < -10000 || newVolume > 0)
        return E_INVALIDARG;
    if (!connection) {
        volume = newVolume;
        return S_OK;
    }
    PulseConnection::Lock lock(*connection);
    volume = newVolume;
    ApplyVolume();
    return S_OK;
}

void AudioRendererStream::ApplyVolume()
{
    if (!stream || pa_stream_get_state(stream) != PA_STREAM_READY)
        return;
    pa_cvolume levels;
    pa_cvolume_set(&levels, streamFormat.channels, PulseVolume(volume));
    ReleaseOperation(pa_context_set_sink_input_volume(
        connection->Context(), pa_stream_get_index(stream), &levels, nullptr, nullptr));
}

void AudioRendererStream::BeginFlush()
{
    if (!connection)
        return;
    PulseConnection::Lock lock(*connection);
    interrupted = true;
    CancelDrain();
    if (stream && pa_stream_get_state(stream) == PA_STREAM_READY)
        ReleaseOperation(pa_stream_flush(stream, nullptr, nullptr));
    written = 0;
    lastPlayed = 0;
    connection->Signal();
}

void AudioRendererStream::EndFlush()
{
    if (!connection)
        return;
    PulseConnection::Lock lock(*connection);
    interrupted = false;
}

REFERENCE_TIME AudioRendererStream::Played()
{
    if (!connection)
        return 0;
    PulseConnection::Lock lock(*connection);
    if (!stream || streamFormat.rate == 0)
        return REFERENCE_TIME(lastPlayed) * 10;
    pa_usec_t writtenUsec = pa_bytes_to_usec(written, &streamFormat);
    pa_usec_t latency = 0;
    int negative = 0;
    pa_usec_t played = lastPlayed;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0)
        played = negative ? writtenUsec : writtenUsec - std::min(latency, writtenUsec);
    lastPlayed = std::min(std::max(played, lastPlayed), writtenUsec);
    return REFERENCE_TIME(lastPlayed) * 10;
}

HRESULT AudioRendererStream::Write(const uint8_t* data, size_t bytes)
{
    if (!connection)
        return S_FALSE;
    PulseConnection::Lock lock(*connection);
    const size_t frameBytes = pa_frame_size(&streamFormat);
    while (bytes > 0) {
        if (interrupted || !stream)
            return S_FALSE;
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) || !connection->IsReady())
            return PULSE_E_DEVICE_LOST;
        size_t room = pa_stream_writable_size(stream);
        if (room == size_t(-1))
            return PULSE_E_DEVICE_LOST;
        size_t chunk = std::min(room, bytes) / frameBytes * frameBytes;
        if (chunk == 0) {
            // The write callback, a state change, a flush or Close signals the loop.
            pa_threaded_mainloop_wait(connection->MainLoop());
            continue;
        }
        if (pa_stream_write(stream, data, chunk, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return PULSE_E_DEVICE_LOST;
        written += chunk;
        data += chunk;
        bytes -= chunk;
    }
    return S_OK;
}

HRESULT AudioRendererStream::Drain(DrainedCallback callback)
{
    if (!connection)
        return S_FALSE;
    PulseConnection::Lock lock(*connection);
    if (!stream || interrupted || pa_stream_get_state(stream) != PA_STREAM_READY)
        return S_FALSE;
    CancelDrain();
    drained = std::move(callback);
    // The server also plays a buffer that never reached its start threshold when draining.
    drain = pa_stream_drain(stream, OnDrained, this);
    return drain ? S_OK : E_FAIL;
}

void AudioRendererStream::CancelDrain()
{
    if (!drain)
        return;
    pa_operation_cancel(drain);
    pa_operation_unref(drain);
    drain = nullptr;
    drained = nullptr;
}

void AudioRendererStream::OnStreamEvent(pa_stream*, void* userdata)
{
    static_cast<AudioRendererStream*>(userdata)->connection->Signal();
}

void AudioRendererStream::OnWritable(pa_stream*, size_t, void* userdata)
{
    static_cast<AudioRendererStream*>(userdata)->connection->Signal();
}

void AudioRendererStream::OnDrained(pa_stream*, int success, void* userdata)
{
    auto* self = static_cast<AudioRendererStream*>(userdata);
    DrainedCallback callback = std::move(self->drained);
    self->drained = nullptr;
    if (self->drain) {
        pa_operation_unref(self->drain);
        self->drain = nullptr;
    }
    if (!success || !callback)
        return;
    // Drained means heard: the position is the end of what was written, whatever the last
    // latency estimate said.
    if (self->streamFormat.rate != 0)
        self->lastPlayed = pa_bytes_to_usec(self->written, &self->streamFormat);
    try {
        callback();
    } catch (...) {
        // Nothing may unwind through libpulse.
        QUILLET_LOG("pulse", "playback stream %p: the drained callback threw", userdata);
    }
}
