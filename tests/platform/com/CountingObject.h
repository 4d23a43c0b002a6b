// A real automation object whose reference count the ownership tests read.
#pragma once

#include "com/ComObject.h"
#include "com/OleAuto.h"

class CountingObject final : public ComObject<IDispatch>
{
public:
    CountingObject() : ComObject(nullptr, nullptr) {}

    // The count as seen by a fresh AddRef/Release pair.
    ULONG References()
    {
        AddRef();
        return Release();
    }

    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};
