#include "com/ComObject.h"

ComObjectBase::ComObjectBase(IUnknown* outer, ModuleLock* module)
    : outer(outer ? outer : &inner), module(module)
{
    if (module)
        module->Lock();
}

ComObjectBase::~ComObjectBase()
{
    if (module)
        module->Unlock();
}

HRESULT ComObjectBase::InnerQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // The inner unknown is the object's identity only to the outer object that aggregates it.
    void* found = riid == IID_IUnknown ? static_cast<IUnknown*>(&inner) : FindInterface(riid);
    if (!found)
        return E_NOINTERFACE;
    static_cast<IUnknown*>(found)->AddRef();
    *ppv = found;
    return S_OK;
}

ULONG ComObjectBase::InnerAddRef()
{
    return refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG ComObjectBase::InnerRelease()
{
    ULONG remaining = refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0)
        delete this;
    return remaining;
}
