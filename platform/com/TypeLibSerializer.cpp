// Writes a type library model in the layout that TypeLibParser.cpp reads back.
#include <bit>
#include <cstring>

#include "com/TypeLibFormat.h"

namespace quillet::typelib {
namespace {

class Writer
{
public:
    void U8(uint8_t value) { bytes.push_back(value); }
    void U16(uint16_t value)
    {
        U8(uint8_t(value));
        U8(uint8_t(value >> 8));
    }
    void U32(uint32_t value)
    {
        U16(uint16_t(value));
        U16(uint16_t(value >> 16));
    }
    void U64(uint64_t value)
    {
        U32(uint32_t(value));
        U32(uint32_t(value >> 32));
    }
    void Bytes(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    void String(const std::string& text)
    {
        U32(uint32_t(text.size())); // byte count; UTF-8 follows without a terminator
        Bytes(text.data(), text.size());
    }
    void Guid(const GUID& guid)
    {
        U32(guid.Data1);
        U16(guid.Data2);
        U16(guid.Data3);
        Bytes(guid.Data4, sizeof guid.Data4);
    }
    void Ref(const TypeRef& ref)
    {
        U8(uint8_t(ref.kind)); // RefKind
        U16(ref.index);        // index in the library that the kind names
    }
    void Type(const TypeDescription& type)
    {
        U16(type.vt);
        if (type.vt == VT_PTR || type.vt == VT_SAFEARRAY)
            Type(type.inner.empty() ? TypeDescription::Basic(VT_VOID) : type.inner.front());
        else if (type.vt == VT_USERDEFINED)
            Ref(type.ref);
    }
    void Constant(const ConstantValue& value)
    {
        U16(value.vt);
        switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            break;
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            U64(std::bit_cast<uint64_t>(value.real)); // IEEE double bits
            break;
        case VT_BSTR:
            String(value.text);
            break;
        default:
            U64(uint64_t(value.integer)); // every integer type, sign-extended
            break;
        }
    }
    void ImplTypes(const std::vector<ImplementedType>& implTypes)
    {
        U16(uint16_t(implTypes.size()));
        for (const ImplementedType& impl : implTypes) {
            Ref(impl.ref);
            U32(uint32_t(impl.flags)); // IMPLTYPEFLAG_*
        }
    }
    void Functions(const std::vector<Function>& functions)
    {
        U16(uint16_t(functions.size()));
        for (const Function& function : functions) {
            U32(uint32_t(function.memid));
            String(function.name);
            U8(uint8_t(function.invokeKind));
            U8(uint8_t(function.funcKind));
            U8(uint8_t(function.callConv));
            U16(uint16_t(function.oVft));          // byte offset in the vtable
            U16(uint16_t(function.optionalCount)); // cParamsOpt
            U16(function.flags);                   // FUNCFLAG_*
            Type(function.returnType);
            String(function.helpString);
            U32(function.helpContext);
            U16(uint16_t(function.params.size()));
            for (const Parameter& param : function.params) {
                String(param.name);
                Type(param.type);
                U16(param.flags); // PARAMFLAG_*
                U8(param.defaultValue ? 1 : 0);
                if (param.defaultValue)
                    Constant(*param.defaultValue);
            }
        }
    }
    void Variables(const std::vector<Variable>& variables)
    {
        U16(uint16_t(variables.size()));
        for (const Variable& variable : variables) {
            U32(uint32_t(variable.memid));
            String(variable.name);
            U8(uint8_t(variable.varKind));
            U16(variable.flags); // VARFLAG_*
            Type(variable.type);
            if (variable.varKind == VAR_CONST)
                Constant(variable.value);
            String(variable.helpString);
            U32(variable.helpContext);
        }
    }

    std::vector<uint8_t> bytes;
};

} // namespace

std::vector<uint8_t> SerializeLibrary(const Library& library)
{
    Writer out;
    out.Bytes(FormatMagic, sizeof FormatMagic);
    out.U16(FormatVersion);
    out.U16(FormatHeaderSize);
    out.U32(0); // payload size, patched below
    out.U32(0); // reserved

    out.Guid(library.guid);
    out.U16(library.majorVersion);
    out.U16(library.minorVersion);
    out.U32(library.lcid);
    out.U16(library.flags); // LIBFLAG_*
    out.U32(library.helpContext);
    out.String(library.name);
    out.String(library.helpString);
    out.String(library.helpFile);
    out.U16(uint16_t(library.types.size()));
    for (const TypeDefinition& type : library.types) {
        out.U8(uint8_t(type.kind));
        out.String(type.name);
        out.Guid(type.guid);
        out.String(type.helpString);
        out.U32(type.helpContext);
        out.U16(type.typeFlags); // TYPEFLAG_*
        out.U16(type.majorVersion);
        out.U16(type.minorVersion);
        if (type.kind == TKIND_ALIAS)
            out.Type(type.aliasType);
        out.ImplTypes(type.implTypes);
        out.Functions(type.functions);
        out.Variables(type.variables);
        out.U8(type.dualInterface ? 1 : 0); // a dual interface's vtable twin follows
        if (type.dualInterface) {
            out.U16(type.dualInterface->typeFlags);
            out.ImplTypes(type.dualInterface->implTypes);
            out.Functions(type.dualInterface->functions);
        }
    }

    auto payload = uint32_t(out.bytes.size() - FormatHeaderSize);
    for (int i = 0; i < 4; ++i)
        out.bytes[8 + i] = uint8_t(payload >> (8 * i));
    return std::move(out.bytes);
}

} // namespace quillet::typelib
