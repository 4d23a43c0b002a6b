// One type info of a loaded library as ITypeInfo answers for it: a listed type, or the vtable
// twin of a dual interface. A view borrows the library model; it lives no longer than a call.
// Any thread may use a view of a model that it keeps alive.
#pragma once

#include <optional>
#include <string_view>

#include "com/TypeLibModel.h"

namespace quillet::typelib {

class TypeInfoView
{
public:
    TypeInfoView(const Library& library, uint16_t index, bool interfaceTwin)
        : library(&library), index(index), interfaceTwin(interfaceTwin)
    {
    }

    const Library& Owner() const { return *library; }
    const TypeDefinition& Type() const { return library->types[index]; }
    uint16_t Index() const { return index; }
    bool IsInterfaceTwin() const { return interfaceTwin; }

    TYPEKIND Kind() const;
    WORD TypeFlags() const;
    const std::vector<Function>& Functions() const;
    const std::vector<Variable>& Variables() const;
    const std::vector<ImplementedType>& ImplTypes() const;

    // The first implemented type of an interface or dispinterface: its base.
    std::optional<TypeInfoView> Base() const;
    // cbSizeVft: 8 bytes per slot of an interface, including the slots of its bases.
    WORD VtableSize() const;

    // A member by its MEMBERID, looked up here and then in the bases; null when absent.
    const Function* FindFunction(MEMBERID memid) const;
    const Variable* FindVariable(MEMBERID memid) const;
    // A member by its name, compared without regard to ASCII case.
    const Function* FindFunctionByName(std::string_view name) const;
    const Variable* FindVariableByName(std::string_view name) const;

    // Resolves a reference made by a type of `from`: local ones in it, StdOle ones in the
    // built-in standard library. Empty when the reference points nowhere.
    static std::optional<TypeInfoView> Resolve(const Library& from, TypeRef ref);
    // HREFTYPE values: the RefKind in the high half, the index in the low half.
    static HREFTYPE EncodeRef(TypeRef ref) { return (HREFTYPE(ref.kind) << 16) | ref.index; }
    static std::optional<TypeRef> DecodeRef(HREFTYPE href);

private:
    const Library* library;
    uint16_t index;
    bool interfaceTwin;
};

// ASCII case-insensitive equality, as automation compares member names.
bool NamesEqual(std::string_view a, std::string_view b);

} // namespace quillet::typelib
