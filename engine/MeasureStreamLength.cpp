#include "MeasureStreamLength.h"

#include "ErrorReporting.h"
#include "KindOfPath.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

HRESULT MeasureStreamLength(BSTR path, LONG streamIndex, double* result, REFCLSID reporter)
{
    if (!result)
        return E_POINTER;
    *result = 0.0;
    if (SysStringLen(path) == 0)
        return E_INVALIDARG;
    const std::string utf8 = Bstr(std::u16string_view(path, SysStringLen(path))).Utf8();
    if (KindOfPath(utf8) == PathKind::Other) {
        ReportError(reporter, NotRegularFileText(utf8).c_str());
        return E_INVALIDARG;
    }
    ComPtr<IMediaDet> detector;
    HRESULT hr =
        CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&detector));
    if (FAILED(hr))
        return hr;
    Bstr copy(std::u16string_view(path, SysStringLen(path)));
    if (!copy.Get())
        return E_OUTOFMEMORY;
    hr = detector->put_Filename(copy.Get());
    copy.Reset();
    if (FAILED(hr))
        return hr;
    hr = detector->put_CurrentStream(streamIndex);
    if (FAILED(hr))
        return hr;
    hr = detector->get_StreamLength(result);
    if (FAILED(hr))
        return hr;
    *result *= 1000.0; // the detector measures seconds
    return hr;
}
