// Basic automation types with the sizes that Windows gives them, GUIDs, and HRESULT codes.
// Any thread may use everything in this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using HRESULT = int32_t;
using SCODE = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using CHAR = char;
using BOOL = int32_t;
using INT = int32_t;
using UINT = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using FLOAT = float;
using DOUBLE = double;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using UINT_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using REFERENCE_TIME = int64_t; // 100-nanosecond units
using OLECHAR = char16_t;
using WCHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPSTR = char*;
using LPCSTR = const char*;
using BSTR = OLECHAR*;
using VARIANT_BOOL = int16_t;
using VARTYPE = uint16_t;
using DATE = double;
using LCID = uint32_t;
using DISPID = int32_t;
using MEMBERID = int32_t;
using HREFTYPE = uint32_t;
using PVOID = void*;
using LPVOID = void*;

static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(OLECHAR) == 2 &&
              sizeof(VARIANT_BOOL) == 2);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// A 128-bit interface or class identifier, laid out as on Windows.
struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}
inline bool IsEqualIID(REFIID a, REFIID b)
{
    return a == b;
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return a == b;
}

namespace quillet::detail {
constexpr uint32_t HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return uint32_t(c - '0');
    if (c >= 'a' && c <= 'f')
        return uint32_t(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return uint32_t(c - 'A' + 10);
    throw "not a hexadecimal digit";
}
constexpr uint32_t HexValue(const char* s, int digits)
{
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i)
        value = value * 16 + HexDigit(s[i]);
    return value;
}
} // namespace quillet::detail

// Builds a GUID at compile time from "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces).
consteval GUID MakeGuid(const char (&s)[37])
{
    using quillet::detail::HexValue;
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        throw "malformed GUID literal";
    GUID g{HexValue(s, 8), uint16_t(HexValue(s + 9, 4)), uint16_t(HexValue(s + 14, 4)), {}};
    g.Data4[0] = uint8_t(HexValue(s + 19, 2));
    g.Data4[1] = uint8_t(HexValue(s + 21, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = uint8_t(HexValue(s + 24 + 2 * i, 2));
    return g;
}

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr CLSID CLSID_NULL = GUID_NULL;

// Maps an interface type to its IID; each interface declares its own with QUILLET_DECLARE_IID.
template <class T> struct InterfaceIdOf;
template <class T> constexpr const IID& IidOf()
{
    return InterfaceIdOf<T>::value;
}

#define QUILLET_DECLARE_IID(Interface, text)                                                       \
    inline constexpr IID IID_##Interface = MakeGuid(text);                                         \
    template <> struct InterfaceIdOf<Interface>                                                    \
    {                                                                                              \
        static constexpr const IID& value = IID_##Interface;                                       \
    }

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)
#define MAKE_HRESULT(sev, fac, code)                                                               \
    static_cast<HRESULT>((uint32_t(sev) << 31) | (uint32_t(fac) << 16) | uint32_t(code))

inline constexpr HRESULT Hr(uint32_t value)
{
    return static_cast<HRESULT>(value);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT NOERROR = 0;
inline constexpr HRESULT E_NOTIMPL = Hr(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = Hr(0x80004002);
inline constexpr HRESULT E_POINTER = Hr(0x80004003);
inline constexpr HRESULT E_ABORT = Hr(0x80004004);
inline constexpr HRESULT E_FAIL = Hr(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = Hr(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = Hr(0x80070005);
inline constexpr HRESULT E_HANDLE = Hr(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = Hr(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = Hr(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = Hr(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = Hr(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = Hr(0x80040154);
inline constexpr HRESULT REGDB_E_READREGDB = Hr(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = Hr(0x80040151);
inline constexpr HRESULT REGDB_E_IIDNOTREG = Hr(0x80040155);
inline constexpr HRESULT CO_E_NOTINITIALIZED = Hr(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = Hr(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = Hr(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = Hr(0x800401F9);
inline constexpr HRESULT CO_E_IIDSTRING = Hr(0x800401F4);
inline constexpr HRESULT RPC_E_CHANGED_MODE = Hr(0x80010106);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = Hr(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = Hr(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = Hr(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = Hr(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = Hr(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = Hr(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = Hr(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = Hr(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = Hr(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = Hr(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = Hr(0x8002000C);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = Hr(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = Hr(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = Hr(0x8002000F);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = Hr(0x8002802B);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = Hr(0x8002801D);
inline constexpr HRESULT TYPE_E_INVALIDSTATE = Hr(0x80028029);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = Hr(0x80029C4A);
inline constexpr HRESULT TYPE_E_INVDATAREAD = Hr(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = Hr(0x80028019);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = Hr(0x8002801C);
inline constexpr HRESULT TYPE_E_BADMODULEKIND = Hr(0x800288BD);
inline constexpr HRESULT STG_E_FILENOTFOUND = Hr(0x80030002);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = Hr(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = Hr(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = Hr(0x80040202);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = Hr(0x80040203);
inline constexpr HRESULT OLE_E_BLANK = Hr(0x80040007);
inline constexpr HRESULT DISP_E_DIVBYZERO = Hr(0x80020012);

inline constexpr int FACILITY_WIN32 = 7;

// Win32 error codes (GetLastError and the registry functions).
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_HANDLE_DISK_FULL = 39;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LONG ERROR_INVALID_NAME = 123;
inline constexpr LONG ERROR_MOD_NOT_FOUND = 126;
inline constexpr LONG ERROR_PROC_NOT_FOUND = 127;
inline constexpr LONG ERROR_ALREADY_EXISTS = 183;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr LONG ERROR_CANNOT_FIND_WND_CLASS = 1407;
inline constexpr LONG ERROR_CLASS_ALREADY_EXISTS = 1410;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_CANTOPEN = 1011;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_DATATYPE_MISMATCH = 1629;
inline constexpr LONG ERROR_UNSUPPORTED_TYPE = 1630;
inline constexpr LONG ERROR_INVALID_THREAD_ID = 1444;
inline constexpr LONG ERROR_INVALID_FLAGS = 1004;

// Turns a Win32 error code into an HRESULT; values already negative pass through unchanged.
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t code)
{
    return static_cast<HRESULT>(code) <= 0
               ? static_cast<HRESULT>(code)
               : static_cast<HRESULT>((code & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

// The thread's last Win32 error (per thread, as on Windows).
extern "C" DWORD GetLastError();
extern "C" void SetLastError(DWORD code);
