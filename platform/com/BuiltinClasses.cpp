#include "com/BuiltinClasses.h"

namespace {
// The media services are one module beside the platform library; their CLSIDs join this
// table as they are built.
constexpr BuiltinClass kBuiltinClasses[] = {
    {GUID_NULL, nullptr},
};
} // namespace

std::span<const BuiltinClass> BuiltinClasses()
{
    // The placeholder row keeps the array non-empty; it never matches a real CLSID.
    return std::span<const BuiltinClass>(kBuiltinClasses).subspan(1);
}
