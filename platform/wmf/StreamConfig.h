// One stream of a catalogue profile, as a copy the caller may change without changing the
// profile. Used on the thread that created it.
#pragma once

#include <string>

#include "SystemProfileCatalogue.h"
#include "com/ComObject.h"

class StreamConfig final : public ComObject<IWMStreamConfig>
{
public:
    StreamConfig(const StreamRow& row, WORD streamNumber);

    // A new stream configuration for stream `number` (from 1) of a catalogue row.
    static HRESULT Create(const StreamRow& row, WORD streamNumber, IWMStreamConfig** config);

    HRESULT GetStreamType(GUID* pguidStreamType) override;
    HRESULT GetStreamNumber(WORD* pwStreamNum) override;
    HRESULT SetStreamNumber(WORD wStreamNum) override;
    HRESULT GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName) override;
    HRESULT SetStreamName(const WCHAR* pwszStreamName) override;
    HRESULT GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName) override;
    HRESULT SetConnectionName(const WCHAR* pwszInputName) override;
    HRESULT GetBitrate(DWORD* pdwBitrate) override;
    HRESULT SetBitrate(DWORD pdwBitrate) override;
    HRESULT GetBufferWindow(DWORD* pmsBufferWindow) override;
    HRESULT SetBufferWindow(DWORD msBufferWindow) override;

private:
    StreamKind kind;
    WORD streamNumber;
    std::u16string streamName;
    std::u16string connectionName;
    DWORD bitsPerSecond;
    DWORD bufferWindowMs;
};
