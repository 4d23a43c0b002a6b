#include "AudioCaptureFilter.h"

#include "PulseRecordStream.h"
#include "PulseSources.h"
#include "VirtualDeviceStream.h"
#include "com/Bstr.h"
#include "com/DebugLog.h"

namespace {
constexpr WORD kBitsPerSample = 16; // every capture stream delivers s16le
constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;
} // namespace

AudioCaptureFilter::AudioCaptureFilter(IUnknown* outer, ModuleLock* module,
                                       const CaptureDevice& device)
    : ExtendInterfaces(outer, module, CLSID_AudioRecord), device(device),
      virtualLevel(device.virtualDevice.level)
{
    if (device.hasCaptureOutput)
        output = std::make_unique<CaptureOutputPin>(this);
    for (size_t i = 0; i < device.lines.size(); ++i)
        lines.push_back(std::make_unique<CaptureLinePin>(
            this, i, quillet::Utf8ToUtf16(device.lines[i].name),
            quillet::Utf8ToUtf16(device.lines[i].id), device.hasMixer));
}

AudioCaptureFilter::~AudioCaptureFilter()
{
    OnStop();
}

size_t AudioCaptureFilter::PinCount()
{
    return lines.size() + (output ? 1 : 0);
}

BasePin* AudioCaptureFilter::PinAt(size_t index)
{
    if (output) {
        if (index == 0)
            return output.get();
        --index;
    }
    return lines[index].get();
}

HRESULT AudioCaptureFilter::CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType)
{
    if (pin != output.get())
        return VFW_E_TYPE_NOT_ACCEPTED; // recording lines carry no stream
    const WAVEFORMATEX* format = WaveFormatOf(mediaType);
    if (mediaType.majortype != MEDIATYPE_Audio || mediaType.subtype != MEDIASUBTYPE_PCM ||
        !format || format->wFormatTag != WAVE_FORMAT_PCM ||
        format->wBitsPerSample != kBitsPerSample || format->nChannels == 0 ||
        format->nChannels > 8 || format->nSamplesPerSec == 0 ||
        format->nBlockAlign != format->nChannels * kBitsPerSample / 8)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // The server converts to any rate and channel count; a virtual device makes only its own.
    if (device.isVirtual &&
        (format->nSamplesPerSec != device.rate || format->nChannels != device.channels))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (format->nSamplesPerSec > 384000)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT AudioCaptureFilter::GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType)
{
    if (pin != output.get() || index > 0 || device.rate == 0 || device.channels == 0)
        return VFW_S_NO_MORE_ITEMS;
    return CreateAudioMediaType(mediaType, device.rate, WORD(device.channels), kBitsPerSample);
}

HRESULT AudioCaptureFilter::OpenStream()
{
    const WAVEFORMATEX* format = WaveFormatOf(output->ConnectedType());
    if (!format)
        return VFW_E_NOT_CONNECTED;
    PulseCaptureStream::Callbacks callbacks{
        [this](const PulseCaptureChunk& chunk) { OnData(chunk); },
        [this](HRESULT hr, const std::string& message) { OnError(hr, message); }};
    std::string error;
    HRESULT hr = S_OK;
    if (device.isVirtual) {
        VirtualDevice virtualDevice = device.virtualDevice;
        virtualDevice.level = virtualLevel;
        std::unique_ptr<VirtualDeviceStream> created;
        hr = VirtualDeviceStream::Create(virtualDevice, std::move(callbacks), created, &error);
        virtualStream = created.get();
        stream = std::move(created);
    } else {
        PulseRecordStream::Options options;
        options.format = PulseCaptureFormat{format->nSamplesPerSec, format->nChannels};
        std::unique_ptr<PulseRecordStream> created;
        hr = PulseRecordStream::Create(device.sourceName, options, std::move(callbacks), created,
                                       &error);
        stream = std::move(created);
    }
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "capture %s: cannot open the stream: %s", device.friendlyName.c_str(),
                    error.c_str());
        return hr;
    }
    rate = stream->Format().rate;
    return S_OK;
}

HRESULT AudioCaptureFilter::OnPause(FILTER_STATE previous)
{
    if (previous == State_Running) {
        HoldStream();
        return S_OK;
    }
    // Without a connection there is nothing to capture, and nothing to wait for.
    if (!output || !output->IsConnected())
        return S_OK;
    held = false;
    droppedFrames = 0;
    capturedTime = 0;
    HRESULT hr = OpenStream();
    if (FAILED(hr))
        return hr;
    std::string error;
    hr = stream->Start(&error);
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "capture %s: cannot start: %s", device.friendlyName.c_str(),
                    error.c_str());
        OnStop();
        return hr;
    }
    return S_OK;
}

HRESULT AudioCaptureFilter::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State)
{
    HRESULT hr = BaseFilter::GetState(dwMilliSecsTimeout, State);
    return hr == S_OK && *State == State_Paused ? VFW_S_CANT_CUE : hr;
}

HRESULT AudioCaptureFilter::GetCapturedTime(REFERENCE_TIME* pTime)
{
    if (!pTime)
        return E_POINTER;
    *pTime = capturedTime;
    return S_OK;
}

HRESULT AudioCaptureFilter::OnRun(REFERENCE_TIME)
{
    // Whoever clears `held` resumes: the stream thread may be holding the stream right now.
    if (stream && held.exchange(false))
        return stream->Resume();
    return S_OK;
}

void AudioCaptureFilter::OnStop()
{
    if (stream) {
        stream->Stop();
        stream.reset();
        virtualStream = nullptr;
    }
    held = false;
}

void AudioCaptureFilter::HoldStream()
{
    if (!held.exchange(true))
        stream->Pause();
}

void AudioCaptureFilter::OnData(const PulseCaptureChunk& chunk)
{
    if (State() != State_Running) {
        droppedFrames += chunk.frames;
        HoldStream();
        // Run may have come between the state check and the hold; then it found nothing held
        // and left resuming to us.
        if (State() == State_Running && held.exchange(false))
            stream->Resume();
        return;
    }
    uint64_t frames = chunk.position - droppedFrames;
    REFERENCE_TIME start = REFERENCE_TIME(frames * kUnitsPerSecond / rate);
    REFERENCE_TIME stop = REFERENCE_TIME((frames + chunk.frames) * kUnitsPerSecond / rate);
    HRESULT hr = output->DeliverBuffer(chunk.data, LONG(chunk.bytes), start, stop);
    if (SUCCEEDED(hr))
        capturedTime = stop;
    if (FAILED(hr))
        QUILLET_LOG("graph", "capture %s: delivery failed 0x%08X", device.friendlyName.c_str(),
                    unsigned(hr));
}

void AudioCaptureFilter::OnError(HRESULT hr, const std::string& message)
{
    QUILLET_LOG("graph", "capture %s: stream lost (0x%08X): %s", device.friendlyName.c_str(),
                unsigned(hr), message.c_str());
    // A pause that waits for data would wait forever.
    CompleteTransition();
    NotifyEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(Identity()), 0);
}

HRESULT AudioCaptureFilter::OpenSources()
{
    if (sources)
        return S_OK;
    std::string error;
    HRESULT hr = PulseSources::Open("", sources, &error);
    if (FAILED(hr))
        QUILLET_LOG("graph", "mixer of %s: %s", device.friendlyName.c_str(), error.c_str());
    return hr;
}

HRESULT AudioCaptureFilter::SelectLine(size_t index)
{
    if (device.isVirtual) {
        virtualLine = index;
        return S_OK;
    }
    if (!device.linesArePorts)
        return S_OK; // the source's only line is always selected
    HRESULT hr = OpenSources();
    if (FAILED(hr))
        return hr;
    return sources->SetActivePort(device.sourceName, device.lines[index].id);
}

HRESULT AudioCaptureFilter::IsLineSelected(size_t index, bool* selected)
{
    *selected = false;
    if (device.isVirtual) {
        *selected = index == virtualLine;
        return S_OK;
    }
    if (!device.linesArePorts) {
        *selected = true;
        return S_OK;
    }
    HRESULT hr = OpenSources();
    if (FAILED(hr))
        return hr;
    PulseSourceInfo info;
    hr = sources->Find(device.sourceName, info);
    if (SUCCEEDED(hr))
        *selected = info.activePort == device.lines[index].id;
    return hr;
}

HRESULT AudioCaptureFilter::GetLevel(double* level)
{
    if (device.isVirtual) {
        *level = virtualLevel;
        return S_OK;
    }
    HRESULT hr = OpenSources();
    if (FAILED(hr))
        return hr;
    return sources->GetVolume(device.sourceName, *level);
}

HRESULT AudioCaptureFilter::SetLevel(double level)
{
    if (device.isVirtual) {
        virtualLevel = level;
        if (virtualStream)
            virtualStream->SetLevel(level);
        return S_OK;
    }
    HRESULT hr = OpenSources();
    if (FAILED(hr))
        return hr;
    return sources->SetVolume(device.sourceName, level);
}
