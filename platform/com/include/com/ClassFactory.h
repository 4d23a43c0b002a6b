// A class factory for one class of an in-process server. Used on any thread that asks the
// module for it; the objects it makes belong to the thread that created them.
#pragma once

#include "com/ComObject.h"

// Aggregation policy of a class.
enum class Aggregation
{
    Allowed,
    Refused
};

// T's constructor takes (IUnknown* outer, ModuleLock* module).
template <class T, Aggregation policy = Aggregation::Allowed>
class ClassFactory final : public ComObject<IClassFactory>
{
public:
    ClassFactory(IUnknown* outer, ModuleLock* module) : ComObject(outer, nullptr), module(module) {}

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter && (policy == Aggregation::Refused || riid != IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        return CreateComObject<T>(pUnkOuter, module, riid, ppvObject);
    }

    HRESULT LockServer(BOOL fLock) override
    {
        if (!module)
            return S_OK;
        if (fLock)
            module->Lock();
        else
            module->Unlock();
        return S_OK;
    }

private:
    ModuleLock* module;
};
