#include "WMAHelper.h"

#include "com/InterfaceGuard.h"

#include "AudioCaptureSourceInfo.h"
#include "AudioInputDevices.h"
#include "ErrorReporting.h"
#include "IsAudioOnlyProfile.h"
#include "MeasureStreamLength.h"
#include "WMAProfileInfo.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "com/Variant.h"
#include "wmf/Wmf.h"

#include <new>
#include <vector>

WMAHelper::WMAHelper(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMAHelper::~WMAHelper() = default;

namespace {

// The catalogues' result: S_FALSE and an empty VARIANT for an empty list; otherwise an array of
// dispatch references, lower bound 0, that owns them.
HRESULT MoveIntoArray(std::vector<ComPtr<IDispatch>>& listed, VARIANT* result)
{
    if (listed.empty())
        return S_FALSE;
    SAFEARRAY* array = SafeArrayCreateVector(VT_DISPATCH, 0, ULONG(listed.size()));
    if (!array)
        return E_OUTOFMEMORY;
    auto* slots = static_cast<IDispatch**>(array->pvData);
    for (size_t i = 0; i < listed.size(); ++i)
        slots[i] = listed[i].Detach();
    result->vt = VT_ARRAY | VT_DISPATCH;
    result->parray = array;
    return S_OK;
}

} // namespace

HRESULT WMAHelper::GetAvailableSystemProfilesInfo(wm_profile_version Version, VARIANT* pInfo)
try {
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
            listed.push_back(std::move(dispatch));
        }
    }
    return MoveIntoArray(listed, pInfo);
} catch (...) {
    return GuardedResult("WMAHelper::GetAvailableSystemProfilesInfo");
}

HRESULT WMAHelper::GetAvailableCaptureSourcesInfo(VARIANT* info)
try {
    if (!info)
        return E_POINTER;
    VariantClear(info);
    ComPtr<IEnumMoniker> monikers;
    const char* failure = nullptr;
    HRESULT hr = OpenAudioInputDevices(&monikers, &failure);
    if (FAILED(hr)) {
        ReportError(CLSID_WMAHelper, failure);
        return hr;
    }
    std::vector<ComPtr<IDispatch>> listed;
    ComPtr<IMoniker> moniker;
    Variant name;
    while (NextNamedDevice(monikers.Get(), moniker, name)) {
        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))) || !filter)
            continue;
        auto* source = new (std::nothrow) AudioCaptureSourceInfo(nullptr, &EngineModuleLock());
        if (!source)
            continue;
        ComPtr<IDispatch> dispatch;
        if (SUCCEEDED(source->InitFromFilter(filter.Get(), name.bstrVal)) &&
            source->QueryInterface(IID_PPV_ARGS(&dispatch)) != S_OK)
            dispatch.Reset();
        source->InnerRelease(); // the creation reference
        if (dispatch) {
            listed.push_back(std::move(dispatch));
        }
    }
    return MoveIntoArray(listed, info);
} catch (...) {
    return GuardedResult("WMAHelper::GetAvailableCaptureSourcesInfo");
}

HRESULT WMAHelper::GetStreamLength(BSTR FilePath, LONG StreamIndex, DOUBLE* pStreamLength)
try {
    return MeasureStreamLength(FilePath, StreamIndex, pStreamLength);
} catch (...) {
    return GuardedResult("WMAHelper::GetStreamLength");
}
