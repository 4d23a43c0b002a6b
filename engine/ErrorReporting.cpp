#include "ErrorReporting.h"

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"

HRESULT ReportError(REFCLSID source, const char* text, REFIID iid, HRESULT hr)
{
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        LPOLESTR progId = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(source, &progId))) {
            create->SetSource(progId);
            CoTaskMemFree(progId);
        }
        std::u16string description = quillet::Utf8ToUtf16(text ? text : "");
        create->SetDescription(description.data());
        if (ComPtr<IErrorInfo> info = create.As<IErrorInfo>())
            SetErrorInfo(0, info.Get());
    }
    return hr == 0 ? DISP_E_EXCEPTION : hr;
}
