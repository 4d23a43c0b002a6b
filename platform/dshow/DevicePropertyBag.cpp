#include "DevicePropertyBag.h"

#include "com/Bstr.h"

DevicePropertyBag::DevicePropertyBag(std::string friendlyName)
    : ComObject(nullptr, nullptr), friendlyName(std::move(friendlyName))
{
}

HRESULT DevicePropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    if (std::u16string_view(pszPropName) != u"FriendlyName")
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR)
        return E_INVALIDARG;
    Bstr value = Bstr::FromUtf8(friendlyName);
    if (!value.Get())
        return E_OUTOFMEMORY;
    VariantClear(pVar);
    pVar->vt = VT_BSTR;
    pVar->bstrVal = value.Detach();
    return S_OK;
}

HRESULT DevicePropertyBag::Write(LPCOLESTR pszPropName, VARIANT* pVar)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    return E_ACCESSDENIED; // a device's properties are the server's, not ours to change
}
