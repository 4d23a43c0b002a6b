#include "MediaSample.h"

#include <cstring>
#include <new>

HRESULT MediaSample::Create(const BYTE* data, LONG length, REFERENCE_TIME start,
                            REFERENCE_TIME stop, ComPtr<IMediaSample>& out)
{
    out = nullptr;
    if (!data && length > 0)
        return E_POINTER;
    if (length < 0)
        return E_INVALIDARG;
    try {
        ComPtr<MediaSample> sample = ComPtr<MediaSample>::Adopt(new MediaSample(nullptr, nullptr));
        sample->buffer.assign(data, data + length);
        sample->actualLength = length;
        sample->SetTime(&start, &stop);
        out = ComPtr<IMediaSample>(sample.Get());
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT MediaSample::GetPointer(BYTE** ppBuffer)
{
    if (!ppBuffer)
        return E_POINTER;
    *ppBuffer = buffer.data();
    return S_OK;
}

LONG MediaSample::GetSize()
{
    return LONG(buffer.size());
}

HRESULT MediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!hasStart)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = timeStart;
    if (!hasStop) {
        *pTimeEnd = timeStart + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = timeEnd;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    // A null start clears the times; a start without a stop is allowed.
    hasStart = pTimeStart != nullptr;
    hasStop = hasStart && pTimeEnd != nullptr;
    timeStart = hasStart ? *pTimeStart : 0;
    timeEnd = hasStop ? *pTimeEnd : 0;
    return S_OK;
}

HRESULT MediaSample::IsSyncPoint()
{
    return syncPoint ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetSyncPoint(BOOL bIsSyncPoint)
{
    syncPoint = bIsSyncPoint != FALSE;
    return S_OK;
}

HRESULT MediaSample::IsPreroll()
{
    return preroll ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetPreroll(BOOL bIsPreroll)
{
    preroll = bIsPreroll != FALSE;
    return S_OK;
}

LONG MediaSample::GetActualDataLength()
{
    return actualLength;
}

HRESULT MediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || size_t(length) > buffer.size())
        return VFW_E_BUFFER_OVERFLOW;
    actualLength = length;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType)
{
    if (!ppMediaType)
        return E_POINTER;
    *ppMediaType = nullptr;
    if (!typeChanged)
        return S_FALSE;
    *ppMediaType = CreateMediaType(&mediaType.Get());
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType)
{
    if (!pMediaType) {
        mediaType.Reset();
        typeChanged = false;
        return S_OK;
    }
    HRESULT hr = mediaType.Assign(*pMediaType);
    if (SUCCEEDED(hr))
        typeChanged = true;
    return hr;
}

HRESULT MediaSample::IsDiscontinuity()
{
    return discontinuity ? S_OK : S_FALSE;
}

HRESULT MediaSample::SetDiscontinuity(BOOL bDiscontinuity)
{
    discontinuity = bDiscontinuity != FALSE;
    return S_OK;
}

HRESULT MediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!hasMediaTime)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = mediaStart;
    *pTimeEnd = mediaEnd;
    return S_OK;
}

HRESULT MediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd) {
        hasMediaTime = false;
        return S_OK;
    }
    hasMediaTime = true;
    mediaStart = *pTimeStart;
    mediaEnd = *pTimeEnd;
    return S_OK;
}
