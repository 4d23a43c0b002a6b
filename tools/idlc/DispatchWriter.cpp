// IDispatch::Invoke and name lookup for each dual interface, and firing helpers for each event
// dispinterface.
#include <map>
#include <sstream>

#include "CppNames.h"
#include "Writers.h"

namespace idlc {

using namespace quillet::typelib;

namespace {

bool IsRetval(const Parameter& param)
{
    return param.flags & PARAMFLAG_FRETVAL;
}

std::string DefaultExpression(const Parameter& param)
{
    const ConstantValue& value = *param.defaultValue;
    switch (value.vt) {
    case VT_BOOL:
        return value.integer ? "Variant::Bool(true)" : "Variant::Bool(false)";
    case VT_R4:
    case VT_R8: {
        std::ostringstream text;
        text.precision(17);
        text << "Variant::Double(" << value.real << ")";
        return text.str();
    }
    case VT_BSTR:
        return "Variant::Utf8(" + Quote(value.text) + ")";
    default:
        return "Variant::Long(" + std::to_string(value.integer) + ")";
    }
}

// The call of one vtable member from the converted arguments, and its result.
void WriteCall(std::ostream& out, const Library& library, const Function& function,
               bool propertyPut)
{
    UINT declared = 0;
    UINT required = 0;
    for (const Parameter& param : function.params) {
        if (IsRetval(param))
            continue;
        ++declared;
        if (!(param.flags & PARAMFLAG_FOPT))
            ++required;
    }
    out << "        hr = CheckArguments(params, " << declared << ", " << required << ", "
        << (propertyPut ? "true" : "false") << ");\n"
        << "        if (FAILED(hr))\n            return hr;\n";
    std::string arguments;
    UINT index = 0;
    for (const Parameter& param : function.params) {
        if (!arguments.empty())
            arguments += ", ";
        if (IsRetval(param)) {
            arguments += "&value";
            continue;
        }
        if (param.flags & PARAMFLAG_FOUT) {
            // By-reference parameters are not part of this contract's dual interfaces.
            throw std::runtime_error("[out] parameters other than the retval are not supported "
                                     "in dual interfaces: " +
                                     function.name);
        }
        std::string name = "a" + std::to_string(index);
        out << "        Variant " << name << ";\n";
        if (param.defaultValue)
            out << "        hr = GetOptionalArgument(params, " << index << ", "
                << VariantTypeName(param.type) << ", " << DefaultExpression(param) << ", &" << name
                << ", argErr);\n";
        else
            out << "        hr = GetArgument(params, " << index << ", "
                << VariantTypeName(param.type) << ", &" << name << ", argErr);\n";
        out << "        if (FAILED(hr))\n            return hr;\n";
        std::string member = VariantMember(param.type);
        if (param.type.vt == VT_VARIANT)
            arguments += "static_cast<const VARIANT&>(" + name + ")";
        else if (param.type.vt == VT_USERDEFINED)
            arguments += "static_cast<" + CppType(library, param.type) + ">(" + name + ".lVal)";
        else
            arguments += name + "." + member;
        ++index;
    }
    const Parameter* retval = !function.params.empty() && IsRetval(function.params.back())
                                  ? &function.params.back()
                                  : nullptr;
    std::string call = "self->" + CppMethodName(function) + "(" + arguments + ")";
    if (!retval) {
        out << "        return FinishCall(" << call << ", excepInfo);\n";
        return;
    }
    const TypeDescription& type = retval->type.inner.at(0);
    switch (type.vt) {
    case VT_VARIANT:
        out << "        Variant value;\n        hr = " << call << ";\n"
            << "        if (SUCCEEDED(hr))\n            SetResult(result, "
               "static_cast<VARIANT&>(value));\n";
        break;
    case VT_BSTR:
        out << "        BSTR value = nullptr;\n        hr = " << call << ";\n"
            << "        if (SUCCEEDED(hr))\n            SetResult(result, value);\n"
            << "        else\n            SysFreeString(value);\n";
        break;
    case VT_DISPATCH:
        out << "        IDispatch* value = nullptr;\n        hr = " << call << ";\n"
            << "        if (SUCCEEDED(hr))\n            SetResult(result, value);\n"
            << "        else if (value)\n            value->Release();\n";
        break;
    case VT_USERDEFINED:
        out << "        " << CppType(library, type) << " value{};\n        hr = " << call
            << ";\n        if (SUCCEEDED(hr))\n            SetResult(result, LONG(value));\n";
        break;
    case VT_I4:
    case VT_R8:
    case VT_BOOL:
        out << "        " << CppType(library, type) << " value{};\n        hr = " << call
            << ";\n        if (SUCCEEDED(hr))\n            SetResult(result, value);\n";
        break;
    default:
        throw std::runtime_error("a retval type the dispatcher cannot return: " + function.name);
    }
    out << "        return FinishCall(hr, excepInfo);\n";
}

void WriteInvoke(std::ostream& out, const Library& library, const TypeDefinition& type)
{
    const std::vector<Function>& functions = type.dualInterface->functions;
    std::map<MEMBERID, std::vector<const Function*>> byId;
    for (const Function& function : functions)
        byId[function.memid].push_back(&function);

    out << "HRESULT DispatchTraits<" << type.name << ">::Invoke(" << type.name
        << "* self, DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result, "
           "EXCEPINFO* excepInfo, UINT* argErr)\n"
        // Arguments are converted into strings and arrays on the way in: nothing they throw
        // may leave Invoke.
        << "try {\n"
        << "    using namespace quillet::dispatch;\n    HRESULT hr = S_OK;\n"
        << "    (void)argErr; // members without parameters never name one\n"
        << "    switch (dispid) {\n";
    for (const auto& [id, members] : byId) {
        out << "    case " << id << ":\n";
        // Puts first, then methods, then gets: a caller asking for a method or a get at once
        // (as scripting languages do) reaches whichever the member is.
        for (INVOKEKIND kind :
             {INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF, INVOKE_FUNC, INVOKE_PROPERTYGET}) {
            for (const Function* function : members) {
                if (function->invokeKind != kind)
                    continue;
                const char* mask = kind == INVOKE_FUNC          ? "DISPATCH_METHOD"
                                   : kind == INVOKE_PROPERTYGET ? "DISPATCH_PROPERTYGET"
                                   : kind == INVOKE_PROPERTYPUT ? "DISPATCH_PROPERTYPUT"
                                                                : "DISPATCH_PROPERTYPUTREF";
                out << "        if (flags & " << mask << ") { // " << function->name << "\n";
                std::ostringstream body;
                WriteCall(body, library, *function,
                          kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF);
                std::string text = body.str();
                // Indent the call one level further inside the if.
                std::string indented;
                size_t start = 0;
                while (start < text.size()) {
                    size_t end = text.find('\n', start);
                    indented += "    " + text.substr(start, end - start + 1);
                    start = end + 1;
                }
                out << indented << "        }\n";
            }
        }
        out << "        return DISP_E_MEMBERNOTFOUND;\n";
    }
    out << "    default:\n        return DISP_E_MEMBERNOTFOUND;\n    }\n"
        << "} catch (...) {\n    return GuardedResult(\"" << type.name << "::Invoke\");\n}\n\n";
}

void WriteNames(std::ostream& out, const TypeDefinition& type)
{
    const std::vector<Function>& functions = type.dualInterface->functions;
    for (size_t i = 0; i < functions.size(); ++i) {
        out << "const char16_t* const " << type.name << "_params" << i << "[] = {";
        for (const Parameter& param : functions[i].params)
            if (!IsRetval(param) && !param.name.empty())
                out << "u" << Quote(param.name) << ", ";
        out << "nullptr};\n";
    }
    out << "const quillet::dispatch::MemberNames " << type.name << "_names[] = {\n";
    for (size_t i = 0; i < functions.size(); ++i)
        out << "    {u" << Quote(functions[i].name) << ", " << functions[i].memid << ", "
            << type.name << "_params" << i << "},\n";
    out << "};\n\n";
}

std::string FireParameterList(const Library& library, const Function& function)
{
    std::string list = "ConnectionPoint& point";
    for (const Parameter& param : function.params)
        list += ", " + CppType(library, param.type) + " " + param.name;
    return list;
}

} // namespace

std::string WriteDispatchHeader(const Library& library, const std::string& base)
{
    std::ostringstream out;
    out << "// Generated by idlc from " << base << ".idl; do not edit.\n"
        << "#pragma once\n\n#include \"" << base << ".h\"\n"
        << "#include \"com/ConnectionPoint.h\"\n#include \"com/DualDispatch.h\"\n\n";
    for (const TypeDefinition& type : library.types) {
        if (type.kind == TKIND_DISPATCH && type.dualInterface) {
            out << "template <> struct DispatchTraits<" << type.name << ">\n{\n"
                << "    static HRESULT Invoke(" << type.name
                << "* self, DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result, "
                   "EXCEPINFO* excepInfo, UINT* argErr);\n"
                << "    static HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* "
                   "ids);\n"
                << "    static HRESULT GetTypeInfo(ITypeInfo** typeInfo);\n};\n\n";
        } else if (type.kind == TKIND_DISPATCH) {
            // Arguments stand last parameter first; the arrays and strings stay the caller's.
            out << "// Fires the events of " << type.name
                << " to every sink of a connection point.\nstruct " << type.name << "Fire\n{\n";
            for (const Function& function : type.functions) {
                out << "    static HRESULT Fire" << function.name << "("
                    << FireParameterList(library, function) << ")\n    {\n";
                size_t count = function.params.size();
                if (count)
                    out << "        VARIANTARG args[" << count << "];\n";
                for (size_t i = 0; i < count; ++i) {
                    const Parameter& param = function.params[i];
                    std::string slot = "args[" + std::to_string(count - 1 - i) + "]";
                    out << "        VariantInit(&" << slot << ");\n";
                    if (param.type.vt == VT_VARIANT) {
                        out << "        " << slot << " = " << param.name << ";\n";
                    } else if (param.type.vt == VT_PTR) {
                        const TypeDescription& inner = param.type.inner.at(0);
                        std::string member =
                            inner.vt == VT_VARIANT ? "pvarVal" : "p" + VariantMember(inner);
                        out << "        " << slot << ".vt = VT_BYREF | " << VariantTypeName(inner)
                            << ";\n        " << slot << "." << member << " = "
                            << (inner.vt == VT_USERDEFINED
                                    ? "reinterpret_cast<LONG*>(" + param.name + ")"
                                    : param.name)
                            << ";\n";
                    } else {
                        out << "        " << slot << ".vt = " << VariantTypeName(param.type)
                            << ";\n        " << slot << "." << VariantMember(param.type) << " = "
                            << (param.type.vt == VT_USERDEFINED ? "LONG(" + param.name + ")"
                                                                : param.name)
                            << ";\n";
                    }
                }
                out << "        DISPPARAMS params{" << (count ? "args" : "nullptr") << ", nullptr, "
                    << count << ", 0};\n"
                    << "        return point.Fire(" << function.memid << ", &params);\n    }\n";
            }
            out << "};\n\n";
        }
    }
    return out.str();
}

std::string WriteDispatchSource(const Library& library, const std::string& base)
{
    std::ostringstream out;
    out << "// Generated by idlc from " << base << ".idl; do not edit.\n"
        << "#include \"" << base << "_dispatch.h\"\n\n"
        << "#include \"com/ComPtr.h\"\n#include \"com/DispatchSupport.h\"\n"
        << "#include \"com/InterfaceGuard.h\"\n"
        << "#include \"com/TypeLibFormat.h\"\n\n";
    out << "namespace {\n";
    for (const TypeDefinition& type : library.types)
        if (type.kind == TKIND_DISPATCH && type.dualInterface)
            WriteNames(out, type);
    out << "HRESULT TypeInfoOf(REFIID iid, ITypeInfo** typeInfo)\n{\n"
        << "    ComPtr<ITypeLib> library;\n"
        << "    HRESULT hr = quillet::typelib::LoadTypeLibFromMemory(" << library.name
        << "_TypeLib, " << library.name << "_TypeLibSize, &library);\n"
        << "    if (FAILED(hr))\n        return hr;\n"
        << "    return library->GetTypeInfoOfGuid(iid, typeInfo);\n}\n} // namespace\n\n";
    for (const TypeDefinition& type : library.types) {
        if (!(type.kind == TKIND_DISPATCH && type.dualInterface))
            continue;
        WriteInvoke(out, library, type);
        out << "HRESULT DispatchTraits<" << type.name
            << ">::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids)\n{\n"
            << "    return quillet::dispatch::LookUpNames(" << type.name << "_names, std::size("
            << type.name << "_names), names, count, ids);\n}\n\n"
            << "HRESULT DispatchTraits<" << type.name
            << ">::GetTypeInfo(ITypeInfo** typeInfo)\n{\n    return TypeInfoOf(IID_" << type.name
            << ", typeInfo);\n}\n\n";
    }
    return out.str();
}

} // namespace idlc
