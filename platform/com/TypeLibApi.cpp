// LoadTypeLib and friends: a type library from a module's TYPELIB resource, from a bare file or
// from memory.
#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>

#include "TypeLibObject.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/DebugLog.h"
#include "com/TypeLibFormat.h"

namespace quillet::typelib {
namespace {

// No type library comes near this; a larger file is something else.
constexpr std::streamoff MaxTypeLibFileSize = 64 * 1024 * 1024;

constexpr char ElfMagic[4] = {0x7f, 'E', 'L', 'F'};

HRESULT ParseShared(const void* data, size_t size, std::shared_ptr<const Library>& out)
{
    auto library = std::make_shared<Library>();
    HRESULT hr = ParseLibrary(data, size, *library);
    if (FAILED(hr))
        return hr;
    out = std::move(library);
    return S_OK;
}

// Reads the ("TYPELIB", 1) resource of a module; the module stays loaded with the library.
HRESULT LoadFromModule(const std::string& path, std::shared_ptr<const Library>& library,
                       std::shared_ptr<void>& module)
{
    // dlopen searches the library path for a bare file name; the caller meant this file.
    std::string modulePath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        QUILLET_LOG("com", "LoadTypeLib: dlopen(%s) failed: %s", modulePath.c_str(), dlerror());
        return TYPE_E_CANTLOADLIBRARY;
    }
    std::shared_ptr<void> owner(handle, [](void* h) { dlclose(h); });
    auto find =
        reinterpret_cast<QuilletFindResourceFn>(dlsym(handle, QUILLET_FIND_RESOURCE_EXPORT));
    if (!find) {
        QUILLET_LOG("com", "LoadTypeLib: %s exports no %s", path.c_str(),
                    QUILLET_FIND_RESOURCE_EXPORT);
        return TYPE_E_CANTLOADLIBRARY;
    }
    QuilletResource resource = find("TYPELIB", 1);
    if (!resource.data || resource.size == 0) {
        QUILLET_LOG("com", "LoadTypeLib: %s has no TYPELIB resource 1", path.c_str());
        return TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr = ParseShared(resource.data, resource.size, library);
    if (FAILED(hr))
        return hr;
    module = std::move(owner);
    return S_OK;
}

HRESULT LoadFromFile(const std::string& path, ITypeLib** pptlib)
{
    std::error_code error;
    std::ifstream file;
    if (std::filesystem::is_regular_file(path, error))
        file.open(path, std::ios::binary);
    if (!file.is_open()) {
        QUILLET_LOG("com", "LoadTypeLib: cannot open %s", path.c_str());
        return TYPE_E_CANTLOADLIBRARY;
    }
    char magic[4] = {};
    file.read(magic, sizeof magic);
    bool isModule = file.gcount() == sizeof magic && std::equal(magic, magic + 4, ElfMagic);

    std::shared_ptr<const Library> library;
    std::shared_ptr<void> module;
    HRESULT hr;
    if (isModule) {
        file.close();
        hr = LoadFromModule(path, library, module);
    } else {
        file.clear();
        file.seekg(0, std::ios::end);
        std::streamoff size = file.tellg();
        if (size < 0 || size > MaxTypeLibFileSize) {
            QUILLET_LOG("com", "LoadTypeLib: %s is not a type library", path.c_str());
            return TYPE_E_UNSUPFORMAT;
        }
        std::vector<char> bytes(static_cast<size_t>(size));
        file.seekg(0);
        file.read(bytes.data(), size);
        if (file.gcount() != size)
            return TYPE_E_INVDATAREAD;
        hr = ParseShared(bytes.data(), bytes.size(), library);
    }
    if (FAILED(hr))
        return hr;
    return TypeLibObject::Create(std::move(library), std::move(module), pptlib);
}

} // namespace

HRESULT CreateTypeLibFromModel(std::shared_ptr<const Library> library, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_POINTER;
    *pptlib = nullptr;
    if (!library)
        return E_INVALIDARG;
    HRESULT hr = ValidateLibrary(*library);
    if (FAILED(hr))
        return hr;
    return TypeLibObject::Create(std::move(library), nullptr, pptlib);
}

HRESULT LoadTypeLibFromMemory(const void* data, size_t size, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_POINTER;
    *pptlib = nullptr;
    try {
        std::shared_ptr<const Library> library;
        HRESULT hr = ParseShared(data, size, library);
        if (FAILED(hr))
            return hr;
        return TypeLibObject::Create(std::move(library), nullptr, pptlib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace quillet::typelib

using namespace quillet::typelib;

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
{
    return LoadTypeLibEx(szFile, REGKIND_NONE, pptlib);
}

// REGKIND_DEFAULT registers nothing: loading a library never writes the registry behind the
// caller's back here; installers ask for REGKIND_REGISTER.
HRESULT LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib)
{
    if (!pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile || !*szFile)
        return E_INVALIDARG;
    try {
        std::string path = quillet::Utf16ToUtf8(szFile);
        ComPtr<ITypeLib> library;
        HRESULT hr = LoadFromFile(path, &library);
        if (FAILED(hr)) {
            QUILLET_LOG("com", "LoadTypeLibEx(%s): 0x%08x", path.c_str(), unsigned(hr));
            return hr;
        }
        if (regkind == REGKIND_REGISTER) {
            char resolved[PATH_MAX];
            std::string fullPath = realpath(path.c_str(), resolved) ? resolved : path;
            std::u16string fullPath16 = quillet::Utf8ToUtf16(fullPath);
            hr = RegisterTypeLib(library.Get(), fullPath16.c_str(), nullptr);
            if (FAILED(hr))
                return hr;
        }
        *pptlib = library.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
