// RegisterTypeLib, UnRegisterTypeLib and LoadRegTypeLib over HKEY_CLASSES_ROOT:
//   TypeLib\{LIBID}\<major>.<minor>              default: help string, else the name
//                                  \FLAGS        default: the library flags, decimal
//                                  \<lcid>\win64 default: the full path
//                                  \HELPDIR      default: the help folder
//   Interface\{IID}                              default: the interface name
//                  \ProxyStubClsid32             default: the automation marshaler
//                  \TypeLib                      default: LIBID; Version: <major>.<minor>
// Versions and LCIDs are written in hexadecimal, as registry readers parse them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "com/TypeInfo.h"
#include "registry/Registry.h"

namespace {

// The class that marshals every automation interface through its type information.
constexpr const char* AutomationMarshalerClsid = "{00020424-0000-0000-C000-000000000046}";

std::string GuidText(REFGUID guid)
{
    OLECHAR buffer[39] = {};
    if (StringFromGUID2(guid, buffer, 39) == 0)
        return {};
    return quillet::Utf16ToUtf8(buffer);
}

std::string Hex(unsigned value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", value);
    return buffer;
}

std::string VersionText(WORD major, WORD minor)
{
    return Hex(major) + "." + Hex(minor);
}

std::string LibraryKey(REFGUID libid)
{
    return "TypeLib\\" + GuidText(libid);
}

// Writes a REG_SZ value, creating the key; false when the registry refused.
bool SetString(const std::string& key, const char* valueName, const std::string& value)
{
    HKEY hkey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &hkey, nullptr) != ERROR_SUCCESS) {
        QUILLET_LOG("com", "RegisterTypeLib: cannot create HKCR\\%s", key.c_str());
        return false;
    }
    LONG result =
        RegSetValueExA(hkey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1)); // the terminator is part of a REG_SZ
    RegCloseKey(hkey);
    if (result != ERROR_SUCCESS)
        QUILLET_LOG("com", "RegisterTypeLib: cannot write HKCR\\%s", key.c_str());
    return result == ERROR_SUCCESS;
}

std::optional<std::string> GetString(const std::string& key, const char* valueName)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> text;
    if (RegQueryValueExA(hkey, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::string buffer(size, '\0');
        if (RegQueryValueExA(hkey, valueName, nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &size) == ERROR_SUCCESS) {
            buffer.resize(std::min<size_t>(size, buffer.size()));
            while (!buffer.empty() && buffer.back() == '\0')
                buffer.pop_back();
            text = std::move(buffer);
        }
    }
    RegCloseKey(hkey);
    return text;
}

std::vector<std::string> SubKeys(const std::string& key)
{
    std::vector<std::string> names;
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(hkey, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(hkey);
    return names;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Parses "<major>.<minor>" in hexadecimal.
bool ParseVersion(const std::string& text, unsigned& major, unsigned& minor)
{
    char extra = 0;
    return std::sscanf(text.c_str(), "%x.%x%c", &major, &minor, &extra) == 2 && major <= 0xFFFF &&
           minor <= 0xFFFF;
}

bool RegistersInterface(const TYPEATTR& attr)
{
    if (attr.typekind == TKIND_DISPATCH)
        return true;
    return attr.typekind == TKIND_INTERFACE &&
           (attr.wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION));
}

HRESULT RegisterInterfaces(ITypeLib* ptlib, const std::string& libid, const std::string& version)
{
    UINT count = ptlib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ComPtr<ITypeInfo> info;
        if (FAILED(ptlib->GetTypeInfo(i, &info)))
            continue;
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr)))
            continue;
        bool wanted = RegistersInterface(*attr);
        GUID iid = attr->guid;
        info->ReleaseTypeAttr(attr);
        if (!wanted)
            continue;
        Bstr name;
        info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
        std::string key = "Interface\\" + GuidText(iid);
        if (!SetString(key, nullptr, name.Utf8()) ||
            !SetString(key + "\\ProxyStubClsid32", nullptr, AutomationMarshalerClsid) ||
            !SetString(key + "\\TypeLib", nullptr, libid) ||
            !SetString(key + "\\TypeLib", "Version", version))
            return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir)
{
    if (!ptlib || !szFullPath)
        return E_INVALIDARG;
    try {
        TLIBATTR* attr = nullptr;
        HRESULT hr = ptlib->GetLibAttr(&attr);
        if (FAILED(hr))
            return hr;
        TLIBATTR libAttr = *attr;
        ptlib->ReleaseTLibAttr(attr);

        Bstr name, doc;
        hr = ptlib->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, nullptr);
        if (FAILED(hr))
            return hr;
        std::string libid = GuidText(libAttr.guid);
        if (libid.empty())
            return E_OUTOFMEMORY;
        std::string version = VersionText(libAttr.wMajorVerNum, libAttr.wMinorVerNum);
        std::string key = LibraryKey(libAttr.guid) + "\\" + version;
        std::string path = quillet::Utf16ToUtf8(szFullPath);
        std::string helpDir = szHelpDir ? quillet::Utf16ToUtf8(szHelpDir) : FolderOf(path);
        unsigned flags = libAttr.wLibFlags & ~LIBFLAG_FHASDISKIMAGE;

        QUILLET_LOG("com", "RegisterTypeLib: %s %s at %s", libid.c_str(), version.c_str(),
                    path.c_str());
        if (!SetString(key, nullptr, doc.Empty() ? name.Utf8() : doc.Utf8()) ||
            !SetString(key + "\\FLAGS", nullptr, std::to_string(flags)) ||
            !SetString(key + "\\" + Hex(libAttr.lcid) + "\\win64", nullptr, path) ||
            !SetString(key + "\\HELPDIR", nullptr, helpDir))
            return TYPE_E_REGISTRYACCESS;
        return RegisterInterfaces(ptlib, libid, version);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID, SYSKIND)
{
    try {
        std::string libid = GuidText(libID);
        std::string version = VersionText(wVerMajor, wVerMinor);
        std::string libraryKey = LibraryKey(libID);
        std::string versionKey = libraryKey + "\\" + version;
        HKEY hkey = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, versionKey.c_str(), 0, KEY_READ, &hkey) !=
            ERROR_SUCCESS) {
            QUILLET_LOG("com", "UnRegisterTypeLib: %s %s is not registered", libid.c_str(),
                        version.c_str());
            return TYPE_E_REGISTRYACCESS;
        }
        RegCloseKey(hkey);

        // The interfaces are found by what they say of themselves, so the library file need not
        // exist any more to be unregistered.
        for (const std::string& iid : SubKeys("Interface")) {
            std::string typeLibKey = "Interface\\" + iid + "\\TypeLib";
            std::optional<std::string> owner = GetString(typeLibKey, nullptr);
            std::optional<std::string> ownerVersion = GetString(typeLibKey, "Version");
            if (owner && EqualNoCase(*owner, libid) && ownerVersion && *ownerVersion == version)
                RegDeleteTreeA(HKEY_CLASSES_ROOT, ("Interface\\" + iid).c_str());
        }
        if (RegDeleteTreeA(HKEY_CLASSES_ROOT, versionKey.c_str()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
        // Registration made the parent keys in a hive of our own; leave none of them empty.
        if (SubKeys(libraryKey).empty())
            RegDeleteKeyA(HKEY_CLASSES_ROOT, libraryKey.c_str());
        for (const char* parent : {"TypeLib", "Interface"})
            if (SubKeys(parent).empty())
                RegDeleteKeyA(HKEY_CLASSES_ROOT, parent);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    try {
        std::string libraryKey = LibraryKey(rguid);
        // The same major version with the highest minor version at least the one asked for.
        std::optional<std::string> best;
        unsigned bestMinor = 0;
        for (const std::string& name : SubKeys(libraryKey)) {
            unsigned major = 0, minor = 0;
            if (!ParseVersion(name, major, minor) || major != wVerMajor || minor < wVerMinor)
                continue;
            if (!best || minor > bestMinor) {
                best = name;
                bestMinor = minor;
            }
        }
        std::optional<std::string> path;
        if (best) {
            std::string versionKey = libraryKey + "\\" + *best;
            path = GetString(versionKey + "\\" + Hex(lcid) + "\\win64", nullptr);
            if (!path)
                path = GetString(versionKey + "\\0\\win64", nullptr);
        }
        if (!path || path->empty()) {
            QUILLET_LOG("com", "LoadRegTypeLib: %s %s is not registered", GuidText(rguid).c_str(),
                        VersionText(wVerMajor, wVerMinor).c_str());
            return TYPE_E_LIBNOTREGISTERED;
        }
        std::u16string path16 = quillet::Utf8ToUtf16(*path);
        return LoadTypeLibEx(path16.c_str(), REGKIND_NONE, pptlib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
