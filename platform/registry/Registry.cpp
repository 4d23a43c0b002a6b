// The Reg* functions over the two hive stores. Every call resolves its handle, then reads or
// changes the hive under one process-wide mutex; the hive store does the file work.
#include "registry/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

#include "HiveStore.h"
#include "RegNode.h"
#include "com/DebugLog.h"

using quillet::registry::FindPath;
using quillet::registry::HiveStore;
using quillet::registry::KeyPath;
using quillet::registry::RegNode;
using quillet::registry::RegValue;

// An opened key: a hive, the key's path in it and the rights granted. Handles are heap copies
// of it; the functions resolve every handle to a copy of their own before using it.
struct HKEY__
{
    HiveStore* hive = nullptr;
    KeyPath path;
    REGSAM access = 0;

    bool Allows(REGSAM right) const { return (access & right) == right; }
};

namespace {

constexpr REGSAM kAllKeyRights =
    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;

struct RegistryState
{
    std::mutex mutex;
    HiveStore classes{"classes.reg", "HKEY_CLASSES_ROOT"};
    HiveStore user{"user.reg", "HKEY_CURRENT_USER"};
    std::unordered_set<HKEY> openKeys;
};

// Never destroyed, so that objects torn down at exit may still save their settings.
RegistryState& State()
{
    static auto* state = new RegistryState;
    return *state;
}

// Runs fn under the registry mutex; no exception leaves a Reg* function.
template <class Fn> LONG Guarded(Fn&& fn)
{
    try {
        RegistryState& state = State();
        std::lock_guard lock(state.mutex);
        return fn(state);
    } catch (const std::exception& e) {
        QUILLET_LOG("registry", "failed: %s", e.what());
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

REGSAM GrantedRights(REGSAM desired)
{
    REGSAM granted = desired & kAllKeyRights;
    if (desired & (kMaximumAllowed | kGenericAll))
        granted |= kAllKeyRights;
    if (desired & kGenericRead)
        granted |= KEY_READ & kAllKeyRights;
    if (desired & kGenericWrite)
        granted |= KEY_WRITE & kAllKeyRights;
    return granted;
}

using KeyRef = HKEY__;

LONG Resolve(RegistryState& state, HKEY key, KeyRef& out)
{
    if (key == HKEY_CLASSES_ROOT)
        out = {&state.classes, {}, kAllKeyRights};
    else if (key == HKEY_CURRENT_USER)
        out = {&state.user, {}, kAllKeyRights};
    else if (state.openKeys.contains(key))
        out = *key;
    else
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

HKEY NewHandle(RegistryState& state, const KeyRef& key, KeyPath path, REGSAM desired)
{
    auto handle =
        std::make_unique<HKEY__>(HKEY__{key.hive, std::move(path), GrantedRights(desired)});
    state.openKeys.insert(handle.get());
    return handle.release();
}

// Splits a backslash-separated subkey into names. Null and empty give none.
LONG SplitSubKey(LPCSTR subKey, KeyPath& names)
{
    names.clear();
    std::string_view rest = subKey ? subKey : "";
    // Windows accepts "Key\", so a trailing separator is dropped.
    while (!rest.empty() && rest.back() == '\\')
        rest.remove_suffix(1);
    while (!rest.empty()) {
        size_t slash = rest.find('\\');
        std::string_view name = rest.substr(0, slash);
        // A line break could not be written to the hive file's section header.
        if (name.empty() || name.find_first_of("\r\n") != std::string_view::npos)
            return ERROR_INVALID_NAME;
        names.emplace_back(name);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    return ERROR_SUCCESS;
}

// The key a handle names, in the hive's current content.
LONG ReadKey(const KeyRef& key, const RegNode*& node)
{
    const RegNode* root = nullptr;
    LONG rc = key.hive->Read(root);
    if (rc != ERROR_SUCCESS)
        return rc;
    node = FindPath(*root, key.path);
    return node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The key a handle names, when the handle was opened with the access asked for.
LONG ReadKeyFor(RegistryState& state, HKEY hKey, REGSAM access, KeyRef& key, const RegNode*& node)
{
    LONG rc = Resolve(state, hKey, key);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!key.Allows(access))
        return ERROR_ACCESS_DENIED;
    return ReadKey(key, node);
}

// Walks names below node, appending each key's stored name to path.
LONG Descend(const RegNode*& node, const KeyPath& names, KeyPath& path)
{
    for (const std::string& name : names) {
        node = node->FindChild(name);
        if (!node)
            return ERROR_FILE_NOT_FOUND;
        path.push_back(node->name);
    }
    return ERROR_SUCCESS;
}

// The bytes a reader is given: string types end with their terminator even when stored
// without one, as Windows guarantees to careful callers.
std::vector<BYTE> ReadableData(DWORD type, std::vector<BYTE> data)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (data.empty() || data.back() != 0)
            data.push_back(0);
    } else if (type == REG_MULTI_SZ) {
        if (data.empty() || data.back() != 0)
            data.push_back(0);
        // A list ends with an empty string; one lone NUL is the empty list.
        if (data.size() >= 2 && data[data.size() - 2] != 0)
            data.push_back(0);
    }
    return data;
}

// Hands data out: the size alone without a buffer, ERROR_MORE_DATA and the size needed when
// the buffer is short (the buffer is then left alone).
LONG CopyOut(const std::vector<BYTE>& data, void* buffer, LPDWORD size)
{
    auto needed = DWORD(data.size());
    if (!buffer) {
        if (size)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed)
        std::memcpy(buffer, data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// Replaces %NAME% by the environment variable's value; unknown names stay as they are.
std::vector<BYTE> ExpandEnvironment(const std::vector<BYTE>& data)
{
    std::string text(data.begin(), data.end());
    if (!text.empty() && text.back() == 0)
        text.pop_back();
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(text, pos);
            break;
        }
        out.append(text, pos, open - pos);
        std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
            pos = close + 1;
        } else {
            out += '%';
            pos = open + 1; // the closing '%' may open the next name
        }
    }
    std::vector<BYTE> expanded(out.begin(), out.end());
    expanded.push_back(0);
    return expanded;
}

// Which RRF_RT_* bit allows a type; 0 for types that only RRF_RT_ANY allows.
DWORD RestrictionBit(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return RRF_RT_REG_NONE;
    case REG_SZ:
        return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
        return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
        return RRF_RT_REG_BINARY;
    case REG_DWORD:
        return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
        return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD:
        return RRF_RT_REG_QWORD;
    default:
        return 0;
    }
}

LONG CheckRestriction(DWORD flags, DWORD type, size_t size)
{
    DWORD allowed = flags & RRF_RT_ANY;
    if (allowed != RRF_RT_ANY && !(allowed & RestrictionBit(type)))
        return ERROR_UNSUPPORTED_TYPE;
    // A binary value read through RRF_RT_DWORD (RRF_RT_QWORD) must have the number's size.
    bool narrowed = allowed != RRF_RT_ANY && type == REG_BINARY;
    size_t expected = 0;
    if (type == REG_DWORD || (narrowed && (allowed & RRF_RT_DWORD) == RRF_RT_DWORD))
        expected = 4;
    else if (type == REG_QWORD || (narrowed && (allowed & RRF_RT_QWORD) == RRF_RT_QWORD))
        expected = 8;
    return expected && size != expected ? ERROR_DATATYPE_MISMATCH : ERROR_SUCCESS;
}

LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD chars)
{
    if (name.size() >= *chars)
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *chars = DWORD(name.size());
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        KeyPath names;
        const RegNode* node = nullptr;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS)
            rc = SplitSubKey(lpSubKey, names);
        if (rc == ERROR_SUCCESS)
            rc = ReadKey(key, node);
        KeyPath path = key.path;
        if (rc == ERROR_SUCCESS)
            rc = Descend(node, names, path);
        if (rc == ERROR_SUCCESS)
            *phkResult = NewHandle(state, key, std::move(path), samDesired);
        return rc;
    });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                     void*, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions & REG_OPTION_VOLATILE) {
        QUILLET_LOG("registry", "volatile key '%s' requested: not supported", lpSubKey);
        return ERROR_INVALID_PARAMETER;
    }
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        KeyPath names;
        const RegNode* node = nullptr;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS)
            rc = SplitSubKey(lpSubKey, names);
        if (rc == ERROR_SUCCESS)
            rc = ReadKey(key, node);
        if (rc != ERROR_SUCCESS)
            return rc;
        // An existing key needs neither the file lock nor a write.
        KeyPath path = key.path;
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        if (Descend(node, names, path) != ERROR_SUCCESS) {
            if (!key.Allows(KEY_CREATE_SUB_KEY))
                return ERROR_ACCESS_DENIED;
            rc = key.hive->Modify([&](RegNode& root, bool& changed) {
                RegNode* parent = FindPath(root, key.path);
                if (!parent)
                    return ERROR_KEY_DELETED;
                path = key.path;
                for (const std::string& name : names) {
                    RegNode* child = parent->FindChild(name);
                    if (!child) {
                        child = &parent->FindOrAddChild(name);
                        changed = true;
                    }
                    path.push_back(child->name);
                    parent = child;
                }
                return ERROR_SUCCESS;
            });
            if (rc != ERROR_SUCCESS)
                return rc;
            disposition = REG_CREATED_NEW_KEY;
        }
        *phkResult = NewHandle(state, key, std::move(path), samDesired);
        if (lpdwDisposition)
            *lpdwDisposition = disposition;
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    return Guarded([&](RegistryState& state) {
        if (state.openKeys.erase(hKey) == 0)
            return ERROR_INVALID_HANDLE;
        delete hKey;
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        const RegNode* node = nullptr;
        LONG rc = ReadKeyFor(state, hKey, KEY_QUERY_VALUE, key, node);
        if (rc != ERROR_SUCCESS)
            return rc;
        const RegValue* value = node->FindValue(lpValueName ? lpValueName : "");
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (lpType)
            *lpType = value->type;
        return CopyOut(ReadableData(value->type, value->data), lpData, lpcbData);
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData)
{
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS && !key.Allows(KEY_SET_VALUE))
            rc = ERROR_ACCESS_DENIED;
        if (rc != ERROR_SUCCESS)
            return rc;
        std::vector<BYTE> data(lpData, lpData + cbData);
        return key.hive->Modify([&](RegNode& root, bool& changed) {
            RegNode* node = FindPath(root, key.path);
            if (!node)
                return ERROR_KEY_DELETED;
            changed = node->SetValue(lpValueName ? lpValueName : "", dwType, std::move(data));
            return ERROR_SUCCESS;
        });
    });
}

LONG RegGetValueA(HKEY hkey, LPCSTR lpSubKey, LPCSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                  PVOID pvData, LPDWORD pcbData)
{
    DWORD allowed = dwFlags & RRF_RT_ANY;
    // Without RRF_NOEXPAND a REG_EXPAND_SZ is handed out as REG_SZ, so asking for it alone
    // could never succeed.
    if ((pvData && !pcbData) || !allowed ||
        (allowed == RRF_RT_REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)))
        return ERROR_INVALID_PARAMETER;
    const DWORD bufferSize = pcbData ? *pcbData : 0;
    LONG result = Guarded([&](RegistryState& state) {
        KeyRef key;
        KeyPath names;
        const RegNode* node = nullptr;
        LONG rc = Resolve(state, hkey, key);
        if (rc == ERROR_SUCCESS)
            rc = SplitSubKey(lpSubKey, names);
        if (rc == ERROR_SUCCESS && names.empty() && !key.Allows(KEY_QUERY_VALUE))
            rc = ERROR_ACCESS_DENIED;
        if (rc == ERROR_SUCCESS)
            rc = ReadKey(key, node);
        if (rc == ERROR_SUCCESS)
            rc = Descend(node, names, key.path);
        if (rc != ERROR_SUCCESS)
            return rc;
        const RegValue* value = node->FindValue(lpValue ? lpValue : "");
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        DWORD type = value->type;
        std::vector<BYTE> data = ReadableData(type, value->data);
        if (type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
            data = ExpandEnvironment(data);
            type = REG_SZ;
        }
        if (pdwType)
            *pdwType = type;
        rc = CheckRestriction(dwFlags, type, data.size());
        return rc == ERROR_SUCCESS ? CopyOut(data, pvData, pcbData) : rc;
    });
    if (result != ERROR_SUCCESS && (dwFlags & RRF_ZEROONFAILURE) && pvData)
        std::memset(pvData, 0, bufferSize);
    return result;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS && !key.Allows(KEY_SET_VALUE))
            rc = ERROR_ACCESS_DENIED;
        if (rc != ERROR_SUCCESS)
            return rc;
        return key.hive->Modify([&](RegNode& root, bool& changed) {
            RegNode* node = FindPath(root, key.path);
            if (!node)
                return ERROR_KEY_DELETED;
            changed = node->RemoveValue(lpValueName ? lpValueName : "");
            return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        KeyPath names;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS)
            rc = SplitSubKey(lpSubKey, names);
        if (rc != ERROR_SUCCESS)
            return rc;
        KeyPath target = key.path;
        target.insert(target.end(), names.begin(), names.end());
        if (target.empty())
            return ERROR_ACCESS_DENIED; // a hive's root stays
        return key.hive->Modify([&](RegNode& root, bool& changed) {
            if (!FindPath(root, key.path))
                return ERROR_KEY_DELETED;
            std::string name = target.back();
            target.pop_back();
            RegNode* parent = FindPath(root, target);
            RegNode* node = parent ? parent->FindChild(name) : nullptr;
            if (!node)
                return ERROR_FILE_NOT_FOUND;
            if (!node->children.empty())
                return ERROR_ACCESS_DENIED;
            changed = parent->RemoveChild(name);
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        KeyPath names;
        LONG rc = Resolve(state, hKey, key);
        if (rc == ERROR_SUCCESS)
            rc = SplitSubKey(lpSubKey, names);
        if (rc != ERROR_SUCCESS)
            return rc;
        return key.hive->Modify([&](RegNode& root, bool& changed) {
            RegNode* node = FindPath(root, key.path);
            if (!node)
                return ERROR_KEY_DELETED;
            if (names.empty()) {
                changed = !node->values.empty() || !node->children.empty();
                node->values.clear();
                node->children.clear();
                return ERROR_SUCCESS;
            }
            std::string name = names.back();
            names.pop_back();
            RegNode* parent = FindPath(*node, names);
            changed = parent && parent->RemoveChild(name);
            return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime)
{
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        const RegNode* node = nullptr;
        LONG rc = ReadKeyFor(state, hKey, KEY_ENUMERATE_SUB_KEYS, key, node);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= node->children.size())
            return ERROR_NO_MORE_ITEMS;
        if (lpClass && *lpcchClass < 1)
            return ERROR_MORE_DATA;
        rc = CopyName(node->children[dwIndex]->name, lpName, lpcchName);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (lpClass) {
            lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime)
            std::memset(lpftLastWriteTime, 0, 8); // a FILETIME; write times are not kept
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        const RegNode* node = nullptr;
        LONG rc = ReadKeyFor(state, hKey, KEY_QUERY_VALUE, key, node);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (dwIndex >= node->values.size())
            return ERROR_NO_MORE_ITEMS;
        const RegValue& value = node->values[dwIndex];
        rc = CopyName(value.name, lpValueName, lpcchValueName);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (lpType)
            *lpType = value.type;
        return CopyOut(ReadableData(value.type, value.data), lpData, lpcbData);
    });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, void* lpftLastWriteTime)
{
    if (lpReserved || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    return Guarded([&](RegistryState& state) {
        KeyRef key;
        const RegNode* node = nullptr;
        LONG rc = ReadKeyFor(state, hKey, KEY_QUERY_VALUE, key, node);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (lpClass && *lpcchClass < 1)
            return ERROR_MORE_DATA;
        size_t maxKeyName = 0, maxValueName = 0, maxValueData = 0;
        for (const auto& child : node->children)
            maxKeyName = std::max(maxKeyName, child->name.size());
        for (const RegValue& value : node->values) {
            maxValueName = std::max(maxValueName, value.name.size());
            maxValueData = std::max(maxValueData, ReadableData(value.type, value.data).size());
        }
        if (lpClass)
            lpClass[0] = '\0';
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpcSubKeys)
            *lpcSubKeys = DWORD(node->children.size());
        if (lpcbMaxSubKeyLen)
            *lpcbMaxSubKeyLen = DWORD(maxKeyName);
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = DWORD(node->values.size());
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = DWORD(maxValueName);
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = DWORD(maxValueData);
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime)
            std::memset(lpftLastWriteTime, 0, 8);
        return ERROR_SUCCESS;
    });
}

} // extern "C"
