// The error object and the per-thread error slot that CreateErrorInfo/SetErrorInfo/GetErrorInfo
// use. An error object is immutable once installed; the slot belongs to its thread.
#include <new>

#include "com/Bstr.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"

namespace {

class ErrorInfo final : public ComObject<IErrorInfo, ICreateErrorInfo>
{
public:
    using ComObject::ComObject;

    HRESULT GetGUID(GUID* pGUID) override
    {
        if (!pGUID)
            return E_INVALIDARG;
        *pGUID = guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* pBstrSource) override { return CopyOut(source, pBstrSource); }
    HRESULT GetDescription(BSTR* pBstrDescription) override
    {
        return CopyOut(description, pBstrDescription);
    }
    HRESULT GetHelpFile(BSTR* pBstrHelpFile) override { return CopyOut(helpFile, pBstrHelpFile); }
    HRESULT GetHelpContext(DWORD* pdwHelpContext) override
    {
        if (!pdwHelpContext)
            return E_INVALIDARG;
        *pdwHelpContext = helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID rguid) override
    {
        guid = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR szSource) override { return Store(szSource, &source); }
    HRESULT SetDescription(LPOLESTR szDescription) override
    {
        return Store(szDescription, &description);
    }
    HRESULT SetHelpFile(LPOLESTR szHelpFile) override { return Store(szHelpFile, &helpFile); }
    HRESULT SetHelpContext(DWORD dwHelpContext) override
    {
        helpContext = dwHelpContext;
        return S_OK;
    }

private:
    static HRESULT CopyOut(const Bstr& value, BSTR* out)
    {
        if (!out)
            return E_INVALIDARG;
        *out = value.Copy();
        return value.Get() && !*out ? E_OUTOFMEMORY : S_OK;
    }
    static HRESULT Store(LPOLESTR text, Bstr* value)
    {
        Bstr copy(text);
        if (text && !copy.Get())
            return E_OUTOFMEMORY;
        *value = std::move(copy);
        return S_OK;
    }

    GUID guid = GUID_NULL;
    Bstr source;
    Bstr description;
    Bstr helpFile;
    DWORD helpContext = 0;
};

thread_local ComPtr<IErrorInfo> currentError;

} // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo)
{
    if (!pperrinfo)
        return E_INVALIDARG;
    return CreateComObject<ErrorInfo>(nullptr, nullptr, IID_ICreateErrorInfo,
                                      reinterpret_cast<void**>(pperrinfo));
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo)
{
    if (dwReserved != 0)
        return E_INVALIDARG;
    currentError = perrinfo;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo)
{
    if (dwReserved != 0 || !pperrinfo)
        return E_INVALIDARG;
    // Reading the error takes it: a second read answers S_FALSE, as clients expect.
    *pperrinfo = currentError.Detach();
    return *pperrinfo ? S_OK : S_FALSE;
}

} // extern "C"
