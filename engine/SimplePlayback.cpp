#include "SimplePlayback.h"

#include "com/InterfaceGuard.h"

#include <cmath>
#include <limits>
#include <string>

#include "ErrorReporting.h"
#include "KindOfPath.h"
#include "MeasureStreamLength.h"

namespace {
const char* kNoGraph = "The DirectShow graph was not (successfully) created";
constexpr LONG kSilence = -10000;

// Truncates toward zero. A position past what 64 bits hold saturates and a NaN becomes -1, so
// that the seek refuses or clamps it instead of the conversion being undefined.
LONGLONG ToMediaTime(double position)
{
    if (std::isnan(position))
        return -1;
    if (position >= 9.2e18)
        return std::numeric_limits<LONGLONG>::max();
    if (position <= -9.2e18)
        return std::numeric_limits<LONGLONG>::min();
    return LONGLONG(position);
}
} // namespace

SimplePlayback::SimplePlayback(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

SimplePlayback::~SimplePlayback()
{
    Reset();
    renderedPath.Reset();
    sinks.UnadviseAll();
}

HRESULT SimplePlayback::ReportError(const char* text, REFIID iid, HRESULT hr)
{
    return ::ReportError(CLSID_SimplePlayback, text, iid, hr);
}

HRESULT SimplePlayback::Fail(const char* text, HRESULT hr)
{
    ReportError(text, GUID_NULL, 0);
    return hr;
}

// --- Rendering ------------------------------------------------------------------------------

HRESULT SimplePlayback::Initialize(BSTR FilePath)
try {
    if (HasGraph())
        return Fail("The object has already been initialized", E_FAIL);
    renderedPath.Reset();
    if (!FilePath)
        return E_INVALIDARG;
    Bstr path(std::u16string_view(FilePath, SysStringLen(FilePath)));
    // A folder passes here and is refused by the render below, as any unreadable file is. A
    // pipe or a device never reaches the render: reading one could wait for ever.
    const PathKind kind = KindOfPath(path.Utf8());
    if (kind == PathKind::Missing) {
        std::string text = "File \"" + path.Utf8() + "\" was not found or not accessible";
        return Fail(text.c_str(), E_INVALIDARG);
    }
    if (kind == PathKind::Other)
        return Fail(NotRegularFileText(path.Utf8()).c_str(), E_INVALIDARG);
    HRESULT hr = CreateGraph();
    if (FAILED(hr))
        return hr;
    hr = graph->RenderFile(path.Get(), nullptr);
    if (FAILED(hr)) {
        // The graph stays, so that only Reset leads back to a fresh object.
        std::string text = "Could not render file (\"" + path.Utf8() + "\")";
        return Fail(text.c_str(), hr);
    }
    initialized = VARIANT_TRUE;
    renderedPath = std::move(path);
    return hr;
} catch (...) {
    return GuardedResult("SimplePlayback::Initialize");
}

HRESULT SimplePlayback::get_Initialized(VARIANT_BOOL* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = initialized ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
} catch (...) {
    return GuardedResult("SimplePlayback::get_Initialized");
}

HRESULT SimplePlayback::Reset()
try {
    DestroyGraph(); // stops the graph on its way, without an event
    initialized = VARIANT_FALSE;
    return S_OK;
} catch (...) {
    return GuardedResult("SimplePlayback::Reset");
}

// --- Volume ---------------------------------------------------------------------------------

LONG SimplePlayback::VolumeFromHundredthsOfDecibel(LONG hundredths)
{
    if (hundredths == 0)
        return 100;
    if (hundredths <= kSilence)
        return 1;
    return hundredths / 100 + 100;
}

LONG SimplePlayback::HundredthsOfDecibelFromVolume(LONG volume)
{
    if (volume <= 1)
        return kSilence;
    if (volume > 100)
        volume = 100;
    return (volume - 100) * 100;
}

HRESULT SimplePlayback::GetBasicAudio(IBasicAudio** audio)
{
    if (!HasGraph())
        return Fail(kNoGraph, E_FAIL);
    HRESULT hr = graph->QueryInterface(IID_PPV_ARGS(audio));
    if (FAILED(hr))
        return Fail("Could not obtain IBasicAudio interface pointer", hr);
    return S_OK;
}

HRESULT SimplePlayback::get_Volume(LONG* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = -1;
    ComPtr<IBasicAudio> audio;
    HRESULT hr = GetBasicAudio(&audio);
    if (FAILED(hr))
        return hr;
    LONG hundredths = 0;
    hr = audio->get_Volume(&hundredths);
    if (FAILED(hr))
        return hr;
    *pVal = VolumeFromHundredthsOfDecibel(hundredths);
    return hr;
} catch (...) {
    return GuardedResult("SimplePlayback::get_Volume");
}

HRESULT SimplePlayback::put_Volume(LONG newVal)
try {
    LONG hundredths = HundredthsOfDecibelFromVolume(newVal);
    ComPtr<IBasicAudio> audio;
    HRESULT hr = GetBasicAudio(&audio);
    if (FAILED(hr))
        return hr;
    return audio->put_Volume(hundredths);
} catch (...) {
    return GuardedResult("SimplePlayback::put_Volume");
}

// --- Run control and position ---------------------------------------------------------------

HRESULT SimplePlayback::Run()
try {
    HRESULT hr = RunGraph();
    if (SUCCEEDED(hr))
        _ISimplePlaybackEventsFire::FireGraphStateChange(sinks, dsg_running);
    return hr;
} catch (...) {
    return GuardedResult("SimplePlayback::Run");
}

HRESULT SimplePlayback::Pause()
try {
    HRESULT hr = PauseGraph();
    if (SUCCEEDED(hr))
        _ISimplePlaybackEventsFire::FireGraphStateChange(sinks, dsg_paused);
    return hr;
} catch (...) {
    return GuardedResult("SimplePlayback::Pause");
}

HRESULT SimplePlayback::Stop()
try {
    HRESULT hr = StopGraph();
    if (SUCCEEDED(hr))
        _ISimplePlaybackEventsFire::FireGraphStateChange(sinks, dsg_stopped);
    return hr;
} catch (...) {
    return GuardedResult("SimplePlayback::Stop");
}

HRESULT SimplePlayback::GetState(DSGraphStates* pState)
try {
    return GetClientState(pState);
} catch (...) {
    return GuardedResult("SimplePlayback::GetState");
}

HRESULT SimplePlayback::GetPosition(DOUBLE* pPosition)
try {
    return GetClientPosition(pPosition);
} catch (...) {
    return GuardedResult("SimplePlayback::GetPosition");
}

HRESULT SimplePlayback::SetPosition(DOUBLE Position, VARIANT_BOOL Absolute)
try {
    if (!HasGraph())
        return Fail(kNoGraph, E_FAIL);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = graph.As(&seeking);
    if (FAILED(hr))
        return Fail("Could not obtain the IMediaSeeking interface pointer", hr);
    LONGLONG current = ToMediaTime(Position);
    hr = seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                               AM_SEEKING_NoPositioning);
    if (FAILED(hr) || !Absolute)
        ReportError("Failed to set current position", GUID_NULL, 0);
    // A failed seek is reported as the failure it is, so that a caller who asks for a position
    // the clip does not have is not told it got there.
    return FAILED(hr) ? hr : S_OK;
} catch (...) {
    return GuardedResult("SimplePlayback::SetPosition");
}

HRESULT SimplePlayback::GetStreamLength(LONG StreamIndex, DOUBLE* pStreamLength)
try {
    if (!pStreamLength)
        return E_POINTER;
    *pStreamLength = 0.0;
    if (renderedPath.Empty())
        return Fail("No file is rendered", E_FAIL);
    return MeasureStreamLength(renderedPath.Get(), StreamIndex, pStreamLength,
                               CLSID_SimplePlayback);
} catch (...) {
    return GuardedResult("SimplePlayback::GetStreamLength");
}

// --- Events ---------------------------------------------------------------------------------

HRESULT SimplePlayback::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
try {
    return EnumConnectionPointsOf(points, ppEnum);
} catch (...) {
    return GuardedResult("SimplePlayback::EnumConnectionPoints");
}

HRESULT SimplePlayback::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
try {
    return FindConnectionPointIn(points, riid, ppCP);
} catch (...) {
    return GuardedResult("SimplePlayback::FindConnectionPoint");
}

void SimplePlayback::OnGraphEvent(LONG code, LONG_PTR param1, LONG_PTR)
{
    switch (code) {
    case EC_COMPLETE:
        Stop();
        break;
    case EC_ERRORABORT:
    case EC_DEVICE_LOST:
        _ISimplePlaybackEventsFire::FireGraphError(sinks, code, LONG(param1), 0);
        break;
    default:
        break;
    }
}

void SimplePlayback::OnTimerTick()
{
    if (!graph || !control)
        return;
    OAFilterState state = -1;
    if (FAILED(control->GetState(LONG(INFINITE), &state)) || state != State_Running)
        return;
    double position = 0;
    if (SUCCEEDED(GetPosition(&position)))
        _ISimplePlaybackEventsFire::FirePositionProgress(sinks, position);
}
