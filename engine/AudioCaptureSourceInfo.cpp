#include "AudioCaptureSourceInfo.h"

#include "com/InterfaceGuard.h"

#include "PinCollector.h"

namespace {

// The ids of the pins that report exactly S_OK with a non-empty text.
std::vector<std::u16string> IdsOf(const std::vector<ComPtr<IPin>>& pins)
{
    std::vector<std::u16string> ids;
    for (const ComPtr<IPin>& pin : pins) {
        LPWSTR id = nullptr;
        HRESULT hr = pin->QueryId(&id);
        if (hr == S_OK && id && id[0])
            ids.emplace_back(id);
        CoTaskMemFree(id);
    }
    return ids;
}

HRESULT CopyAt(const std::vector<std::u16string>& ids, LONG index, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (index < 0 || size_t(index) >= ids.size())
        return E_INVALIDARG;
    const std::u16string& id = ids[size_t(index)];
    *out = SysAllocStringLen(id.data(), UINT(id.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

AudioCaptureSourceInfo::AudioCaptureSourceInfo(IUnknown* outer, ModuleLock* module)
    : EngineObject(outer, module)
{
}

AudioCaptureSourceInfo::~AudioCaptureSourceInfo() = default;

HRESULT AudioCaptureSourceInfo::InitFromFilter(IBaseFilter* filter, const OLECHAR* name)
{
    if (!filter)
        return E_POINTER;
    if (!name || !name[0])
        return E_INVALIDARG;
    try {
        friendlyName = name;
        AcceptCaptureSourcePin pins;
        HRESULT hr = pins.Fill(filter);
        if (FAILED(hr))
            return hr;
        if (pins.inputs.empty() || pins.outputs.empty())
            return E_FAIL;
        inputPinIds = IdsOf(pins.inputs);
        if (inputPinIds.empty())
            return E_FAIL;
        outputPinIds = IdsOf(pins.outputs);
        return outputPinIds.empty() ? E_FAIL : S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT AudioCaptureSourceInfo::get_FriendlyName(BSTR* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    if (friendlyName.empty())
        return E_UNEXPECTED;
    *pVal = SysAllocStringLen(friendlyName.data(), UINT(friendlyName.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) {
    return GuardedResult("AudioCaptureSourceInfo::get_FriendlyName");
}

HRESULT AudioCaptureSourceInfo::get_InputPinsCount(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = LONG(inputPinIds.size());
    return S_OK;
} catch (...) {
    return GuardedResult("AudioCaptureSourceInfo::get_InputPinsCount");
}

HRESULT AudioCaptureSourceInfo::get_InputPinId(LONG Index, BSTR* pVal)
try {
    return CopyAt(inputPinIds, Index, pVal);
} catch (...) {
    return GuardedResult("AudioCaptureSourceInfo::get_InputPinId");
}

HRESULT AudioCaptureSourceInfo::get_OutputPinsCount(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = LONG(outputPinIds.size());
    return S_OK;
} catch (...) {
    return GuardedResult("AudioCaptureSourceInfo::get_OutputPinsCount");
}

HRESULT AudioCaptureSourceInfo::get_OutputPinId(LONG Index, BSTR* pVal)
try {
    return CopyAt(outputPinIds, Index, pVal);
} catch (...) {
    return GuardedResult("AudioCaptureSourceInfo::get_OutputPinId");
}
