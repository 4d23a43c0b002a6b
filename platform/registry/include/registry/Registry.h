// The registry: HKEY_CLASSES_ROOT and HKEY_CURRENT_USER, each kept as one .reg text file
// (classes.reg, user.reg) in $QUILLET_REGISTRY_DIR, else $XDG_CONFIG_HOME/quillet, else
// ~/.config/quillet; the variables are read on every call. Every change is written whole to a
// temporary file, synced and renamed under an advisory lock, so other threads and processes
// always read a complete hive; a hive file that does not parse is renamed aside
// ("classes.reg.corrupt-<time>") and read as empty. Reads see changes made by other processes.
// Any thread may call; debug channel "registry".
//
// A handle remembers its hive and path, not a place in memory: when another thread or process
// deletes the key, the handle answers ERROR_KEY_DELETED. Handles are checked for the access
// they were opened with: querying and enumerating values needs KEY_QUERY_VALUE, enumerating
// subkeys KEY_ENUMERATE_SUB_KEYS, setting and deleting values KEY_SET_VALUE and creating a new
// subkey KEY_CREATE_SUB_KEY (ERROR_ACCESS_DENIED otherwise). The two predefined keys have every
// right and RegCloseKey accepts them.
#pragma once

#include "com/Types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000000)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001)))

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1; // not supported: ERROR_INVALID_PARAMETER
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The Reg* functions return Win32 error codes: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a
// missing key or value, ERROR_MORE_DATA when the buffer is short (the size is still set),
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER (also for a null pointer that Windows requires),
// ERROR_KEY_DELETED, ERROR_ACCESS_DENIED, ERROR_INVALID_NAME for an empty path component or a
// key name with a line break, ERROR_CANTREAD / ERROR_CANTWRITE when the hive file cannot be
// read or written. Key and value names are case-insensitive (ASCII) and keep the case they were
// created with; key paths are separated by backslashes (a trailing one is ignored); text is
// UTF-8. Values keep their type and exactly the bytes given; string types read back without a
// terminating NUL are handed out with one added (the size counts it).
extern "C" {
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegCloseKey(HKEY hKey);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegGetValueA(HKEY hkey, LPCSTR lpSubKey, LPCSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                  PVOID pvData, LPDWORD pcbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED when it has some); an empty subkey
// names hKey itself.
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Deletes a key (or, with a null or empty subkey, the contents of hKey) and everything below.
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
// The enumerations run in stored order (creation order) and end with ERROR_NO_MORE_ITEMS; a
// name buffer too short answers ERROR_MORE_DATA. Keys have no class and no write time (zero).
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, void* lpftLastWriteTime);
}

// RegGetValueA restrictions. A value whose type is not allowed answers ERROR_UNSUPPORTED_TYPE
// and still reports its real type through pdwType; a REG_DWORD (REG_QWORD) whose size is not
// 4 (8) answers ERROR_DATATYPE_MISMATCH. REG_EXPAND_SZ is expanded from the environment and
// reported as REG_SZ unless RRF_NOEXPAND is given.
inline constexpr DWORD RRF_RT_REG_NONE = 0x1;
inline constexpr DWORD RRF_RT_REG_SZ = 0x2;
inline constexpr DWORD RRF_RT_REG_EXPAND_SZ = 0x4;
inline constexpr DWORD RRF_RT_REG_BINARY = 0x8;
inline constexpr DWORD RRF_RT_REG_DWORD = 0x10;
inline constexpr DWORD RRF_RT_REG_MULTI_SZ = 0x20;
inline constexpr DWORD RRF_RT_REG_QWORD = 0x40;
inline constexpr DWORD RRF_RT_ANY = 0xFFFF;
inline constexpr DWORD RRF_RT_DWORD = RRF_RT_REG_BINARY | RRF_RT_REG_DWORD;
inline constexpr DWORD RRF_RT_QWORD = RRF_RT_REG_BINARY | RRF_RT_REG_QWORD;
inline constexpr DWORD RRF_NOEXPAND = 0x10000000;
inline constexpr DWORD RRF_ZEROONFAILURE = 0x20000000;
