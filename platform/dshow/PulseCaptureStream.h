// A live capture stream of 16-bit little-endian PCM: the shape shared by the PulseAudio record
// stream (PulseRecordStream) and the virtual capture devices (VirtualDeviceStream), so that a
// capture filter drives either alike.
//
// Threads: Start, Pause, Resume, Stop and the destructor may be called from any thread, one at a
// time. The callbacks run on the stream's own delivery thread (a PulseAudio main loop thread or a
// generator thread), never two at once. Stop may also be called from inside a callback; the
// destructor may not. A callback must not wait for the thread that calls Stop, Pause or Resume.
#pragma once

#include "com/Types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The stream lost its device: the source was removed or the server went away.
// ERROR_DEVICE_NOT_CONNECTED (1167) as an HRESULT.
inline constexpr HRESULT PULSE_E_DEVICE_LOST = HRESULT_FROM_WIN32(1167);
// No PulseAudio server answered. RPC_S_SERVER_UNAVAILABLE (1722) as an HRESULT.
inline constexpr HRESULT PULSE_E_SERVER_UNAVAILABLE = HRESULT_FROM_WIN32(1722);

// Sample rate and channel count of a stream; the samples are always s16le, interleaved.
struct PulseCaptureFormat
{
    uint32_t rate = 0;     // frames per second
    uint32_t channels = 0; // interleaved samples per frame

    uint32_t FrameBytes() const { return channels * 2; }
    bool operator==(const PulseCaptureFormat&) const = default;
};

// One delivered piece of audio. The data is valid only during the callback.
struct PulseCaptureChunk
{
    const uint8_t* data = nullptr; // s16le interleaved, whole frames
    size_t bytes = 0;
    uint64_t position = 0; // frames delivered before this chunk since Start; paused time excluded
    uint32_t frames = 0;   // frames in this chunk
};

class PulseCaptureStream
{
public:
    // Receives each chunk in order; chunk positions are contiguous.
    using DataCallback = std::function<void(const PulseCaptureChunk& chunk)>;
    // Reports, at most once per Start, that the running stream died (PULSE_E_DEVICE_LOST).
    using ErrorCallback = std::function<void(HRESULT hr, const std::string& message)>;

    struct Callbacks
    {
        DataCallback onData;
        ErrorCallback onError;
    };

    virtual ~PulseCaptureStream() = default;

    // The format of every chunk.
    virtual PulseCaptureFormat Format() const = 0;
    // Begins delivering from position 0; S_FALSE when already started.
    virtual HRESULT Start(std::string* error = nullptr) = 0;
    // Stops delivery without ending the stream; the paused time adds no frames.
    virtual HRESULT Pause(std::string* error = nullptr) = 0;
    // Continues after Pause, positions carrying on where they stopped.
    virtual HRESULT Resume(std::string* error = nullptr) = 0;
    // Ends delivery; no callback starts after it returns (unless called from a callback, when the
    // current one finishes first). Never blocks on the server. Safe to call twice.
    virtual void Stop() = 0;
};
