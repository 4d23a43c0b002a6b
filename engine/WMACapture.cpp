// WMACapture: properties, run control, events and the hand-off of captured buffers. Graph
// building is in WMACaptureBuild.cpp.
#include "WMACapture.h"

#include "com/InterfaceGuard.h"

#include <sys/stat.h>

#include <bit>
#include <cstdlib>
#include <cstring>

#include "ErrorReporting.h"
#include "KindOfPath.h"
#include "com/Variant.h"

namespace {

const char* kNoMixer = "No input mixer is available";
const char* kNotInitialized = "Capture object has not been (properly) initialized";

HRESULT CopyText(const Bstr& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = text.Empty() ? nullptr : text.Copy();
    return text.Empty() || *out ? S_OK : E_OUTOFMEMORY;
}

Bstr TextOf(BSTR value)
{
    return Bstr(std::u16string_view(value ? value : u"", SysStringLen(value)));
}

// A path that the writer may create, or a regular file that it may replace.
bool IsRecordablePath(const std::string& path)
{
    const PathKind kind = KindOfPath(path);
    return kind == PathKind::Missing || kind == PathKind::RegularFile;
}

} // namespace

WMACapture::WMACapture(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMACapture::~WMACapture()
{
    // The last release resets the object, so that streaming ends before anything goes away.
    Reset();
    events.UnadviseAll();
}

HRESULT WMACapture::ReportError(const char* text, REFIID iid, HRESULT hr)
{
    return ::ReportError(CLSID_WMACapture, text, iid, hr);
}

HRESULT WMACapture::Fail(const char* text, HRESULT hr)
{
    ReportError(text, GUID_NULL, 0);
    return hr;
}

// --- Source, pins and output -------------------------------------------------------------

HRESULT WMACapture::get_SourceId(BSTR* pVal)
try {
    return CopyText(sourceId, pVal);
} catch (...) {
    return GuardedResult("WMACapture::get_SourceId");
}

HRESULT WMACapture::get_InputPin(BSTR* pVal)
try {
    return CopyText(inputPinId, pVal);
} catch (...) {
    return GuardedResult("WMACapture::get_InputPin");
}

HRESULT WMACapture::get_OutputPin(BSTR* pVal)
try {
    return CopyText(outputPinId, pVal);
} catch (...) {
    return GuardedResult("WMACapture::get_OutputPin");
}

HRESULT WMACapture::put_SourceId(BSTR newVal)
try {
    if (sourceFilter)
        return Fail("Source filter cannot be changed if the object has been initialized", E_FAIL);
    if (SysStringLen(newVal) == 0)
        return Fail("Invalid source filter name string", E_INVALIDARG);
    sourceId = TextOf(newVal);
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::put_SourceId");
}

HRESULT WMACapture::put_InputPin(BSTR newVal)
try {
    if (!sourceFilter) {
        if (SysStringLen(newVal) == 0)
            inputPinId.Reset();
        else
            inputPinId = TextOf(newVal);
        return S_OK;
    }
    Bstr previous = inputPinId;
    inputPinId = SysStringLen(newVal) ? TextOf(newVal) : Bstr();
    HRESULT hr = ApplyInputPin();
    if (FAILED(hr))
        inputPinId = previous;
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::put_InputPin");
}

HRESULT WMACapture::put_OutputPin(BSTR newVal)
try {
    if (sourceFilter)
        return Fail("Output pin cannot be changed if the object has been initialized", E_FAIL);
    outputPinId = newVal ? TextOf(newVal) : Bstr();
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::put_OutputPin");
}

HRESULT WMACapture::put_OutputPath(BSTR newVal)
try {
    if (SysStringLen(newVal) == 0)
        return E_INVALIDARG;
    if (!writerFilter)
        return Fail(kNotInitialized, E_FAIL);
    // The writer may only make a new file or replace a regular one: a pipe with no reader would
    // stall the recording, and a folder or a device cannot hold one.
    const std::string path = TextOf(newVal).Utf8();
    if (!IsRecordablePath(path))
        return Fail(NotRegularFileText(path).c_str(), E_INVALIDARG);
    ComPtr<IFileSinkFilter> sink;
    HRESULT hr = writerFilter.As(&sink);
    if (FAILED(hr))
        return Fail("IFileSinkFilter request failure", hr);
    hr = sink->SetFileName(newVal, nullptr);
    if (FAILED(hr)) {
        std::string text = "IFileSinkFilter SetFileName() call failure (path specified was \"" +
                           TextOf(newVal).Utf8() + "\"";
        return Fail(text.c_str(), hr);
    }
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::put_OutputPath");
}

HRESULT WMACapture::get_OutputPath(BSTR* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    if (!writerFilter)
        return Fail(kNotInitialized, E_FAIL);
    ComPtr<IFileSinkFilter> sink;
    HRESULT hr = writerFilter.As(&sink);
    if (FAILED(hr))
        return Fail("IFileSinkFilter request failure", hr);
    LPOLESTR name = nullptr;
    hr = sink->GetCurFile(&name, nullptr);
    if (FAILED(hr))
        return Fail("IFileSinkFilter GetCurFile() call failure", hr);
    if (!name)
        return S_FALSE;
    *pVal = SysAllocString(name);
    CoTaskMemFree(name);
    return *pVal ? S_OK : E_OUTOFMEMORY;
} catch (...) {
    return GuardedResult("WMACapture::get_OutputPath");
}

HRESULT WMACapture::get_Prepared(VARIANT_BOOL* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = HasGraph() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::get_Prepared");
}

HRESULT WMACapture::get_MonitorOutputFileSize(VARIANT_BOOL* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = monitorFileSize;
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::get_MonitorOutputFileSize");
}

HRESULT WMACapture::put_MonitorOutputFileSize(VARIANT_BOOL newVal)
try {
    // Only the low 16 bits count, as for every VARIANT_BOOL that crosses the interface.
    monitorFileSize = (newVal & 0xFFFF) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::put_MonitorOutputFileSize");
}

// --- Record level -------------------------------------------------------------------------

HRESULT WMACapture::get_RecordLevel(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = -1;
    if (!inputMixer)
        return Fail(kNoMixer, E_FAIL);
    double level = 0;
    HRESULT hr = inputMixer->get_MixLevel(&level);
    if (SUCCEEDED(hr))
        *pVal = LONG(level * 100.0); // truncated toward zero: 0.499 reads as 49
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::get_RecordLevel");
}

HRESULT WMACapture::put_RecordLevel(LONG newVal)
try {
    if (!inputMixer)
        return Fail(kNoMixer, E_FAIL);
    double level = newVal * 0.01;
    if (level > 1.0)
        level = 1.0;
    if (level < 0.0)
        level = 0.0;
    return inputMixer->put_MixLevel(level);
} catch (...) {
    return GuardedResult("WMACapture::put_RecordLevel");
}

// --- Run control --------------------------------------------------------------------------

HRESULT WMACapture::Run()
try {
    // The output may have been replaced since it was named; the writer opens it when it runs.
    Bstr path;
    if (writerFilter && get_OutputPath(path.Out()) == S_OK && !IsRecordablePath(path.Utf8()))
        return Fail(NotRegularFileText(path.Utf8()).c_str(), E_INVALIDARG);
    HRESULT hr = RunGraph();
    if (SUCCEEDED(hr))
        _IWMACaptureEventsFire::FireGraphStateChange(events, dsg_running);
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::Run");
}

HRESULT WMACapture::Pause()
try {
    HRESULT hr = PauseGraph();
    if (SUCCEEDED(hr))
        _IWMACaptureEventsFire::FireGraphStateChange(events, dsg_paused);
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::Pause");
}

HRESULT WMACapture::Stop()
try {
    HRESULT hr = StopGraph();
    if (SUCCEEDED(hr))
        _IWMACaptureEventsFire::FireGraphStateChange(events, dsg_stopped);
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::Stop");
}

HRESULT WMACapture::StopWhenReady()
try {
    return StopGraphWhenReady();
} catch (...) {
    return GuardedResult("WMACapture::StopWhenReady");
}

HRESULT WMACapture::GetState(DSGraphStates* pState)
try {
    return GetClientState(pState);
} catch (...) {
    return GuardedResult("WMACapture::GetState");
}

HRESULT WMACapture::GetPosition(DOUBLE* pPosition)
try {
    return GetClientPosition(pPosition);
} catch (...) {
    return GuardedResult("WMACapture::GetPosition");
}

HRESULT WMACapture::Reset()
try {
    sourceId.Reset();
    inputPinId.Reset();
    outputPinId.Reset();
    // Streaming ends before the grabber is touched, so no BufferCB runs while it goes away.
    StopGraph();
    grabberSet.store(false, std::memory_order_release);
    DetachForwarder(); // before the grabber lets the forwarder go
    if (sampleGrabber) {
        sampleGrabber->SetCallback(nullptr, 0);
        sampleGrabber.Reset();
    }
    inputMixer.Reset();
    sourceFilter.Reset();
    writerFilter.Reset();
    samplesWindow.store(nullptr, std::memory_order_release);
    DestroyGraph();
    sizeTickCount = 0;
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::Reset");
}

// --- Events ---------------------------------------------------------------------------------

HRESULT WMACapture::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
try {
    return EnumConnectionPointsOf(points, ppEnum);
} catch (...) {
    return GuardedResult("WMACapture::EnumConnectionPoints");
}

HRESULT WMACapture::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
try {
    return FindConnectionPointIn(points, riid, ppCP);
} catch (...) {
    return GuardedResult("WMACapture::FindConnectionPoint");
}

void WMACapture::FireSampleError(const char* text)
{
    Bstr message = Bstr::FromUtf8(text);
    _IWMACaptureEventsFire::FireSampleError(events, message.Get());
}

void WMACapture::OnGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (code == EC_ERRORABORT || code == EC_DEVICE_LOST)
        _IWMACaptureEventsFire::FireGraphError(events, code, LONG(param1), LONG(param2));
}

void WMACapture::OnTimerTick()
{
    if (!graph || !control)
        return;
    OAFilterState state = -1;
    if (FAILED(control->GetState(LONG(INFINITE), &state)) || state != State_Running)
        return;
    double position = 0;
    if (SUCCEEDED(GetPosition(&position)))
        _IWMACaptureEventsFire::FirePositionProgress(events, position);
    if (!monitorFileSize)
        return;
    if (++sizeTickCount != 3)
        return;
    sizeTickCount = 0;
    Bstr path;
    if (get_OutputPath(path.Out()) != S_OK)
        return;
    // The writer keeps the file open, so the directory entry is the only size we can read while
    // recording.
    struct stat entry
    {
    };
    if (stat(path.Utf8().c_str(), &entry) != 0)
        return;
    uint64_t size = uint64_t(entry.st_size);
    _IWMACaptureEventsFire::FireFileSizeProgress(events, LONG(uint32_t(size >> 32)),
                                                 LONG(uint32_t(size & 0xFFFFFFFFu)));
}

HRESULT WMACapture::SampleCB(double, IMediaSample*)
try {
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::SampleCB");
}

HRESULT WMACapture::BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen)
try {
    if (!grabberSet.load(std::memory_order_acquire))
        return S_FALSE;
    HWND target = samplesWindow.load(std::memory_order_acquire);
    if (!pBuffer || BufferLen <= 0 || !IsWindow(target))
        return S_OK;
    // One allocation a buffer: the bytes with their array, and the time in the message itself.
    SAFEARRAY* array = SafeArrayCreateByteVector(pBuffer, ULONG(BufferLen));
    if (!array)
        return S_OK;
    LPARAM time = std::bit_cast<LPARAM>(SampleTime);
    // The window may go between the check and the post; then the buffer is still ours to free.
    if (!PostMessageA(target, WM_GRAPH_SAMPLES, reinterpret_cast<WPARAM>(array), time))
        DisposeUndelivered(target, WM_GRAPH_SAMPLES, reinterpret_cast<WPARAM>(array), time);
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::BufferCB");
}

void WMACapture::OnSampleMessage(WPARAM wParam, LPARAM lParam)
{
    auto* array = reinterpret_cast<SAFEARRAY*>(wParam);
    VARIANT data;
    VariantInit(&data);
    data.vt = VT_ARRAY | VT_UI1;
    data.parray = array;
    _IWMACaptureEventsFire::FireSampleData(events, data, std::bit_cast<double>(lParam));
    SafeArrayDestroy(array);
}
