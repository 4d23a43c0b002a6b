// IUnknown and IClassFactory, the two interfaces every object and module builds on.
#pragma once

#include "com/Types.h"

struct IUnknown
{
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
QUILLET_DECLARE_IID(IUnknown, "00000000-0000-0000-C000-000000000046");

struct IClassFactory : IUnknown
{
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};
QUILLET_DECLARE_IID(IClassFactory, "00000001-0000-0000-C000-000000000046");
