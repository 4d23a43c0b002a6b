#include "TypeInfoObject.h"

#include <new>

#include "com/Bstr.h"
#include "com/DebugLog.h"

namespace quillet::typelib {
namespace {

ULONG SizeOfVt(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
    case VT_HRESULT:
        return 4;
    case VT_VARIANT:
        return sizeof(VARIANT);
    case VT_DECIMAL:
        return 16;
    default:
        return 8; // 64-bit integers, doubles, dates, currency and every pointer
    }
}

void FreeAndClear(BSTR* out)
{
    if (out) {
        SysFreeString(*out);
        *out = nullptr;
    }
}

bool CopyDoc(const std::string& utf8, BSTR* out)
{
    if (out && utf8.empty()) {
        *out = nullptr;
        return true;
    }
    return CopyName(utf8, out);
}

} // namespace

TypeInfoObject::TypeInfoObject(TypeLibObject* library, uint16_t index, bool interfaceTwin)
    : library(library), index(index), interfaceTwin(interfaceTwin)
{
}

HRESULT TypeInfoObject::Create(TypeLibObject* library, uint16_t index, bool interfaceTwin,
                               ITypeInfo** ppTInfo)
{
    *ppTInfo = nullptr;
    auto* object = new (std::nothrow) TypeInfoObject(library, index, interfaceTwin);
    if (!object)
        return E_OUTOFMEMORY;
    *ppTInfo = object; // the object's first reference goes to the caller
    return S_OK;
}

HRESULT TypeInfoObject::GetTypeAttr(TYPEATTR** ppTypeAttr)
{
    if (!ppTypeAttr)
        return E_INVALIDARG;
    *ppTypeAttr = nullptr;
    TypeInfoView view = View();
    const TypeDefinition& type = view.Type();
    TYPEATTR attr{};
    attr.guid = type.guid;
    attr.lcid = library->Model().lcid;
    attr.memidConstructor = MEMBERID_NIL;
    attr.memidDestructor = MEMBERID_NIL;
    attr.typekind = view.Kind();
    attr.cFuncs = WORD(view.Functions().size());
    attr.cVars = WORD(view.Variables().size());
    attr.cImplTypes = WORD(view.ImplTypes().size());
    attr.cbSizeVft = view.VtableSize();
    attr.wTypeFlags = view.TypeFlags();
    attr.wMajorVerNum = type.majorVersion;
    attr.wMinorVerNum = type.minorVersion;
    switch (attr.typekind) {
    case TKIND_ENUM:
        attr.cbSizeInstance = 4;
        attr.cbAlignment = 4;
        break;
    case TKIND_ALIAS:
        attr.cbSizeInstance = SizeOfVt(type.aliasType.vt);
        attr.cbAlignment = WORD(std::min<ULONG>(attr.cbSizeInstance, 8));
        break;
    case TKIND_INTERFACE:
    case TKIND_DISPATCH:
    case TKIND_COCLASS:
        attr.cbSizeInstance = sizeof(void*); // an instance is its vtable pointer
        attr.cbAlignment = alignof(void*);
        break;
    default:
        attr.cbAlignment = 8;
        break;
    }
    try {
        *ppTypeAttr = library->Descriptors().NewTypeAttr(
            attr, attr.typekind == TKIND_ALIAS ? &type.aliasType : nullptr);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeInfoObject::GetTypeComp(ITypeComp** ppTComp)
{
    if (!ppTComp)
        return E_INVALIDARG;
    *ppTComp = nullptr;
    QUILLET_LOG("com", "ITypeInfo::GetTypeComp on \"%s\": not implemented",
                View().Type().name.c_str());
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc)
{
    if (!ppFuncDesc)
        return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    TypeInfoView view = View();
    if (index >= view.Functions().size())
        return TYPE_E_ELEMENTNOTFOUND;
    try {
        *ppFuncDesc = library->Descriptors().NewFuncDesc(view.Functions()[index]);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeInfoObject::GetVarDesc(UINT index, VARDESC** ppVarDesc)
{
    if (!ppVarDesc)
        return E_INVALIDARG;
    *ppVarDesc = nullptr;
    TypeInfoView view = View();
    if (index >= view.Variables().size())
        return TYPE_E_ELEMENTNOTFOUND;
    try {
        *ppVarDesc = library->Descriptors().NewVarDesc(view.Variables()[index]);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeInfoObject::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames)
{
    if (!rgBstrNames || !pcNames)
        return E_INVALIDARG;
    *pcNames = 0;
    TypeInfoView view = View();
    std::vector<const std::string*> names;
    try {
        if (const Function* function = view.FindFunction(memid)) {
            names.push_back(&function->name);
            size_t count = function->params.size();
            // The value of a property put is not named, as callers pass it unnamed.
            bool put = function->invokeKind == INVOKE_PROPERTYPUT ||
                       function->invokeKind == INVOKE_PROPERTYPUTREF;
            if (put && count > 0)
                --count;
            for (size_t i = 0; i < count; ++i)
                names.push_back(&function->params[i].name);
        } else if (const Variable* variable = view.FindVariable(memid)) {
            names.push_back(&variable->name);
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        UINT count = UINT(std::min<size_t>(names.size(), cMaxNames));
        for (UINT i = 0; i < count; ++i) {
            if (!CopyName(*names[i], &rgBstrNames[i])) {
                for (UINT k = 0; k < i; ++k)
                    FreeAndClear(&rgBstrNames[k]);
                return E_OUTOFMEMORY;
            }
        }
        *pcNames = count;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeInfoObject::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType)
{
    if (!pRefType)
        return E_INVALIDARG;
    *pRefType = 0;
    // -1 asks a dual dispinterface for its vtable twin.
    if (index == UINT(-1)) {
        if (!HasTwin())
            return TYPE_E_ELEMENTNOTFOUND;
        *pRefType = TypeInfoView::EncodeRef(TypeRef::Interface(this->index));
        return S_OK;
    }
    const std::vector<ImplementedType>& implTypes = View().ImplTypes();
    if (index >= implTypes.size())
        return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = TypeInfoView::EncodeRef(implTypes[index].ref);
    return S_OK;
}

HRESULT TypeInfoObject::GetImplTypeFlags(UINT index, INT* pImplTypeFlags)
{
    if (!pImplTypeFlags)
        return E_INVALIDARG;
    *pImplTypeFlags = 0;
    const std::vector<ImplementedType>& implTypes = View().ImplTypes();
    if (index >= implTypes.size())
        return TYPE_E_ELEMENTNOTFOUND;
    *pImplTypeFlags = implTypes[index].flags;
    return S_OK;
}

HRESULT TypeInfoObject::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId)
{
    if (!rgszNames || !pMemId || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        pMemId[i] = MEMBERID_NIL;
    if (!rgszNames[0])
        return E_INVALIDARG;
    try {
        TypeInfoView view = View();
        std::string member = Utf16ToUtf8(rgszNames[0]);
        if (const Function* function = view.FindFunctionByName(member)) {
            pMemId[0] = function->memid;
            HRESULT hr = S_OK;
            // Further names are the method's parameters; their ids are their positions.
            for (UINT i = 1; i < cNames; ++i) {
                std::string param = rgszNames[i] ? Utf16ToUtf8(rgszNames[i]) : std::string();
                for (size_t p = 0; p < function->params.size(); ++p)
                    if (rgszNames[i] && NamesEqual(function->params[p].name, param)) {
                        pMemId[i] = MEMBERID(p);
                        break;
                    }
                if (pMemId[i] == MEMBERID_NIL)
                    hr = DISP_E_UNKNOWNNAME;
            }
            return hr;
        }
        if (const Variable* variable = view.FindVariableByName(member)) {
            pMemId[0] = variable->memid;
            return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
        }
        QUILLET_LOG("com", "ITypeInfo::GetIDsOfNames: \"%s\" has no member \"%s\"",
                    view.Type().name.c_str(), member.c_str());
        return DISP_E_UNKNOWNNAME;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT TypeInfoObject::Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT* pVarResult, EXCEPINFO*,
                               UINT*)
{
    // Generated servers implement IDispatch::Invoke themselves; nothing dispatches through here.
    if (pVarResult)
        VariantInit(pVarResult);
    QUILLET_LOG("com", "ITypeInfo::Invoke on \"%s\": not implemented", View().Type().name.c_str());
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
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

    TypeInfoView view = View();
    const std::string* name = nullptr;
    const std::string* doc = nullptr;
    DWORD context = 0;
    if (memid == MEMBERID_NIL) {
        name = &view.Type().name;
        doc = &view.Type().helpString;
        context = view.Type().helpContext;
    } else if (const Function* function = view.FindFunction(memid)) {
        name = &function->name;
        doc = &function->helpString;
        context = function->helpContext;
    } else if (const Variable* variable = view.FindVariable(memid)) {
        name = &variable->name;
        doc = &variable->helpString;
        context = variable->helpContext;
    } else {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    try {
        if (CopyName(*name, pBstrName) && CopyDoc(*doc, pBstrDocString) &&
            CopyDoc(library->Model().helpFile, pBstrHelpFile)) {
            if (pdwHelpContext)
                *pdwHelpContext = context;
            return S_OK;
        }
    } catch (const std::bad_alloc&) {
    }
    FreeAndClear(pBstrName);
    FreeAndClear(pBstrDocString);
    FreeAndClear(pBstrHelpFile);
    return E_OUTOFMEMORY;
}

HRESULT TypeInfoObject::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName,
                                    WORD* pwOrdinal)
{
    if (pBstrDllName)
        *pBstrDllName = nullptr;
    if (pBstrName)
        *pBstrName = nullptr;
    if (pwOrdinal)
        *pwOrdinal = 0;
    // Only module types have entry points, and no library of ours declares one.
    return View().Kind() == TKIND_MODULE ? E_NOTIMPL : TYPE_E_BADMODULEKIND;
}

HRESULT TypeInfoObject::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (hRefType == HREFTYPE(-1)) {
        if (!HasTwin())
            return TYPE_E_ELEMENTNOTFOUND;
        return library->TypeInfoAt(index, true, ppTInfo);
    }
    std::optional<TypeRef> ref = TypeInfoView::DecodeRef(hRefType);
    if (!ref)
        return TYPE_E_ELEMENTNOTFOUND;
    if (ref->kind == RefKind::StdOle) {
        ComPtr<ITypeLib> stdole;
        HRESULT hr = TypeLibObject::CreateStdOle(&stdole);
        if (FAILED(hr))
            return hr;
        auto* object = static_cast<TypeLibObject*>(stdole.Get());
        return object->TypeInfoAt(ref->index, false, ppTInfo);
    }
    return library->TypeInfoAt(ref->index, ref->kind == RefKind::LocalInterface, ppTInfo);
}

HRESULT TypeInfoObject::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::CreateInstance(IUnknown*, REFIID, PVOID* ppvObj)
{
    if (!ppvObj)
        return E_INVALIDARG;
    *ppvObj = nullptr;
    // Classes are created through CoCreateInstance, which knows the registered module.
    QUILLET_LOG("com", "ITypeInfo::CreateInstance on \"%s\": not implemented",
                View().Type().name.c_str());
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetMops(MEMBERID, BSTR* pBstrMops)
{
    if (!pBstrMops)
        return E_INVALIDARG;
    *pBstrMops = nullptr;
    return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex)
{
    if (ppTLib) {
        *ppTLib = library.Get();
        library->AddRef();
    }
    if (pIndex)
        *pIndex = index;
    return S_OK;
}

void TypeInfoObject::ReleaseTypeAttr(TYPEATTR* pTypeAttr)
{
    if (pTypeAttr)
        library->Descriptors().Release(pTypeAttr);
}

void TypeInfoObject::ReleaseFuncDesc(FUNCDESC* pFuncDesc)
{
    if (pFuncDesc)
        library->Descriptors().Release(pFuncDesc);
}

void TypeInfoObject::ReleaseVarDesc(VARDESC* pVarDesc)
{
    if (pVarDesc)
        library->Descriptors().Release(pVarDesc);
}

} // namespace quillet::typelib
