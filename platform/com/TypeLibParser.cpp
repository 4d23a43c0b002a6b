// Reads the layout that TypeLibSerializer.cpp writes. The bytes may come from any file that a
// caller names, so every read is bounds-checked and every enumeration range-checked; nothing is
// allocated before the bytes that it stands for have been seen.
#include <bit>
#include <cstring>
#include <new>

#include "com/DebugLog.h"
#include "com/TypeLibFormat.h"

namespace quillet::typelib {
namespace {

// Deeper type trees than this do not occur in automation and would only exhaust the stack.
constexpr int MaxTypeDepth = 16;

bool IsTypeVt(VARTYPE vt)
{
    return (vt >= VT_I2 && vt <= VT_DECIMAL) || (vt >= VT_I1 && vt <= VT_LPWSTR && vt != VT_CARRAY);
}

bool IsConstantVt(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
    case VT_ERROR:
    case VT_CY:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

class Reader
{
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool Ok() const { return ok; }
    bool AtEnd() const { return pos == size; }
    void Fail() { ok = false; }

    uint8_t U8()
    {
        if (!Need(1))
            return 0;
        return data[pos++];
    }
    uint16_t U16()
    {
        uint16_t low = U8();
        return uint16_t(low | (U8() << 8));
    }
    uint32_t U32()
    {
        uint32_t low = U16();
        return low | (uint32_t(U16()) << 16);
    }
    uint64_t U64()
    {
        uint64_t low = U32();
        return low | (uint64_t(U32()) << 32);
    }
    std::string String()
    {
        uint32_t length = U32();
        if (!Need(length))
            return {};
        std::string text(reinterpret_cast<const char*>(data + pos), length);
        pos += length;
        return text;
    }
    GUID Guid()
    {
        GUID guid{};
        guid.Data1 = U32();
        guid.Data2 = U16();
        guid.Data3 = U16();
        for (uint8_t& b : guid.Data4)
            b = U8();
        return guid;
    }
    TypeRef Ref()
    {
        TypeRef ref;
        uint8_t kind = U8();
        if (kind < uint8_t(RefKind::Local) || kind > uint8_t(RefKind::StdOle))
            Fail();
        ref.kind = RefKind(kind);
        ref.index = U16();
        return ref;
    }
    TypeDescription Type(int depth = 0)
    {
        TypeDescription type;
        type.vt = U16();
        if (!IsTypeVt(type.vt) || depth > MaxTypeDepth) {
            Fail();
            return type;
        }
        if (type.vt == VT_PTR || type.vt == VT_SAFEARRAY)
            type.inner.push_back(Type(depth + 1));
        else if (type.vt == VT_USERDEFINED)
            type.ref = Ref();
        return type;
    }
    ConstantValue Constant()
    {
        ConstantValue value;
        value.vt = U16();
        if (!IsConstantVt(value.vt)) {
            Fail();
            return value;
        }
        switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            break;
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            value.real = std::bit_cast<double>(U64());
            break;
        case VT_BSTR:
            value.text = String();
            break;
        default:
            value.integer = int64_t(U64());
            break;
        }
        return value;
    }
    std::vector<ImplementedType> ImplTypes()
    {
        std::vector<ImplementedType> implTypes;
        uint16_t count = U16();
        for (uint16_t i = 0; i < count && ok; ++i) {
            ImplementedType impl;
            impl.ref = Ref();
            impl.flags = INT(U32());
            implTypes.push_back(impl);
        }
        return implTypes;
    }
    std::vector<Function> Functions()
    {
        std::vector<Function> functions;
        uint16_t count = U16();
        for (uint16_t i = 0; i < count && ok; ++i) {
            Function function;
            function.memid = MEMBERID(U32());
            function.name = String();
            uint8_t invokeKind = U8();
            if (invokeKind != INVOKE_FUNC && invokeKind != INVOKE_PROPERTYGET &&
                invokeKind != INVOKE_PROPERTYPUT && invokeKind != INVOKE_PROPERTYPUTREF)
                Fail();
            else
                function.invokeKind = INVOKEKIND(invokeKind);
            uint8_t funcKind = U8();
            if (funcKind > FUNC_DISPATCH)
                Fail();
            else
                function.funcKind = FUNCKIND(funcKind);
            uint8_t callConv = U8();
            if (callConv >= CC_MAX)
                Fail();
            else
                function.callConv = CALLCONV(callConv);
            function.oVft = SHORT(U16());
            function.optionalCount = SHORT(U16());
            function.flags = U16();
            function.returnType = Type();
            function.helpString = String();
            function.helpContext = U32();
            uint16_t paramCount = U16();
            if (paramCount > 0x7FFF)
                Fail();
            for (uint16_t p = 0; p < paramCount && ok; ++p) {
                Parameter param;
                param.name = String();
                param.type = Type();
                param.flags = U16();
                uint8_t hasDefault = U8();
                if (hasDefault > 1)
                    Fail();
                if (hasDefault == 1)
                    param.defaultValue = Constant();
                function.params.push_back(std::move(param));
            }
            functions.push_back(std::move(function));
        }
        return functions;
    }
    std::vector<Variable> Variables()
    {
        std::vector<Variable> variables;
        uint16_t count = U16();
        for (uint16_t i = 0; i < count && ok; ++i) {
            Variable variable;
            variable.memid = MEMBERID(U32());
            variable.name = String();
            uint8_t varKind = U8();
            if (varKind > VAR_DISPATCH)
                Fail();
            else
                variable.varKind = VARKIND(varKind);
            variable.flags = U16();
            variable.type = Type();
            if (variable.varKind == VAR_CONST)
                variable.value = Constant();
            variable.helpString = String();
            variable.helpContext = U32();
            variables.push_back(std::move(variable));
        }
        return variables;
    }

private:
    bool Need(size_t count)
    {
        if (!ok || count > size - pos) {
            ok = false;
            return false;
        }
        return true;
    }

    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool ok = true;
};

bool ValidRef(const Library& library, const TypeRef& ref)
{
    switch (ref.kind) {
    case RefKind::Local:
        return ref.index < library.types.size();
    case RefKind::LocalInterface:
        return ref.index < library.types.size() &&
               library.types[ref.index].dualInterface.has_value();
    case RefKind::StdOle:
        return ref.index < StdOleTypeCount;
    }
    return false;
}

bool ValidType(const Library& library, const TypeDescription& type, int depth = 0)
{
    if (depth > MaxTypeDepth || !IsTypeVt(type.vt))
        return false;
    if (type.vt == VT_PTR || type.vt == VT_SAFEARRAY)
        return type.inner.size() == 1 && ValidType(library, type.inner.front(), depth + 1);
    if (type.vt == VT_USERDEFINED)
        return type.inner.empty() && ValidRef(library, type.ref);
    return type.inner.empty();
}

bool ValidImplTypes(const Library& library, const std::vector<ImplementedType>& implTypes)
{
    for (const ImplementedType& impl : implTypes)
        if (!ValidRef(library, impl.ref))
            return false;
    return true;
}

bool ValidFunctions(const Library& library, const std::vector<Function>& functions)
{
    for (const Function& function : functions) {
        if (!ValidType(library, function.returnType) || function.params.size() > 0x7FFF)
            return false;
        for (const Parameter& param : function.params) {
            if (!ValidType(library, param.type))
                return false;
            if (param.defaultValue && !IsConstantVt(param.defaultValue->vt))
                return false;
        }
    }
    return true;
}

} // namespace

HRESULT ValidateLibrary(const Library& library) noexcept
{
    if (library.types.size() > 0xFFFF)
        return TYPE_E_INVDATAREAD;
    for (const TypeDefinition& type : library.types) {
        if (type.kind < TKIND_ENUM || type.kind >= TKIND_MAX)
            return TYPE_E_INVDATAREAD;
        if (type.kind == TKIND_ALIAS && !ValidType(library, type.aliasType))
            return TYPE_E_INVDATAREAD;
        if (type.functions.size() > 0xFFFF || type.variables.size() > 0xFFFF ||
            type.implTypes.size() > 0xFFFF)
            return TYPE_E_INVDATAREAD;
        if (!ValidImplTypes(library, type.implTypes) || !ValidFunctions(library, type.functions))
            return TYPE_E_INVDATAREAD;
        for (const Variable& variable : type.variables) {
            if (!ValidType(library, variable.type))
                return TYPE_E_INVDATAREAD;
            if (variable.varKind == VAR_CONST && !IsConstantVt(variable.value.vt))
                return TYPE_E_INVDATAREAD;
        }
        if (type.dualInterface) {
            // Only a dual dispatch type has a vtable twin.
            if (type.kind != TKIND_DISPATCH || !(type.typeFlags & TYPEFLAG_FDUAL))
                return TYPE_E_INVDATAREAD;
            if (!ValidImplTypes(library, type.dualInterface->implTypes) ||
                !ValidFunctions(library, type.dualInterface->functions))
                return TYPE_E_INVDATAREAD;
        }
    }
    return S_OK;
}

HRESULT ParseLibrary(const void* data, size_t size, Library& library) noexcept
{
    if (!data && size)
        return E_POINTER;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size < FormatHeaderSize || std::memcmp(bytes, FormatMagic, sizeof FormatMagic) != 0) {
        QUILLET_LOG("com", "ParseLibrary: %zu bytes without the type library magic", size);
        return TYPE_E_UNSUPFORMAT;
    }
    try {
        Reader header(bytes, FormatHeaderSize);
        header.U32(); // magic, checked above
        uint16_t version = header.U16();
        uint16_t headerSize = header.U16();
        uint32_t payloadSize = header.U32();
        uint32_t reserved = header.U32();
        if (version != FormatVersion || headerSize != FormatHeaderSize) {
            QUILLET_LOG("com", "ParseLibrary: format version %u, header size %u not supported",
                        version, headerSize);
            return TYPE_E_UNSUPFORMAT;
        }
        if (payloadSize != size - FormatHeaderSize || reserved != 0) {
            QUILLET_LOG("com", "ParseLibrary: payload of %u bytes in %zu bytes", payloadSize, size);
            return TYPE_E_INVDATAREAD;
        }

        Reader in(bytes + FormatHeaderSize, payloadSize);
        Library parsed;
        parsed.guid = in.Guid();
        parsed.majorVersion = in.U16();
        parsed.minorVersion = in.U16();
        parsed.lcid = in.U32();
        parsed.flags = in.U16();
        parsed.helpContext = in.U32();
        parsed.name = in.String();
        parsed.helpString = in.String();
        parsed.helpFile = in.String();
        uint16_t typeCount = in.U16();
        for (uint16_t i = 0; i < typeCount && in.Ok(); ++i) {
            TypeDefinition type;
            uint8_t kind = in.U8();
            // Enumerations are only ever assigned values that they define.
            if (kind >= TKIND_MAX)
                in.Fail();
            else
                type.kind = TYPEKIND(kind);
            type.name = in.String();
            type.guid = in.Guid();
            type.helpString = in.String();
            type.helpContext = in.U32();
            type.typeFlags = in.U16();
            type.majorVersion = in.U16();
            type.minorVersion = in.U16();
            if (type.kind == TKIND_ALIAS)
                type.aliasType = in.Type();
            type.implTypes = in.ImplTypes();
            type.functions = in.Functions();
            type.variables = in.Variables();
            uint8_t hasTwin = in.U8();
            if (hasTwin > 1)
                in.Fail();
            if (hasTwin == 1 && in.Ok()) {
                InterfaceView twin;
                twin.typeFlags = in.U16();
                twin.implTypes = in.ImplTypes();
                twin.functions = in.Functions();
                type.dualInterface = std::move(twin);
            }
            parsed.types.push_back(std::move(type));
        }
        if (!in.Ok() || !in.AtEnd()) {
            QUILLET_LOG("com", "ParseLibrary: truncated or overlong data in %zu bytes", size);
            return TYPE_E_INVDATAREAD;
        }
        HRESULT hr = ValidateLibrary(parsed);
        if (FAILED(hr)) {
            QUILLET_LOG("com", "ParseLibrary: inconsistent library \"%s\"", parsed.name.c_str());
            return hr;
        }
        library = std::move(parsed);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace quillet::typelib
