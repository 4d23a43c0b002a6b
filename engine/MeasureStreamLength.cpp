#include "MeasureStreamLength.h"

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

HRESULT MeasureStreamLength(BSTR path, LONG streamIndex, double* result)
{
    if (!result)
        return E_POINTER;
    *result = 0.0;
    if (SysStringLen(path) == 0)
        return E_INVALIDARG;
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
