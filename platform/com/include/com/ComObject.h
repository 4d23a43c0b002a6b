// A reference-counted object base with aggregation, and the module lock count that every
// in-process server keeps. The count may be touched from any thread; the object otherwise
// belongs to the thread that made it.
#pragma once

#include <atomic>
#include <new>

#include "com/Unknown.h"

// The lock count of one module: one lock per live object and per LockServer(TRUE).
class ModuleLock
{
public:
    void Lock() { count.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() { count.fetch_sub(1, std::memory_order_acq_rel); }
    long Count() const { return count.load(std::memory_order_acquire); }

private:
    std::atomic<long> count{0};
};

// The non-delegating half of an object: its own reference count and interface table.
// An aggregated object forwards its public IUnknown to the outer object and hands the outer
// object this inner unknown instead.
class ComObjectBase
{
public:
    ComObjectBase(IUnknown* outer, ModuleLock* module);
    virtual ~ComObjectBase();
    ComObjectBase(const ComObjectBase&) = delete;
    ComObjectBase& operator=(const ComObjectBase&) = delete;

    HRESULT InnerQueryInterface(REFIID riid, void** ppv);
    ULONG InnerAddRef();
    ULONG InnerRelease();
    // The unknown that an outer object holds for this object.
    IUnknown* InnerUnknown() { return &inner; }
    bool IsAggregated() const { return outer != &inner; }

protected:
    // The interface pointer for riid, or null; IID_IUnknown is answered by the base.
    virtual void* FindInterface(REFIID riid) = 0;
    // The controlling unknown: the outer object's when aggregated, else our own.
    IUnknown* ControllingUnknown() const { return outer; }

private:
    struct Inner final : IUnknown
    {
        explicit Inner(ComObjectBase* self) : self(self) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override
        {
            return self->InnerQueryInterface(riid, ppv);
        }
        ULONG AddRef() override { return self->InnerAddRef(); }
        ULONG Release() override { return self->InnerRelease(); }
        ComObjectBase* self;
    };

    Inner inner{this};
    IUnknown* outer;
    ModuleLock* module;
    std::atomic<ULONG> refs{1};
};

// Implements the public IUnknown of every listed interface by delegating to the controlling
// unknown, and answers QueryInterface for the listed interfaces. A class adds further
// identities (base interfaces such as IDispatch) by overriding FindInterface.
// A new object starts with one reference, which its creator owns.
template <class... Interfaces> class ComObject : public ComObjectBase, public Interfaces...
{
public:
    ComObject(IUnknown* outer = nullptr, ModuleLock* module = nullptr)
        : ComObjectBase(outer, module)
    {
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return ControllingUnknown()->QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return ControllingUnknown()->AddRef(); }
    ULONG Release() override { return ControllingUnknown()->Release(); }

protected:
    void* FindInterface(REFIID riid) override
    {
        void* found = nullptr;
        ((found == nullptr && riid == IidOf<Interfaces>()
              ? (found = static_cast<Interfaces*>(this), true)
              : false),
         ...);
        return found;
    }
};

// Creates an object of T with `new`, turning an allocation failure into E_OUTOFMEMORY, and
// queries it for riid. T's constructor takes (IUnknown* outer, ModuleLock* module).
template <class T>
HRESULT CreateComObject(IUnknown* outer, ModuleLock* module, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    T* object = new (std::nothrow) T(outer, module);
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->InnerQueryInterface(riid, ppv);
    object->InnerRelease();
    return hr;
}
