// Adds interfaces to a COM class: the added interfaces' IUnknown methods delegate to the class's
// own, and QueryInterface finds them before the interfaces of the base. The base provides
// QueryInterface, AddRef, Release and a virtual FindInterface(riid) (ComObject, BasePin).
// Threads: whatever the base allows.
#pragma once

#include "com/Unknown.h"

template <class Base, class... Extra> class ExtendInterfaces : public Base, public Extra...
{
public:
    using Base::Base;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return Base::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return Base::AddRef(); }
    ULONG Release() override { return Base::Release(); }

protected:
    void* FindInterface(REFIID riid) override
    {
        void* found = nullptr;
        ((found == nullptr && riid == IidOf<Extra>() ? (found = static_cast<Extra*>(this), true)
                                                     : false),
         ...);
        return found ? found : Base::FindInterface(riid);
    }
};
