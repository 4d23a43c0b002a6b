#include "TypeInfoDescriptors.h"

#include <deque>
#include <new>
#include <vector>

#include "TypeInfoView.h"
#include "com/Bstr.h"

namespace quillet::typelib {

// Everything one handed-out record points into. Deques keep the addresses of their elements
// while they grow, so nested TYPEDESCs can point at each other.
struct TypeInfoDescriptors::Record
{
    ~Record()
    {
        for (PARAMDESCEX& ex : defaults)
            VariantClear(&ex.varDefaultValue);
        for (VARIANT& value : values)
            VariantClear(&value);
    }

    void FillType(TYPEDESC& out, const TypeDescription& in)
    {
        out = {};
        out.vt = in.vt;
        if ((in.vt == VT_PTR || in.vt == VT_SAFEARRAY) && !in.inner.empty()) {
            TYPEDESC& inner = nodes.emplace_back();
            out.lptdesc = &inner;
            FillType(inner, in.inner.front());
        } else if (in.vt == VT_USERDEFINED) {
            out.hreftype = TypeInfoView::EncodeRef(in.ref);
        }
    }

    VARIANT& NewValue(const ConstantValue& value)
    {
        VARIANT& out = values.emplace_back();
        VariantInit(&out);
        if (FAILED(ToVariant(value, &out)))
            throw std::bad_alloc();
        return out;
    }

    TYPEATTR attr{};
    FUNCDESC func{};
    VARDESC var{};
    std::deque<TYPEDESC> nodes;
    std::vector<ELEMDESC> params;
    std::deque<PARAMDESCEX> defaults;
    std::deque<VARIANT> values;
};

TypeInfoDescriptors::TypeInfoDescriptors() = default;
TypeInfoDescriptors::~TypeInfoDescriptors() = default;

HRESULT TypeInfoDescriptors::ToVariant(const ConstantValue& value, VARIANT* out)
{
    VariantInit(out);
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_I1:
        out->cVal = CHAR(value.integer);
        break;
    case VT_UI1:
        out->bVal = BYTE(value.integer);
        break;
    case VT_I2:
        out->iVal = SHORT(value.integer);
        break;
    case VT_UI2:
        out->uiVal = USHORT(value.integer);
        break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        out->lVal = LONG(value.integer);
        break;
    case VT_UI4:
    case VT_UINT:
        out->ulVal = ULONG(value.integer);
        break;
    case VT_I8:
    case VT_UI8:
        out->llVal = value.integer;
        break;
    case VT_CY:
        out->cyVal.int64 = value.integer;
        break;
    case VT_BOOL:
        out->boolVal = value.integer ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_R4:
        out->fltVal = FLOAT(value.real);
        break;
    case VT_R8:
    case VT_DATE:
        out->dblVal = value.real;
        break;
    case VT_BSTR: {
        std::u16string text = Utf8ToUtf16(value.text);
        out->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
        if (!out->bstrVal)
            return E_OUTOFMEMORY;
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    out->vt = value.vt;
    return S_OK;
}

TypeInfoDescriptors::Record& TypeInfoDescriptors::Add(std::unique_ptr<Record> record,
                                                      const void* key)
{
    std::lock_guard lock(mutex);
    auto [it, inserted] = records.emplace(key, std::move(record));
    return *it->second;
}

TYPEATTR* TypeInfoDescriptors::NewTypeAttr(const TYPEATTR& attr, const TypeDescription* alias)
{
    auto record = std::make_unique<Record>();
    record->attr = attr;
    if (alias)
        record->FillType(record->attr.tdescAlias, *alias);
    TYPEATTR* result = &record->attr;
    Add(std::move(record), result);
    return result;
}

FUNCDESC* TypeInfoDescriptors::NewFuncDesc(const Function& function)
{
    auto record = std::make_unique<Record>();
    FUNCDESC& desc = record->func;
    desc.memid = function.memid;
    desc.funckind = function.funcKind;
    desc.invkind = function.invokeKind;
    desc.callconv = function.callConv;
    desc.cParams = SHORT(function.params.size());
    desc.cParamsOpt = function.optionalCount;
    desc.oVft = function.oVft;
    desc.wFuncFlags = function.flags;
    record->FillType(desc.elemdescFunc.tdesc, function.returnType);
    desc.elemdescFunc.paramdesc = {};

    // Sized once, so the pointer handed out below stays put.
    record->params.resize(function.params.size());
    for (size_t i = 0; i < function.params.size(); ++i) {
        const Parameter& param = function.params[i];
        ELEMDESC& elem = record->params[i];
        elem = {};
        record->FillType(elem.tdesc, param.type);
        elem.paramdesc.wParamFlags = param.flags;
        if ((param.flags & PARAMFLAG_FHASDEFAULT) && param.defaultValue) {
            PARAMDESCEX& ex = record->defaults.emplace_back();
            ex.cBytes = sizeof(PARAMDESCEX);
            VariantInit(&ex.varDefaultValue);
            if (FAILED(ToVariant(*param.defaultValue, &ex.varDefaultValue)))
                throw std::bad_alloc();
            elem.paramdesc.pparamdescex = &ex;
        }
    }
    desc.lprgelemdescParam = record->params.empty() ? nullptr : record->params.data();
    FUNCDESC* result = &record->func;
    Add(std::move(record), result);
    return result;
}

VARDESC* TypeInfoDescriptors::NewVarDesc(const Variable& variable)
{
    auto record = std::make_unique<Record>();
    VARDESC& desc = record->var;
    desc.memid = variable.memid;
    desc.varkind = variable.varKind;
    desc.wVarFlags = variable.flags;
    record->FillType(desc.elemdescVar.tdesc, variable.type);
    desc.elemdescVar.paramdesc = {};
    if (variable.varKind == VAR_CONST)
        desc.lpvarValue = &record->NewValue(variable.value);
    else
        desc.oInst = 0;
    VARDESC* result = &record->var;
    Add(std::move(record), result);
    return result;
}

bool TypeInfoDescriptors::Release(const void* record)
{
    std::unique_ptr<Record> released;
    std::lock_guard lock(mutex);
    auto it = records.find(record);
    if (it == records.end())
        return false;
    released = std::move(it->second);
    records.erase(it);
    return true;
}

} // namespace quillet::typelib
