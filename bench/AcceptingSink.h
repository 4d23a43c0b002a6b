// A capture event sink for the benchmarks: accepts the sample format (unless told to decline
// it), so that the engine attaches its callback, and counts what arrives.
#pragma once

#include <cstddef>

#include "com/ComObject.h"
#include "corvane.h"

class AcceptingSink final : public ComObject<IDispatch>
{
public:
    explicit AcceptingSink(bool wantSamples = true)
        : ComObject(nullptr, nullptr), wantSamples(wantSamples)
    {
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        if (dispid == 1 && params->cArgs == 2 && params->rgvarg[0].vt == (VT_BOOL | VT_BYREF))
            *params->rgvarg[0].pboolVal = wantSamples ? VARIANT_TRUE : VARIANT_FALSE;
        else if (dispid == 3)
            ++sampleData;
        else if (dispid == 2 || dispid == 6)
            ++errors;
        return S_OK;
    }

    // SampleData events seen so far.
    size_t sampleData = 0;
    // SampleError and GraphError events seen so far.
    size_t errors = 0;

protected:
    const bool wantSamples;

    void* FindInterface(REFIID riid) override
    {
        if (riid == DIID__IWMACaptureEvents)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }
};
