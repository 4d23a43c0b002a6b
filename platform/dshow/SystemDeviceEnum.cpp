#include "SystemDeviceEnum.h"

#include <new>
#include <vector>

#include "CaptureDevice.h"
#include "DeviceMoniker.h"
#include "com/ComEnumerator.h"
#include "com/DebugLog.h"

HRESULT SystemDeviceEnum::CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                IEnumMoniker** ppEnumMoniker, DWORD)
{
    if (!ppEnumMoniker)
        return E_POINTER;
    *ppEnumMoniker = nullptr;
    if (clsidDeviceClass != CLSID_AudioInputDeviceCategory)
        return S_FALSE;
    try {
        std::vector<ComPtr<IMoniker>> monikers;
        for (CaptureDevice& device : ListCaptureDevices())
            monikers.push_back(ComPtr<IMoniker>::Adopt(new DeviceMoniker(std::move(device))));
        QUILLET_LOG("graph", "%zu audio capture devices", monikers.size());
        if (monikers.empty())
            return S_FALSE;
        return ComEnumerator<IEnumMoniker, IMoniker>::Create(std::move(monikers), ppEnumMoniker);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
