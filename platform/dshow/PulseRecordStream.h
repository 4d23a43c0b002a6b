// A PulseAudio record stream on one source, delivering s16le PCM in short fragments.
//
// The stream asks the server for fragments of about 20 ms with latency adjustment: without
// that, a source delivers in 2-second bursts. Sources that ignore the request (a sine source)
// still burst. The stream never follows its source elsewhere: when the source disappears or the
// server dies, the stream reports PULSE_E_DEVICE_LOST once and stays dead until Stop.
//
// Threads: as PulseCaptureStream. Callbacks run on this stream's PulseAudio main loop thread with
// its lock held; Stop from another thread waits for a running callback to return, Stop from
// inside a callback returns at once. Start, Pause and Resume wait for the server (at most
// PulseConnection::DefaultTimeoutUsec); from inside a callback, Start fails with
// VFW_E_WRONG_STATE and Pause and Resume do not wait.
#pragma once

#include "PulseCaptureStream.h"
#include "PulseConnection.h"

#include <pulse/channelmap.h>
#include <pulse/stream.h>

#include <memory>
#include <string>
#include <vector>

class PulseRecordStream final : public PulseCaptureStream
{
public:
    struct Options
    {
        std::string server;          // empty: libpulse's default server
        PulseCaptureFormat format{}; // a zero rate or channel count takes the source's own
        uint32_t fragmentUsec = 20'000;
    };

    // Connects to the server and looks the source up; VFW_E_NOT_FOUND when it does not exist,
    // PULSE_E_SERVER_UNAVAILABLE when there is no server. The stream starts stopped.
    static HRESULT Create(const std::string& sourceName, const Options& options,
                          Callbacks callbacks, std::unique_ptr<PulseRecordStream>& stream,
                          std::string* error = nullptr);

    // Stops first. Not from inside a callback.
    ~PulseRecordStream() override;
    PulseRecordStream(const PulseRecordStream&) = delete;
    PulseRecordStream& operator=(const PulseRecordStream&) = delete;

    PulseCaptureFormat Format() const override { return format; }
    HRESULT Start(std::string* error = nullptr) override;
    HRESULT Pause(std::string* error = nullptr) override;
    HRESULT Resume(std::string* error = nullptr) override;
    void Stop() override;

private:
    PulseRecordStream(std::unique_ptr<PulseConnection> connection, std::string sourceName,
                      PulseCaptureFormat format, const pa_channel_map& channelMap,
                      uint32_t fragmentUsec, Callbacks callbacks);

    static void OnState(pa_stream* stream, void* userdata);
    static void OnRead(pa_stream* stream, size_t bytes, void* userdata);

    HRESULT Cork(bool cork, const char* what, std::string* error);
    void ReadAvailable(pa_stream* from);
    void Deliver(const uint8_t* data, size_t bytes);
    void Emit(const uint8_t* data, size_t bytes);
    void ReportLost(const std::string& message);
    void Detach(pa_stream* from);
    void ReleaseRetired();

    // Everything below is guarded by the main loop lock.
    std::unique_ptr<PulseConnection> connection;
    const std::string sourceName;
    const PulseCaptureFormat format;
    const pa_channel_map channelMap;
    const uint32_t fragmentUsec;
    const Callbacks callbacks;

    pa_stream* stream = nullptr;
    // Disconnected streams; released outside callbacks, since one may be calling us right now.
    std::vector<pa_stream*> retired;
    bool running = false; // connected and ready; failures are reported only while this holds
    bool lost = false;    // the running stream died and said so
    uint64_t position = 0;
    std::vector<uint8_t> partialFrame;
    std::vector<uint8_t> silence;
};
