// The audio capture filter of one device: the "Capture" output pin delivers 16-bit PCM from the
// device's capture stream (a PulseAudio record stream or a virtual device), and one input pin
// per recording line carries the mixer.
//
// States: Pause from stopped opens and starts the stream and is paused at once. A live source
// cannot cue data ahead of running, so GetState answers VFW_S_CANT_CUE while paused and never
// waits for the stream: a server that delivers late, or never, must not stall whoever asks for
// the state (the engine asks on its client's thread ten times a second). Data that comes while
// paused is dropped and the stream is held. Run delivers (resuming a held stream). Stop ends the
// stream at once, without waiting for the server. A stream that dies raises EC_DEVICE_LOST.
//
// Threads: the IBaseFilter and mixer methods run on the graph's thread. Samples are delivered on
// the capture stream's thread, with start times from the stream's frame position; that thread
// shares only atomics with the graph's thread and never waits for it.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "BaseFilter.h"
#include "CaptureDevice.h"
#include "CaptureLinePin.h"
#include "CaptureOutputPin.h"
#include "ExtendInterfaces.h"
#include "PulseCaptureStream.h"

class PulseSources;
class VirtualDeviceStream;

class AudioCaptureFilter final : public ExtendInterfaces<BaseFilter, ICaptureProgress>
{
public:
    // May throw std::bad_alloc.
    AudioCaptureFilter(IUnknown* outer, ModuleLock* module, const CaptureDevice& device);
    ~AudioCaptureFilter() override;

    size_t PinCount() override;
    BasePin* PinAt(size_t index) override;
    HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType) override;
    HRESULT GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType) override;

    // The mixer of the lines (graph's thread).
    HRESULT SelectLine(size_t index);
    HRESULT IsLineSelected(size_t index, bool* selected);
    HRESULT GetLevel(double* level);
    HRESULT SetLevel(double level);

    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;

    // ICaptureProgress: what the output pin has delivered since the stream started.
    HRESULT GetCapturedTime(REFERENCE_TIME* pTime) override;

protected:
    HRESULT OnPause(FILTER_STATE previous) override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    void OnStop() override;

private:
    HRESULT OpenStream();
    HRESULT OpenSources();
    // Capture stream thread.
    void OnData(const PulseCaptureChunk& chunk);
    void OnError(HRESULT hr, const std::string& message);
    // Any thread: holds the stream unless it is held already.
    void HoldStream();

    const CaptureDevice device;
    std::vector<std::unique_ptr<CaptureLinePin>> lines;
    std::unique_ptr<CaptureOutputPin> output; // null for a device without a capture output

    std::unique_ptr<PulseCaptureStream> stream;
    VirtualDeviceStream* virtualStream = nullptr; // `stream`, when the device is virtual
    std::unique_ptr<PulseSources> sources;        // for the mixer, opened on first use
    size_t virtualLine = 0;                       // the selected line of a virtual device
    double virtualLevel;

    // Shared by the graph's thread and the stream's thread.
    std::atomic<bool> held{false};
    std::atomic<REFERENCE_TIME> capturedTime{0}; // end of the last buffer delivered
    // Stream thread only (reset while no stream runs).
    uint64_t droppedFrames = 0;
    uint32_t rate = 0;
};
