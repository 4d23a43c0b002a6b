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
    {MakeGuid("7C23220E-55BB-11D3-8B16-00C04FB6BD3D"), kMediaModule}, // CLSID_WMAsfWriter
    {MakeGuid("721FD0DF-74D6-40C7-BA06-C4BDEE3678CD"), kMediaModule}, // CLSID_FileSource
    {MakeGuid("E30629D1-27E5-11CE-875D-00608CB78066"), kMediaModule}, // CLSID_AudioRender
    {MakeGuid("65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA"), kMediaModule}, // CLSID_MediaDet
};
} // namespace

std::span<const BuiltinClass> BuiltinClasses()
{
    // The placeholder row keeps the array non-empty; it never matches a real CLSID.
    return std::span<const BuiltinClass>(kBuiltinClasses).subspan(1);
}
