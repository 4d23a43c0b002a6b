// VARIANT copy, clear and type conversion for the types that cross the automation boundary.
#include "com/Variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "com/Bstr.h"

namespace {

bool IsKnownType(VARTYPE vt)
{
    VARTYPE base = vt & VT_TYPEMASK;
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_VARIANT:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        break;
    default:
        return false;
    }
    if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0)
        return false;
    // A bare VT_VARIANT is only meaningful by reference or as an array element type.
    if (base == VT_VARIANT && !(vt & (VT_BYREF | VT_ARRAY)))
        return false;
    return true;
}

// A numeric value held as either an exact integer or a double.
struct Number
{
    bool isInteger;
    int64_t integer;
    double real;
};

HRESULT ParseNumber(BSTR text, Number* out)
{
    std::string utf8 = quillet::Utf16ToUtf8({text ? text : u"", SysStringLen(text)});
    size_t start = utf8.find_first_not_of(" \t");
    size_t end = utf8.find_last_not_of(" \t");
    if (start == std::string::npos)
        return DISP_E_TYPEMISMATCH;
    std::string trimmed = utf8.substr(start, end - start + 1);
    if (trimmed.size() == 4 && (trimmed == "True" || trimmed == "true" || trimmed == "TRUE")) {
        *out = {true, -1, -1.0};
        return S_OK;
    }
    if (trimmed == "False" || trimmed == "false" || trimmed == "FALSE") {
        *out = {true, 0, 0.0};
        return S_OK;
    }
    errno = 0;
    char* stop = nullptr;
    long long integer = std::strtoll(trimmed.c_str(), &stop, 10);
    if (stop && *stop == '\0' && errno == 0) {
        *out = {true, integer, double(integer)};
        return S_OK;
    }
    errno = 0;
    double real = std::strtod(trimmed.c_str(), &stop);
    if (!stop || *stop != '\0' || errno == ERANGE || std::isnan(real) || std::isinf(real))
        return DISP_E_TYPEMISMATCH;
    *out = {false, 0, real};
    return S_OK;
}

HRESULT ToNumber(const VARIANT& v, Number* out)
{
    switch (v.vt) {
    case VT_EMPTY:
        *out = {true, 0, 0.0};
        return S_OK;
    case VT_I1:
        *out = {true, v.cVal, double(v.cVal)};
        return S_OK;
    case VT_UI1:
        *out = {true, v.bVal, double(v.bVal)};
        return S_OK;
    case VT_I2:
        *out = {true, v.iVal, double(v.iVal)};
        return S_OK;
    case VT_UI2:
        *out = {true, v.uiVal, double(v.uiVal)};
        return S_OK;
    case VT_BOOL:
        *out = {true, v.boolVal ? -1 : 0, v.boolVal ? -1.0 : 0.0};
        return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        *out = {true, v.lVal, double(v.lVal)};
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        *out = {true, v.ulVal, double(v.ulVal)};
        return S_OK;
    case VT_I8:
        *out = {true, v.llVal, double(v.llVal)};
        return S_OK;
    case VT_UI8:
        if (v.ullVal > uint64_t(std::numeric_limits<int64_t>::max()))
            *out = {false, 0, double(v.ullVal)};
        else
            *out = {true, int64_t(v.ullVal), double(v.ullVal)};
        return S_OK;
    case VT_R4:
        *out = {false, 0, double(v.fltVal)};
        return S_OK;
    case VT_R8:
    case VT_DATE:
        *out = {false, 0, v.dblVal};
        return S_OK;
    case VT_CY:
        *out = {false, 0, double(v.cyVal.int64) / 10000.0};
        return S_OK;
    case VT_BSTR:
        return ParseNumber(v.bstrVal, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Automation rounds halves to even when a real number becomes an integer.
HRESULT ToInteger(const Number& n, int64_t minimum, uint64_t maximum, int64_t* out)
{
    if (n.isInteger) {
        if (n.integer < minimum || (n.integer > 0 && uint64_t(n.integer) > maximum))
            return DISP_E_OVERFLOW;
        *out = n.integer;
        return S_OK;
    }
    double rounded = std::nearbyint(n.real); // the default rounding mode is to nearest-even
    if (std::isnan(rounded) || rounded < double(minimum) || rounded > double(maximum) ||
        rounded >= 9.2233720368547758e18)
        return DISP_E_OVERFLOW;
    *out = int64_t(rounded);
    return S_OK;
}

std::string FormatNumber(const Number& n)
{
    if (n.isInteger)
        return std::to_string(n.integer);
    char text[64];
    std::snprintf(text, sizeof text, "%.15G", n.real);
    return text;
}

HRESULT ChangeType(VARIANT* result, const VARIANT& source, USHORT flags, VARTYPE vt)
{
    VariantInit(result);
    if (source.vt == vt)
        return VariantCopy(result, &source);
    if (source.vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY) {
        return S_OK;
    }
    if (vt == VT_NULL) {
        result->vt = VT_NULL;
        return S_OK;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (source.vt != VT_DISPATCH && source.vt != VT_UNKNOWN)
            return DISP_E_TYPEMISMATCH;
        if (!source.punkVal) {
            result->vt = vt;
            result->punkVal = nullptr;
            return S_OK;
        }
        void* target = nullptr;
        HRESULT hr = source.punkVal->QueryInterface(
            vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &target);
        if (FAILED(hr))
            return DISP_E_TYPEMISMATCH;
        result->vt = vt;
        result->punkVal = static_cast<IUnknown*>(target);
        return S_OK;
    }
    if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN || (source.vt & VT_ARRAY) ||
        vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;

    Number n{};
    HRESULT hr = ToNumber(source, &n);
    if (vt == VT_BSTR) {
        if (FAILED(hr))
            return hr;
        std::string text;
        if (source.vt == VT_BOOL)
            text = (flags & VARIANT_ALPHABOOL) ? (source.boolVal ? "True" : "False")
                                               : (source.boolVal ? "-1" : "0");
        else if (source.vt == VT_EMPTY)
            text = "";
        else
            text = FormatNumber(n);
        Bstr converted = Bstr::FromUtf8(text);
        if (!converted.Get())
            return E_OUTOFMEMORY;
        result->vt = VT_BSTR;
        result->bstrVal = converted.Detach();
        return S_OK;
    }
    if (FAILED(hr))
        return hr;

    int64_t integer = 0;
    switch (vt) {
    case VT_BOOL:
        result->vt = VT_BOOL;
        result->boolVal =
            (n.isInteger ? n.integer != 0 : n.real != 0.0) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case VT_R4:
        if (!n.isInteger && std::fabs(n.real) > double(std::numeric_limits<float>::max()))
            return DISP_E_OVERFLOW;
        result->vt = VT_R4;
        result->fltVal = float(n.isInteger ? double(n.integer) : n.real);
        return S_OK;
    case VT_R8:
    case VT_DATE:
        result->vt = vt;
        result->dblVal = n.isInteger ? double(n.integer) : n.real;
        return S_OK;
    case VT_I1:
        hr = ToInteger(n, INT8_MIN, INT8_MAX, &integer);
        result->cVal = CHAR(integer);
        break;
    case VT_UI1:
        hr = ToInteger(n, 0, UINT8_MAX, &integer);
        result->bVal = BYTE(integer);
        break;
    case VT_I2:
        hr = ToInteger(n, INT16_MIN, INT16_MAX, &integer);
        result->iVal = SHORT(integer);
        break;
    case VT_UI2:
        hr = ToInteger(n, 0, UINT16_MAX, &integer);
        result->uiVal = USHORT(integer);
        break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        hr = ToInteger(n, INT32_MIN, INT32_MAX, &integer);
        result->lVal = LONG(integer);
        break;
    case VT_UI4:
    case VT_UINT:
        hr = ToInteger(n, 0, UINT32_MAX, &integer);
        result->ulVal = ULONG(integer);
        break;
    case VT_I8:
        hr = ToInteger(n, INT64_MIN, uint64_t(INT64_MAX), &integer);
        result->llVal = integer;
        break;
    case VT_UI8:
        hr = ToInteger(n, 0, uint64_t(INT64_MAX), &integer);
        result->ullVal = ULONGLONG(integer);
        break;
    case VT_CY:
        if (n.isInteger && std::llabs(n.integer) < 922337203685477LL) {
            result->cyVal.int64 = n.integer * 10000;
        } else if (!n.isInteger && std::fabs(n.real) < 922337203685477.0) {
            result->cyVal.int64 = int64_t(std::nearbyint(n.real * 10000.0));
        } else {
            hr = DISP_E_OVERFLOW;
        }
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) {
        VariantInit(result);
        return hr;
    }
    result->vt = vt;
    return S_OK;
}

} // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->llVal = 0;
    pvarg->record.pRecInfo = nullptr;
}

HRESULT VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    VARTYPE vt = pvarg->vt;
    if (vt != VT_EMPTY && vt != VT_NULL && !IsKnownType(vt))
        return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARTYPE vt = pvargSrc->vt;
    if (vt != VT_EMPTY && vt != VT_NULL && !IsKnownType(vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr))
                return hr;
        } else if (vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(pvargSrc->bstrVal),
                                                 SysStringByteLen(pvargSrc->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!pvargSrc->byref)
        return E_INVALIDARG;
    VARTYPE vt = pvargSrc->vt & ~VT_BYREF;
    VARIANT value;
    VariantInit(&value);
    if (vt == VT_VARIANT) {
        HRESULT hr = VariantCopyInd(&value, pvargSrc->pvarVal);
        if (FAILED(hr))
            return hr;
    } else {
        if (!IsKnownType(vt) && vt != VT_EMPTY && vt != VT_NULL)
            return DISP_E_BADVARTYPE;
        VARIANT shallow;
        VariantInit(&shallow);
        shallow.vt = vt;
        if (vt & VT_ARRAY) {
            shallow.parray = *pvargSrc->pparray;
        } else {
            switch (vt) {
            case VT_I1:
            case VT_UI1:
                shallow.bVal = *pvargSrc->pbVal;
                break;
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:
                shallow.iVal = *pvargSrc->piVal;
                break;
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR:
            case VT_R4:
                shallow.lVal = *pvargSrc->plVal;
                break;
            default:
                shallow.llVal = *pvargSrc->pllVal; // 8-byte values and pointers
                break;
            }
        }
        HRESULT hr = VariantCopy(&value, &shallow);
        if (FAILED(hr))
            return hr;
    }
    HRESULT hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *pvarDest = value;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt)
{
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (vt & VT_BYREF)
        return DISP_E_BADVARTYPE;
    // Convert from a dereferenced copy, and into a temporary, so that the destination may be
    // the source itself and stays untouched on failure.
    VARIANT source;
    VariantInit(&source);
    HRESULT hr = VariantCopyInd(&source, pvarSrc);
    if (FAILED(hr))
        return hr;
    VARIANT result;
    hr = ChangeType(&result, source, wFlags, vt);
    VariantClear(&source);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

} // extern "C"

Variant Variant::Long(LONG value)
{
    Variant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

Variant Variant::Double(double value)
{
    Variant v;
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

Variant Variant::Bool(bool value)
{
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::String(std::u16string_view text)
{
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
    return v;
}

Variant Variant::Utf8(std::string_view text)
{
    return String(quillet::Utf8ToUtf16(text));
}

Variant Variant::Dispatch(IDispatch* object)
{
    Variant v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    if (object)
        object->AddRef();
    return v;
}

Variant Variant::Unknown(IUnknown* object)
{
    Variant v;
    v.vt = VT_UNKNOWN;
    v.punkVal = object;
    if (object)
        object->AddRef();
    return v;
}

Variant Variant::AdoptArray(VARTYPE elementType, SAFEARRAY* array)
{
    Variant v;
    v.vt = VARTYPE(VT_ARRAY | elementType);
    v.parray = array;
    return v;
}
