// The capture engine: configures, builds and runs the graph capture source → sample grabber →
// WM ASF writer, and reports on it through _IWMACaptureEvents.
//
// An apartment object: every method runs on the thread that created it, which must pump
// messages for the events that arrive through the graph window. BufferCB alone runs on the
// graph's streaming thread; what it reads is atomic and it hands each buffer over by
// PostMessageA, never waiting for the client thread.
#pragma once

#include <atomic>

#include "EngineObject.h"
#include "GraphHost.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoint.h"
#include "corvane_dispatch.h"
#include "dshow/Strmif.h"
#include "wmf/Wmf.h"

// The system profile that Prepare configures the writer with.
inline constexpr GUID DefaultCaptureProfileId = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");

class WMACapture final : public EngineObject<IWMACapture, SupportsErrorInfo<IWMACapture>,
                                             IConnectionPointContainer, ISampleGrabberCB>,
                         public GraphHost
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

    // GraphHost
    void OnGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    void OnTimerTick() override;
    void OnSampleMessage(WPARAM wParam, LPARAM lParam) override;
    HRESULT ReportError(const char* text, REFIID iid, HRESULT hr) override;

private:
    HRESULT Fail(const char* text, HRESULT hr);
    HRESULT FindSourceFilter();
    HRESULT ApplyInputPin();
    HRESULT CreateWriter();
    HRESULT LoadDefaultProfile(IWMProfile** profile);
    HRESULT LoadProfileById(BSTR text, IWMProfile** profile);
    HRESULT ApplyProfile(IWMProfile* profile);
    HRESULT GetWriterConfig(IConfigAsfWriter** config);
    HRESULT GetCurrentProfile(IWMProfile** profile);
    // Connects source → grabber → writer and announces the sample format. *fatal is set when
    // the grabber could be neither kept nor taken out again.
    HRESULT InsertSampleGrabber(IPin* sourceOutput, IPin* writerInput, bool* fatal);
    void FireSampleError(const char* text);
    void DetachForwarder();

    class SampleForwarder;
    SampleForwarder* forwarder = nullptr; // owned by the grabber, detached by Reset
    Bstr sourceId;
    Bstr inputPinId;
    Bstr outputPinId;
    ComPtr<IBaseFilter> sourceFilter;
    ComPtr<IBaseFilter> writerFilter;
    ComPtr<ISampleGrabber> sampleGrabber;
    ComPtr<IAMAudioInputMixer> inputMixer;
    VARIANT_BOOL monitorFileSize = VARIANT_TRUE;
    uint32_t sizeTickCount = 0;

    // What BufferCB reads on the streaming thread while this thread may change it.
    std::atomic<bool> grabberSet{false};
    std::atomic<HWND> samplesWindow{nullptr};

    ConnectionPoint events{static_cast<IConnectionPointContainer*>(this), DIID__IWMACaptureEvents};
    ConnectionPoint* points[1] = {&events};
};
