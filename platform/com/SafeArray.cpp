// SAFEARRAY: self-describing arrays whose BSTR, interface and VARIANT elements the array owns.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "com/OleAuto.h"

namespace {

// The element type is stored just in front of the descriptor, where FADF_HAVEVARTYPE says
// it is; 16 bytes keep the descriptor's pointer field aligned.
constexpr size_t kTypePrefix = 16;

ULONG ElementSize(VARTYPE vt)
{
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
        return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt)
{
    switch (vt) {
    case VT_BSTR:
        return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_DISPATCH:
        return FADF_DISPATCH | FADF_HAVEIID;
    case VT_UNKNOWN:
        return FADF_UNKNOWN | FADF_HAVEIID;
    case VT_VARIANT:
        return FADF_VARIANT | FADF_HAVEVARTYPE;
    default:
        return FADF_HAVEVARTYPE;
    }
}

VARTYPE& StoredType(SAFEARRAY* psa)
{
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<unsigned char*>(psa) - kTypePrefix);
}

// Elements in all dimensions, or 0 with overflow set when the product does not fit.
size_t ElementCount(const SAFEARRAY* psa, bool* overflow)
{
    size_t count = 1;
    *overflow = false;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t n = psa->rgsabound[i].cElements;
        if (n != 0 && count > std::numeric_limits<size_t>::max() / n) {
            *overflow = true;
            return 0;
        }
        count *= n;
    }
    return count;
}

// Whether elements of the type hold something to release or deep-copy; bytes and numbers
// do not, and their arrays are freed and copied whole.
bool OwnsReferences(VARTYPE vt)
{
    return vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_VARIANT;
}

// A one-block byte vector keeps its bytes right after its descriptor, aligned.
constexpr size_t kInlineDataOffset =
    (kTypePrefix + sizeof(SAFEARRAY) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
    alignof(std::max_align_t);

unsigned char* InlineData(SAFEARRAY* psa)
{
    return reinterpret_cast<unsigned char*>(psa) - kTypePrefix + kInlineDataOffset;
}

void ReleaseElement(VARTYPE vt, void* element)
{
    switch (vt) {
    case VT_BSTR:
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = nullptr;
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (auto* unknown = *static_cast<IUnknown**>(element))
            unknown->Release();
        *static_cast<IUnknown**>(element) = nullptr;
        break;
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT*>(element));
        break;
    default:
        break;
    }
}

// Copies one element into uninitialised storage, taking references as the type needs.
HRESULT CopyElement(VARTYPE vt, void* destination, const void* source, ULONG size)
{
    switch (vt) {
    case VT_BSTR: {
        BSTR text = *static_cast<const BSTR*>(source);
        BSTR copy = nullptr;
        if (text) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
            if (!copy)
                return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(destination) = copy;
        return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* unknown = *static_cast<IUnknown* const*>(source);
        if (unknown)
            unknown->AddRef();
        *static_cast<IUnknown**>(destination) = unknown;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT*>(destination));
        return VariantCopy(static_cast<VARIANT*>(destination), static_cast<const VARIANT*>(source));
    default:
        std::memcpy(destination, source, size);
        return S_OK;
    }
}

// The address of the element at rgIndices (leftmost index first), or null when out of range.
void* ElementAddress(SAFEARRAY* psa, const LONG* rgIndices)
{
    size_t offset = 0;
    size_t stride = 1;
    // Bounds are stored rightmost dimension first; the leftmost index varies fastest.
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
        int64_t index = int64_t(rgIndices[d]) - bound.lLbound;
        if (index < 0 || index >= int64_t(bound.cElements))
            return nullptr;
        offset += size_t(index) * stride;
        stride *= bound.cElements;
    }
    return static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
}

} // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 0xFFFF || !rgsabound)
        return nullptr;
    size_t header = kTypePrefix + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<unsigned char*>(std::calloc(1, header));
    if (!block)
        return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kTypePrefix);
    psa->cDims = USHORT(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    StoredType(psa) = vt;
    for (UINT i = 0; i < cDims; ++i)
        psa->rgsabound[cDims - 1 - i] = rgsabound[i];
    bool overflow = false;
    size_t count = ElementCount(psa, &overflow);
    if (overflow || count > std::numeric_limits<size_t>::max() / size) {
        std::free(block);
        return nullptr;
    }
    // Zeroed storage is a valid empty BSTR, null interface and VT_EMPTY variant.
    psa->pvData = std::calloc(count ? count : 1, size);
    if (!psa->pvData) {
        std::free(block);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

SAFEARRAY* SafeArrayCreateByteVector(const void* data, ULONG cElements)
{
    if (!data && cElements != 0)
        return nullptr;
    // Descriptor and bytes in one allocation, and nothing zeroed that is copied over at once:
    // this is how a captured buffer crosses to the client thread, fifty times a second.
    auto* block = static_cast<unsigned char*>(std::malloc(kInlineDataOffset + cElements));
    if (!block)
        return nullptr;
    std::memset(block, 0, kInlineDataOffset);
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kTypePrefix);
    psa->cDims = 1;
    psa->fFeatures = FeaturesFor(VT_UI1);
    psa->cbElements = 1;
    psa->rgsabound[0] = SAFEARRAYBOUND{cElements, 0};
    StoredType(psa) = VT_UI1;
    psa->pvData = InlineData(psa);
    if (cElements != 0)
        std::memcpy(psa->pvData, data, cElements);
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    bool overflow = false;
    size_t count = ElementCount(psa, &overflow);
    VARTYPE vt = StoredType(psa);
    auto* data = static_cast<unsigned char*>(psa->pvData);
    if (OwnsReferences(vt)) {
        for (size_t i = 0; i < count && data; ++i)
            ReleaseElement(vt, data + i * psa->cbElements);
    }
    if (data != InlineData(psa))
        std::free(data);
    std::free(reinterpret_cast<unsigned char*>(psa) - kTypePrefix);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    VARTYPE vt = StoredType(psa);
    SAFEARRAYBOUND bounds[64];
    if (psa->cDims > 64)
        return E_INVALIDARG;
    for (USHORT i = 0; i < psa->cDims; ++i)
        bounds[i] = psa->rgsabound[psa->cDims - 1 - i];
    SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds);
    if (!copy)
        return E_OUTOFMEMORY;
    bool overflow = false;
    size_t count = ElementCount(psa, &overflow);
    auto* from = static_cast<unsigned char*>(psa->pvData);
    auto* to = static_cast<unsigned char*>(copy->pvData);
    if (!OwnsReferences(vt)) {
        if (count != 0)
            std::memcpy(to, from, count * psa->cbElements);
        *ppsaOut = copy;
        return S_OK;
    }
    for (size_t i = 0; i < count; ++i) {
        HRESULT hr =
            CopyElement(vt, to + i * psa->cbElements, from + i * psa->cbElements, psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF)
        return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    *ppvData = nullptr;
    HRESULT hr = SafeArrayLock(psa);
    if (SUCCEEDED(hr))
        *ppvData = psa->pvData;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa)
{
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = LONG(int64_t(bound.lLbound) + int64_t(bound.cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa)
{
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa)
{
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = StoredType(psa);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    void* element = ElementAddress(psa, rgIndices);
    if (!element)
        return DISP_E_BADINDEX;
    return CopyElement(StoredType(psa), pv, element, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    VARTYPE vt = StoredType(psa);
    // Interfaces and strings are passed by value (the pointer itself); everything else by
    // address.
    bool byValue = vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
    if (!pv && !byValue)
        return E_INVALIDARG;
    void* element = ElementAddress(psa, rgIndices);
    if (!element)
        return DISP_E_BADINDEX;
    unsigned char fresh[sizeof(VARIANT)];
    HRESULT hr = byValue ? CopyElement(vt, fresh, &pv, psa->cbElements)
                         : CopyElement(vt, fresh, pv, psa->cbElements);
    if (FAILED(hr))
        return hr;
    ReleaseElement(vt, element);
    std::memcpy(element, fresh, psa->cbElements);
    return S_OK;
}

} // extern "C"
