// The identity that every engine class shares: its default dual interface (and IDispatch
// through it), the module lock, and optionally ISupportErrorInfo for the default interface.
// Engine objects are apartment objects: used on the thread that created them.
#pragma once

#include "EngineModule.h"
#include "com/ComObject.h"
#include "com/DualDispatch.h"

// ISupportErrorInfo that vouches for the default interface only.
template <class Default> class SupportsErrorInfo : public ISupportErrorInfo
{
public:
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return riid == IidOf<Default>() ? S_OK : S_FALSE;
    }

protected:
    ~SupportsErrorInfo() = default;
};

template <class Default> struct InterfaceIdOf<SupportsErrorInfo<Default>>
{
    static constexpr const IID& value = IID_ISupportErrorInfo;
};

template <class Default, class... Extra>
class EngineObject : public ComObject<Dual<Default>, Extra...>
{
public:
    EngineObject(IUnknown* outer, ModuleLock* module)
        : ComObject<Dual<Default>, Extra...>(outer, module)
    {
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_IDispatch)
            return static_cast<IDispatch*>(static_cast<Dual<Default>*>(this));
        return ComObject<Dual<Default>, Extra...>::FindInterface(riid);
    }
};
