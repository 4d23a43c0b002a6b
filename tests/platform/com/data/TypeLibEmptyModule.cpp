// A module with resources but no type library: LoadTypeLib must refuse it.
#include <cstring>

#include "com/ComApi.h"

namespace {
const char registryScript[] = "HKCR { }";
} // namespace

extern "C" __attribute__((visibility("default"))) QuilletResource
QuilletFindResource(const char* type, int id)
{
    if (type && std::strcmp(type, "REGISTRY") == 0 && id == 101)
        return {registryScript, sizeof registryScript - 1};
    return {nullptr, 0};
}
