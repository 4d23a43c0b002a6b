// Class creation for one process: built-in classes first, then in-process servers named in
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, each loaded once with dlopen.
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "com/Bstr.h"
#include "com/BuiltinClasses.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "registry/Registry.h"

namespace {

thread_local int initializeCount = 0;

struct LoadedModule
{
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
};

// Modules by path. Guarded: any thread may create objects.
std::mutex modulesMutex;
std::map<std::string, LoadedModule>& Modules()
{
    static auto* modules = new std::map<std::string, LoadedModule>;
    return *modules;
}

std::string GuidText(REFGUID guid)
{
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return quillet::Utf16ToUtf8(text);
}

// The folder of this library, where the built-in servers live.
std::string PlatformFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PlatformFolder), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            return path.substr(0, slash + 1);
    }
    return {};
}

bool ServerPathFromRegistry(REFCLSID clsid, std::string* path)
{
    std::string keyPath = "CLSID\\" + GuidText(clsid) + "\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    char buffer[4096];
    DWORD size = sizeof buffer - 1;
    LONG status =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return false;
    buffer[size] = '\0';
    *path = buffer;
    return !path->empty();
}

HRESULT LoadModule(const std::string& path, LoadedModule* out)
{
    std::lock_guard lock(modulesMutex);
    auto found = Modules().find(path);
    if (found != Modules().end()) {
        *out = found->second;
        return S_OK;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        QUILLET_LOG("com", "cannot load %s: %s", path.c_str(), dlerror());
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    LoadedModule module;
    module.handle = handle;
    module.getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    module.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    if (!module.getClassObject) {
        QUILLET_LOG("com", "%s has no DllGetClassObject", path.c_str());
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    Modules()[path] = module;
    *out = module;
    return S_OK;
}

} // namespace

extern "C" {

HRESULT CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(LPVOID, DWORD)
{
    // Every object lives on its creating thread whatever the model, so both are accepted.
    return initializeCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (initializeCount > 0)
        --initializeCount;
}

HRESULT OleInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void OleUninitialize()
{
    CoUninitialize();
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (initializeCount == 0)
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;

    std::string path;
    for (const BuiltinClass& builtin : BuiltinClasses()) {
        if (builtin.clsid == rclsid) {
            path = PlatformFolder() + builtin.module;
            break;
        }
    }
    if (path.empty() && !ServerPathFromRegistry(rclsid, &path)) {
        QUILLET_LOG("com", "class %s is not registered", GuidText(rclsid).c_str());
        return REGDB_E_CLASSNOTREG;
    }
    LoadedModule module;
    HRESULT hr = LoadModule(path, &module);
    if (FAILED(hr))
        return hr;
    hr = module.getClassObject(rclsid, riid, ppv);
    QUILLET_LOG("com", "class object %s from %s: 0x%08X", GuidText(rclsid).c_str(), path.c_str(),
                unsigned(hr));
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregating outer object may only ask for the inner unknown.
    if (pUnkOuter && riid != IID_IUnknown)
        return E_INVALIDARG;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  factory.ReleaseAndGetVoidAddress());
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(pUnkOuter, riid, ppv);
}

void CoFreeUnusedLibraries()
{
    std::lock_guard lock(modulesMutex);
    auto& modules = Modules();
    for (auto it = modules.begin(); it != modules.end();) {
        const LoadedModule& module = it->second;
        if (module.canUnloadNow && module.canUnloadNow() == S_OK) {
            QUILLET_LOG("com", "unloading %s", it->first.c_str());
            dlclose(module.handle);
            it = modules.erase(it);
        } else {
            ++it;
        }
    }
}

} // extern "C"
