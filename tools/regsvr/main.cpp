// regsvr: registers an in-process server (regsvr MODULE) or removes its registration
// (regsvr -u MODULE) by calling the module's DllRegisterServer or DllUnregisterServer.
// Exits 0 on success; on failure prints the HRESULT in hexadecimal and exits 1 (2 for usage).
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "com/ComApi.h"

int main(int argc, char** argv)
{
    bool unregister = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0 && !unregister)
            unregister = true;
        else if (!module && argv[i][0] != '-')
            module = argv[i];
        else
            module = nullptr, argc = 0;
    }
    if (!module) {
        std::fprintf(stderr, "usage: regsvr [-u] MODULE\n");
        return 2;
    }
    void* handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", module, dlerror());
        std::fprintf(stderr, "regsvr: failed with 0x%08X\n",
                     unsigned(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)));
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto function = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
    if (!function) {
        std::fprintf(stderr, "regsvr: %s has no %s\n", module, entry);
        std::fprintf(stderr, "regsvr: failed with 0x%08X\n",
                     unsigned(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
        dlclose(handle);
        return 1;
    }
    HRESULT hr = function();
    dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s of %s failed with 0x%08X\n", entry, module, unsigned(hr));
        return 1;
    }
    return 0;
}
