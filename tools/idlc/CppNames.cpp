#include "CppNames.h"

#include <cstdio>

#include "IdlError.h"

namespace idlc {

using namespace quillet::typelib;

std::string CppType(const Library& library, const TypeDescription& type)
{
    switch (type.vt) {
    case VT_I1:
        return "CHAR";
    case VT_UI1:
        return "BYTE";
    case VT_I2:
        return "SHORT";
    case VT_UI2:
        return "USHORT";
    case VT_I4:
        return "LONG";
    case VT_UI4:
        return "ULONG";
    case VT_INT:
        return "INT";
    case VT_UINT:
        return "UINT";
    case VT_I8:
        return "LONGLONG";
    case VT_UI8:
        return "ULONGLONG";
    case VT_R4:
        return "FLOAT";
    case VT_R8:
        return "DOUBLE";
    case VT_CY:
        return "CY";
    case VT_DATE:
        return "DATE";
    case VT_BSTR:
        return "BSTR";
    case VT_BOOL:
        return "VARIANT_BOOL";
    case VT_VARIANT:
        return "VARIANT";
    case VT_ERROR:
        return "SCODE";
    case VT_HRESULT:
        return "HRESULT";
    case VT_VOID:
        return "void";
    case VT_DISPATCH:
        return "IDispatch*";
    case VT_UNKNOWN:
        return "IUnknown*";
    case VT_PTR:
        return CppType(library, type.inner.at(0)) + "*";
    case VT_SAFEARRAY:
        return "SAFEARRAY*";
    case VT_USERDEFINED:
        if (type.ref.kind == RefKind::StdOle)
            return type.ref.index == StdOleIDispatch ? "IDispatch" : "IUnknown";
        return library.types.at(type.ref.index).name;
    default:
        throw std::runtime_error("a type the generator cannot spell: " + std::to_string(type.vt));
    }
}

std::string CppMethodName(const Function& function)
{
    switch (function.invokeKind) {
    case INVOKE_PROPERTYGET:
        return "get_" + function.name;
    case INVOKE_PROPERTYPUT:
        return "put_" + function.name;
    case INVOKE_PROPERTYPUTREF:
        return "putref_" + function.name;
    default:
        return function.name;
    }
}

std::string VariantTypeName(const TypeDescription& type)
{
    switch (type.vt) {
    case VT_I1:
        return "VT_I1";
    case VT_UI1:
        return "VT_UI1";
    case VT_I2:
        return "VT_I2";
    case VT_UI2:
        return "VT_UI2";
    case VT_I4:
    case VT_USERDEFINED: // enumerations travel as 32-bit integers
        return "VT_I4";
    case VT_UI4:
        return "VT_UI4";
    case VT_INT:
        return "VT_INT";
    case VT_UINT:
        return "VT_UINT";
    case VT_I8:
        return "VT_I8";
    case VT_UI8:
        return "VT_UI8";
    case VT_R4:
        return "VT_R4";
    case VT_R8:
        return "VT_R8";
    case VT_CY:
        return "VT_CY";
    case VT_DATE:
        return "VT_DATE";
    case VT_BSTR:
        return "VT_BSTR";
    case VT_BOOL:
        return "VT_BOOL";
    case VT_VARIANT:
        return "VT_VARIANT";
    case VT_ERROR:
        return "VT_ERROR";
    case VT_DISPATCH:
        return "VT_DISPATCH";
    case VT_UNKNOWN:
        return "VT_UNKNOWN";
    default:
        throw std::runtime_error("a parameter type that automation cannot carry: " +
                                 std::to_string(type.vt));
    }
}

std::string VariantMember(const TypeDescription& type)
{
    switch (type.vt) {
    case VT_I1:
        return "cVal";
    case VT_UI1:
        return "bVal";
    case VT_I2:
        return "iVal";
    case VT_UI2:
        return "uiVal";
    case VT_I4:
    case VT_USERDEFINED:
        return "lVal";
    case VT_UI4:
        return "ulVal";
    case VT_INT:
        return "intVal";
    case VT_UINT:
        return "uintVal";
    case VT_I8:
        return "llVal";
    case VT_UI8:
        return "ullVal";
    case VT_R4:
        return "fltVal";
    case VT_R8:
    case VT_DATE:
        return "dblVal";
    case VT_CY:
        return "cyVal";
    case VT_BSTR:
        return "bstrVal";
    case VT_BOOL:
        return "boolVal";
    case VT_ERROR:
        return "scode";
    case VT_DISPATCH:
        return "pdispVal";
    case VT_UNKNOWN:
        return "punkVal";
    case VT_VARIANT:
        return "";
    default:
        throw std::runtime_error("a parameter type that automation cannot carry: " +
                                 std::to_string(type.vt));
    }
}

std::string GuidText(const GUID& guid)
{
    char text[128];
    std::snprintf(text, sizeof text,
                  "{0x%08Xu, 0x%04X, 0x%04X, {0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, 0x%02X, "
                  "0x%02X, 0x%02X}}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace idlc
