#include "EventTable.h"

#include "com/Variant.h"

HRESULT InvokeEventTable(std::span<const EventEntry> table, void* owner, DISPID dispid,
                         DISPPARAMS* params, UINT* argErr)
{
    const EventEntry* entry = nullptr;
    for (const EventEntry& candidate : table) {
        if (candidate.dispid == dispid) {
            entry = &candidate;
            break;
        }
    }
    if (!entry)
        return S_OK;
    if (entry->paramCount > kMaxEventParams)
        return E_FAIL;
    UINT argCount = params ? params->cArgs : 0;
    UINT namedCount = params ? params->cNamedArgs : 0;
    if (argCount != entry->paramCount || namedCount > argCount ||
        (argCount > 0 && !params->rgvarg) || (namedCount > 0 && !params->rgdispidNamedArgs))
        return DISP_E_BADPARAMCOUNT;

    // Where each declared parameter stands in rgvarg.
    std::array<UINT, kMaxEventParams> slot;
    slot.fill(UINT(-1));
    for (UINT i = 0; i < namedCount; ++i) {
        DISPID index = params->rgdispidNamedArgs[i];
        if (index < 0 || UINT(index) >= entry->paramCount || slot[UINT(index)] != UINT(-1))
            return DISP_E_PARAMNOTFOUND;
        slot[UINT(index)] = i;
    }
    UINT positional = argCount - namedCount;
    for (UINT k = 0; k < positional; ++k) {
        if (slot[k] != UINT(-1))
            return DISP_E_PARAMNOTFOUND;
        slot[k] = argCount - 1 - k;
    }

    std::array<Variant, kMaxEventParams> converted;
    std::array<VARIANT*, kMaxEventParams> args{};
    for (UINT k = 0; k < entry->paramCount; ++k) {
        VARIANT* given = &params->rgvarg[slot[k]];
        VARTYPE type = entry->types[k];
        HRESULT hr = S_OK;
        if (type == VT_VARIANT) {
            args[k] =
                given->vt == (VT_BYREF | VT_VARIANT) && given->pvarVal ? given->pvarVal : given;
        } else if (type & VT_BYREF) {
            // The handler writes through the caller's reference, so the type must be the same.
            if (given->vt != type || !given->byref)
                hr = DISP_E_TYPEMISMATCH;
            args[k] = given;
        } else {
            hr = VariantChangeType(&converted[k], given, 0, type);
            args[k] = &converted[k];
        }
        if (FAILED(hr)) {
            if (argErr)
                *argErr = slot[k];
            return DISP_E_TYPEMISMATCH;
        }
    }
    entry->handler(owner, args.data());
    return S_OK;
}
