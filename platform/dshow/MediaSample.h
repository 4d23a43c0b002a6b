// A media sample over a heap buffer of its own. Made on a streaming thread and handed
// downstream; one thread at a time uses it, as IMediaSample allows.
#pragma once

#include <vector>

#include "MediaType.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class MediaSample final : public ComObject<IMediaSample>
{
public:
    MediaSample(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

    // A sample holding a copy of `length` bytes, stamped with start and stop times.
    static HRESULT Create(const BYTE* data, LONG length, REFERENCE_TIME start, REFERENCE_TIME stop,
                          ComPtr<IMediaSample>& out);

    HRESULT GetPointer(BYTE** ppBuffer) override;
    LONG GetSize() override;
    HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT IsSyncPoint() override;
    HRESULT SetSyncPoint(BOOL bIsSyncPoint) override;
    HRESULT IsPreroll() override;
    HRESULT SetPreroll(BOOL bIsPreroll) override;
    LONG GetActualDataLength() override;
    HRESULT SetActualDataLength(LONG length) override;
    HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    HRESULT IsDiscontinuity() override;
    HRESULT SetDiscontinuity(BOOL bDiscontinuity) override;
    HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

private:
    std::vector<BYTE> buffer;
    LONG actualLength = 0;
    REFERENCE_TIME timeStart = 0;
    REFERENCE_TIME timeEnd = 0;
    bool hasStart = false;
    bool hasStop = false;
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    bool hasMediaTime = false;
    bool syncPoint = true; // uncompressed audio: every sample starts cleanly
    bool preroll = false;
    bool discontinuity = false;
    bool typeChanged = false;
    MediaType mediaType;
};
