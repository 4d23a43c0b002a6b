#include "PickerCatalogue.h"

#include "com/ComApi.h"
#include "com/Variant.h"

namespace {

// Each fill reads a fresh catalogue, so a device plugged in since the last one shows up.
ComPtr<IWMAHelper> CreateHelper()
{
    ComPtr<IWMAHelper> helper;
    if (FAILED(CoCreateInstance(CLSID_WMAHelper, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&helper))))
        return {};
    return helper;
}

template <class Interface>
std::vector<ComPtr<Interface>> Elements(HRESULT hr, const Variant& result)
{
    std::vector<ComPtr<Interface>> items;
    if (FAILED(hr)) {
        SetErrorInfo(0, nullptr);
        return items;
    }
    if (result.vt != (VT_ARRAY | VT_DISPATCH) || !result.parray || result.parray->cDims != 1 ||
        !result.parray->pvData)
        return items;
    auto* elements = static_cast<IDispatch**>(result.parray->pvData);
    for (ULONG i = 0; i < result.parray->rgsabound[0].cElements; ++i) {
        ComPtr<Interface> item;
        if (elements[i] && elements[i]->QueryInterface(IidOf<Interface>(),
                                                       item.ReleaseAndGetVoidAddress()) == S_OK)
            items.push_back(std::move(item));
    }
    return items;
}

} // namespace

std::vector<ComPtr<IWMAProfileInfo>> QueryProfiles(wm_profile_version version)
{
    ComPtr<IWMAHelper> helper = CreateHelper();
    if (!helper)
        return {};
    Variant result;
    HRESULT hr = helper->GetAvailableSystemProfilesInfo(version, result.Out());
    return Elements<IWMAProfileInfo>(hr, result);
}

std::vector<ComPtr<IAudioCaptureSourceInfo>> QueryCaptureSources()
{
    ComPtr<IWMAHelper> helper = CreateHelper();
    if (!helper)
        return {};
    Variant result;
    HRESULT hr = helper->GetAvailableCaptureSourcesInfo(result.Out());
    return Elements<IAudioCaptureSourceInfo>(hr, result);
}
