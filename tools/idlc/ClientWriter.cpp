// Client wrappers for the window program: each call throws ComError on a failed HRESULT; and
// the unpacking of event arguments that its sinks' DISPID tables use.
#include <sstream>

#include "CppNames.h"
#include "Writers.h"

namespace idlc {

using namespace quillet::typelib;

namespace {

std::string ResultType(const Library& library, const TypeDescription& type)
{
    switch (type.vt) {
    case VT_BSTR:
        return "Bstr";
    case VT_VARIANT:
        return "Variant";
    case VT_DISPATCH:
        return "ComPtr<IDispatch>";
    default:
        return CppType(library, type);
    }
}

std::string WrapperName(const Function& function)
{
    switch (function.invokeKind) {
    case INVOKE_PROPERTYGET:
        return "Get" + function.name;
    case INVOKE_PROPERTYPUT:
        return "Put" + function.name;
    case INVOKE_PROPERTYPUTREF:
        return "PutRef" + function.name;
    default:
        return function.name;
    }
}

void WriteWrapper(std::ostream& out, const Library& library, const TypeDefinition& type)
{
    out << "// " << type.name << " for callers that prefer exceptions: a failed call throws "
        << "ComError.\nclass " << type.name << "Client\n{\npublic:\n"
        << "    " << type.name << "Client() = default;\n"
        << "    explicit " << type.name << "Client(ComPtr<" << type.name
        << "> object) : object(std::move(object)) {}\n"
        << "    " << type.name << "* Get() const { return object.Get(); }\n"
        << "    explicit operator bool() const { return bool(object); }\n\n";
    for (const Function& function : type.dualInterface->functions) {
        const Parameter* retval =
            !function.params.empty() && (function.params.back().flags & PARAMFLAG_FRETVAL)
                ? &function.params.back()
                : nullptr;
        std::string parameters;
        std::string arguments;
        for (const Parameter& param : function.params) {
            if (&param == retval)
                continue;
            if (!parameters.empty()) {
                parameters += ", ";
                arguments += ", ";
            }
            parameters += CppType(library, param.type) + " " + param.name;
            arguments += param.name;
        }
        std::string resultType =
            retval ? ResultType(library, retval->type.inner.at(0)) : std::string("HRESULT");
        out << "    " << resultType << " " << WrapperName(function) << "(" << parameters
            << ") const\n    {\n";
        std::string call = "object->" + CppMethodName(function) + "(" + arguments;
        if (!retval) {
            out << "        return ThrowIfFailed(" << call << "));\n    }\n";
            continue;
        }
        std::string sep = arguments.empty() ? "" : ", ";
        const TypeDescription& inner = retval->type.inner.at(0);
        if (inner.vt == VT_BSTR)
            out << "        Bstr value;\n        ThrowIfFailed(" << call << sep
                << "value.Out()));\n";
        else if (inner.vt == VT_VARIANT)
            out << "        Variant value;\n        ThrowIfFailed(" << call << sep
                << "value.Out()));\n";
        else if (inner.vt == VT_DISPATCH)
            out << "        ComPtr<IDispatch> value;\n        ThrowIfFailed(" << call << sep
                << "&value));\n";
        else
            out << "        " << resultType << " value{};\n        ThrowIfFailed(" << call << sep
                << "&value));\n";
        out << "        return value;\n    }\n";
    }
    out << "\nprivate:\n    ComPtr<" << type.name << "> object;\n};\n\n";
}

void WriteEventUnpacker(std::ostream& out, const Library& library, const TypeDefinition& type)
{
    out << "// Hands an event of " << type.name << " to handler."
        << "<event name>(arguments...).\n"
        << "// DISP_E_MEMBERNOTFOUND for an unknown DISPID, DISP_E_BADPARAMCOUNT or\n"
        << "// DISP_E_TYPEMISMATCH for arguments that do not fit.\n"
        << "template <class Handler>\nHRESULT Dispatch" << type.name
        << "(Handler& handler, DISPID dispid, DISPPARAMS* params)\n{\n"
        << "    using namespace quillet::dispatch;\n    HRESULT hr = S_OK;\n"
        << "    switch (dispid) {\n";
    for (const Function& function : type.functions) {
        UINT count = UINT(function.params.size());
        out << "    case " << function.memid << ": {\n"
            << "        hr = CheckArguments(params, " << count << ", " << count << ", false);\n"
            << "        if (FAILED(hr))\n            return hr;\n";
        std::string arguments;
        for (UINT i = 0; i < count; ++i) {
            const Parameter& param = function.params[i];
            std::string slot = "params->rgvarg[" + std::to_string(count - 1 - i) + "]";
            if (!arguments.empty())
                arguments += ", ";
            if (param.type.vt == VT_VARIANT) {
                arguments += "static_cast<const VARIANT&>(" + slot + ")";
            } else if (param.type.vt == VT_PTR) {
                const TypeDescription& inner = param.type.inner.at(0);
                out << "        if (" << slot << ".vt != (VT_BYREF | " << VariantTypeName(inner)
                    << "))\n            return DISP_E_TYPEMISMATCH;\n";
                arguments +=
                    slot + "." + (inner.vt == VT_VARIANT ? "pvarVal" : "p" + VariantMember(inner));
            } else {
                std::string name = "a" + std::to_string(i);
                out << "        Variant " << name << ";\n        hr = GetArgument(params, " << i
                    << ", " << VariantTypeName(param.type) << ", &" << name
                    << ", nullptr);\n        if (FAILED(hr))\n            return hr;\n";
                if (param.type.vt == VT_USERDEFINED)
                    arguments +=
                        "static_cast<" + CppType(library, param.type) + ">(" + name + ".lVal)";
                else
                    arguments += name + "." + VariantMember(param.type);
            }
        }
        out << "        return handler." << function.name << "(" << arguments << ");\n    }\n";
    }
    out << "    default:\n        return DISP_E_MEMBERNOTFOUND;\n    }\n}\n\n";
}

} // namespace

std::string WriteClientHeader(const Library& library, const std::string& base)
{
    std::ostringstream out;
    out << "// Generated by idlc from " << base << ".idl; do not edit.\n"
        << "#pragma once\n\n#include <utility>\n\n#include \"" << base << ".h\"\n"
        << "#include \"com/Bstr.h\"\n#include \"com/ComError.h\"\n#include \"com/ComPtr.h\"\n"
        << "#include \"com/DispatchSupport.h\"\n#include \"com/Variant.h\"\n\n";
    for (const TypeDefinition& type : library.types) {
        if (type.kind == TKIND_DISPATCH && type.dualInterface)
            WriteWrapper(out, library, type);
        else if (type.kind == TKIND_DISPATCH)
            WriteEventUnpacker(out, library, type);
    }
    return out.str();
}

} // namespace idlc
