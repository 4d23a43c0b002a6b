#include "DeviceMoniker.h"

#include <new>

#include "AudioCaptureFilter.h"
#include "DevicePropertyBag.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"

DeviceMoniker::DeviceMoniker(CaptureDevice device)
    : ComObject(nullptr, nullptr), device(std::move(device))
{
}

HRESULT DeviceMoniker::BindToObject(IBindCtx*, IMoniker*, REFIID riidResult, void** ppvResult)
{
    if (!ppvResult)
        return E_POINTER;
    *ppvResult = nullptr;
    try {
        auto filter = ComPtr<IBaseFilter>::Adopt(new AudioCaptureFilter(nullptr, nullptr, device));
        return filter->QueryInterface(riidResult, ppvResult);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppvObj)
{
    if (!ppvObj)
        return E_POINTER;
    *ppvObj = nullptr;
    try {
        auto bag = ComPtr<IPropertyBag>::Adopt(new DevicePropertyBag(device.friendlyName));
        return bag->QueryInterface(riid, ppvObj);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DeviceMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName)
{
    if (!ppszDisplayName)
        return E_POINTER;
    *ppszDisplayName = nullptr;
    try {
        std::u16string text =
            quillet::Utf8ToUtf16((device.isVirtual ? "@device:virtual:" : "@device:pulse:") +
                                 (device.isVirtual ? device.friendlyName : device.sourceName));
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::copy(text.begin(), text.end(), copy);
        copy[text.size()] = u'\0';
        *ppszDisplayName = copy;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
