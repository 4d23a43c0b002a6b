// The moniker of one capture device: its property bag gives the friendly name, and binding it
// makes the device's audio capture filter. Used on the creating thread.
#pragma once

#include "CaptureDevice.h"
#include "com/ComObject.h"
#include "dshow/Strmif.h"

class DeviceMoniker final : public ComObject<IMoniker>
{
public:
    // May throw std::bad_alloc.
    explicit DeviceMoniker(CaptureDevice device);

    HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                         void** ppvResult) override;
    HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;

private:
    const CaptureDevice device;
};
