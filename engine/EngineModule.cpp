// The module's four exports, its class table, its resources and its registration.
#include "EngineModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

#include "AudioCaptureSourceInfo.h"
#include "ClipAttributesEditor.h"
#include "EngineResources.h"
#include "GraphHost.h"
#include "SimplePlayback.h"
#include "WMACapture.h"
#include "WMAHelper.h"
#include "WMAProfileInfo.h"
#include "com/Bstr.h"
#include "com/ClassFactory.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "com/InterfaceGuard.h"
#include "com/Registrar.h"
#include "com/TypeInfo.h"
#include "corvane.h"

namespace {

ModuleLock moduleLock;

template <class T> HRESULT MakeFactory(IClassFactory** factory)
{
    return CreateComObject<ClassFactory<T>>(nullptr, &moduleLock, IID_IClassFactory,
                                            reinterpret_cast<void**>(factory));
}

struct ClassEntry
{
    const CLSID* clsid;
    int script;                              // registration script resource
    HRESULT (*makeFactory)(IClassFactory**); // null: registered, but not creatable
};

// In registration order.
constexpr ClassEntry kClasses[] = {
    {&CLSID_WMACapture, 102, &MakeFactory<WMACapture>},
    {&CLSID_SimplePlayback, 103, &MakeFactory<SimplePlayback>},
    {&CLSID_ClipAttributesEditor, 104, &MakeFactory<ClipAttributesEditor>},
    {&CLSID_WMAProfileInfo, 105, nullptr},
    {&CLSID_WMAHelper, 106, &MakeFactory<WMAHelper>},
    {&CLSID_AudioCaptureSourceInfo, 107, nullptr},
};
constexpr int kAppIdScript = 101;

// Factories are made on first request and kept until the module unloads.
std::mutex factoriesMutex;
IClassFactory* factories[std::size(kClasses)] = {};

std::string GuidText(REFGUID guid)
{
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return quillet::Utf16ToUtf8(text);
}

HRESULT RunScript(int id, bool registerEntries)
{
    std::string_view script = EngineScript(id);
    if (script.empty())
        return E_UNEXPECTED;
    return RunRegistrationScript(
        script, {{"MODULE", EngineModulePath()}, {"APPID", GuidText(APPID_corvane)}},
        registerEntries);
}

// The graph window class exists before any object does.
__attribute__((constructor)) void RegisterClasses()
{
    GraphHost::RegisterWindowClass();
}

__attribute__((destructor)) void ReleaseFactories()
{
    for (IClassFactory*& factory : factories)
        if (factory) {
            factory->Release();
            factory = nullptr;
        }
    GraphHost::UnregisterWindowClass();
}

} // namespace

ModuleLock& EngineModuleLock()
{
    return moduleLock;
}

std::string EngineModulePath()
{
    // The loader names the file as it was asked to load it, which may be relative to the
    // folder of whoever loaded it; the registration serves clients in every folder.
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&EngineModulePath), &info) || !info.dli_fname)
        return {};
    char* full = realpath(info.dli_fname, nullptr);
    if (!full)
        return info.dli_fname;
    std::string path = full;
    free(full);
    return path;
}

QUILLET_EXPORT HRESULT DllCanUnloadNow()
{
    return moduleLock.Count() == 0 ? S_OK : S_FALSE;
}

QUILLET_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
try {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < std::size(kClasses); ++i) {
        if (*kClasses[i].clsid != rclsid)
            continue;
        if (!kClasses[i].makeFactory)
            return CLASS_E_CLASSNOTAVAILABLE;
        std::lock_guard lock(factoriesMutex);
        if (!factories[i]) {
            HRESULT hr = kClasses[i].makeFactory(&factories[i]);
            if (FAILED(hr))
                return hr;
        }
        return factories[i]->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
} catch (...) {
    return GuardedResult("DllGetClassObject");
}

QUILLET_EXPORT HRESULT DllRegisterServer()
try {
    HRESULT hr = RunScript(kAppIdScript, true);
    if (FAILED(hr))
        return hr;
    for (const ClassEntry& entry : kClasses) {
        hr = RunScript(entry.script, true);
        if (FAILED(hr))
            return hr;
    }
    std::u16string path = quillet::Utf8ToUtf16(EngineModulePath());
    ComPtr<ITypeLib> library;
    hr = LoadTypeLib(path.c_str(), &library);
    if (FAILED(hr))
        return hr;
    return RegisterTypeLib(library.Get(), path.c_str(), nullptr);
} catch (...) {
    return GuardedResult("DllRegisterServer");
}

QUILLET_EXPORT HRESULT DllUnregisterServer()
try {
    HRESULT hr = S_OK;
    for (const ClassEntry& entry : kClasses) {
        hr = RunScript(entry.script, false);
        if (FAILED(hr))
            return hr;
    }
    hr = UnRegisterTypeLib(LIBID_corvaneLib, 1, 0, 0, SYS_WIN64);
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED)
        return hr;
    return RunScript(kAppIdScript, false);
} catch (...) {
    return GuardedResult("DllUnregisterServer");
}

QUILLET_EXPORT QuilletResource QuilletFindResource(const char* type, int id)
{
    if (!type)
        return {nullptr, 0};
    if (std::strcmp(type, "TYPELIB") == 0 && id == 1)
        return {corvaneLib_TypeLib, corvaneLib_TypeLibSize};
    if (std::strcmp(type, "REGISTRY") == 0) {
        std::string_view script = EngineScript(id);
        if (!script.empty())
            return {script.data(), script.size()};
    }
    return {nullptr, 0};
}
