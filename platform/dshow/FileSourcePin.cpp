#include "FileSourcePin.h"

#include "MediaTimeFormat.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <vector>

#include "BaseFilter.h"
#include "com/DebugLog.h"

FileSourcePin::FileSourcePin(BaseFilter* filter, std::u16string name, std::string path,
                             unsigned streamIndex, FfmpegAudioDecoder::Format format,
                             REFERENCE_TIME duration)
    : ExtendInterfaces(filter, std::move(name)), path(std::move(path)), streamIndex(streamIndex),
      format(format), duration(std::max<REFERENCE_TIME>(duration, 0)), stop(this->duration)
{
}

FileSourcePin::~FileSourcePin()
{
    StopStreaming();
}

HRESULT FileSourcePin::GetMediaType(int index, AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    *mediaType = AM_MEDIA_TYPE{};
    if (index < 0)
        return E_INVALIDARG;
    if (index > 0)
        return VFW_S_NO_MORE_ITEMS;
    return CreateAudioMediaType(mediaType, format.rate, WORD(format.channels), 16);
}

HRESULT FileSourcePin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    const WAVEFORMATEX* wave = WaveFormatOf(*mediaType);
    if (mediaType->majortype != MEDIATYPE_Audio || mediaType->subtype != MEDIASUBTYPE_PCM || !wave)
        return S_FALSE;
    bool same = wave->wFormatTag == WAVE_FORMAT_PCM && wave->nSamplesPerSec == format.rate &&
                wave->nChannels == format.channels && wave->wBitsPerSample == 16;
    return same ? S_OK : S_FALSE;
}

// ---- streaming ----

HRESULT FileSourcePin::StartStreaming()
{
    if (!IsConnected() || streamer.joinable())
        return S_OK;
    stopping.store(false, std::memory_order_release);
    try {
        streamer = std::thread(&FileSourcePin::Stream, this, start, stop);
    } catch (const std::system_error&) {
        return E_OUTOFMEMORY;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void FileSourcePin::StopStreaming()
{
    if (!streamer.joinable())
        return;
    stopping.store(true, std::memory_order_release);
    // A flush releases a delivery that the renderer holds while its buffer is full.
    IPin* peer = Peer();
    if (peer)
        peer->BeginFlush();
    streamer.join();
    if (peer)
        peer->EndFlush();
}

void FileSourcePin::Stream(REFERENCE_TIME segmentStart, REFERENCE_TIME segmentStop)
{
    HRESULT hr = E_UNEXPECTED;
    try {
        hr = StreamSegment(segmentStart, segmentStop);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (FAILED(hr) && !stopping.load(std::memory_order_acquire)) {
        QUILLET_LOG("graph", "stream %u: streaming failed 0x%08X", streamIndex, unsigned(hr));
        Filter()->NotifyEvent(EC_ERRORABORT, hr, 0);
        // The renderer waits for a first sample to count as paused; the end of the stream
        // releases it.
        DeliverEndOfStream();
    }
}

HRESULT FileSourcePin::StreamSegment(REFERENCE_TIME segmentStart, REFERENCE_TIME segmentStop)
{
    std::unique_ptr<FfmpegInput> input;
    HRESULT hr = FfmpegInput::Open(path, input, &stopping);
    if (FAILED(hr))
        return hr;
    std::unique_ptr<FfmpegAudioDecoder> decoder;
    hr = FfmpegAudioDecoder::Open(std::move(input), streamIndex, decoder);
    if (FAILED(hr))
        return hr;
    if (segmentStart > 0) {
        hr = decoder->Seek(segmentStart);
        if (FAILED(hr))
            return hr;
    }
    IPin* peer = Peer();
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->NewSegment(segmentStart, segmentStop, 1.0);
    QUILLET_LOG("graph", "stream %u: streaming from %lld to %lld", streamIndex,
                static_cast<long long>(segmentStart), static_cast<long long>(segmentStop));

    std::vector<uint8_t> pcm;
    const size_t frameBytes = format.FrameBytes();
    while (!stopping.load(std::memory_order_acquire)) {
        REFERENCE_TIME time = 0;
        hr = decoder->Read(pcm, &time);
        if (FAILED(hr))
            return hr;
        if (hr == S_FALSE || time >= segmentStop)
            break;
        // A decoder may change its mind about the format of a damaged stream; the pin's type is
        // fixed, so whatever does not fit whole frames is cut.
        size_t frames = pcm.size() / frameBytes;
        REFERENCE_TIME end = time + REFERENCE_TIME(frames) * 10'000'000 / format.rate;
        if (end > segmentStop) {
            frames = size_t((segmentStop - time) * format.rate / 10'000'000);
            end = segmentStop;
        }
        if (frames == 0)
            continue;
        hr = DeliverBuffer(pcm.data(), LONG(frames * frameBytes), time - segmentStart,
                           end - segmentStart);
        // S_FALSE or a failure: the renderer wants no more (flushing or stopping).
        if (hr != S_OK)
            return S_OK;
    }
    if (stopping.load(std::memory_order_acquire))
        return S_OK;
    DeliverEndOfStream();
    return S_OK;
}

// ---- IMediaSeeking ----

HRESULT FileSourcePin::GetCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    *pCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                     AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                     AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
    return S_OK;
}

HRESULT FileSourcePin::CheckCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    DWORD offered = 0;
    GetCapabilities(&offered);
    return media_time::CheckCapabilities(offered, pCapabilities);
}

HRESULT FileSourcePin::IsFormatSupported(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT FileSourcePin::QueryPreferredFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT FileSourcePin::GetTimeFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT FileSourcePin::IsUsingTimeFormat(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT FileSourcePin::SetTimeFormat(const GUID* pFormat)
{
    return media_time::SetTimeFormat(pFormat);
}

HRESULT FileSourcePin::GetDuration(LONGLONG* pDuration)
{
    if (!pDuration)
        return E_POINTER;
    *pDuration = duration;
    return S_OK;
}

HRESULT FileSourcePin::GetStopPosition(LONGLONG* pStop)
{
    if (!pStop)
        return E_POINTER;
    *pStop = stop;
    return S_OK;
}

HRESULT FileSourcePin::GetCurrentPosition(LONGLONG* pCurrent)
{
    if (!pCurrent)
        return E_POINTER;
    // What has been played is the renderer's to say; the source knows where it last started.
    *pCurrent = start;
    return S_OK;
}

HRESULT FileSourcePin::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                         LONGLONG Source, const GUID* pSourceFormat)
{
    return media_time::ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat);
}

HRESULT FileSourcePin::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                    DWORD dwStopFlags)
{
    DWORD currentHow = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    DWORD stopHow = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if ((currentHow && !pCurrent) || (stopHow && !pStop))
        return E_POINTER;
    if (currentHow == AM_SEEKING_PositioningBitsMask || stopHow == AM_SEEKING_PositioningBitsMask)
        return E_INVALIDARG;
    REFERENCE_TIME newStart = start;
    if (currentHow == AM_SEEKING_AbsolutePositioning)
        newStart = *pCurrent;
    else if (currentHow == AM_SEEKING_RelativePositioning)
        newStart = start + *pCurrent;
    REFERENCE_TIME newStop = stop;
    if (stopHow == AM_SEEKING_AbsolutePositioning)
        newStop = *pStop;
    else if (stopHow == AM_SEEKING_RelativePositioning)
        newStop = stop + *pStop;
    if (newStart < 0 || newStop < 0)
        return E_INVALIDARG;
    newStop = std::min(newStop, duration);
    newStart = std::min(newStart, newStop);
    if (currentHow == AM_SEEKING_NoPositioning && stopHow == AM_SEEKING_NoPositioning)
        return S_OK;

    bool streaming = streamer.joinable();
    if (streaming)
        StopStreaming();
    start = newStart;
    stop = newStop;
    QUILLET_LOG("graph", "stream %u: seek to %lld", streamIndex, static_cast<long long>(start));
    if (streaming && Filter()->State() != State_Stopped)
        return StartStreaming();
    return S_OK;
}

HRESULT FileSourcePin::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    if (!pCurrent && !pStop)
        return E_POINTER;
    if (pCurrent)
        *pCurrent = start;
    if (pStop)
        *pStop = stop;
    return S_OK;
}

HRESULT FileSourcePin::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    if (pEarliest)
        *pEarliest = 0;
    if (pLatest)
        *pLatest = duration;
    return S_OK;
}

HRESULT FileSourcePin::SetRate(double dRate)
{
    if (dRate <= 0)
        return E_INVALIDARG;
    // FIXME: only the normal rate plays; other rates would need time stretching.
    return dRate == 1.0 ? S_OK : E_NOTIMPL;
}

HRESULT FileSourcePin::GetRate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    *pdRate = 1.0;
    return S_OK;
}

HRESULT FileSourcePin::GetPreroll(LONGLONG* pllPreroll)
{
    if (!pllPreroll)
        return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}
