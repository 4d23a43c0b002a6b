// A type library as plain C++ values: what the IDL compiler fills and serialises, and what
// the ITypeLib and ITypeInfo objects read. Plain data; any thread may use its own copy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "com/TypeInfo.h"

namespace quillet::typelib {

// Where a reference to another type points.
enum class RefKind : uint8_t
{
    Local = 1,          // a type of the same library, by its index in Library::types
    LocalInterface = 2, // the TKIND_INTERFACE twin of a dual interface of the same library
    StdOle = 3,         // a type of the built-in standard OLE library (StdOleIUnknown, ...)
};

// The built-in standard OLE types that a library may refer to with RefKind::StdOle.
inline constexpr uint16_t StdOleIUnknown = 0;
inline constexpr uint16_t StdOleIDispatch = 1;
inline constexpr uint16_t StdOleTypeCount = 2;

// A reference to a type, as implemented types and VT_USERDEFINED name it.
struct TypeRef
{
    RefKind kind = RefKind::Local;
    uint16_t index = 0;

    static TypeRef Local(uint16_t index) { return {RefKind::Local, index}; }
    static TypeRef Interface(uint16_t index) { return {RefKind::LocalInterface, index}; }
    static TypeRef StdOle(uint16_t index) { return {RefKind::StdOle, index}; }
    friend bool operator==(const TypeRef&, const TypeRef&) = default;
};

// A TYPEDESC tree.
struct TypeDescription
{
    VARTYPE vt = VT_EMPTY;
    // VT_PTR and VT_SAFEARRAY: exactly one entry, the pointed-to or element type.
    std::vector<TypeDescription> inner;
    // VT_USERDEFINED: the referenced type.
    TypeRef ref;

    static TypeDescription Basic(VARTYPE vt) { return {vt, {}, {}}; }
    static TypeDescription Pointer(TypeDescription to) { return {VT_PTR, {std::move(to)}, {}}; }
    static TypeDescription SafeArray(TypeDescription of)
    {
        return {VT_SAFEARRAY, {std::move(of)}, {}};
    }
    static TypeDescription UserDefined(TypeRef ref) { return {VT_USERDEFINED, {}, ref}; }
    friend bool operator==(const TypeDescription&, const TypeDescription&) = default;
};

// A constant: an enumerator's value or a parameter's default. Integer types (VT_I1 ... VT_UI8,
// VT_INT, VT_UINT, VT_BOOL, VT_ERROR) keep `integer`, VT_R4/VT_R8 `real`, VT_BSTR `text`.
struct ConstantValue
{
    VARTYPE vt = VT_EMPTY;
    int64_t integer = 0;
    double real = 0;
    std::string text; // UTF-8

    static ConstantValue Long(int32_t value) { return {VT_I4, value, 0, {}}; }
    static ConstantValue Bool(bool value) { return {VT_BOOL, value ? -1 : 0, 0, {}}; }
    static ConstantValue Double(double value) { return {VT_R8, 0, value, {}}; }
    static ConstantValue String(std::string value) { return {VT_BSTR, 0, 0, std::move(value)}; }
    friend bool operator==(const ConstantValue&, const ConstantValue&) = default;
};

struct Parameter
{
    std::string name;
    TypeDescription type;
    USHORT flags = PARAMFLAG_FIN; // PARAMFLAG_*
    // Set together with PARAMFLAG_FHASDEFAULT.
    std::optional<ConstantValue> defaultValue;
    friend bool operator==(const Parameter&, const Parameter&) = default;
};

struct Function
{
    std::string name;
    MEMBERID memid = 0;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    FUNCKIND funcKind = FUNC_DISPATCH;
    CALLCONV callConv = CC_STDCALL;
    SHORT oVft = 0;          // byte offset of the slot: 8 * slot for FUNC_PUREVIRTUAL
    SHORT optionalCount = 0; // cParamsOpt: -1 for a vararg method
    WORD flags = 0;          // FUNCFLAG_*
    TypeDescription returnType = TypeDescription::Basic(VT_VOID);
    std::vector<Parameter> params;
    std::string helpString;
    DWORD helpContext = 0;
    friend bool operator==(const Function&, const Function&) = default;
};

struct Variable
{
    std::string name;
    MEMBERID memid = 0;
    VARKIND varKind = VAR_CONST;
    WORD flags = 0; // VARFLAG_*
    TypeDescription type = TypeDescription::Basic(VT_I4);
    ConstantValue value; // VAR_CONST only
    std::string helpString;
    DWORD helpContext = 0;
    friend bool operator==(const Variable&, const Variable&) = default;
};

struct ImplementedType
{
    TypeRef ref;
    INT flags = 0; // IMPLTYPEFLAG_*
    friend bool operator==(const ImplementedType&, const ImplementedType&) = default;
};

// The vtable view of a dual interface: its TKIND_INTERFACE type info, with FUNC_PUREVIRTUAL
// functions in slot order, HRESULT returns and [out, retval] parameters.
struct InterfaceView
{
    WORD typeFlags = 0;
    std::vector<ImplementedType> implTypes; // the base interface
    std::vector<Function> functions;
    friend bool operator==(const InterfaceView&, const InterfaceView&) = default;
};

// One type info of the library's index.
struct TypeDefinition
{
    TYPEKIND kind = TKIND_INTERFACE;
    std::string name;
    GUID guid = GUID_NULL;
    std::string helpString;
    DWORD helpContext = 0;
    WORD typeFlags = 0; // TYPEFLAG_*
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    std::vector<ImplementedType> implTypes;
    std::vector<Function> functions;
    std::vector<Variable> variables;
    TypeDescription aliasType; // TKIND_ALIAS: the aliased type
    // A dual interface is listed once, as its TKIND_DISPATCH view with TYPEFLAG_FDUAL; this is
    // its interface twin, reached through GetRefTypeOfImplType(-1).
    std::optional<InterfaceView> dualInterface;
    friend bool operator==(const TypeDefinition&, const TypeDefinition&) = default;
};

struct Library
{
    std::string name;
    GUID guid = GUID_NULL;
    WORD majorVersion = 1;
    WORD minorVersion = 0;
    LCID lcid = 0;
    WORD flags = 0; // LIBFLAG_*
    std::string helpString;
    DWORD helpContext = 0;
    std::string helpFile;
    std::vector<TypeDefinition> types;
    friend bool operator==(const Library&, const Library&) = default;
};

} // namespace quillet::typelib
