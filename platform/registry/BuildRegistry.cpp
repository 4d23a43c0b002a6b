#include "registry/BuildRegistry.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "HiveStore.h"
#include "com/ComApi.h"
#include "com/DebugLog.h"
#include "registry/Registry.h"

namespace quillet {

namespace {

// The engine is looked up by a ProgID rather than a CLSID: the ProgID is the engine's public
// name, and its CLSID then leads to the module that the registration names.
constexpr const char* EngineProgId = "corvane.WMACapture";
constexpr const char* EngineFileName = "libcorvane.so";

bool UseBuildRegistry()
{
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return false;
    std::filesystem::path registry = program.parent_path().parent_path() / "registry";
    if (!std::filesystem::exists(registry / "classes.reg", error))
        return false;
    setenv("QUILLET_REGISTRY_DIR", registry.c_str(), 1);
    return true;
}

// The installed engine: the file beside this library, where an installation puts both and
// where the runtime looks for its built-in servers too. Empty when there is none.
std::string InstalledEnginePath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&InstalledEnginePath), &info) || !info.dli_fname)
        return {};
    std::error_code error;
    std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
    if (error)
        return {};
    std::filesystem::path engine = library.parent_path() / EngineFileName;
    if (!std::filesystem::is_regular_file(engine, error))
        return {};
    return engine.string();
}

// The default value of a key of HKEY_CLASSES_ROOT, empty when there is none.
std::string ClassesDefaultValue(const std::string& keyPath)
{
    char buffer[4096];
    DWORD size = sizeof buffer;
    if (RegGetValueA(HKEY_CLASSES_ROOT, keyPath.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return {};
    return buffer;
}

// Whether the user's registry holds the registration of the engine at enginePath, written
// after that file was last put in place. A registration of another engine (a build tree, an
// installation that has since been removed) or one older than the file (an upgrade in place,
// which may bring classes of its own) is not current.
bool RegistrationIsCurrent(const std::string& enginePath)
{
    std::string clsid = ClassesDefaultValue(std::string(EngineProgId) + "\\CLSID");
    if (clsid.empty())
        return false;
    if (ClassesDefaultValue("CLSID\\" + clsid + "\\InprocServer32") != enginePath)
        return false;
    // A package manager keeps the packaged modification time, so the change time, which
    // unpacking sets, is the one that says when this file arrived.
    struct stat engine = {};
    struct stat hive = {};
    std::string hivePath = registry::HiveStore::Directory() + "/classes.reg";
    if (stat(enginePath.c_str(), &engine) != 0 || stat(hivePath.c_str(), &hive) != 0)
        return false;
    if (engine.st_ctim.tv_sec != hive.st_mtim.tv_sec)
        return engine.st_ctim.tv_sec < hive.st_mtim.tv_sec;
    return engine.st_ctim.tv_nsec <= hive.st_mtim.tv_nsec;
}

HRESULT RegisterEngine(const std::string& enginePath)
{
    void* handle = dlopen(enginePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        QUILLET_LOG("registry", "cannot load %s: %s", enginePath.c_str(), dlerror());
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    auto registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
    HRESULT hr = registerServer ? registerServer() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    dlclose(handle);
    QUILLET_LOG("registry", "registering %s into %s: 0x%08X", enginePath.c_str(),
                registry::HiveStore::Directory().c_str(), unsigned(hr));
    return hr;
}

} // namespace

HRESULT UseProgramRegistry()
{
    if (const char* folder = std::getenv("QUILLET_REGISTRY_DIR"); folder && *folder)
        return S_OK;
    if (UseBuildRegistry())
        return S_OK;
    std::string enginePath = InstalledEnginePath();
    if (enginePath.empty() || RegistrationIsCurrent(enginePath))
        return S_OK;
    return RegisterEngine(enginePath);
}

} // namespace quillet
