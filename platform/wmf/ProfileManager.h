// The profile manager: loads profiles from the system catalogue of its current version
// (8.0 when created). Used on the thread that created it.
#pragma once

#include "com/ComObject.h"
#include "wmf/Wmf.h"

class ProfileManager final : public ComObject<IWMProfileManager2>
{
public:
    ProfileManager() = default;

    // IWMProfileManager
    HRESULT CreateEmptyProfile(WMT_VERSION dwVersion, IWMProfile** ppProfile) override;
    HRESULT LoadProfileByID(REFGUID guidProfile, IWMProfile** ppProfile) override;
    HRESULT LoadProfileByData(const WCHAR* pwszProfile, IWMProfile** ppProfile) override;
    HRESULT SaveProfile(IWMProfile* pIWMProfile, WCHAR* pwszProfile, DWORD* pdwLength) override;
    HRESULT GetSystemProfileCount(DWORD* pcProfiles) override;
    HRESULT LoadSystemProfile(DWORD dwProfileIndex, IWMProfile** ppProfile) override;
    // IWMProfileManager2
    HRESULT GetSystemProfileVersion(WMT_VERSION* pdwVersion) override;
    HRESULT SetSystemProfileVersion(WMT_VERSION dwVersion) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    WMT_VERSION version = WMT_VER_8_0;
};
