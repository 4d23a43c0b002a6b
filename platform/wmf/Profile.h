// A profile: a copy of one catalogue row. Its name and description may be changed on the copy.
// Used on the thread that created it.
#pragma once

#include <string>

#include "AudioFormatSource.h"
#include "SystemProfileCatalogue.h"
#include "com/ComObject.h"

class Profile final : public ComObject<IWMProfile2, IAudioFormatSource>
{
public:
    explicit Profile(const ProfileRow& row);

    // A new profile holding a copy of row.
    static HRESULT Create(const ProfileRow& row, IWMProfile** profile);

    // IWMProfile
    HRESULT GetVersion(WMT_VERSION* pdwVersion) override;
    HRESULT GetName(WCHAR* pwszName, DWORD* pcchName) override;
    HRESULT SetName(const WCHAR* pwszName) override;
    HRESULT GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription) override;
    HRESULT SetDescription(const WCHAR* pwszDescription) override;
    HRESULT GetStreamCount(DWORD* pcStreams) override;
    HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) override;
    HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) override;
    HRESULT RemoveStream(IWMStreamConfig* pConfig) override;
    HRESULT RemoveStreamByNumber(WORD wStreamNum) override;
    HRESULT AddStream(IWMStreamConfig* pConfig) override;
    HRESULT ReconfigStream(IWMStreamConfig* pConfig) override;
    HRESULT CreateNewStream(REFGUID guidStreamType, IWMStreamConfig** ppConfig) override;
    HRESULT GetMutualExclusionCount(DWORD* pcME) override;
    HRESULT GetMutualExclusion(DWORD dwMEIndex, IWMMutualExclusion** ppME) override;
    HRESULT RemoveMutualExclusion(IWMMutualExclusion* pME) override;
    HRESULT AddMutualExclusion(IWMMutualExclusion* pME) override;
    HRESULT CreateNewMutualExclusion(IWMMutualExclusion** ppME) override;
    // IWMProfile2
    HRESULT GetProfileID(GUID* pguidID) override;
    // IAudioFormatSource
    HRESULT GetAudioFormat(AudioStreamFormat* format) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    HRESULT NotBuilt(const char* method) const;

    ProfileRow row; // the streams and identity, copied from the catalogue
    std::u16string name;
    std::u16string description;
};
