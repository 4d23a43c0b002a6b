// IDispatch for a dual interface, by the code that the IDL compiler generates for it: a class
// implements `Dual<IWMACapture>` and gets GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and
// Invoke. Used on the object's own thread.
#pragma once

#include "com/TypeInfo.h"

// Generated per dual interface I:
//   static HRESULT Invoke(I*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*);
//   static HRESULT GetIDsOfNames(LPOLESTR*, UINT, DISPID*);
//   static HRESULT GetTypeInfo(ITypeInfo**);
template <class I> struct DispatchTraits;

template <class I> class Dual : public I
{
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override
    {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        return DispatchTraits<I>::GetTypeInfo(ppTInfo);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override
    {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispatchTraits<I>::GetIDsOfNames(rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispatchTraits<I>::Invoke(this, dispIdMember, wFlags, pDispParams, pVarResult,
                                         pExcepInfo, puArgErr);
    }

protected:
    ~Dual() = default;
};

// Dual<I> answers QueryInterface as I does.
template <class I> struct InterfaceIdOf<Dual<I>>
{
    static constexpr const IID& value = InterfaceIdOf<I>::value;
};
