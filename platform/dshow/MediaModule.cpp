// The media module's entry points: one table maps each class to its factory. The module stays
// loaded for the life of the process: its streaming threads and PulseAudio connections must
// never outlive its code.
#include "AudioRenderer.h"
#include "FileSource.h"
#include "FilterGraph.h"
#include "MediaDetector.h"
#include "NullRenderer.h"
#include "SampleGrabber.h"
#include "SystemClock.h"
#include "SystemDeviceEnum.h"
#include "WMAsfWriter.h"
#include "com/ClassFactory.h"
#include "com/ComApi.h"

namespace {

ModuleLock mediaModuleLock;

using FactoryFunction = HRESULT (*)(REFIID riid, void** ppv);

template <class T> HRESULT MakeFactory(REFIID riid, void** ppv)
{
    return CreateComObject<ClassFactory<T, Aggregation::Refused>>(nullptr, &mediaModuleLock, riid,
                                                                  ppv);
}

struct MediaClass
{
    CLSID clsid;
    FactoryFunction factory;
};

constexpr MediaClass kMediaClasses[] = {
    {CLSID_FilterGraph, &MakeFactory<FilterGraph>},
    {CLSID_SystemDeviceEnum, &MakeFactory<SystemDeviceEnum>},
    {CLSID_SampleGrabber, &MakeFactory<SampleGrabber>},
    {CLSID_NullRenderer, &MakeFactory<NullRenderer>},
    {CLSID_SystemClock, &MakeFactory<SystemClock>},
    {CLSID_WMAsfWriter, &MakeFactory<WMAsfWriter>},
    {CLSID_FileSource, &MakeFactory<FileSource>},
    {CLSID_AudioRender, &MakeFactory<AudioRenderer>},
    {CLSID_MediaDet, &MakeFactory<MediaDetector>},
};

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT
DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (const MediaClass& entry : kMediaClasses)
        if (entry.clsid == rclsid)
            return entry.factory(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return S_FALSE;
}
