// The filter graph manager: its interfaces, filter names, connections, the event queue and its
// notify window, state changes and the stream time.
#include <atomic>
#include <thread>

#include "DshowTestSupport.h"
#include "VirtualDevices.h"
#include "user/User.h"

namespace {

ComPtr<IGraphBuilder> NewGraph()
{
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&graph)));
    return graph;
}

ComPtr<IBaseFilter> NewFilter(const CLSID& clsid)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)));
    return filter;
}

std::u16string NameOf(IBaseFilter* filter)
{
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    if (info.pGraph)
        info.pGraph->Release();
    return info.achName;
}

// A hidden window that counts the graph's notification messages; pumped by the test thread.
class NotifyWindow
{
public:
    static constexpr UINT kMessage = WM_APP + 7;

    NotifyWindow()
    {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Procedure;
            wc.lpszClassName = "QuilletGraphTestWindow";
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        hwnd = CreateWindowExA(0, "QuilletGraphTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, nullptr, nullptr);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~NotifyWindow() { DestroyWindow(hwnd); }

    // Dispatches what is queued, waiting up to `timeout` for a first notification.
    int Pump(std::chrono::milliseconds timeout = std::chrono::milliseconds(0))
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        int before = notifications;
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (notifications > before)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < deadline);
        return notifications - before;
    }

    HWND hwnd = nullptr;
    int notifications = 0;
    LPARAM lastInstance = 0;

private:
    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && message == kMessage) {
            ++self->notifications;
            self->lastInstance = lParam;
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
};

class FilterGraphTest : public ::testing::Test
{
protected:
    ComScope com;
};

} // namespace

TEST_F(FilterGraphTest, AnswersItsInterfacesWithOneIdentity)
{
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_PPV_ARGS(&identity)));
    for (const IID& iid : {IID_IFilterGraph, IID_IGraphBuilder, IID_IMediaControl, IID_IMediaEvent,
                           IID_IMediaEventEx, IID_IMediaSeeking, IID_IMediaFilter, IID_IPersist,
                           IID_IMediaEventSink, IID_IDispatch}) {
        ComPtr<IUnknown> answer;
        ASSERT_EQ(S_OK, graph->QueryInterface(iid, answer.ReleaseAndGetVoidAddress()));
        ComPtr<IUnknown> again;
        answer->QueryInterface(IID_PPV_ARGS(&again));
        EXPECT_EQ(identity.Get(), again.Get());
    }
    for (const IID& iid : {IID_IBaseFilter, IID_IPin, IID_ISampleGrabber}) {
        void* answer = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(E_NOINTERFACE, graph->QueryInterface(iid, &answer));
        EXPECT_EQ(nullptr, answer);
    }
    CLSID clsid{};
    EXPECT_EQ(S_OK, graph.As<IMediaFilter>()->GetClassID(&clsid));
    EXPECT_EQ(CLSID_FilterGraph, clsid);
}

TEST_F(FilterGraphTest, NamesFiltersUniquely)
{
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IBaseFilter> first = NewFilter(CLSID_NullRenderer);
    ComPtr<IBaseFilter> second = NewFilter(CLSID_NullRenderer);
    ComPtr<IBaseFilter> unnamed = NewFilter(CLSID_NullRenderer);
    ComPtr<IBaseFilter> unnamed2 = NewFilter(CLSID_NullRenderer);

    EXPECT_EQ(E_POINTER, graph->AddFilter(nullptr, u"x"));
    EXPECT_EQ(S_OK, graph->AddFilter(first.Get(), u"Renderer"));
    EXPECT_EQ(E_INVALIDARG, graph->AddFilter(first.Get(), u"Again"));
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(second.Get(), u"Renderer"));
    EXPECT_EQ(S_OK, graph->AddFilter(unnamed.Get(), nullptr));
    EXPECT_EQ(S_OK, graph->AddFilter(unnamed2.Get(), nullptr));

    EXPECT_EQ(u"Renderer", NameOf(first.Get()));
    std::u16string renamed = NameOf(second.Get());
    EXPECT_NE(u"Renderer", renamed);
    EXPECT_EQ(0u, renamed.find(u"Renderer"));
    EXPECT_FALSE(NameOf(unnamed.Get()).empty());
    EXPECT_NE(NameOf(unnamed.Get()), NameOf(unnamed2.Get()));

    ComPtr<IBaseFilter> found;
    EXPECT_EQ(S_OK, graph->FindFilterByName(renamed.c_str(), &found));
    EXPECT_EQ(second.Get(), found.Get());
    IBaseFilter* sentinel = reinterpret_cast<IBaseFilter*>(0xdeadbeef);
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(u"Nobody", &sentinel));
    EXPECT_EQ(nullptr, sentinel);
    EXPECT_EQ(E_POINTER, graph->FindFilterByName(nullptr, &sentinel));

    FILTER_INFO info{};
    ASSERT_EQ(S_OK, first->QueryFilterInfo(&info));
    ComPtr<IFilterGraph> asGraph;
    graph.As(std::addressof(asGraph));
    EXPECT_EQ(asGraph.Get(), info.pGraph);
    info.pGraph->Release();

    ComPtr<IEnumFilters> filters;
    ASSERT_EQ(S_OK, graph->EnumFilters(&filters));
    IBaseFilter* all[8] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, filters->Next(8, all, &fetched));
    EXPECT_EQ(4u, fetched);
    for (ULONG i = 0; i < fetched; ++i)
        all[i]->Release();

    EXPECT_EQ(S_OK, graph->RemoveFilter(first.Get()));
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(first.Get()));
    ASSERT_EQ(S_OK, first->QueryFilterInfo(&info));
    EXPECT_EQ(nullptr, info.pGraph);
}

TEST_F(FilterGraphTest, ConnectsDirectlyAndRemovingDisconnects)
{
    VirtualDevices devices(kVirtualDeviceText);
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IBaseFilter> source = CaptureFilterNamed("Quillet Virtual Lines");
    ASSERT_TRUE(source);
    ComPtr<IBaseFilter> grabber = NewFilter(CLSID_SampleGrabber);
    ComPtr<IBaseFilter> renderer = NewFilter(CLSID_NullRenderer);
    ComPtr<IPin> out = PinOf(source.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> grabberIn = PinOf(grabber.Get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = PinOf(grabber.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = PinOf(renderer.Get(), PINDIR_INPUT);

    EXPECT_EQ(E_POINTER, graph->ConnectDirect(nullptr, grabberIn.Get(), nullptr));
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->ConnectDirect(out.Get(), grabberIn.Get(), nullptr));
    ASSERT_EQ(S_OK, graph->AddFilter(source.Get(), u"Source"));
    ASSERT_EQ(S_OK, graph->AddFilter(grabber.Get(), u"Grabber"));
    ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), u"Renderer"));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->ConnectDirect(grabberIn.Get(), out.Get(), nullptr));
    // The grabber's output has nothing to offer before its input knows the type.
    EXPECT_TRUE(FAILED(graph->Connect(grabberOut.Get(), rendererIn.Get())));
    ASSERT_EQ(S_OK, graph->Connect(out.Get(), grabberIn.Get()));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Connect(out.Get(), grabberIn.Get()));
    ASSERT_EQ(S_OK, graph->Connect(grabberOut.Get(), rendererIn.Get()));

    // The same type runs the whole chain: the source's own format, offered first.
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(S_OK, rendererIn->ConnectionMediaType(&type));
    const WAVEFORMATEX* format = WaveFormatOf(type);
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(48000u, format->nSamplesPerSec);
    EXPECT_EQ(2, format->nChannels);
    EXPECT_EQ(16, format->wBitsPerSample);
    FreeMediaType(type);

    ComPtr<IPin> peer;
    ASSERT_EQ(S_OK, grabberIn->ConnectedTo(&peer));
    EXPECT_EQ(out.Get(), peer.Get());

    ASSERT_EQ(S_OK, graph->RemoveFilter(grabber.Get()));
    IPin* none = reinterpret_cast<IPin*>(0xdeadbeef);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, out->ConnectedTo(&none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, rendererIn->ConnectedTo(&none));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, grabberIn->ConnectionMediaType(&type));
}

TEST_F(FilterGraphTest, EventsReachTheNotifyWindowAndDrain)
{
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(S_OK, graph.As(std::addressof(events)));
    ASSERT_EQ(S_OK, graph.As(std::addressof(sink)));
    NotifyWindow window;
    ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(window.hwnd),
                                            NotifyWindow::kMessage, 42));

    LONG code = 7;
    LONG_PTR p1 = 7, p2 = 7;
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(0, code);
    EXPECT_EQ(0, p1);
    EXPECT_EQ(E_POINTER, events->GetEvent(nullptr, &p1, &p2, 0));

    // Events raised on another thread, as streaming threads raise them.
    std::thread raiser([&] {
        for (LONG i = 0; i < 3; ++i)
            sink->Notify(EC_ERRORABORT, E_FAIL + i, i);
    });
    raiser.join();
    EXPECT_GE(window.Pump(std::chrono::seconds(5)), 1);
    EXPECT_EQ(42, window.lastInstance);
    for (LONG i = 0; i < 3; ++i) {
        ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
        EXPECT_EQ(EC_ERRORABORT, code);
        EXPECT_EQ(E_FAIL + i, p1);
        EXPECT_EQ(i, p2);
        EXPECT_EQ(S_OK, events->FreeEventParams(code, p1, p2));
    }
    EXPECT_EQ(E_ABORT, events->GetEvent(&code, &p1, &p2, 0));

    // After a drain the next event is announced again.
    window.Pump();
    sink->Notify(EC_COMPLETE, S_OK, 0);
    EXPECT_EQ(1, window.Pump(std::chrono::seconds(5)));
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(EC_COMPLETE, code);

    // GetEvent waits for an event that comes later.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sink->Notify(EC_USERABORT, 0, 0);
    });
    EXPECT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 10000));
    EXPECT_EQ(EC_USERABORT, code);
    late.join();

    // Without a window nothing is posted; the queue still fills.
    ASSERT_EQ(S_OK, events->SetNotifyWindow(0, 0, 0));
    window.Pump();
    sink->Notify(EC_COMPLETE, S_OK, 0);
    EXPECT_EQ(0, window.Pump(std::chrono::milliseconds(50)));
    EXPECT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
}

TEST_F(FilterGraphTest, StreamTimeLeavesPausesOut)
{
    ComPtr<IGraphBuilder> graph = NewGraph();
    ComPtr<IBaseFilter> renderer = NewFilter(CLSID_NullRenderer);
    ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), u"Renderer"));
    ComPtr<IMediaControl> control;
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, graph.As(std::addressof(control)));
    ASSERT_EQ(S_OK, graph.As(std::addressof(seeking)));

    OAFilterState state = -1;
    EXPECT_EQ(S_OK, control->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    EXPECT_EQ(E_POINTER, control->GetState(0, nullptr));
    EXPECT_EQ(E_POINTER, seeking->GetCurrentPosition(nullptr));

    ASSERT_EQ(S_OK, control->Run());
    EXPECT_EQ(S_OK, control->GetState(LONG(INFINITE), &state));
    EXPECT_EQ(State_Running, state);
    FILTER_STATE rendererState;
    EXPECT_EQ(S_OK, renderer->GetState(0, &rendererState));
    EXPECT_EQ(State_Running, rendererState);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(S_OK, control->Pause());
    LONGLONG paused = 0;
    ASSERT_EQ(S_OK, seeking->GetCurrentPosition(&paused));
    EXPECT_GE(paused, 3'000'000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    LONGLONG stillPaused = 0;
    ASSERT_EQ(S_OK, seeking->GetCurrentPosition(&stillPaused));
    EXPECT_EQ(paused, stillPaused);
    ASSERT_EQ(S_OK, control->Run());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(S_OK, control->Stop());
    LONGLONG total = 0;
    ASSERT_EQ(S_OK, seeking->GetCurrentPosition(&total));
    // 600 ms of running; the 300 ms pause is not counted. Generous for a loaded machine.
    EXPECT_GE(total, 6'000'000);
    EXPECT_LT(total, 8'500'000);
    EXPECT_EQ(S_OK, renderer->GetState(0, &rendererState));
    EXPECT_EQ(State_Stopped, rendererState);

    GUID format{};
    EXPECT_EQ(S_OK, seeking->GetTimeFormat(&format));
    EXPECT_EQ(TIME_FORMAT_MEDIA_TIME, format);
    LONGLONG duration = 5;
    EXPECT_EQ(E_NOTIMPL, seeking->GetDuration(&duration));
    EXPECT_EQ(0, duration);
}

TEST_F(FilterGraphTest, UnbuiltPathsSayNotImplemented)
{
    ComPtr<IGraphBuilder> graph = NewGraph();
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->RenderFile(u"/tmp/quillet-no-such-file.wma", nullptr));
    EXPECT_EQ(E_POINTER, graph->RenderFile(nullptr, nullptr));
    ComPtr<IMediaEventEx> events;
    graph.As(std::addressof(events));
    OAEVENT handle = 5;
    EXPECT_EQ(E_NOTIMPL, events->GetEventHandle(&handle));
    EXPECT_EQ(0, handle);
}
