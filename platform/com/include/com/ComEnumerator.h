// An enumerator over a snapshot of interface pointers, for IEnumConnectionPoints, IEnumPins,
// IEnumFilters and IEnumMoniker: they differ only in the interface they hand out. Used on the
// thread that made it, like the object that it enumerates.
#pragma once

#include <new>
#include <vector>

#include "com/ComObject.h"
#include "com/ComPtr.h"

template <class IEnum, class Item> class ComEnumerator final : public ComObject<IEnum>
{
public:
    ComEnumerator(IUnknown* outer, ModuleLock* module) : ComObject<IEnum>(outer, module) {}

    // An enumerator positioned at the first of `items`.
    static HRESULT Create(std::vector<ComPtr<Item>> items, IEnum** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        auto* enumerator = new (std::nothrow) ComEnumerator(nullptr, nullptr);
        if (!enumerator)
            return E_OUTOFMEMORY;
        enumerator->items = std::move(items);
        *out = enumerator;
        return S_OK;
    }

    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override
    {
        if (!out)
            return E_POINTER;
        if (count != 1 && !fetched)
            return E_INVALIDARG;
        ULONG done = 0;
        while (done < count && position < items.size())
            items[position++].CopyTo(&out[done++]);
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG count) override
    {
        size_t left = items.size() - position;
        if (count > left) {
            position = items.size();
            return S_FALSE;
        }
        position += count;
        return S_OK;
    }

    HRESULT Reset() override
    {
        position = 0;
        return S_OK;
    }

    HRESULT Clone(IEnum** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        try {
            HRESULT hr = Create(items, out);
            if (SUCCEEDED(hr))
                static_cast<ComEnumerator*>(*out)->position = position;
            return hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::vector<ComPtr<Item>> items;
    size_t position = 0;
};
