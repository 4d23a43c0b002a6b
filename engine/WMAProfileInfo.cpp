#include "WMAProfileInfo.h"

#include "com/InterfaceGuard.h"

#include "com/ComApi.h"
#include "com/ComPtr.h"

namespace {

// The two-call text protocol of the profile: the length first, then the text. Absent when the
// length is 0 or when the second call fails.
template <class Getter> HRESULT ReadText(Getter getter, std::optional<std::u16string>* out)
{
    DWORD length = 0;
    HRESULT hr = getter(nullptr, &length);
    if (FAILED(hr) || length == 0)
        return hr;
    std::u16string buffer;
    try {
        buffer.assign(size_t(length) + 1, u'\0');
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DWORD capacity = length + 1;
    hr = getter(buffer.data(), &capacity);
    if (FAILED(hr))
        return hr;
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    *out = std::move(buffer);
    return S_OK;
}

HRESULT CopyOut(const std::optional<std::u16string>& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!text)
        return E_UNEXPECTED;
    *out = SysAllocStringLen(text->data(), UINT(text->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

WMAProfileInfo::WMAProfileInfo(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMAProfileInfo::~WMAProfileInfo() = default;

HRESULT WMAProfileInfo::InitFromProfile(IWMProfile* profile, LONG versionValue, LONG indexValue)
{
    if (!profile)
        return E_POINTER;
    if (versionValue <= 0 || indexValue < 0)
        return E_INVALIDARG;
    version = versionValue;
    index = indexValue;

    ComPtr<IWMProfile2> profile2;
    HRESULT hr = profile->QueryInterface(IID_PPV_ARGS(&profile2));
    if (FAILED(hr))
        return hr;
    GUID guid{};
    hr = profile2->GetProfileID(&guid);
    if (FAILED(hr))
        return hr;
    OLECHAR text[48];
    if (StringFromGUID2(guid, text, 48))
        id = text;

    hr = ReadText([&](WCHAR* buffer, DWORD* length) { return profile->GetName(buffer, length); },
                  &name);
    if (FAILED(hr) || !name || name->empty())
        return hr;
    ReadText([&](WCHAR* buffer, DWORD* length) { return profile->GetDescription(buffer, length); },
             &description);
    ComPtr<IWMStreamConfig> stream;
    DWORD rate = 0;
    if (SUCCEEDED(profile->GetStream(0, &stream)) && stream && SUCCEEDED(stream->GetBitrate(&rate)))
        bitrate = rate;
    return S_OK;
}

HRESULT WMAProfileInfo::get_Version(wm_profile_version* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = wm_profile_version(version);
    return version ? S_OK : E_UNEXPECTED;
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Version");
}

HRESULT WMAProfileInfo::get_Index(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = index;
    return index >= 0 ? S_OK : E_UNEXPECTED;
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Index");
}

HRESULT WMAProfileInfo::get_Id(BSTR* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    if (id.empty())
        return E_UNEXPECTED;
    *pVal = SysAllocString(id.c_str());
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Id");
}

HRESULT WMAProfileInfo::get_Bitrate(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = LONG(bitrate);
    return bitrate ? S_OK : E_UNEXPECTED;
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Bitrate");
}

HRESULT WMAProfileInfo::get_Name(BSTR* pVal)
try {
    return CopyOut(name, pVal);
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Name");
}

HRESULT WMAProfileInfo::get_Description(BSTR* pVal)
try {
    return CopyOut(description, pVal);
} catch (...) {
    return GuardedResult("WMAProfileInfo::get_Description");
}
