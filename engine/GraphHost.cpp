#include "GraphHost.h"

#include <cstdlib>

#include "com/ComApi.h"
#include "com/DebugLog.h"

namespace {
constexpr const char* kWindowClass = "DS_GRAPH_WINDOW";
const char* kNoGraph = "The DirectShow graph was not (successfully) created";
} // namespace

GraphHost::~GraphHost()
{
    GraphHost::DestroyGraph();
}

void GraphHost::RegisterWindowClass()
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = &GraphHost::WindowProcedure;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // a second registration in the process is harmless
}

void GraphHost::UnregisterWindowClass()
{
    UnregisterClassA(kWindowClass, nullptr);
}

LRESULT GraphHost::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* record = reinterpret_cast<GraphWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    case WM_DESTROY:
        if (record && record->owner && record->timerId && KillTimer(hwnd, record->timerId))
            record->timerId = 0;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_TIMER:
        if (record && record->owner)
            record->owner->OnTimerTick();
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_GRAPH_SAMPLES:
        if (record && record->owner)
            record->owner->OnSampleMessage(wParam, lParam);
        else
            DisposeUndelivered(hwnd, message, wParam, lParam);
        return 0;
    case WM_GRAPH_NOTIFY:
        if (record && record->owner)
            record->owner->DrainGraphEvents();
        return 0;
    case WM_GRAPH_EVENT:
        if (record && record->owner)
            record->owner->OnGraphEvent(LONG(wParam), lParam, 0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void GraphHost::DisposeUndelivered(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_GRAPH_SAMPLES)
        return;
    SafeArrayDestroy(reinterpret_cast<SAFEARRAY*>(wParam));
}

HWND GraphHost::CreateNotificationWindow()
{
    HWND handle = CreateWindowExA(0, kWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, &window);
    if (handle) {
        window.handle = handle;
        SetWindowMessageDisposer(handle, &GraphHost::DisposeUndelivered);
        window.timerId = SetTimer(handle, GRAPH_TIMER_ID, GRAPH_TIMER_MILLISECONDS, nullptr);
    }
    return handle;
}

HRESULT GraphHost::CreateGraph()
{
    if (graph) {
        ReportError("The DirectShow graph has already been created", GUID_NULL, 0);
        return E_FAIL;
    }
    if (!CreateNotificationWindow()) {
        DWORD error = GetLastError();
        ReportError("Failed to create the graph notifications window", GUID_NULL, 0);
        return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
    }
    window.owner = this;

    struct Step
    {
        const char* failure;
        HRESULT hr;
    };
    auto fail = [this](const char* text, HRESULT hr) {
        DestroyGraph();
        ReportError(text, GUID_NULL, 0);
        return hr;
    };
    HRESULT hr =
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (FAILED(hr))
        return fail("Failed to create an IGraphBuilder interface instance", hr);
    hr = graph.As(&control);
    if (FAILED(hr))
        return fail("Failed to obtain the IMediaControl interface pointer", hr);
    hr = graph.As(&events);
    if (FAILED(hr))
        return fail("Failed to obtain the IMediaEventEx interface pointer", hr);
    hr = events->SetNotifyWindow(reinterpret_cast<OAHWND>(window.handle), WM_GRAPH_NOTIFY, 0);
    if (FAILED(hr))
        return fail("Failed to set the graph notifications window", hr);
    return S_OK;
}

HRESULT GraphHost::DestroyGraph()
{
    if (events) {
        events->SetNotifyWindow(0, 0, 0);
        events.Reset();
    }
    window.owner = nullptr;
    if (window.handle && IsWindow(window.handle))
        DestroyWindow(window.handle);
    window.handle = nullptr;
    if (control) {
        control->Stop();
        control.Reset();
    }
    graph.Reset();
    return S_OK;
}

void GraphHost::DrainGraphEvents()
{
    LONG code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    while (events && events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        events->FreeEventParams(code, param1, param2);
        PostMessageA(window.handle, WM_GRAPH_EVENT, WPARAM(code), param1);
    }
}

void GraphHost::OnSampleMessage(WPARAM wParam, LPARAM lParam)
{
    // A host that does not take samples still owns what reached it.
    DisposeUndelivered(window.handle, WM_GRAPH_SAMPLES, wParam, lParam);
}

HRESULT GraphHost::RunGraph()
{
    if (!graph) {
        ReportError(kNoGraph, GUID_NULL, 0);
        return E_FAIL;
    }
    return control->Run();
}

HRESULT GraphHost::PauseGraph()
{
    if (!graph) {
        ReportError(kNoGraph, GUID_NULL, 0);
        return E_FAIL;
    }
    return control->Pause();
}

HRESULT GraphHost::StopGraph()
{
    if (!graph)
        return S_FALSE;
    return control->Stop();
}

HRESULT GraphHost::StopGraphWhenReady()
{
    if (!graph) {
        ReportError(kNoGraph, GUID_NULL, 0);
        return E_FAIL;
    }
    return control->StopWhenReady();
}

HRESULT GraphHost::GetGraphState(DWORD timeout, OAFilterState* state)
{
    if (!graph) {
        ReportError(kNoGraph, GUID_NULL, 0);
        return E_FAIL;
    }
    return control->GetState(LONG(timeout), state);
}

HRESULT GraphHost::GetCurrentPosition(LONGLONG* position)
{
    *position = -1;
    if (!graph) {
        ReportError(kNoGraph, GUID_NULL, 0);
        return E_FAIL;
    }
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = graph.As(&seeking);
    if (FAILED(hr)) {
        ReportError("Could not obtain the IMediaSeeking interface pointer", GUID_NULL, 0);
        return hr;
    }
    hr = seeking->GetCurrentPosition(position);
    if (FAILED(hr)) {
        ReportError("Failed to determine current position", GUID_NULL, 0);
        return hr;
    }
    return S_OK;
}

HRESULT GraphHost::GetClientState(DSGraphStates* state)
{
    if (!state)
        return E_POINTER;
    *state = dsg_error;
    OAFilterState filterState = -1;
    if (FAILED(GetGraphState(INFINITE, &filterState)))
        return S_FALSE;
    switch (filterState) {
    case State_Stopped:
        *state = dsg_stopped;
        return S_OK;
    case State_Paused:
        *state = dsg_paused;
        return S_OK;
    case State_Running:
        *state = dsg_running;
        return S_OK;
    default:
        return S_FALSE;
    }
}

HRESULT GraphHost::GetClientPosition(DOUBLE* position)
{
    if (!position)
        return E_POINTER;
    LONGLONG current = -1;
    HRESULT hr = GetCurrentPosition(&current);
    *position = FAILED(hr) ? -1.0 : double(current);
    return FAILED(hr) ? hr : S_OK;
}
