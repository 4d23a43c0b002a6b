// The COM runtime of one process: initialisation, class creation, GUID strings, modules.
// Every function may be called from any thread; objects stay on the thread that made them.
#pragma once

#include "com/OleAuto.h"

enum CLSCTX : DWORD
{
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
    CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
    CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER,
};

enum COINIT : DWORD
{
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
};

// A module's entry points, as its exports are named.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// A resource compiled into a module: a registration script ("REGISTRY") or a type library
// ("TYPELIB"). Each module exports QuilletFindResource to reach its own.
struct QuilletResource
{
    const void* data;
    size_t size;
};
using QuilletFindResourceFn = QuilletResource (*)(const char* type, int id);
inline constexpr const char* QUILLET_FIND_RESOURCE_EXPORT = "QuilletFindResource";

// Marks a module export; modules build with hidden visibility and export only these.
#define QUILLET_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
HRESULT OleInitialize(LPVOID pvReserved);
void OleUninitialize();

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);
void CoFreeUnusedLibraries();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters, upper case. Returns the number of
// characters written including the terminator, or 0 when cchMax is below 39.
INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax);
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz); // freed with CoTaskMemFree
HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID); // freed with CoTaskMemFree
}
