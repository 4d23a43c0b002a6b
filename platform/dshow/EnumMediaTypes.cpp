#include "EnumMediaTypes.h"

#include <new>

#include "BasePin.h"

HRESULT EnumMediaTypes::Create(BasePin* pin, IEnumMediaTypes** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto* enumerator = new (std::nothrow) EnumMediaTypes(nullptr, nullptr);
    if (!enumerator)
        return E_OUTOFMEMORY;
    enumerator->pin = pin;
    enumerator->pinReference = static_cast<IPin*>(pin);
    *out = enumerator;
    return S_OK;
}

HRESULT EnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched)
{
    if (!ppMediaTypes)
        return E_POINTER;
    if (cMediaTypes != 1 && !pcFetched)
        return E_INVALIDARG;
    ULONG done = 0;
    while (done < cMediaTypes) {
        AM_MEDIA_TYPE proposal{};
        HRESULT hr = pin->GetMediaType(position, &proposal);
        if (hr != S_OK)
            break;
        ++position;
        auto* record = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!record) {
            FreeMediaType(proposal);
            for (ULONG i = 0; i < done; ++i) {
                DeleteMediaType(ppMediaTypes[i]);
                ppMediaTypes[i] = nullptr;
            }
            if (pcFetched)
                *pcFetched = 0;
            return E_OUTOFMEMORY;
        }
        *record = proposal; // the record takes over the format block
        ppMediaTypes[done++] = record;
    }
    if (pcFetched)
        *pcFetched = done;
    return done == cMediaTypes ? S_OK : S_FALSE;
}

HRESULT EnumMediaTypes::Skip(ULONG cMediaTypes)
{
    for (ULONG i = 0; i < cMediaTypes; ++i) {
        AM_MEDIA_TYPE proposal{};
        if (pin->GetMediaType(position, &proposal) != S_OK)
            return S_FALSE;
        FreeMediaType(proposal);
        ++position;
    }
    return S_OK;
}

HRESULT EnumMediaTypes::Reset()
{
    position = 0;
    return S_OK;
}

HRESULT EnumMediaTypes::Clone(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    HRESULT hr = Create(pin, ppEnum);
    if (SUCCEEDED(hr))
        static_cast<EnumMediaTypes*>(*ppEnum)->position = position;
    return hr;
}
