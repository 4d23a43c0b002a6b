#include "AudioInputDevices.h"

#include "com/ComApi.h"

HRESULT OpenAudioInputDevices(IEnumMoniker** monikers, const char** failure)
{
    *monikers = nullptr;
    ComPtr<ICreateDevEnum> devices;
    HRESULT hr =
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&devices));
    if (FAILED(hr)) {
        *failure = "Could not create System Device Enumerator";
        return hr;
    }
    hr = devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, monikers, 0);
    if (FAILED(hr) || !*monikers) {
        // S_FALSE with no enumerator: the category is empty.
        *failure = "Could not create Device Class Enumerator (Audio Input Device Category)";
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

bool NextNamedDevice(IEnumMoniker* monikers, ComPtr<IMoniker>& moniker, Variant& name)
{
    for (;;) {
        moniker.Reset();
        name.Clear();
        if (monikers->Next(1, &moniker, nullptr) != S_OK || !moniker)
            return false;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) || !bag)
            continue;
        if (SUCCEEDED(bag->Read(u"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
            name.bstrVal)
            return true;
    }
}
