#include "TypeLibObject.h"

#include <algorithm>
#include <new>

#include "TypeInfoObject.h"
#include "TypeInfoView.h"
#include "TypeLibStdOle.h"
#include "com/Bstr.h"
#include "com/DebugLog.h"

namespace quillet::typelib {

bool CopyName(const std::string& utf8, BSTR* out)
{
    if (!out)
        return true;
    std::u16string text = Utf8ToUtf16(utf8);
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out != nullptr;
}

namespace {

// Documentation strings that were never given come back as null BSTRs, as callers expect.
bool CopyDoc(const std::string& utf8, BSTR* out)
{
    if (out && utf8.empty()) {
        *out = nullptr;
        return true;
    }
    return CopyName(utf8, out);
}

void FreeAndClear(BSTR* out)
{
    if (out) {
        SysFreeString(*out);
        *out = nullptr;
    }
}

// Writes the library's spelling of a name back over the caller's, as IsName and FindName do.
void CopySpelling(const std::string& spelling, LPOLESTR buffer)
{
    std::u16string text = Utf8ToUtf16(spelling);
    std::u16string_view current(buffer);
    if (text.size() == current.size())
        std::copy(text.begin(), text.end(), buffer);
}

} // namespace

TypeLibObject::TypeLibObject(std::shared_ptr<const Library> model, std::shared_ptr<void> module)
    : model(std::move(model)), module(std::move(module))
{
}

HRESULT TypeLibObject::Create(std::shared_ptr<const Library> model, std::shared_ptr<void> module,
                              ITypeLib** pptlib)
{
    if (!pptlib)
        return E_POINTER;
    *pptlib = nullptr;
    auto* object = new (std::nothrow) TypeLibObject(std::move(model), std::move(module));
    if (!object)
        return E_OUTOFMEMORY;
    *pptlib = object; // the object starts with the one reference that the caller now owns
    return S_OK;
}

HRESULT TypeLibObject::CreateStdOle(ITypeLib** pptlib)
{
    return Create(StdOleLibrary(), nullptr, pptlib);
}

HRESULT TypeLibObject::TypeInfoAt(uint16_t index, bool interfaceTwin, ITypeInfo** ppTInfo)
{
    *ppTInfo = nullptr;
    if (index >= model->types.size() || (interfaceTwin && !model->types[index].dualInterface))
        return TYPE_E_ELEMENTNOTFOUND;
    return TypeInfoObject::Create(this, index, interfaceTwin, ppTInfo);
}

UINT TypeLibObject::GetTypeInfoCount()
{
    return UINT(model->types.size());
}

HRESULT TypeLibObject::GetTypeInfo(UINT index, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (index >= model->types.size())
        return TYPE_E_ELEMENTNOTFOUND;
    return TypeInfoAt(uint16_t(index), false, ppTInfo);
}

HRESULT TypeLibObject::GetTypeInfoType(UINT index, TYPEKIND* pTKind)
{
    if (!pTKind)
        return E_INVALIDARG;
    if (index >= model->types.size())
        return TYPE_E_ELEMENTNOTFOUND;
    *pTKind = model->types[index].kind;
    return S_OK;
}

HRESULT TypeLibObject::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo)
{
    if (!ppTinfo)
        return E_INVALIDARG;
    *ppTinfo = nullptr;
    // Types declared without a GUID cannot be found by one.
    if (guid == GUID_NULL)
        return TYPE_E_ELEMENTNOTFOUND;
    for (size_t i = 0; i < model->types.size(); ++i)
        if (model->types[i].guid == guid)
            return TypeInfoAt(uint16_t(i), false, ppTinfo);
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibObject::GetLibAttr(TLIBATTR** ppTLibAttr)
{
    if (!ppTLibAttr)
        return E_INVALIDARG;
    *ppTLibAttr = nullptr;
    auto* attr = new (std::nothrow) TLIBATTR{};
    if (!attr)
        return E_OUTOFMEMORY;
    attr->guid = model->guid;
    attr->lcid = model->lcid;
    attr->syskind = SYS_WIN64;
    attr->wMajorVerNum = model->majorVersion;
    attr->wMinorVerNum = model->minorVersion;
    attr->wLibFlags = model->flags;
    *ppTLibAttr = attr;
    return S_OK;
}

void TypeLibObject::ReleaseTLibAttr(TLIBATTR* pTLibAttr)
{
    delete pTLibAttr;
}

HRESULT TypeLibObject::GetTypeComp(ITypeComp** ppTComp)
{
    if (!ppTComp)
        return E_INVALIDARG;
    *ppTComp = nullptr;
    QUILLET_LOG("com", "ITypeLib::GetTypeComp on \"%s\": not implemented", model->name.c_str());
    return E_NOTIMPL;
}

HRESULT TypeLibObject::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                        DWORD* pdwHelpContext, BSTR* pBstrHelpFile)
{
    if (pBstrName)
        *pBstrName = nullptr;
    if (pBstrDocString)
        *pBstrDocString = nullptr;
    if (pdwHelpContext)
        *pdwHelpContext = 0;
    if (pBstrHelpFile)
        *pBstrHelpFile = nullptr;
    if (index < -1 || (index >= 0 && size_t(index) >= model->types.size()))
        return TYPE_E_ELEMENTNOTFOUND;

    try {
        const std::string& name = index == -1 ? model->name : model->types[index].name;
        const std::string& doc = index == -1 ? model->helpString : model->types[index].helpString;
        DWORD context = index == -1 ? model->helpContext : model->types[index].helpContext;
        if (!CopyName(name, pBstrName) || !CopyDoc(doc, pBstrDocString) ||
            !CopyDoc(model->helpFile, pBstrHelpFile)) {
            FreeAndClear(pBstrName);
            FreeAndClear(pBstrDocString);
            FreeAndClear(pBstrHelpFile);
            return E_OUTOFMEMORY;
        }
        if (pdwHelpContext)
            *pdwHelpContext = context;
        return S_OK;
    } catch (const std::bad_alloc&) {
        FreeAndClear(pBstrName);
        FreeAndClear(pBstrDocString);
        FreeAndClear(pBstrHelpFile);
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeLibObject::IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName)
{
    if (!szNameBuf || !pfName)
        return E_INVALIDARG;
    *pfName = FALSE;
    try {
        std::string name = Utf16ToUtf8(szNameBuf);
        auto found = [&](const std::string& spelling) {
            if (!NamesEqual(spelling, name))
                return false;
            CopySpelling(spelling, szNameBuf);
            *pfName = TRUE;
            return true;
        };
        for (const TypeDefinition& type : model->types) {
            if (found(type.name))
                return S_OK;
            for (const Function& function : type.functions) {
                if (found(function.name))
                    return S_OK;
                for (const Parameter& param : function.params)
                    if (found(param.name))
                        return S_OK;
            }
            for (const Variable& variable : type.variables)
                if (found(variable.name))
                    return S_OK;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeLibObject::FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                                USHORT* pcFound)
{
    if (!szNameBuf || !ppTInfo || !rgMemId || !pcFound || *pcFound == 0)
        return E_INVALIDARG;
    USHORT wanted = *pcFound;
    USHORT count = 0;
    try {
        std::string name = Utf16ToUtf8(szNameBuf);
        for (size_t i = 0; i < model->types.size() && count < wanted; ++i) {
            const TypeDefinition& type = model->types[i];
            // One entry per type: the type itself, else its first member of that name.
            const std::string* spelling = nullptr;
            MEMBERID memid = MEMBERID_NIL;
            if (NamesEqual(type.name, name)) {
                spelling = &type.name;
            } else {
                for (const Function& function : type.functions)
                    if (!spelling && NamesEqual(function.name, name)) {
                        spelling = &function.name;
                        memid = function.memid;
                    }
                for (const Variable& variable : type.variables)
                    if (!spelling && NamesEqual(variable.name, name)) {
                        spelling = &variable.name;
                        memid = variable.memid;
                    }
            }
            if (!spelling)
                continue;
            HRESULT hr = TypeInfoAt(uint16_t(i), false, &ppTInfo[count]);
            if (FAILED(hr)) {
                for (USHORT k = 0; k < count; ++k) {
                    ppTInfo[k]->Release();
                    ppTInfo[k] = nullptr;
                }
                *pcFound = 0;
                return hr;
            }
            rgMemId[count++] = memid;
            CopySpelling(*spelling, szNameBuf);
        }
    } catch (const std::bad_alloc&) {
        for (USHORT k = 0; k < count; ++k) {
            ppTInfo[k]->Release();
            ppTInfo[k] = nullptr;
        }
        *pcFound = 0;
        return E_OUTOFMEMORY;
    }
    *pcFound = count;
    return S_OK;
}

} // namespace quillet::typelib
