#include "TypeLibBuilder.h"

#include <cstdlib>
#include <map>
#include <set>

#include "IdlError.h"
#include "com/Bstr.h"
#include "com/ComApi.h"

namespace idlc {

using namespace quillet::typelib;

namespace {

const std::set<std::string>& KnownAttributes()
{
    static const std::set<std::string> known = {"object",
                                                "uuid",
                                                "dual",
                                                "nonextensible",
                                                "oleautomation",
                                                "helpstring",
                                                "helpcontext",
                                                "pointer_default",
                                                "version",
                                                "hidden",
                                                "restricted",
                                                "local",
                                                "id",
                                                "propget",
                                                "propput",
                                                "propputref",
                                                "in",
                                                "out",
                                                "retval",
                                                "optional",
                                                "defaultvalue",
                                                "default",
                                                "source",
                                                "noncreatable",
                                                "appobject",
                                                "lcid",
                                                "vararg",
                                                "bindable",
                                                "requestedit",
                                                "displaybind",
                                                "defaultbind",
                                                "public",
                                                "v1_enum",
                                                "aggregatable",
                                                "control",
                                                "licensed",
                                                "helpfile",
                                                "readonly"};
    return known;
}

// The VARTYPEs of the base types that IDL spells by name.
const std::map<std::string, VARTYPE>& BaseTypes()
{
    static const std::map<std::string, VARTYPE> types = {{"long", VT_I4},
                                                         {"LONG", VT_I4},
                                                         {"int", VT_INT},
                                                         {"INT", VT_INT},
                                                         {"short", VT_I2},
                                                         {"SHORT", VT_I2},
                                                         {"char", VT_I1},
                                                         {"CHAR", VT_I1},
                                                         {"unsigned char", VT_UI1},
                                                         {"BYTE", VT_UI1},
                                                         {"unsigned short", VT_UI2},
                                                         {"USHORT", VT_UI2},
                                                         {"unsigned long", VT_UI4},
                                                         {"ULONG", VT_UI4},
                                                         {"DWORD", VT_UI4},
                                                         {"unsigned int", VT_UINT},
                                                         {"UINT", VT_UINT},
                                                         {"hyper", VT_I8},
                                                         {"LONGLONG", VT_I8},
                                                         {"float", VT_R4},
                                                         {"FLOAT", VT_R4},
                                                         {"double", VT_R8},
                                                         {"DOUBLE", VT_R8},
                                                         {"DATE", VT_DATE},
                                                         {"CURRENCY", VT_CY},
                                                         {"CY", VT_CY},
                                                         {"BSTR", VT_BSTR},
                                                         {"VARIANT_BOOL", VT_BOOL},
                                                         {"VARIANT", VT_VARIANT},
                                                         {"HRESULT", VT_HRESULT},
                                                         {"SCODE", VT_ERROR},
                                                         {"void", VT_VOID},
                                                         {"IDispatch", VT_DISPATCH},
                                                         {"IUnknown", VT_UNKNOWN}};
    return types;
}

class Builder
{
public:
    explicit Builder(const IdlFile& file) : file(file) {}

    Library Build()
    {
        for (const std::string& import : file.imports)
            if (import != "oaidl.idl" && import != "ocidl.idl" && import != "objidl.idl" &&
                import != "unknwn.idl" && import != "wtypes.idl")
                throw IdlError(file.path, 1, "unknown import \"" + import + "\"");
        if (!file.library)
            throw IdlError(file.path, 1, "no library block");
        const LibraryDecl& decl = *file.library;
        CheckAttributes(decl.attributes);
        for (const std::string& importlib : decl.importlibs)
            if (importlib != "stdole2.tlb" && importlib != "stdole32.tlb")
                throw IdlError(file.path, decl.line, "unknown importlib \"" + importlib + "\"");
        library.name = decl.name;
        library.guid = RequireUuid(decl.attributes, "library " + decl.name, decl.line);
        ReadVersion(decl.attributes, &library.majorVersion, &library.minorVersion, decl.line);
        library.helpString = HelpString(decl.attributes);

        DeclareNames();
        for (const Declaration& declaration : file.order) {
            switch (declaration.kind) {
            case Declaration::Kind::Enum:
                BuildEnum(file.enums[declaration.index]);
                break;
            case Declaration::Kind::Interface:
                BuildInterface(file.interfaces[declaration.index]);
                break;
            case Declaration::Kind::Coclass:
                BuildCoclass(file.coclasses[declaration.index]);
                break;
            }
        }
        return std::move(library);
    }

private:
    [[noreturn]] void Fail(int line, const std::string& message) const
    {
        throw IdlError(file.path, line, message);
    }

    void CheckAttributes(const AttributeList& attributes) const
    {
        for (const Attribute& attribute : attributes.items)
            if (!KnownAttributes().count(attribute.name))
                Fail(attribute.line, "unknown attribute '" + attribute.name + "'");
    }

    std::string SingleArgument(const Attribute& attribute) const
    {
        if (attribute.args.size() != 1 || attribute.args[0].empty())
            Fail(attribute.line, "attribute '" + attribute.name + "' takes one argument");
        return attribute.args[0];
    }

    GUID RequireUuid(const AttributeList& attributes, const std::string& what, int line) const
    {
        const Attribute* uuid = attributes.Find("uuid");
        if (!uuid)
            Fail(line, "missing attribute uuid on " + what);
        std::u16string text = u"{" + quillet::Utf8ToUtf16(SingleArgument(*uuid)) + u"}";
        GUID guid;
        if (FAILED(IIDFromString(text.c_str(), &guid)))
            Fail(uuid->line, "malformed uuid '" + SingleArgument(*uuid) + "'");
        if (!usedGuids.insert(quillet::Utf16ToUtf8(text)).second)
            Fail(uuid->line, "uuid " + SingleArgument(*uuid) + " is used twice");
        return guid;
    }

    void ReadVersion(const AttributeList& attributes, WORD* major, WORD* minor, int line) const
    {
        const Attribute* version = attributes.Find("version");
        if (!version)
            return;
        std::string text = SingleArgument(*version);
        char* end = nullptr;
        long majorValue = std::strtol(text.c_str(), &end, 10);
        long minorValue = 0;
        if (end && *end == '.')
            minorValue = std::strtol(end + 1, &end, 10);
        if (!end || *end != '\0' || majorValue < 0 || majorValue > 0xFFFF || minorValue < 0 ||
            minorValue > 0xFFFF)
            Fail(line, "malformed version '" + text + "'");
        *major = WORD(majorValue);
        *minor = WORD(minorValue);
    }

    std::string HelpString(const AttributeList& attributes) const
    {
        const Attribute* help = attributes.Find("helpstring");
        return help ? SingleArgument(*help) : std::string();
    }

    // Every type name gets its index before any body is read, so declarations may refer
    // forward.
    void DeclareNames()
    {
        uint16_t index = 0;
        for (const Declaration& declaration : file.order) {
            switch (declaration.kind) {
            case Declaration::Kind::Enum: {
                const EnumDecl& decl = file.enums[declaration.index];
                index += 1; // the unnamed enumeration
                Declare(decl.name, index++, decl.line, NameKind::Alias);
                break;
            }
            case Declaration::Kind::Interface: {
                const InterfaceDecl& decl = file.interfaces[declaration.index];
                Declare(decl.name, index++, decl.line,
                        decl.isDispinterface ? NameKind::Dispinterface : NameKind::Interface);
                break;
            }
            case Declaration::Kind::Coclass: {
                const CoclassDecl& decl = file.coclasses[declaration.index];
                Declare(decl.name, index++, decl.line, NameKind::Coclass);
                break;
            }
            }
        }
    }

    enum class NameKind
    {
        Alias,
        Interface,
        Dispinterface,
        Coclass
    };
    struct DeclaredName
    {
        uint16_t index;
        NameKind kind;
    };

    void Declare(const std::string& name, uint16_t index, int line, NameKind kind)
    {
        if (BaseTypes().count(name) || !names.emplace(name, DeclaredName{index, kind}).second)
            Fail(line, "'" + name + "' is declared twice");
    }

    TypeDescription Resolve(const TypeName& type) const
    {
        TypeDescription description;
        auto base = BaseTypes().find(type.name);
        if (base != BaseTypes().end()) {
            description = TypeDescription::Basic(base->second);
            // IDispatch* and IUnknown* are the automation types themselves.
            if ((base->second == VT_DISPATCH || base->second == VT_UNKNOWN)) {
                if (type.pointers == 0)
                    Fail(type.line, type.name + " must be used through a pointer");
                TypeDescription result = description;
                for (int i = 1; i < type.pointers; ++i)
                    result = TypeDescription::Pointer(result);
                return type.safeArray ? TypeDescription::SafeArray(result) : result;
            }
        } else {
            auto found = names.find(type.name);
            if (found == names.end())
                Fail(type.line, "unknown type '" + type.name + "'");
            if (found->second.kind == NameKind::Coclass)
                Fail(type.line, "coclass '" + type.name + "' used as a type");
            description = TypeDescription::UserDefined(TypeRef::Local(found->second.index));
            if (found->second.kind != NameKind::Alias && type.pointers == 0)
                Fail(type.line, "interface '" + type.name + "' must be used through a pointer");
            if (found->second.kind != NameKind::Alias) {
                TypeDescription result = description;
                for (int i = 1; i < type.pointers; ++i)
                    result = TypeDescription::Pointer(result);
                return result;
            }
        }
        if (type.safeArray)
            description = TypeDescription::SafeArray(description);
        for (int i = 0; i < type.pointers; ++i)
            description = TypeDescription::Pointer(description);
        return description;
    }

    void BuildEnum(const EnumDecl& decl)
    {
        CheckAttributes(decl.attributes);
        TypeDefinition enumeration;
        enumeration.kind = TKIND_ENUM;
        enumeration.name = "__enum_" + decl.name;
        enumeration.helpString = HelpString(decl.attributes);
        for (const auto& [name, value] : decl.values) {
            if (value < INT32_MIN || value > INT32_MAX)
                Fail(decl.line, "enumerator " + name + " does not fit 32 bits");
            Variable constant;
            constant.name = name;
            // Enumerators carry ids of their own, numbered from 0x40000000 as automation does.
            constant.memid = MEMBERID(0x40000000 + enumeration.variables.size());
            constant.varKind = VAR_CONST;
            constant.type = TypeDescription::Basic(VT_INT);
            constant.value = ConstantValue::Long(int32_t(value));
            constant.value.vt = VT_INT;
            enumeration.variables.push_back(constant);
        }
        uint16_t enumIndex = uint16_t(library.types.size());
        library.types.push_back(std::move(enumeration));

        TypeDefinition alias;
        alias.kind = TKIND_ALIAS;
        alias.name = decl.name;
        alias.helpString = HelpString(decl.attributes);
        alias.aliasType = TypeDescription::UserDefined(TypeRef::Local(enumIndex));
        library.types.push_back(std::move(alias));
    }

    ConstantValue DefaultValue(const Attribute& attribute, const TypeDescription& type) const
    {
        std::string text = SingleArgument(attribute);
        VARTYPE vt = type.vt == VT_USERDEFINED ? VARTYPE(VT_I4) : type.vt;
        char* end = nullptr;
        switch (vt) {
        case VT_BOOL:
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_I8: {
            long long value = std::strtoll(text.c_str(), &end, 0);
            if (text == "TRUE" || text == "VARIANT_TRUE")
                value = -1, end = nullptr;
            else if (text == "FALSE" || text == "VARIANT_FALSE")
                value = 0, end = nullptr;
            else if (!end || *end != '\0')
                Fail(attribute.line, "default value '" + text + "' is not a number");
            ConstantValue constant = ConstantValue::Long(int32_t(value));
            constant.vt = vt;
            if (vt == VT_BOOL)
                constant.integer = value ? -1 : 0;
            else
                constant.integer = value;
            return constant;
        }
        case VT_R4:
        case VT_R8: {
            double value = std::strtod(text.c_str(), &end);
            if (!end || *end != '\0')
                Fail(attribute.line, "default value '" + text + "' is not a number");
            ConstantValue constant = ConstantValue::Double(value);
            constant.vt = vt;
            return constant;
        }
        case VT_BSTR:
            return ConstantValue::String(text);
        default:
            Fail(attribute.line, "a default value cannot be given for this parameter type");
        }
    }

    Parameter BuildParameter(const ParameterDecl& decl, const std::string& owner) const
    {
        CheckAttributes(decl.attributes);
        Parameter param;
        param.name = decl.name;
        param.type = Resolve(decl.type);
        USHORT flags = 0;
        if (decl.attributes.Has("in"))
            flags |= PARAMFLAG_FIN;
        if (decl.attributes.Has("out"))
            flags |= PARAMFLAG_FOUT;
        if (decl.attributes.Has("retval"))
            flags |= PARAMFLAG_FRETVAL;
        if (decl.attributes.Has("optional"))
            flags |= PARAMFLAG_FOPT;
        if (decl.attributes.Has("lcid"))
            flags |= PARAMFLAG_FLCID;
        if (!(flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)))
            flags |= PARAMFLAG_FIN;
        if ((flags & PARAMFLAG_FRETVAL) && !(flags & PARAMFLAG_FOUT))
            Fail(decl.line, "retval parameter " + decl.name + " of " + owner + " must be [out]");
        if ((flags & PARAMFLAG_FOUT) && param.type.vt != VT_PTR)
            Fail(decl.line, "[out] parameter " + decl.name + " of " + owner + " must be a pointer");
        if (const Attribute* defaultValue = decl.attributes.Find("defaultvalue")) {
            flags |= PARAMFLAG_FHASDEFAULT | PARAMFLAG_FOPT;
            param.defaultValue = DefaultValue(*defaultValue, param.type);
        }
        if (param.type.vt == VT_VOID)
            Fail(decl.line, "parameter " + decl.name + " of " + owner + " cannot be void");
        param.flags = flags;
        return param;
    }

    INVOKEKIND InvokeKindOf(const MethodDecl& method) const
    {
        int kinds = method.attributes.Has("propget") + method.attributes.Has("propput") +
                    method.attributes.Has("propputref");
        if (kinds > 1)
            Fail(method.line, method.name + " has more than one property kind");
        if (method.attributes.Has("propget"))
            return INVOKE_PROPERTYGET;
        if (method.attributes.Has("propput"))
            return INVOKE_PROPERTYPUT;
        if (method.attributes.Has("propputref"))
            return INVOKE_PROPERTYPUTREF;
        return INVOKE_FUNC;
    }

    WORD FunctionFlags(const AttributeList& attributes) const
    {
        WORD flags = 0;
        if (attributes.Has("restricted"))
            flags |= FUNCFLAG_FRESTRICTED;
        if (attributes.Has("hidden"))
            flags |= FUNCFLAG_FHIDDEN;
        if (attributes.Has("source"))
            flags |= FUNCFLAG_FSOURCE;
        if (attributes.Has("bindable"))
            flags |= FUNCFLAG_FBINDABLE;
        return flags;
    }

    // The member as the vtable sees it: HRESULT return, every parameter as declared.
    Function BuildVtableFunction(const MethodDecl& method, const InterfaceDecl& owner, int slot)
    {
        CheckAttributes(method.attributes);
        std::string where = owner.name + "::" + method.name;
        Function function;
        function.name = method.name;
        function.invokeKind = InvokeKindOf(method);
        function.funcKind = FUNC_PUREVIRTUAL;
        function.callConv = CC_STDCALL;
        function.oVft = SHORT(8 * slot);
        function.flags = FunctionFlags(method.attributes);
        function.helpString = HelpString(method.attributes);
        function.returnType = Resolve(method.returnType);
        if (const Attribute* id = method.attributes.Find("id")) {
            char* end = nullptr;
            std::string text = SingleArgument(*id);
            long long value = std::strtoll(text.c_str(), &end, 0);
            if (!end || *end != '\0' || value < INT32_MIN || value > UINT32_MAX)
                Fail(id->line, "malformed id '" + text + "' on " + where);
            function.memid = MEMBERID(int32_t(uint32_t(value)));
        } else if (owner.attributes.Has("dual") || owner.isDispinterface) {
            Fail(method.line, "missing attribute id on " + where);
        }
        for (size_t i = 0; i < method.params.size(); ++i) {
            Parameter param = BuildParameter(method.params[i], where);
            if ((param.flags & PARAMFLAG_FRETVAL) && i + 1 != method.params.size())
                Fail(method.params[i].line, "retval parameter of " + where + " must be last");
            function.params.push_back(std::move(param));
        }
        bool sawOptional = false;
        for (const Parameter& param : function.params) {
            if (param.flags & PARAMFLAG_FRETVAL)
                continue;
            if (param.flags & PARAMFLAG_FOPT)
                sawOptional = true;
            else if (sawOptional)
                Fail(method.line, "a required parameter follows an optional one in " + where);
            if ((param.flags & PARAMFLAG_FOPT) && !(param.flags & PARAMFLAG_FHASDEFAULT))
                ++function.optionalCount;
        }
        if (function.invokeKind == INVOKE_PROPERTYGET &&
            (function.params.empty() || !(function.params.back().flags & PARAMFLAG_FRETVAL)))
            Fail(method.line, "property get " + where + " needs an [out, retval] parameter");
        if ((function.invokeKind == INVOKE_PROPERTYPUT ||
             function.invokeKind == INVOKE_PROPERTYPUTREF) &&
            (function.params.empty() || (function.params.back().flags & PARAMFLAG_FOUT)))
            Fail(method.line, "property put " + where + " needs an [in] value parameter");
        return function;
    }

    // The same member as IDispatch::Invoke sees it: the retval becomes the result.
    static Function DispatchView(Function function)
    {
        function.funcKind = FUNC_DISPATCH;
        function.returnType = TypeDescription::Basic(VT_VOID);
        if (!function.params.empty() && (function.params.back().flags & PARAMFLAG_FRETVAL)) {
            function.returnType = function.params.back().type.inner.front();
            function.params.pop_back();
        }
        return function;
    }

    void CheckDispatchIds(const std::vector<Function>& functions, const std::string& owner,
                          const std::vector<MethodDecl>& methods) const
    {
        std::map<MEMBERID, std::pair<std::string, int>> seen; // id → name, invoke kinds
        for (size_t i = 0; i < functions.size(); ++i) {
            const Function& function = functions[i];
            auto [entry, inserted] = seen.emplace(
                function.memid, std::make_pair(function.name, int(function.invokeKind)));
            if (inserted)
                continue;
            if (entry->second.first != function.name ||
                (entry->second.second & function.invokeKind))
                Fail(methods[i].line, "duplicate DISPID " + std::to_string(function.memid) +
                                          " in " + owner + " (" + function.name + " and " +
                                          entry->second.first + ")");
            entry->second.second |= function.invokeKind;
        }
    }

    void BuildInterface(const InterfaceDecl& decl)
    {
        CheckAttributes(decl.attributes);
        std::string what = (decl.isDispinterface ? "dispinterface " : "interface ") + decl.name;
        TypeDefinition type;
        type.name = decl.name;
        type.guid = RequireUuid(decl.attributes, what, decl.line);
        type.helpString = HelpString(decl.attributes);
        ReadVersion(decl.attributes, &type.majorVersion, &type.minorVersion, decl.line);
        if (decl.attributes.Has("hidden"))
            type.typeFlags |= TYPEFLAG_FHIDDEN;
        if (decl.attributes.Has("restricted"))
            type.typeFlags |= TYPEFLAG_FRESTRICTED;

        if (decl.isDispinterface) {
            type.kind = TKIND_DISPATCH;
            type.typeFlags |= TYPEFLAG_FDISPATCHABLE;
            type.implTypes.push_back({TypeRef::StdOle(StdOleIDispatch), 0});
            for (const MethodDecl& method : decl.methods) {
                Function function = BuildVtableFunction(method, decl, 0);
                function.funcKind = FUNC_DISPATCH;
                function.oVft = 0;
                type.functions.push_back(std::move(function));
            }
            CheckDispatchIds(type.functions, decl.name, decl.methods);
            library.types.push_back(std::move(type));
            return;
        }

        if (!decl.attributes.Has("object"))
            Fail(decl.line, "missing attribute object on " + what);
        bool dual = decl.attributes.Has("dual");
        TypeRef base;
        int firstSlot = 3;
        if (decl.base == "IDispatch") {
            base = TypeRef::StdOle(StdOleIDispatch);
            firstSlot = 7;
        } else if (decl.base == "IUnknown") {
            base = TypeRef::StdOle(StdOleIUnknown);
        } else {
            Fail(decl.line, "interface " + decl.name + " must derive from IDispatch or IUnknown");
        }
        if (dual && decl.base != "IDispatch")
            Fail(decl.line, "dual interface " + decl.name + " must derive from IDispatch");

        WORD flags = type.typeFlags;
        if (decl.attributes.Has("nonextensible"))
            flags |= TYPEFLAG_FNONEXTENSIBLE;
        if (dual || decl.attributes.Has("oleautomation"))
            flags |= TYPEFLAG_FOLEAUTOMATION;
        std::vector<Function> vtable;
        for (size_t i = 0; i < decl.methods.size(); ++i) {
            Function function = BuildVtableFunction(decl.methods[i], decl, firstSlot + int(i));
            if (function.returnType.vt != VT_HRESULT && (dual || flags & TYPEFLAG_FOLEAUTOMATION))
                Fail(decl.methods[i].line, "method " + decl.name + "::" + function.name +
                                               " of an automation interface must return HRESULT");
            vtable.push_back(std::move(function));
        }
        CheckDispatchIds(vtable, decl.name, decl.methods);

        if (!dual) {
            type.kind = TKIND_INTERFACE;
            type.typeFlags = flags;
            type.implTypes.push_back({base, 0});
            type.functions = std::move(vtable);
            library.types.push_back(std::move(type));
            return;
        }
        type.kind = TKIND_DISPATCH;
        type.typeFlags = flags | TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
        type.implTypes.push_back({TypeRef::StdOle(StdOleIDispatch), 0});
        for (const Function& function : vtable)
            type.functions.push_back(DispatchView(function));
        InterfaceView twin;
        twin.typeFlags = flags | TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE;
        twin.implTypes.push_back({base, 0});
        twin.functions = std::move(vtable);
        type.dualInterface = std::move(twin);
        library.types.push_back(std::move(type));
    }

    void BuildCoclass(const CoclassDecl& decl)
    {
        CheckAttributes(decl.attributes);
        TypeDefinition type;
        type.kind = TKIND_COCLASS;
        type.name = decl.name;
        type.guid = RequireUuid(decl.attributes, "coclass " + decl.name, decl.line);
        type.helpString = HelpString(decl.attributes);
        ReadVersion(decl.attributes, &type.majorVersion, &type.minorVersion, decl.line);
        if (!decl.attributes.Has("noncreatable"))
            type.typeFlags |= TYPEFLAG_FCANCREATE;
        if (decl.attributes.Has("aggregatable"))
            type.typeFlags |= TYPEFLAG_FAGGREGATABLE;
        if (decl.members.empty())
            Fail(decl.line, "coclass " + decl.name + " implements no interface");
        for (const CoclassMember& member : decl.members) {
            CheckAttributes(member.attributes);
            auto found = names.find(member.name);
            bool known = found != names.end() &&
                         found->second.kind == (member.isDispinterface ? NameKind::Dispinterface
                                                                       : NameKind::Interface);
            if (!known)
                Fail(member.line, "coclass " + decl.name + " names unknown " +
                                      (member.isDispinterface ? "dispinterface " : "interface ") +
                                      member.name);
            INT flags = 0;
            if (member.attributes.Has("default"))
                flags |= IMPLTYPEFLAG_FDEFAULT;
            if (member.attributes.Has("source"))
                flags |= IMPLTYPEFLAG_FSOURCE;
            if (member.attributes.Has("restricted"))
                flags |= IMPLTYPEFLAG_FRESTRICTED;
            type.implTypes.push_back({TypeRef::Local(found->second.index), flags});
        }
        library.types.push_back(std::move(type));
    }

    const IdlFile& file;
    Library library;
    std::map<std::string, DeclaredName> names;
    mutable std::set<std::string> usedGuids;
};

} // namespace

Library BuildTypeLibrary(const IdlFile& file)
{
    return Builder(file).Build();
}

} // namespace idlc
