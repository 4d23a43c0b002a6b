// IEnumMediaTypes over the types that a pin proposes (BasePin::GetMediaType). The pin's filter
// stays alive while the enumerator does. Used on the pin's thread.
#pragma once

#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class BasePin;

class EnumMediaTypes final : public ComObject<IEnumMediaTypes>
{
public:
    EnumMediaTypes(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

    // An enumerator over pin's proposals, at the first.
    static HRESULT Create(BasePin* pin, IEnumMediaTypes** out);

    HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cMediaTypes) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMediaTypes** ppEnum) override;

private:
    BasePin* pin = nullptr;
    ComPtr<IPin> pinReference; // keeps the pin's filter alive
    int position = 0;
};
