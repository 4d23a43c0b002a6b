#include "WMACapture.h"

#include "ErrorReporting.h"
#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "WMACapture::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

HRESULT WMACapture::Fail(const char* text, HRESULT hr)
{
    ReportError(CLSID_WMACapture, text);
    return hr;
}

WMACapture::WMACapture(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMACapture::~WMACapture() { events.UnadviseAll(); }

HRESULT WMACapture::get_RecordLevel(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_RecordLevel");
}

HRESULT WMACapture::put_RecordLevel(LONG newVal)
{
    (void)newVal;
    return NotBuilt("put_RecordLevel");
}

HRESULT WMACapture::GetState(DSGraphStates* pState)
{
    if (!pState)
        return E_POINTER;
    *pState = DSGraphStates();
    return NotBuilt("GetState");
}

HRESULT WMACapture::Run()
{
    return NotBuilt("Run");
}

HRESULT WMACapture::Pause()
{
    return NotBuilt("Pause");
}

HRESULT WMACapture::Stop()
{
    return NotBuilt("Stop");
}

HRESULT WMACapture::StopWhenReady()
{
    return NotBuilt("StopWhenReady");
}

HRESULT WMACapture::Reset()
{
    return NotBuilt("Reset");
}

HRESULT WMACapture::get_SourceId(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = sourceId.Empty() ? nullptr : sourceId.Copy();
    return sourceId.Empty() || *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT WMACapture::put_SourceId(BSTR newVal)
{
    if (sourceFilter)
        return Fail("Source filter cannot be changed if the object has been initialized", E_FAIL);
    if (SysStringLen(newVal) == 0)
        return Fail("Invalid source filter name string", E_INVALIDARG);
    sourceId = Bstr(std::u16string_view(newVal, SysStringLen(newVal)));
    return S_OK;
}

HRESULT WMACapture::get_InputPin(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = inputPinId.Empty() ? nullptr : inputPinId.Copy();
    return inputPinId.Empty() || *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT WMACapture::put_InputPin(BSTR newVal)
{
    if (!sourceFilter) {
        if (SysStringLen(newVal) == 0)
            inputPinId.Reset();
        else
            inputPinId = Bstr(std::u16string_view(newVal, SysStringLen(newVal)));
        return S_OK;
    }
    // FIXME: applying the line to a bound device comes with the capture graph.
    return NotBuilt("put_InputPin");
}

HRESULT WMACapture::get_OutputPin(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = outputPinId.Empty() ? nullptr : outputPinId.Copy();
    return outputPinId.Empty() || *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT WMACapture::put_OutputPin(BSTR newVal)
{
    if (sourceFilter)
        return Fail("Output pin cannot be changed if the object has been initialized", E_FAIL);
    outputPinId = newVal ? Bstr(std::u16string_view(newVal, SysStringLen(newVal))) : Bstr();
    return S_OK;
}

HRESULT WMACapture::get_ProfileId(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_ProfileId");
}

HRESULT WMACapture::put_ProfileId(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_ProfileId");
}

HRESULT WMACapture::get_ProfileVersion(wm_profile_version* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = wm_profile_version();
    return NotBuilt("get_ProfileVersion");
}

HRESULT WMACapture::put_OutputPath(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_OutputPath");
}

HRESULT WMACapture::get_OutputPath(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_OutputPath");
}

HRESULT WMACapture::Prepare()
{
    return NotBuilt("Prepare");
}

HRESULT WMACapture::get_Prepared(VARIANT_BOOL* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = prepared ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WMACapture::Build()
{
    if (!prepared)
        return Fail("The object has not been prepared", E_FAIL);
    return NotBuilt("Build");
}

HRESULT WMACapture::get_MonitorOutputFileSize(VARIANT_BOOL* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = monitorFileSize;
    return S_OK;
}

HRESULT WMACapture::put_MonitorOutputFileSize(VARIANT_BOOL newVal)
{
    // Only the low 16 bits count, as for every VARIANT_BOOL that crosses the interface.
    monitorFileSize = (newVal & 0xFFFF) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WMACapture::GetPosition(DOUBLE* pPosition)
{
    if (!pPosition)
        return E_POINTER;
    *pPosition = DOUBLE();
    return NotBuilt("GetPosition");
}

HRESULT WMACapture::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return EnumConnectionPointsOf(points, ppEnum);
}

HRESULT WMACapture::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    return FindConnectionPointIn(points, riid, ppCP);
}

HRESULT WMACapture::SampleCB(double, IMediaSample*)
{
    return S_OK;
}

HRESULT WMACapture::BufferCB(double, BYTE*, LONG)
{
    return S_FALSE;
}
