// The fixed DISPID tables of the window program's event sinks: each entry names an event's
// parameters by their automation types and the handler that receives them converted. User
// interface thread only.
#pragma once

#include <array>
#include <span>

#include "com/OleAuto.h"

// The most parameters an entry may declare; an entry that claims more is refused with E_FAIL.
inline constexpr UINT kMaxEventParams = 8;

// One event of a sink's table. The handler gets the arguments in declared order: by-value
// parameters converted to their type, VT_VARIANT parameters as the caller passed them (a
// by-reference variant dereferenced), by-reference parameters as the caller's own VARIANT.
struct EventEntry
{
    DISPID dispid;
    UINT paramCount;
    std::array<VARTYPE, kMaxEventParams> types;
    void (*handler)(void* owner, VARIANT* const* args);
};

// Looks dispid up in table and calls its handler with owner. An unknown DISPID is answered
// S_OK without a call; an entry of more than kMaxEventParams parameters E_FAIL. DISPPARAMS
// carries the positional arguments last to first, after the named ones, which are placed by
// their DISPID (the parameter's index): a missing or doubly given parameter answers
// DISP_E_BADPARAMCOUNT or DISP_E_PARAMNOTFOUND, an argument that does not convert
// DISP_E_TYPEMISMATCH (with *argErr its place in rgvarg), and the handler is not called.
HRESULT InvokeEventTable(std::span<const EventEntry> table, void* owner, DISPID dispid,
                         DISPPARAMS* params, UINT* argErr);
