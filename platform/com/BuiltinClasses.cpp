#include "com/BuiltinClasses.h"

namespace {
// The media services are one module beside the platform library; their CLSIDs join this
// table as they are built.
constexpr const char* kMediaModule = "libquillet-media.so";

constexpr BuiltinClass kBuiltinClasses[] = {
    {GUID_NULL, nullptr},
    {MakeGuid("E436EBB3-524F-11CE-9F53-0020AF0BA770"), kMediaModule}, // CLSID_FilterGraph
    {MakeGuid("62BE5D10-60EB-11D0-BD3B-00A0C911CE86"), kMediaModule}, // CLSID_SystemDeviceEnum
    {MakeGuid("C1F400A0-3F08-11D3-9F0B-006008039E37"), kMediaModule}, // CLSID_SampleGrabber
    {MakeGuid("C1F400A4-3F08-11D3-9F0B-006008039E37"), kMediaModule}, // CLSID_NullRenderer
    {MakeGuid("E436EBB1-524F-11CE-9F53-0020AF0BA770"), kMediaModule}, // CLSID_SystemClock
};
} // namespace

std::span<const BuiltinClass> BuiltinClasses()
{
    // The placeholder row keeps the array non-empty; it never matches a real CLSID.
    return std::span<const BuiltinClass>(kBuiltinClasses).subspan(1);
}
