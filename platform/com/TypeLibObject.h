// ITypeLib over a parsed library model. Used on the thread that loaded it; the descriptor
// store inside may be reached from any thread.
#pragma once

#include <memory>

#include "TypeInfoDescriptors.h"
#include "com/ComObject.h"
#include "com/TypeLibModel.h"

namespace quillet::typelib {

class TypeLibObject final : public ComObject<ITypeLib>
{
public:
    // `module` keeps the module that the bytes came from loaded while the library lives.
    TypeLibObject(std::shared_ptr<const Library> model, std::shared_ptr<void> module);

    // A new ITypeLib over the model; E_OUTOFMEMORY when it cannot be made.
    static HRESULT Create(std::shared_ptr<const Library> model, std::shared_ptr<void> module,
                          ITypeLib** pptlib);
    // The built-in standard OLE library.
    static HRESULT CreateStdOle(ITypeLib** pptlib);

    const Library& Model() const { return *model; }
    TypeInfoDescriptors& Descriptors() { return descriptors; }
    // The type info of a listed type, or of its dual interface twin.
    HRESULT TypeInfoAt(uint16_t index, bool interfaceTwin, ITypeInfo** ppTInfo);

    UINT GetTypeInfoCount() override;
    HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
    HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) override;
    HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) override;
    HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                     USHORT* pcFound) override;
    void ReleaseTLibAttr(TLIBATTR* pTLibAttr) override;

private:
    std::shared_ptr<const Library> model;
    std::shared_ptr<void> module;
    TypeInfoDescriptors descriptors;
};

// Copies a name into a new BSTR when the out-parameter is wanted; false when out of memory.
bool CopyName(const std::string& utf8, BSTR* out);

} // namespace quillet::typelib
