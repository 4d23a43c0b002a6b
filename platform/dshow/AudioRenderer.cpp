#include "AudioRenderer.h"

#include "MediaTimeFormat.h"

#include <string>

#include "com/DebugLog.h"

AudioRenderer::AudioRenderer(IUnknown* outer, ModuleLock* module)
    : ExtendInterfaces(outer, module, CLSID_AudioRender)
{
}

AudioRenderer::~AudioRenderer()
{
    playback.Close();
}

void* AudioRenderer::FindInterface(REFIID riid)
{
    if (riid == IID_IDispatch)
        return static_cast<IBasicAudio*>(this);
    return ExtendInterfaces::FindInterface(riid);
}

HRESULT AudioRenderer::CheckPinMediaType(BasePin*, const AM_MEDIA_TYPE& mediaType)
{
    const WAVEFORMATEX* wave = WaveFormatOf(mediaType);
    if (mediaType.majortype != MEDIATYPE_Audio || mediaType.subtype != MEDIASUBTYPE_PCM || !wave)
        return VFW_E_TYPE_NOT_ACCEPTED;
    bool playable = wave->wFormatTag == WAVE_FORMAT_PCM && wave->wBitsPerSample == 16 &&
                    wave->nChannels > 0 && wave->nChannels <= PA_CHANNELS_MAX &&
                    wave->nSamplesPerSec > 0 && wave->nSamplesPerSec <= PA_RATE_MAX;
    return playable ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

// ---- states ----

HRESULT AudioRenderer::OnPause(FILTER_STATE previous)
{
    if (previous == State_Running) {
        // Corked, the stream's latency figures are no measure of playback: the position holds.
        heldPosition.store(LivePosition(), std::memory_order_release);
        running.store(false, std::memory_order_release);
        return playback.SetCorked(true);
    }
    if (previous != State_Stopped || !input.IsConnected())
        return S_OK;
    const WAVEFORMATEX* wave = WaveFormatOf(input.ConnectedType());
    if (!wave)
        return VFW_E_NOT_CONNECTED;
    std::string error;
    HRESULT hr = playback.Start(wave->nSamplesPerSec, wave->nChannels, &error);
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "audio renderer: %s", error.c_str());
        return hr;
    }
    failureReported.store(false, std::memory_order_release);
    segmentStart.store(heldPosition.load(std::memory_order_acquire), std::memory_order_release);
    // Paused for good once the first sample is in the buffer.
    return S_FALSE;
}

HRESULT AudioRenderer::OnRun(REFERENCE_TIME)
{
    // The live position carries on from the held one: playback resumes where it was corked.
    segmentStart.store(heldPosition.load(std::memory_order_acquire) - playback.Played(),
                       std::memory_order_release);
    running.store(true, std::memory_order_release);
    return playback.SetCorked(false);
}

void AudioRenderer::OnStop()
{
    // The stream still knows how far it played: that is where a later Run carries on.
    if (running.exchange(false, std::memory_order_acq_rel))
        heldPosition.store(LivePosition(), std::memory_order_release);
    playback.Close();
}

// ---- streaming ----

HRESULT AudioRenderer::ReceiveSample(BaseInputPin*, IMediaSample* sample)
{
    CompleteTransition();
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr))
        return hr;
    LONG length = sample->GetActualDataLength();
    if (length <= 0)
        return S_OK;
    hr = playback.Write(data, size_t(length));
    if (FAILED(hr) && State() != State_Stopped &&
        !failureReported.exchange(true, std::memory_order_acq_rel)) {
        QUILLET_LOG("graph", "audio renderer: the playback stream failed 0x%08X", unsigned(hr));
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
    return hr;
}

HRESULT AudioRenderer::PinEndOfStream(BaseInputPin*)
{
    if (State() == State_Stopped)
        return S_OK;
    CompleteTransition();
    HRESULT hr = playback.Drain([this] {
        QUILLET_LOG("graph", "audio renderer: played to the end");
        NotifyEvent(EC_COMPLETE, S_OK, 0);
    });
    return FAILED(hr) ? hr : S_OK;
}

void AudioRenderer::PinFlush(BaseInputPin*, bool begin)
{
    if (begin)
        playback.BeginFlush();
    else
        playback.EndFlush();
}

void AudioRenderer::SegmentStarted(REFERENCE_TIME start)
{
    segmentStart.store(start, std::memory_order_release);
}

REFERENCE_TIME AudioRenderer::LivePosition()
{
    return segmentStart.load(std::memory_order_acquire) + playback.Played();
}

REFERENCE_TIME AudioRenderer::Position()
{
    if (!running.load(std::memory_order_acquire))
        return heldPosition.load(std::memory_order_acquire);
    return LivePosition();
}

// ---- IDispatch ----

HRESULT AudioRenderer::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT AudioRenderer::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT AudioRenderer::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT AudioRenderer::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

// ---- IBasicAudio ----

HRESULT AudioRenderer::put_Volume(LONG lVolume)
{
    return playback.SetVolume(lVolume);
}

HRESULT AudioRenderer::get_Volume(LONG* plVolume)
{
    if (!plVolume)
        return E_POINTER;
    *plVolume = playback.Volume();
    return S_OK;
}

HRESULT AudioRenderer::put_Balance(LONG lBalance)
{
    if (lBalance < -10000 || lBalance > 10000)
        return E_INVALIDARG;
    return lBalance == 0 ? S_OK : E_NOTIMPL;
}

HRESULT AudioRenderer::get_Balance(LONG* plBalance)
{
    if (!plBalance)
        return E_POINTER;
    *plBalance = 0;
    return S_OK;
}

// ---- IMediaSeeking: the position is ours, the rest is the source's ----

ComPtr<IMediaSeeking> AudioRenderer::Upstream()
{
    IPin* peer = input.Peer();
    if (!peer)
        return nullptr;
    ComPtr<IMediaSeeking> seeking;
    peer->QueryInterface(IID_PPV_ARGS(&seeking));
    return seeking;
}

HRESULT AudioRenderer::GetCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    *pCapabilities = 0;
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->GetCapabilities(pCapabilities) : E_NOTIMPL;
}

HRESULT AudioRenderer::CheckCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->CheckCapabilities(pCapabilities) : E_NOTIMPL;
}

HRESULT AudioRenderer::IsFormatSupported(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT AudioRenderer::QueryPreferredFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT AudioRenderer::GetTimeFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT AudioRenderer::IsUsingTimeFormat(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT AudioRenderer::SetTimeFormat(const GUID* pFormat)
{
    return media_time::SetTimeFormat(pFormat);
}

HRESULT AudioRenderer::GetDuration(LONGLONG* pDuration)
{
    if (!pDuration)
        return E_POINTER;
    *pDuration = 0;
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->GetDuration(pDuration) : E_NOTIMPL;
}

HRESULT AudioRenderer::GetStopPosition(LONGLONG* pStop)
{
    if (!pStop)
        return E_POINTER;
    *pStop = 0;
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->GetStopPosition(pStop) : E_NOTIMPL;
}

HRESULT AudioRenderer::GetCurrentPosition(LONGLONG* pCurrent)
{
    if (!pCurrent)
        return E_POINTER;
    *pCurrent = Position();
    return S_OK;
}

HRESULT AudioRenderer::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                         LONGLONG Source, const GUID* pSourceFormat)
{
    return media_time::ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat);
}

HRESULT AudioRenderer::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                    DWORD dwStopFlags)
{
    ComPtr<IMediaSeeking> upstream = Upstream();
    if (!upstream)
        return E_NOTIMPL;
    HRESULT hr = upstream->SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags);
    if (FAILED(hr) || (dwCurrentFlags & AM_SEEKING_PositioningBitsMask) == 0)
        return hr;
    // The source may have clamped the position; it says where it will start.
    LONGLONG start = 0;
    if (SUCCEEDED(upstream->GetPositions(&start, nullptr))) {
        segmentStart.store(start, std::memory_order_release);
        heldPosition.store(start, std::memory_order_release);
    }
    return hr;
}

HRESULT AudioRenderer::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    if (!pCurrent && !pStop)
        return E_POINTER;
    if (pCurrent)
        *pCurrent = Position();
    if (!pStop)
        return S_OK;
    *pStop = 0;
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->GetStopPosition(pStop) : E_NOTIMPL;
}

HRESULT AudioRenderer::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    ComPtr<IMediaSeeking> upstream = Upstream();
    if (!upstream) {
        if (pEarliest)
            *pEarliest = 0;
        if (pLatest)
            *pLatest = 0;
        return E_NOTIMPL;
    }
    return upstream->GetAvailable(pEarliest, pLatest);
}

HRESULT AudioRenderer::SetRate(double dRate)
{
    ComPtr<IMediaSeeking> upstream = Upstream();
    return upstream ? upstream->SetRate(dRate) : E_NOTIMPL;
}

HRESULT AudioRenderer::GetRate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    *pdRate = 1.0;
    return S_OK;
}

HRESULT AudioRenderer::GetPreroll(LONGLONG* pllPreroll)
{
    if (!pllPreroll)
        return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}
