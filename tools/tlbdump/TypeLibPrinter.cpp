#include "TypeLibPrinter.h"

#include <cstdio>
#include <vector>

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "com/Variant.h"

namespace {

std::string Guid(const GUID& guid)
{
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return quillet::Utf16ToUtf8(text);
}

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string Name(ITypeInfo* info, MEMBERID memid)
{
    Bstr name;
    info->GetDocumentation(memid, name.Out(), nullptr, nullptr, nullptr);
    return name.Utf8();
}

std::string DocString(ITypeInfo* info, MEMBERID memid)
{
    Bstr doc;
    info->GetDocumentation(memid, nullptr, doc.Out(), nullptr, nullptr);
    return doc.Empty() ? std::string() : " \"" + doc.Utf8() + "\"";
}

std::string ConstantText(const VARIANT& value)
{
    Variant text;
    if (FAILED(VariantChangeType(&text, &value, VARIANT_ALPHABOOL, VT_BSTR)))
        return "?";
    return Bstr(text.bstrVal).Utf8();
}

const char* KindText(INVOKEKIND kind)
{
    switch (kind) {
    case INVOKE_PROPERTYGET:
        return "propget";
    case INVOKE_PROPERTYPUT:
        return "propput";
    case INVOKE_PROPERTYPUTREF:
        return "propputref";
    default:
        return "method";
    }
}

std::string ParamFlags(const PARAMDESC& param)
{
    std::vector<std::string> flags;
    USHORT f = param.wParamFlags;
    if (f & PARAMFLAG_FIN)
        flags.push_back("in");
    if (f & PARAMFLAG_FOUT)
        flags.push_back("out");
    if (f & PARAMFLAG_FRETVAL)
        flags.push_back("retval");
    if (f & PARAMFLAG_FOPT)
        flags.push_back("optional");
    if ((f & PARAMFLAG_FHASDEFAULT) && param.pparamdescex)
        flags.push_back("defaultvalue(" + ConstantText(param.pparamdescex->varDefaultValue) + ")");
    std::string text = "[";
    for (size_t i = 0; i < flags.size(); ++i)
        text += (i ? "," : "") + flags[i];
    return text + "]";
}

// One member: "slot=7 dispid=1 propget RecordLevel([out,retval] long* pVal)".
HRESULT FunctionLine(ITypeInfo* info, UINT index, bool withSlot, std::string* out)
{
    FUNCDESC* function = nullptr;
    HRESULT hr = info->GetFuncDesc(index, &function);
    if (FAILED(hr))
        return hr;
    BSTR names[64] = {};
    UINT count = 0;
    info->GetNames(function->memid, names, 64, &count);
    std::string line;
    if (withSlot)
        line += "slot=" + std::to_string(function->oVft / 8) + " ";
    line += "dispid=" + std::to_string(function->memid) + " " + KindText(function->invkind) + " " +
            Name(info, function->memid) + "(";
    for (SHORT p = 0; p < function->cParams; ++p) {
        const ELEMDESC& param = function->lprgelemdescParam[p];
        if (p)
            line += ", ";
        line += ParamFlags(param.paramdesc) + " " + TypeText(info, param.tdesc);
        // A property put's value parameter has no name of its own.
        if (UINT(p + 1) < count && function->invkind != INVOKE_PROPERTYPUT &&
            function->invkind != INVOKE_PROPERTYPUTREF)
            line += " " + Bstr(names[p + 1]).Utf8();
    }
    line += ")";
    line += " returns " + TypeText(info, function->elemdescFunc.tdesc);
    if (function->wFuncFlags)
        line += " funcflags=" + Hex(function->wFuncFlags);
    for (UINT i = 0; i < count; ++i)
        SysFreeString(names[i]);
    info->ReleaseFuncDesc(function);
    *out += line;
    return S_OK;
}

HRESULT PrintFunctions(ITypeInfo* info, const std::string& prefix, bool withSlot, std::string* out)
{
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr))
        return hr;
    WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < functions; ++i) {
        *out += prefix;
        hr = FunctionLine(info, i, withSlot, out);
        if (FAILED(hr))
            return hr;
        *out += "\n";
    }
    return S_OK;
}

std::string ImplText(ITypeInfo* info, UINT index)
{
    HREFTYPE ref = 0;
    ComPtr<ITypeInfo> target;
    if (FAILED(info->GetRefTypeOfImplType(index, &ref)) ||
        FAILED(info->GetRefTypeInfo(ref, &target)))
        return "?";
    INT flags = 0;
    info->GetImplTypeFlags(index, &flags);
    std::string text = Name(target.Get(), MEMBERID_NIL);
    std::vector<std::string> names;
    if (flags & IMPLTYPEFLAG_FDEFAULT)
        names.push_back("default");
    if (flags & IMPLTYPEFLAG_FSOURCE)
        names.push_back("source");
    if (flags & IMPLTYPEFLAG_FRESTRICTED)
        names.push_back("restricted");
    text += "[";
    for (size_t i = 0; i < names.size(); ++i)
        text += (i ? "," : "") + names[i];
    return text + "]";
}

} // namespace

std::string TypeText(ITypeInfo* owner, const TYPEDESC& type)
{
    switch (type.vt) {
    case VT_PTR:
        return TypeText(owner, *type.lptdesc) + "*";
    case VT_SAFEARRAY:
        return "SAFEARRAY(" + TypeText(owner, *type.lptdesc) + ")";
    case VT_USERDEFINED: {
        ComPtr<ITypeInfo> target;
        if (FAILED(owner->GetRefTypeInfo(type.hreftype, &target)))
            return "?";
        return Name(target.Get(), MEMBERID_NIL);
    }
    case VT_I4:
        return "long";
    case VT_INT:
        return "int";
    case VT_I2:
        return "short";
    case VT_UI1:
        return "unsigned char";
    case VT_R4:
        return "float";
    case VT_R8:
        return "double";
    case VT_BSTR:
        return "BSTR";
    case VT_BOOL:
        return "VARIANT_BOOL";
    case VT_VARIANT:
        return "VARIANT";
    case VT_HRESULT:
        return "HRESULT";
    case VT_VOID:
        return "void";
    case VT_DISPATCH:
        return "IDispatch*";
    case VT_UNKNOWN:
        return "IUnknown*";
    default:
        return "vt" + std::to_string(type.vt);
    }
}

HRESULT PrintTypeLib(ITypeLib* library, std::string* out)
{
    if (!library || !out)
        return E_POINTER;
    TLIBATTR* libAttr = nullptr;
    HRESULT hr = library->GetLibAttr(&libAttr);
    if (FAILED(hr))
        return hr;
    Bstr libName, libDoc;
    library->GetDocumentation(-1, libName.Out(), libDoc.Out(), nullptr, nullptr);
    *out += "library " + libName.Utf8() + " " + Guid(libAttr->guid) + " " +
            std::to_string(libAttr->wMajorVerNum) + "." + std::to_string(libAttr->wMinorVerNum) +
            " \"" + libDoc.Utf8() + "\"\n";
    library->ReleaseTLibAttr(libAttr);

    UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ComPtr<ITypeInfo> info;
        hr = library->GetTypeInfo(i, &info);
        if (FAILED(hr))
            return hr;
        TYPEATTR* attr = nullptr;
        hr = info->GetTypeAttr(&attr);
        if (FAILED(hr))
            return hr;
        std::string name = Name(info.Get(), MEMBERID_NIL);
        std::string head = Guid(attr->guid) + " flags=" + Hex(attr->wTypeFlags) +
                           DocString(info.Get(), MEMBERID_NIL);
        TYPEKIND kind = attr->typekind;
        WORD vars = attr->cVars;
        WORD impls = attr->cImplTypes;
        bool dual = attr->wTypeFlags & TYPEFLAG_FDUAL;
        TYPEDESC alias = attr->tdescAlias;
        std::string aliasText = kind == TKIND_ALIAS ? TypeText(info.Get(), alias) : "";
        info->ReleaseTypeAttr(attr);
        switch (kind) {
        case TKIND_ENUM:
            *out += "enum " + name + "\n";
            for (UINT v = 0; v < vars; ++v) {
                VARDESC* var = nullptr;
                if (FAILED(info->GetVarDesc(v, &var)))
                    continue;
                *out += "enum " + name + " const " + Name(info.Get(), var->memid) + " = " +
                        (var->lpvarValue ? ConstantText(*var->lpvarValue) : "?") + "\n";
                info->ReleaseVarDesc(var);
            }
            break;
        case TKIND_ALIAS:
            *out += "alias " + name + " = " + aliasText + "\n";
            break;
        case TKIND_DISPATCH:
            if (dual) {
                *out += "dispatch " + name + " " + head + "\n";
                HREFTYPE ref = 0;
                ComPtr<ITypeInfo> twin;
                hr = info->GetRefTypeOfImplType(UINT(-1), &ref);
                if (SUCCEEDED(hr))
                    hr = info->GetRefTypeInfo(ref, &twin);
                if (FAILED(hr))
                    return hr;
                TYPEATTR* twinAttr = nullptr;
                if (SUCCEEDED(twin->GetTypeAttr(&twinAttr))) {
                    *out += "interface " + name + " flags=" + Hex(twinAttr->wTypeFlags) +
                            " base=" + ImplText(twin.Get(), 0) + "\n";
                    twin->ReleaseTypeAttr(twinAttr);
                }
                hr = PrintFunctions(twin.Get(), "interface " + name + " ", true, out);
            } else {
                *out += "dispinterface " + name + " " + head + "\n";
                hr = PrintFunctions(info.Get(), "dispinterface " + name + " ", false, out);
            }
            if (FAILED(hr))
                return hr;
            break;
        case TKIND_INTERFACE:
            *out += "interface " + name + " " + head + "\n";
            hr = PrintFunctions(info.Get(), "interface " + name + " ", true, out);
            if (FAILED(hr))
                return hr;
            break;
        case TKIND_COCLASS:
            *out += "coclass " + name + " " + head;
            for (UINT k = 0; k < impls; ++k)
                *out += " impl=" + ImplText(info.Get(), k);
            *out += "\n";
            break;
        default:
            *out += "type " + name + " kind=" + std::to_string(kind) + "\n";
            break;
        }
    }
    return S_OK;
}
