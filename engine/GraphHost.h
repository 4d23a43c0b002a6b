// The graph base of WMACapture and SimplePlayback: one filter graph and one hidden window on the
// thread that creates the graph. Graph events, the 100 ms tick and sample buffers posted from the
// streaming thread reach the derived class's hooks as messages of that window, so the owning
// thread must pump messages. Everything here runs on that thread, except PostMessageA of
// WM_GRAPH_SAMPLES, which any thread may do.
#pragma once

#include "com/ComPtr.h"
#include "corvane.h"
#include "dshow/Strmif.h"
#include "user/User.h"

inline constexpr UINT WM_GRAPH_SAMPLES = WM_USER + 1; // wParam, lParam: the derived class's
inline constexpr UINT WM_GRAPH_NOTIFY = WM_USER + 2;  // from the filter graph: events pending
inline constexpr UINT WM_GRAPH_EVENT = WM_USER + 3;   // wParam: event code, lParam: parameter 1
inline constexpr UINT_PTR GRAPH_TIMER_ID = 1;
inline constexpr UINT GRAPH_TIMER_MILLISECONDS = 100;

class GraphHost;

// What the window procedure reaches through the window's user data.
struct GraphWindow
{
    HWND handle = nullptr;
    GraphHost* owner = nullptr; // cleared before the window is destroyed
    UINT_PTR timerId = 0;
};

class GraphHost
{
public:
    GraphHost() = default;
    virtual ~GraphHost();
    GraphHost(const GraphHost&) = delete;
    GraphHost& operator=(const GraphHost&) = delete;

    // One graph event, on the window thread; param2 is always 0.
    virtual void OnGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
    // Reads every pending graph event and posts each as its own WM_GRAPH_EVENT.
    virtual void DrainGraphEvents();
    // The 100 ms tick, for the life of the graph whatever the filter state.
    virtual void OnTimerTick() = 0;
    // A WM_GRAPH_SAMPLES message.
    virtual void OnSampleMessage(WPARAM wParam, LPARAM lParam);
    virtual HRESULT RunGraph();
    virtual HRESULT PauseGraph();
    virtual HRESULT StopGraph();
    virtual HRESULT StopGraphWhenReady();
    // Builds the empty graph and the window.
    virtual HRESULT CreateGraph();
    // Tears both down; may run at any time and any number of times.
    virtual HRESULT DestroyGraph();
    // Sets the thread's error information under the derived class's identity.
    virtual HRESULT ReportError(const char* text, REFIID iid, HRESULT hr) = 0;

    HRESULT GetGraphState(DWORD timeout, OAFilterState* state);
    HRESULT GetCurrentPosition(LONGLONG* position);

    // What both graph classes answer a client: the state waited for without a time limit, as
    // DSGraphStates (dsg_error and S_FALSE when there is none to give), and the position as a
    // double in 100 ns units (-1.0 and the failure when there is none).
    HRESULT GetClientState(DSGraphStates* state);
    HRESULT GetClientPosition(DOUBLE* position);

    // Registers the "DS_GRAPH_WINDOW" class; the module does this once when it loads.
    static void RegisterWindowClass();
    // Removes the class again when the module unloads, so that a later load registers its own
    // window procedure instead of finding one that points into the unloaded copy.
    static void UnregisterWindowClass();

    // WM_GRAPH_SAMPLES carries a byte SAFEARRAY in wParam and the buffer's time, a double's
    // bits, in lParam; messages that never reach the window (it was destroyed first) are
    // freed here.
    static void DisposeUndelivered(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    bool HasGraph() const { return bool(graph); }
    HWND WindowHandle() const { return window.handle; }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaControl> control;
    GraphWindow window;

private:
    static LRESULT WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateNotificationWindow();
};
