#include "TypeInfoView.h"

#include <algorithm>

#include "TypeLibStdOle.h"

namespace quillet::typelib {
namespace {

// Base chains are acyclic in a sound library; the limit keeps a crafted one from looping.
constexpr int MaxBaseDepth = 32;

// The vtable of IDispatch: IUnknown's three slots and its own four.
constexpr WORD DispatchVtableSize = 7 * 8;

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

} // namespace

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

TYPEKIND TypeInfoView::Kind() const
{
    return interfaceTwin ? TKIND_INTERFACE : Type().kind;
}

WORD TypeInfoView::TypeFlags() const
{
    return interfaceTwin ? Type().dualInterface->typeFlags : Type().typeFlags;
}

const std::vector<Function>& TypeInfoView::Functions() const
{
    return interfaceTwin ? Type().dualInterface->functions : Type().functions;
}

const std::vector<Variable>& TypeInfoView::Variables() const
{
    static const std::vector<Variable> none;
    return interfaceTwin ? none : Type().variables;
}

const std::vector<ImplementedType>& TypeInfoView::ImplTypes() const
{
    return interfaceTwin ? Type().dualInterface->implTypes : Type().implTypes;
}

std::optional<TypeInfoView> TypeInfoView::Base() const
{
    TYPEKIND kind = Kind();
    if ((kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) || ImplTypes().empty())
        return std::nullopt;
    return Resolve(*library, ImplTypes().front().ref);
}

WORD TypeInfoView::VtableSize() const
{
    if (Kind() == TKIND_DISPATCH)
        return DispatchVtableSize;
    int size = 0;
    std::optional<TypeInfoView> view = *this;
    for (int depth = 0; view && view->Kind() == TKIND_INTERFACE && depth < MaxBaseDepth; ++depth) {
        for (const Function& function : view->Functions())
            if (function.funcKind == FUNC_PUREVIRTUAL || function.funcKind == FUNC_VIRTUAL)
                size = std::max(size, function.oVft + 8);
        view = view->Base();
    }
    return WORD(size);
}

const Function* TypeInfoView::FindFunction(MEMBERID memid) const
{
    std::optional<TypeInfoView> view = *this;
    for (int depth = 0; view && depth < MaxBaseDepth; ++depth, view = view->Base())
        for (const Function& function : view->Functions())
            if (function.memid == memid)
                return &function;
    return nullptr;
}

const Variable* TypeInfoView::FindVariable(MEMBERID memid) const
{
    std::optional<TypeInfoView> view = *this;
    for (int depth = 0; view && depth < MaxBaseDepth; ++depth, view = view->Base())
        for (const Variable& variable : view->Variables())
            if (variable.memid == memid)
                return &variable;
    return nullptr;
}

const Function* TypeInfoView::FindFunctionByName(std::string_view name) const
{
    std::optional<TypeInfoView> view = *this;
    for (int depth = 0; view && depth < MaxBaseDepth; ++depth, view = view->Base())
        for (const Function& function : view->Functions())
            if (NamesEqual(function.name, name))
                return &function;
    return nullptr;
}

const Variable* TypeInfoView::FindVariableByName(std::string_view name) const
{
    std::optional<TypeInfoView> view = *this;
    for (int depth = 0; view && depth < MaxBaseDepth; ++depth, view = view->Base())
        for (const Variable& variable : view->Variables())
            if (NamesEqual(variable.name, name))
                return &variable;
    return nullptr;
}

std::optional<TypeInfoView> TypeInfoView::Resolve(const Library& from, TypeRef ref)
{
    switch (ref.kind) {
    case RefKind::Local:
        if (ref.index < from.types.size())
            return TypeInfoView(from, ref.index, false);
        break;
    case RefKind::LocalInterface:
        if (ref.index < from.types.size() && from.types[ref.index].dualInterface)
            return TypeInfoView(from, ref.index, true);
        break;
    case RefKind::StdOle:
        if (ref.index < StdOleTypeCount)
            return TypeInfoView(*StdOleLibrary(), ref.index, false);
        break;
    }
    return std::nullopt;
}

std::optional<TypeRef> TypeInfoView::DecodeRef(HREFTYPE href)
{
    HREFTYPE kind = href >> 16;
    if (kind < HREFTYPE(RefKind::Local) || kind > HREFTYPE(RefKind::StdOle))
        return std::nullopt;
    return TypeRef{RefKind(kind), uint16_t(href & 0xFFFF)};
}

} // namespace quillet::typelib
