#include "registry/BuildRegistry.h"

#include <cstdlib>
#include <filesystem>

namespace quillet {

void UseBuildRegistryWhenUnset()
{
    if (const char* folder = std::getenv("QUILLET_REGISTRY_DIR"); folder && *folder)
        return;
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return;
    std::filesystem::path registry = program.parent_path().parent_path() / "registry";
    if (std::filesystem::exists(registry / "classes.reg", error))
        setenv("QUILLET_REGISTRY_DIR", registry.c_str(), 1);
}

} // namespace quillet
