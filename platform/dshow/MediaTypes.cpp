// The media type helpers of MediaTypes.h and MediaType.h.
#include <cstring>

#include "MediaType.h"
#include "com/OleAuto.h"

void FreeMediaType(AM_MEDIA_TYPE& mediaType)
{
    if (mediaType.pbFormat)
        CoTaskMemFree(mediaType.pbFormat);
    mediaType.pbFormat = nullptr;
    mediaType.cbFormat = 0;
    if (mediaType.pUnk)
        mediaType.pUnk->Release();
    mediaType.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return;
    FreeMediaType(*mediaType);
    CoTaskMemFree(mediaType);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (!target || !source)
        return E_POINTER;
    if (target == source)
        return S_OK;
    *target = *source;
    if (source->cbFormat && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            *target = AM_MEDIA_TYPE{};
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->pbFormat = nullptr;
        target->cbFormat = 0;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    if (!source)
        return nullptr;
    auto* record = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!record)
        return nullptr;
    if (FAILED(CopyMediaType(record, source))) {
        CoTaskMemFree(record);
        return nullptr;
    }
    return record;
}

HRESULT CreateAudioMediaType(AM_MEDIA_TYPE* target, DWORD samplesPerSecond, WORD channels,
                             WORD bits)
{
    if (!target)
        return E_POINTER;
    *target = AM_MEDIA_TYPE{};
    if (samplesPerSecond == 0 || channels == 0 || bits == 0 || bits % 8 != 0)
        return E_INVALIDARG;
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!format)
        return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = channels;
    format->nSamplesPerSec = samplesPerSecond;
    format->nBlockAlign = WORD(channels * (bits / 8));
    format->nAvgBytesPerSec = samplesPerSecond * format->nBlockAlign;
    format->wBitsPerSample = bits;
    format->cbSize = 0;

    target->majortype = MEDIATYPE_Audio;
    target->subtype = MEDIASUBTYPE_PCM;
    target->bFixedSizeSamples = TRUE;
    target->bTemporalCompression = FALSE;
    target->lSampleSize = format->nBlockAlign;
    target->formattype = FORMAT_WaveFormatEx;
    target->pUnk = nullptr;
    target->cbFormat = sizeof(WAVEFORMATEX);
    target->pbFormat = reinterpret_cast<BYTE*>(format);
    return S_OK;
}

const WAVEFORMATEX* WaveFormatOf(const AM_MEDIA_TYPE& mediaType)
{
    if (mediaType.formattype != FORMAT_WaveFormatEx || !mediaType.pbFormat ||
        mediaType.cbFormat < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(mediaType.pbFormat);
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE* partial)
{
    if (!partial)
        return true;
    if (partial->majortype != GUID_NULL && partial->majortype != candidate.majortype)
        return false;
    if (partial->subtype != GUID_NULL && partial->subtype != candidate.subtype)
        return false;
    if (partial->formattype != GUID_NULL && partial->formattype != candidate.formattype)
        return false;
    return true;
}

bool IsCompleteMediaType(const AM_MEDIA_TYPE& mediaType)
{
    return mediaType.majortype != GUID_NULL && mediaType.subtype != GUID_NULL &&
           mediaType.formattype != GUID_NULL;
}
