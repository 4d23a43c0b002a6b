// The system device enumerator: lists the audio capture devices (PulseAudio sources, then
// virtual devices) as monikers. Every other category is empty here. Used on the creating thread;
// each call asks the server afresh.
#pragma once

#include "com/ComObject.h"
#include "dshow/Strmif.h"

class SystemDeviceEnum final : public ComObject<ICreateDevEnum>
{
public:
    SystemDeviceEnum(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

    // S_FALSE and no enumerator for an empty category.
    HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                  DWORD dwFlags) override;
};
