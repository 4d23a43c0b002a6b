// GUID strings and the ProgID mapping of HKEY_CLASSES_ROOT.
#include <cstdio>
#include <cstring>
#include <string>

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "registry/Registry.h"

namespace {

int HexValue(OLECHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and nothing after it.
bool ParseBracedGuid(LPCOLESTR text, GUID* out)
{
    static constexpr char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    uint8_t nibbles[32];
    int n = 0;
    for (int i = 0; i < 38; ++i) {
        OLECHAR c = text[i];
        if (c == 0)
            return false;
        if (kShape[i] == 'X') {
            int value = HexValue(c);
            if (value < 0)
                return false;
            nibbles[n++] = uint8_t(value);
        } else if (c != OLECHAR(kShape[i])) {
            return false;
        }
    }
    if (text[38] != 0)
        return false;
    auto take = [&](int first, int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 4 | nibbles[first + i];
        return value;
    };
    out->Data1 = take(0, 8);
    out->Data2 = uint16_t(take(8, 4));
    out->Data3 = uint16_t(take(12, 4));
    for (int i = 0; i < 8; ++i)
        out->Data4[i] = uint8_t(take(16 + 2 * i, 2));
    return true;
}

std::string GuidText(REFGUID guid)
{
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return quillet::Utf16ToUtf8(text);
}

// Reads the default value of HKEY_CLASSES_ROOT\path as text.
bool ReadDefaultValue(const std::string& path, std::string* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool found = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                 type == REG_SZ;
    if (found) {
        std::string data(size, '\0');
        found = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                                 &size) == ERROR_SUCCESS;
        data.resize(std::strlen(data.c_str()));
        *value = data;
    }
    RegCloseKey(key);
    return found;
}

} // namespace

extern "C" {

INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax)
{
    if (!lpsz || cchMax < 39)
        return 0;
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                  rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                  rguid.Data4[7]);
    for (int i = 0; i < 39; ++i)
        lpsz[i] = OLECHAR(text[i]);
    return 39;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz)
{
    if (!lplpsz)
        return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (!*lplpsz)
        return E_OUTOFMEMORY;
    StringFromGUID2(rclsid, *lplpsz, 39);
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid)
{
    if (!lpiid)
        return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    GUID parsed;
    if (!ParseBracedGuid(lpsz, &parsed))
        return E_INVALIDARG;
    *lpiid = parsed;
    return S_OK;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid)
{
    if (!pclsid)
        return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = CLSID_NULL;
        return S_OK;
    }
    GUID parsed;
    if (ParseBracedGuid(lpsz, &parsed)) {
        *pclsid = parsed;
        return S_OK;
    }
    if (lpsz[0] != u'{' && SUCCEEDED(CLSIDFromProgID(lpsz, &parsed))) {
        *pclsid = parsed;
        return S_OK;
    }
    *pclsid = CLSID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid)
{
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    *lpclsid = CLSID_NULL;
    std::string progId = quillet::Utf16ToUtf8(lpszProgID);
    if (progId.empty() || progId.find('\\') != std::string::npos)
        return CO_E_CLASSSTRING;
    std::string text;
    if (!ReadDefaultValue(progId + "\\CLSID", &text))
        return CO_E_CLASSSTRING;
    std::u16string wide = quillet::Utf8ToUtf16(text);
    GUID parsed;
    if (!ParseBracedGuid(wide.c_str(), &parsed))
        return CO_E_CLASSSTRING;
    *lpclsid = parsed;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID)
{
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::string progId;
    if (!ReadDefaultValue("CLSID\\" + GuidText(clsid) + "\\ProgID", &progId))
        return REGDB_E_CLASSNOTREG;
    std::u16string wide = quillet::Utf8ToUtf16(progId);
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
    *lplpszProgID = out;
    return S_OK;
}

} // extern "C"
