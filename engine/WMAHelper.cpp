#include "WMAHelper.h"

#include "IsAudioOnlyProfile.h"
#include "WMAProfileInfo.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "wmf/Wmf.h"

#include <new>
#include <vector>

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "WMAHelper::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

WMAHelper::WMAHelper(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMAHelper::~WMAHelper() = default;

HRESULT WMAHelper::GetAvailableSystemProfilesInfo(wm_profile_version Version, VARIANT* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    VariantClear(pInfo);
    ComPtr<IWMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr))
        return hr;
    ComPtr<IWMProfileManager2> manager2;
    hr = manager.As(&manager2);
    if (FAILED(hr))
        return hr;
    hr = manager2->SetSystemProfileVersion(WMT_VERSION(Version));
    if (FAILED(hr))
        return hr;
    DWORD count = 0;
    hr = manager->GetSystemProfileCount(&count);
    if (FAILED(hr))
        return hr;

    std::vector<ComPtr<IDispatch>> listed;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMProfile> profile;
        if (FAILED(manager->LoadSystemProfile(i, &profile)) || !IsAudioOnlyProfile(profile.Get()))
            continue;
        auto* info = new (std::nothrow) WMAProfileInfo(nullptr, &EngineModuleLock());
        if (!info)
            continue;
        ComPtr<IDispatch> dispatch;
        if (SUCCEEDED(info->InitFromProfile(profile.Get(), LONG(Version), LONG(i))))
            info->QueryInterface(IID_PPV_ARGS(&dispatch));
        info->InnerRelease(); // the creation reference
        if (dispatch) {
            try {
                listed.push_back(std::move(dispatch));
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
    }
    if (listed.empty())
        return S_FALSE;
    SAFEARRAY* array = SafeArrayCreateVector(VT_DISPATCH, 0, ULONG(listed.size()));
    if (!array)
        return E_OUTOFMEMORY;
    auto* slots = static_cast<IDispatch**>(array->pvData);
    for (size_t i = 0; i < listed.size(); ++i)
        slots[i] = listed[i].Detach(); // the array owns these references now
    pInfo->vt = VT_ARRAY | VT_DISPATCH;
    pInfo->parray = array;
    return S_OK;
}

HRESULT WMAHelper::GetAvailableCaptureSourcesInfo(VARIANT* info)
{
    if (!info)
        return E_POINTER;
    VariantInit(info);
    return NotBuilt("GetAvailableCaptureSourcesInfo");
}

HRESULT WMAHelper::GetStreamLength(BSTR FilePath, LONG StreamIndex, DOUBLE* pStreamLength)
{
    if (!pStreamLength)
        return E_POINTER;
    (void)FilePath;
    (void)StreamIndex;
    *pStreamLength = DOUBLE();
    return NotBuilt("GetStreamLength");
}
