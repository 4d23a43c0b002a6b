#include "StreamConfig.h"

#include <new>

#include "WideStringOut.h"
#include "com/DebugLog.h"
#include "com/InterfaceGuard.h"

namespace {

// Stream numbers of an ASF file take seven bits, and 0 names the file itself.
constexpr WORD kMaxStreamNumber = 63;

// "Audio1", "Video2": the names Windows Media tools give streams and writer inputs.
std::u16string DefaultStreamName(StreamKind kind, WORD number)
{
    std::u16string name = kind == StreamKind::Audio ? u"Audio" : u"Video";
    for (char digit : std::to_string(number))
        name += char16_t(digit);
    return name;
}

} // namespace

StreamConfig::StreamConfig(const StreamRow& row, WORD streamNumber)
    : kind(row.kind), streamNumber(streamNumber),
      streamName(DefaultStreamName(row.kind, streamNumber)), connectionName(streamName),
      bitsPerSecond(row.bitsPerSecond), bufferWindowMs(row.bufferWindowMs)
{
}

HRESULT StreamConfig::Create(const StreamRow& row, WORD streamNumber, IWMStreamConfig** config)
{
    if (!config)
        return E_POINTER;
    *config = nullptr;
    return CallGuarded("StreamConfig::Create", [&] {
        StreamConfig* object = new StreamConfig(row, streamNumber);
        *config = object; // the creator's reference
        return S_OK;
    });
}

HRESULT StreamConfig::GetStreamType(GUID* pguidStreamType)
{
    if (!pguidStreamType)
        return E_POINTER;
    *pguidStreamType = kind == StreamKind::Audio ? WMMEDIATYPE_Audio : WMMEDIATYPE_Video;
    return S_OK;
}

HRESULT StreamConfig::GetStreamNumber(WORD* pwStreamNum)
{
    if (!pwStreamNum)
        return E_POINTER;
    *pwStreamNum = streamNumber;
    return S_OK;
}

HRESULT StreamConfig::SetStreamNumber(WORD wStreamNum)
{
    if (wStreamNum == 0 || wStreamNum > kMaxStreamNumber)
        return E_INVALIDARG;
    streamNumber = wStreamNum;
    return S_OK;
}

HRESULT StreamConfig::GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName)
{
    return CopyStringOut(streamName, pwszStreamName, pcchStreamName);
}

HRESULT StreamConfig::SetStreamName(const WCHAR* pwszStreamName)
{
    if (!pwszStreamName)
        return E_POINTER;
    return CallGuarded("StreamConfig::SetStreamName", [&] {
        streamName = pwszStreamName;
        return S_OK;
    });
}

HRESULT StreamConfig::GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName)
{
    return CopyStringOut(connectionName, pwszInputName, pcchInputName);
}

HRESULT StreamConfig::SetConnectionName(const WCHAR* pwszInputName)
{
    if (!pwszInputName)
        return E_POINTER;
    return CallGuarded("StreamConfig::SetConnectionName", [&] {
        connectionName = pwszInputName;
        return S_OK;
    });
}

HRESULT StreamConfig::GetBitrate(DWORD* pdwBitrate)
{
    if (!pdwBitrate)
        return E_POINTER;
    *pdwBitrate = bitsPerSecond;
    return S_OK;
}

HRESULT StreamConfig::SetBitrate(DWORD pdwBitrate)
{
    bitsPerSecond = pdwBitrate;
    return S_OK;
}

HRESULT StreamConfig::GetBufferWindow(DWORD* pmsBufferWindow)
{
    if (!pmsBufferWindow)
        return E_POINTER;
    *pmsBufferWindow = bufferWindowMs;
    return S_OK;
}

HRESULT StreamConfig::SetBufferWindow(DWORD msBufferWindow)
{
    bufferWindowMs = msBufferWindow;
    return S_OK;
}
