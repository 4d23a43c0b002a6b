// The capture engine: configures, builds and runs the graph capture source → sample grabber →
// WM ASF writer and reports on it through _IWMACaptureEvents.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoint.h"
#include "dshow/Strmif.h"
#include "corvane_dispatch.h"

class WMACapture final : public EngineObject<IWMACapture, SupportsErrorInfo<IWMACapture>, IConnectionPointContainer, ISampleGrabberCB>
{
public:
    WMACapture(IUnknown* outer, ModuleLock* module);
    ~WMACapture() override;

    // IWMACapture
    HRESULT get_RecordLevel(LONG* pVal) override;
    HRESULT put_RecordLevel(LONG newVal) override;
    HRESULT GetState(DSGraphStates* pState) override;
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT StopWhenReady() override;
    HRESULT Reset() override;
    HRESULT get_SourceId(BSTR* pVal) override;
    HRESULT put_SourceId(BSTR newVal) override;
    HRESULT get_InputPin(BSTR* pVal) override;
    HRESULT put_InputPin(BSTR newVal) override;
    HRESULT get_OutputPin(BSTR* pVal) override;
    HRESULT put_OutputPin(BSTR newVal) override;
    HRESULT get_ProfileId(BSTR* pVal) override;
    HRESULT put_ProfileId(BSTR newVal) override;
    HRESULT get_ProfileVersion(wm_profile_version* pVal) override;
    HRESULT put_OutputPath(BSTR newVal) override;
    HRESULT get_OutputPath(BSTR* pVal) override;
    HRESULT Prepare() override;
    HRESULT get_Prepared(VARIANT_BOOL* pVal) override;
    HRESULT Build() override;
    HRESULT get_MonitorOutputFileSize(VARIANT_BOOL* pVal) override;
    HRESULT put_MonitorOutputFileSize(VARIANT_BOOL newVal) override;
    HRESULT GetPosition(DOUBLE* pPosition) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ISampleGrabberCB, on the streaming thread
    HRESULT SampleCB(double SampleTime, IMediaSample* pSample) override;
    HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) override;

private:
    // Raises the error information of this class and answers hr.
    static HRESULT Fail(const char* text, HRESULT hr);

    Bstr sourceId;
    Bstr inputPinId;
    Bstr outputPinId;
    ComPtr<IBaseFilter> sourceFilter;
    bool prepared = false; // FIXME: becomes "a graph exists" with the graph host
    VARIANT_BOOL monitorFileSize = VARIANT_TRUE;
    ConnectionPoint events{static_cast<IConnectionPointContainer*>(this), DIID__IWMACaptureEvents};
    ConnectionPoint* points[1] = {&events};
};
