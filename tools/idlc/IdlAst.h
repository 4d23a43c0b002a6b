// The parsed form of an IDL file: what the source says, before any type is resolved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace idlc {

struct Attribute
{
    std::string name;
    std::vector<std::string> args; // raw argument tokens, strings without their quotes
    int line = 0;
};

struct AttributeList
{
    std::vector<Attribute> items;

    const Attribute* Find(const std::string& name) const
    {
        for (const Attribute& item : items)
            if (item.name == name)
                return &item;
        return nullptr;
    }
    bool Has(const std::string& name) const { return Find(name) != nullptr; }
};

struct TypeName
{
    std::string name;       // "long", "BSTR", "DSGraphStates", ...
    int pointers = 0;       // number of '*'
    bool safeArray = false; // SAFEARRAY(name)
    int line = 0;
};

struct ParameterDecl
{
    AttributeList attributes;
    TypeName type;
    std::string name;
    int line = 0;
};

struct MethodDecl
{
    AttributeList attributes;
    TypeName returnType;
    std::string name;
    std::vector<ParameterDecl> params;
    int line = 0;
};

struct EnumDecl
{
    std::string name; // the typedef name
    AttributeList attributes;
    std::vector<std::pair<std::string, int64_t>> values;
    int line = 0;
};

struct InterfaceDecl
{
    AttributeList attributes;
    std::string name;
    std::string base; // empty for a dispinterface
    bool isDispinterface = false;
    std::vector<MethodDecl> methods;
    int line = 0;
};

struct CoclassMember
{
    AttributeList attributes;
    bool isDispinterface = false;
    std::string name;
    int line = 0;
};

struct CoclassDecl
{
    AttributeList attributes;
    std::string name;
    std::vector<CoclassMember> members;
    int line = 0;
};

// A declaration in source order.
struct Declaration
{
    enum class Kind
    {
        Enum,
        Interface,
        Coclass
    } kind;
    size_t index; // into the matching vector of IdlFile
};

struct LibraryDecl
{
    AttributeList attributes;
    std::string name;
    std::vector<std::string> importlibs;
    int line = 0;
};

struct IdlFile
{
    std::string path;
    std::vector<std::string> imports;
    std::vector<EnumDecl> enums;
    std::vector<InterfaceDecl> interfaces;
    std::vector<CoclassDecl> coclasses;
    std::vector<Declaration> order; // every declaration, inside the library or not
    std::optional<LibraryDecl> library;
};

} // namespace idlc
