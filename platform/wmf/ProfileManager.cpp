#include "ProfileManager.h"

#include "Profile.h"
#include "SystemProfileCatalogue.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/DebugLog.h"
#include "com/InterfaceGuard.h"

void* ProfileManager::FindInterface(REFIID riid)
{
    // IWMProfileManager is a base of IWMProfileManager2, which ComObject does not list.
    if (riid == IID_IWMProfileManager)
        return static_cast<IWMProfileManager*>(this);
    return ComObject::FindInterface(riid);
}

HRESULT ProfileManager::CreateEmptyProfile(WMT_VERSION dwVersion, IWMProfile** ppProfile)
{
    if (!ppProfile)
        return E_POINTER;
    *ppProfile = nullptr;
    QUILLET_LOG("wmf", "profile manager %p: CreateEmptyProfile(0x%x) is not built",
                static_cast<void*>(this), unsigned(dwVersion));
    return E_NOTIMPL;
}

HRESULT ProfileManager::LoadProfileByID(REFGUID guidProfile, IWMProfile** ppProfile)
{
    if (!ppProfile)
        return E_POINTER;
    *ppProfile = nullptr;
    const ProfileRow* row = FindSystemProfile(guidProfile);
    if (!row) {
        if (::quillet::DebugChannelEnabled("wmf")) {
            OLECHAR text[39] = {};
            StringFromGUID2(guidProfile, text, 39);
            CallGuarded("LoadProfileByID", [&] {
                QUILLET_LOG("wmf", "profile manager %p: no system profile %s",
                            static_cast<void*>(this), quillet::Utf16ToUtf8(text).c_str());
                return S_OK;
            });
        }
        return E_INVALIDARG;
    }
    return Profile::Create(*row, ppProfile);
}

HRESULT ProfileManager::LoadProfileByData(const WCHAR*, IWMProfile** ppProfile)
{
    if (!ppProfile)
        return E_POINTER;
    *ppProfile = nullptr;
    QUILLET_LOG("wmf", "profile manager %p: LoadProfileByData is not built",
                static_cast<void*>(this));
    return E_NOTIMPL;
}

HRESULT ProfileManager::SaveProfile(IWMProfile*, WCHAR*, DWORD* pdwLength)
{
    if (!pdwLength)
        return E_POINTER;
    QUILLET_LOG("wmf", "profile manager %p: SaveProfile is not built", static_cast<void*>(this));
    return E_NOTIMPL;
}

HRESULT ProfileManager::GetSystemProfileCount(DWORD* pcProfiles)
{
    if (!pcProfiles)
        return E_POINTER;
    *pcProfiles = SystemProfileCount(version);
    return S_OK;
}

HRESULT ProfileManager::LoadSystemProfile(DWORD dwProfileIndex, IWMProfile** ppProfile)
{
    if (!ppProfile)
        return E_POINTER;
    *ppProfile = nullptr;
    const ProfileRow* row = FindSystemProfile(version, dwProfileIndex);
    if (!row) {
        QUILLET_LOG("wmf", "profile manager %p: no system profile %u in version 0x%x",
                    static_cast<void*>(this), unsigned(dwProfileIndex), unsigned(version));
        return E_INVALIDARG;
    }
    return Profile::Create(*row, ppProfile);
}

HRESULT ProfileManager::GetSystemProfileVersion(WMT_VERSION* pdwVersion)
{
    if (!pdwVersion)
        return E_POINTER;
    *pdwVersion = version;
    return S_OK;
}

HRESULT ProfileManager::SetSystemProfileVersion(WMT_VERSION dwVersion)
{
    if (!IsKnownProfileVersion(dwVersion)) {
        QUILLET_LOG("wmf", "profile manager %p: unknown profile version 0x%x",
                    static_cast<void*>(this), unsigned(dwVersion));
        return E_INVALIDARG;
    }
    version = dwVersion;
    return S_OK;
}

QUILLET_EXPORT HRESULT WMCreateProfileManager(IWMProfileManager** ppProfileManager)
{
    if (!ppProfileManager)
        return E_POINTER;
    *ppProfileManager = nullptr;
    return CallGuarded("WMCreateProfileManager", [&] {
        *ppProfileManager = new ProfileManager(); // the caller's reference
        return S_OK;
    });
}
