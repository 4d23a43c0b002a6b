// The audio renderer's PulseAudio playback stream: s16le PCM to the default sink (libpulse
// honours PULSE_SERVER and PULSE_SINK), with the renderer's volume, its played position, a flush
// that drops what is buffered, and a drain that tells when the last sample has been heard.
//
// The server's buffer paces playback: Write blocks while it is full (always while corked once
// it has filled), and BeginFlush or Close release a blocked Write at once. The buffer holds about
// a quarter of a second, which bounds both the delay of a volume change and how far the played
// position trails what was written.
//
// The played position is what was written since the last flush less what the server still
// holds (pa_stream_get_latency, interpolated between timing updates), kept from going backwards.
//
// Threads: Start, Close, SetCorked, SetVolume, BeginFlush, EndFlush and Played on the graph's
// thread; Write and Drain on the streaming thread. The drained callback runs on this stream's
// PulseAudio main loop thread. The graph's thread never waits for the streaming thread: Close
// and BeginFlush only wake it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "PulseConnection.h"

#include <pulse/stream.h>

class AudioRendererStream
{
public:
    // Runs on the PulseAudio thread when a drain completed; not after BeginFlush or Close.
    using DrainedCallback = std::function<void()>;

    AudioRendererStream() = default;
    ~AudioRendererStream();
    AudioRendererStream(const AudioRendererStream&) = delete;
    AudioRendererStream& operator=(const AudioRendererStream&) = delete;

    // Connects (the first time, or after the server went away) and opens a corked stream.
    // PULSE_E_SERVER_UNAVAILABLE without a server.
    HRESULT Start(uint32_t rate, uint32_t channels, std::string* error = nullptr);
    // Ends the stream, dropping what it holds, and releases a blocked Write. Safe to call twice.
    void Close();
    HRESULT SetCorked(bool corked);
    // Hundredths of a decibel, -10000 (silence) to 0; kept for streams opened later.
    HRESULT SetVolume(LONG volume);
    LONG Volume() const { return volume; }
    void BeginFlush();
    void EndFlush();
    // The time played since the last flush (or Start), in 100-nanosecond units.
    REFERENCE_TIME Played();

    // Streaming thread: writes all of the data; S_FALSE when a flush or Close interrupted it,
    // PULSE_E_DEVICE_LOST when the stream died.
    HRESULT Write(const uint8_t* data, size_t bytes);
    // Streaming thread: plays out what is buffered, then calls `drained`. S_FALSE when there is no
    // stream to drain.
    HRESULT Drain(DrainedCallback drained);

private:
    static void OnStreamEvent(pa_stream* stream, void* userdata);
    static void OnWritable(pa_stream* stream, size_t bytes, void* userdata);
    static void OnDrained(pa_stream* stream, int success, void* userdata);
    // With the lock held.
    void CancelDrain();
    void ApplyVolume();

    std::unique_ptr<PulseConnection> connection;
    // Guarded by the main loop lock.
    pa_stream* stream = nullptr;
    pa_sample_spec streamFormat{};
    bool interrupted = false; // a flush or Close is under way: Write gives up
    uint64_t written = 0;     // bytes since the last flush
    pa_usec_t lastPlayed = 0;
    pa_operation* drain = nullptr;
    DrainedCallback drained;
    LONG volume = 0; // written on the graph's thread, read under the lock
};
