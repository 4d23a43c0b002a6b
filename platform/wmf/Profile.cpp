#include "Profile.h"

#include "StreamConfig.h"
#include "WideStringOut.h"
#include "com/DebugLog.h"
#include "com/InterfaceGuard.h"

Profile::Profile(const ProfileRow& row) : row(row), name(row.name), description(row.description) {}

HRESULT Profile::Create(const ProfileRow& row, IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    return CallGuarded("Profile::Create", [&] {
        Profile* object = new Profile(row);
        *profile = object; // the creator's reference
        return S_OK;
    });
}

void* Profile::FindInterface(REFIID riid)
{
    // IWMProfile is a base of IWMProfile2, which ComObject does not list by itself.
    if (riid == IID_IWMProfile)
        return static_cast<IWMProfile*>(this);
    return ComObject::FindInterface(riid);
}

HRESULT Profile::NotBuilt(const char* method) const
{
    QUILLET_LOG("wmf", "profile %p: %s is not built: catalogue profiles have fixed streams",
                static_cast<const void*>(this), method);
    return E_NOTIMPL;
}

HRESULT Profile::GetVersion(WMT_VERSION* pdwVersion)
{
    if (!pdwVersion)
        return E_POINTER;
    *pdwVersion = row.version;
    return S_OK;
}

HRESULT Profile::GetName(WCHAR* pwszName, DWORD* pcchName)
{
    return CopyStringOut(name, pwszName, pcchName);
}

HRESULT Profile::SetName(const WCHAR* pwszName)
{
    if (!pwszName)
        return E_POINTER;
    return CallGuarded("Profile::SetName", [&] {
        name = pwszName;
        return S_OK;
    });
}

HRESULT Profile::GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription)
{
    return CopyStringOut(description, pwszDescription, pcchDescription);
}

HRESULT Profile::SetDescription(const WCHAR* pwszDescription)
{
    if (!pwszDescription)
        return E_POINTER;
    return CallGuarded("Profile::SetDescription", [&] {
        description = pwszDescription;
        return S_OK;
    });
}

HRESULT Profile::GetStreamCount(DWORD* pcStreams)
{
    if (!pcStreams)
        return E_POINTER;
    *pcStreams = row.streamCount;
    return S_OK;
}

HRESULT Profile::GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig)
{
    if (!ppConfig)
        return E_POINTER;
    *ppConfig = nullptr;
    if (dwStreamIndex >= row.streamCount)
        return E_INVALIDARG;
    return StreamConfig::Create(row.streams[dwStreamIndex], WORD(dwStreamIndex + 1), ppConfig);
}

HRESULT Profile::GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig)
{
    if (!ppConfig)
        return E_POINTER;
    *ppConfig = nullptr;
    if (wStreamNum == 0 || wStreamNum > row.streamCount)
        return E_INVALIDARG;
    return StreamConfig::Create(row.streams[wStreamNum - 1], wStreamNum, ppConfig);
}

HRESULT Profile::RemoveStream(IWMStreamConfig*)
{
    return NotBuilt("RemoveStream");
}

HRESULT Profile::RemoveStreamByNumber(WORD)
{
    return NotBuilt("RemoveStreamByNumber");
}

HRESULT Profile::AddStream(IWMStreamConfig*)
{
    return NotBuilt("AddStream");
}

HRESULT Profile::ReconfigStream(IWMStreamConfig*)
{
    return NotBuilt("ReconfigStream");
}

HRESULT Profile::CreateNewStream(REFGUID, IWMStreamConfig** ppConfig)
{
    if (!ppConfig)
        return E_POINTER;
    *ppConfig = nullptr;
    return NotBuilt("CreateNewStream");
}

HRESULT Profile::GetMutualExclusionCount(DWORD* pcME)
{
    if (!pcME)
        return E_POINTER;
    *pcME = 0;
    return S_OK;
}

HRESULT Profile::GetMutualExclusion(DWORD, IWMMutualExclusion** ppME)
{
    if (!ppME)
        return E_POINTER;
    *ppME = nullptr;
    return E_INVALIDARG; // there are none, so every index is past the end
}

HRESULT Profile::RemoveMutualExclusion(IWMMutualExclusion*)
{
    return NotBuilt("RemoveMutualExclusion");
}

HRESULT Profile::AddMutualExclusion(IWMMutualExclusion*)
{
    return NotBuilt("AddMutualExclusion");
}

HRESULT Profile::CreateNewMutualExclusion(IWMMutualExclusion** ppME)
{
    if (!ppME)
        return E_POINTER;
    *ppME = nullptr;
    return NotBuilt("CreateNewMutualExclusion");
}

HRESULT Profile::GetProfileID(GUID* pguidID)
{
    if (!pguidID)
        return E_POINTER;
    *pguidID = row.id;
    return S_OK;
}

HRESULT Profile::GetAudioFormat(AudioStreamFormat* format)
{
    if (!format)
        return E_POINTER;
    *format = {};
    for (DWORD i = 0; i < row.streamCount; ++i) {
        const StreamRow& stream = row.streams[i];
        if (stream.kind != StreamKind::Audio)
            continue;
        format->codec = stream.audioCodec;
        format->encoderName = EncoderName(stream.audioCodec);
        format->formatTag = FormatTag(stream.audioCodec);
        format->samplesPerSecond = stream.samplesPerSecond;
        format->channels = stream.channels;
        format->bitsPerSecond = stream.bitsPerSecond;
        format->streamNumber = WORD(i + 1);
        format->streamCount = row.streamCount;
        return S_OK;
    }
    return E_INVALIDARG;
}
