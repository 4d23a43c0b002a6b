// What the generated IDispatch::Invoke of a dual interface needs: argument counting, conversion
// by declared type, defaults for omitted optional arguments, results, and turning a failed call
// into DISP_E_EXCEPTION with its error information. Used on the object's own thread.
#pragma once

#include "com/Variant.h"

namespace quillet::dispatch {

// Checks the count of positional arguments against the declared parameters (the retval not
// counted) and the named arguments: a property put takes exactly the DISPID_PROPERTYPUT name,
// anything else none. DISP_E_BADPARAMCOUNT, DISP_E_NONAMEDARGS or DISP_E_PARAMNOTFOUND.
HRESULT CheckArguments(const DISPPARAMS* params, UINT declared, UINT required, bool propertyPut);

// True when the caller passed nothing for parameter index (0 = the first declared parameter):
// it is past the arguments given, or the "missing" marker (VT_ERROR, DISP_E_PARAMNOTFOUND).
bool IsMissing(const DISPPARAMS* params, UINT index);

// Parameter index converted to vt (VT_VARIANT takes the argument as it is, by-reference values
// dereferenced) into *out. A missing required argument: DISP_E_PARAMNOTOPTIONAL; a value that
// does not convert: DISP_E_TYPEMISMATCH (DISP_E_OVERFLOW when out of range); *argErr then names
// the argument's position in rgvarg.
HRESULT GetArgument(const DISPPARAMS* params, UINT index, VARTYPE vt, Variant* out, UINT* argErr);

// The same for an optional parameter, taking defaultValue when the caller passed nothing.
HRESULT GetOptionalArgument(const DISPPARAMS* params, UINT index, VARTYPE vt,
                            const Variant& defaultValue, Variant* out, UINT* argErr);

// Stores a retval in the caller's result, or frees it when the caller wants none.
void SetResult(VARIANT* result, LONG value);
void SetResult(VARIANT* result, double value);
void SetResult(VARIANT* result, VARIANT_BOOL value);
void SetResult(VARIANT* result, BSTR value);       // takes ownership
void SetResult(VARIANT* result, VARIANT& value);   // takes the content, leaving value empty
void SetResult(VARIANT* result, IDispatch* value); // takes the reference

// A failed call: with an EXCEPINFO, fills it from the thread's error information (scode = hr)
// and answers DISP_E_EXCEPTION; without one, answers hr and leaves the error information.
// Success codes pass through.
HRESULT FinishCall(HRESULT hr, EXCEPINFO* excepInfo);

// Looks up a member and its parameter names, without regard to case. names[0] is the member;
// further names are parameters of it. DISP_E_UNKNOWNNAME leaves DISPID_UNKNOWN where a name is
// not known.
struct MemberNames
{
    const char16_t* name;
    DISPID dispid;
    const char16_t* const* params; // null-terminated list, may be null
};
HRESULT LookUpNames(const MemberNames* members, size_t count, LPOLESTR* names, UINT cNames,
                    DISPID* ids);

} // namespace quillet::dispatch
