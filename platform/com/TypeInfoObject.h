// ITypeInfo over one type of a loaded library: a listed type, or the vtable twin of a dual
// interface. Used on the thread that loaded the library.
#pragma once

#include "TypeInfoView.h"
#include "TypeLibObject.h"
#include "com/ComPtr.h"

namespace quillet::typelib {

class TypeInfoObject final : public ComObject<ITypeInfo>
{
public:
    TypeInfoObject(TypeLibObject* library, uint16_t index, bool interfaceTwin);

    // A new type info; the caller has checked the index against the library.
    static HRESULT Create(TypeLibObject* library, uint16_t index, bool interfaceTwin,
                          ITypeInfo** ppTInfo);

    HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) override;
    HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
    HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override;
    HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
    HRESULT Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                        WORD* pwOrdinal) override;
    HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID* ppv) override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, PVOID* ppvObj) override;
    HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) override;
    HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void ReleaseTypeAttr(TYPEATTR* pTypeAttr) override;
    void ReleaseFuncDesc(FUNCDESC* pFuncDesc) override;
    void ReleaseVarDesc(VARDESC* pVarDesc) override;

private:
    TypeInfoView View() const { return {library->Model(), index, interfaceTwin}; }
    bool HasTwin() const { return !interfaceTwin && library->Model().types[index].dualInterface; }

    ComPtr<TypeLibObject> library;
    uint16_t index;
    bool interfaceTwin;
};

} // namespace quillet::typelib
