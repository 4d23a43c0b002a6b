#include "com/DispatchSupport.h"

#include "com/Bstr.h"
#include "com/ComPtr.h"

namespace quillet::dispatch {

namespace {

// Arguments stand last parameter first.
const VARIANT* ArgumentAt(const DISPPARAMS* params, UINT index)
{
    if (!params || index >= params->cArgs)
        return nullptr;
    return &params->rgvarg[params->cArgs - 1 - index];
}

bool SameNameIgnoringCase(const char16_t* a, const char16_t* b)
{
    for (; *a && *b; ++a, ++b) {
        char16_t x = *a >= u'A' && *a <= u'Z' ? char16_t(*a + 32) : *a;
        char16_t y = *b >= u'A' && *b <= u'Z' ? char16_t(*b + 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

} // namespace

HRESULT CheckArguments(const DISPPARAMS* params, UINT declared, UINT required, bool propertyPut)
{
    static DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params)
        params = &none;
    if (params->cArgs && !params->rgvarg)
        return E_INVALIDARG;
    if (propertyPut) {
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTFOUND;
    } else if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs > declared || params->cArgs < required)
        return DISP_E_BADPARAMCOUNT;
    return S_OK;
}

bool IsMissing(const DISPPARAMS* params, UINT index)
{
    const VARIANT* argument = ArgumentAt(params, index);
    return !argument || (argument->vt == VT_ERROR && argument->scode == DISP_E_PARAMNOTFOUND);
}

HRESULT GetArgument(const DISPPARAMS* params, UINT index, VARTYPE vt, Variant* out, UINT* argErr)
{
    if (IsMissing(params, index)) {
        if (argErr && params && index < params->cArgs)
            *argErr = params->cArgs - 1 - index;
        return DISP_E_PARAMNOTOPTIONAL;
    }
    const VARIANT* argument = ArgumentAt(params, index);
    HRESULT hr =
        vt == VT_VARIANT ? VariantCopyInd(out, argument) : VariantChangeType(out, argument, 0, vt);
    if (FAILED(hr)) {
        if (argErr)
            *argErr = params->cArgs - 1 - index;
        return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT GetOptionalArgument(const DISPPARAMS* params, UINT index, VARTYPE vt,
                            const Variant& defaultValue, Variant* out, UINT* argErr)
{
    if (IsMissing(params, index)) {
        *out = defaultValue;
        return S_OK;
    }
    return GetArgument(params, index, vt, out, argErr);
}

void SetResult(VARIANT* result, LONG value)
{
    if (!result)
        return;
    VariantClear(result);
    result->vt = VT_I4;
    result->lVal = value;
}

void SetResult(VARIANT* result, double value)
{
    if (!result)
        return;
    VariantClear(result);
    result->vt = VT_R8;
    result->dblVal = value;
}

void SetResult(VARIANT* result, VARIANT_BOOL value)
{
    if (!result)
        return;
    VariantClear(result);
    result->vt = VT_BOOL;
    result->boolVal = value;
}

void SetResult(VARIANT* result, BSTR value)
{
    if (!result) {
        SysFreeString(value);
        return;
    }
    VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = value;
}

void SetResult(VARIANT* result, VARIANT& value)
{
    if (!result) {
        VariantClear(&value);
        return;
    }
    VariantClear(result);
    *result = value;
    VariantInit(&value);
}

void SetResult(VARIANT* result, IDispatch* value)
{
    if (!result) {
        if (value)
            value->Release();
        return;
    }
    VariantClear(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = value;
}

HRESULT FinishCall(HRESULT hr, EXCEPINFO* excepInfo)
{
    if (SUCCEEDED(hr) || !excepInfo)
        return hr;
    *excepInfo = EXCEPINFO{};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->GetSource(&excepInfo->bstrSource);
        info->GetDescription(&excepInfo->bstrDescription);
        info->GetHelpFile(&excepInfo->bstrHelpFile);
        info->GetHelpContext(&excepInfo->dwHelpContext);
    }
    excepInfo->scode = hr;
    return DISP_E_EXCEPTION;
}

HRESULT LookUpNames(const MemberNames* members, size_t count, LPOLESTR* names, UINT cNames,
                    DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    if (cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        ids[i] = DISPID_UNKNOWN;
    const MemberNames* member = nullptr;
    for (size_t i = 0; i < count && names[0]; ++i)
        if (SameNameIgnoringCase(members[i].name, names[0])) {
            member = &members[i];
            break;
        }
    if (!member)
        return DISP_E_UNKNOWNNAME;
    ids[0] = member->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        bool found = false;
        for (DISPID p = 0; member->params && member->params[p] && names[i]; ++p)
            if (SameNameIgnoringCase(member->params[p], names[i])) {
                ids[i] = p;
                found = true;
                break;
            }
        if (!found)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

} // namespace quillet::dispatch
