// PlaybackClient against the real playback engine on the private test audio server, playing a
// clip that the capture engine records first, and its event sink driven directly.
#include "PlaybackClient.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <vector>

#include "AppTestEnvironment.h"
#include "AudioServer.h"
#include "CaptureClient.h"
#include "MessageQueuePump.h"
#include "RecordingCaptureListener.h"
#include "TempFolder.h"
#include "VirtualDevices.h"
#include "com/ComApi.h"
#include "com/Variant.h"

namespace {

using namespace std::chrono_literals;

Bstr B(const std::string& text)
{
    return Bstr::FromUtf8(text);
}

// Whether the engine module holds no objects, as its own unload check says; the module is the
// one the private registry names, loaded by the first object created.
HRESULT EngineCanUnloadNow()
{
    void* module = dlopen(QUILLET_ENGINE_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return E_UNEXPECTED;
    auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(module, "DllCanUnloadNow"));
    HRESULT hr = canUnloadNow ? canUnloadNow() : E_UNEXPECTED;
    dlclose(module);
    return hr;
}

struct PlaybackCall
{
    enum Kind
    {
        Position,
        GraphError,
        State
    };
    Kind kind;
    double position = 0;
    LONG longs[3] = {0, 0, 0};
};

// Writes down every call; onState, when set, runs inside the state change as the form's would.
class RecordingPlaybackListener : public PlaybackListener
{
public:
    std::vector<PlaybackCall> calls;
    std::function<void(DSGraphStates)> onState;

    size_t Count(PlaybackCall::Kind kind) const
    {
        size_t count = 0;
        for (const PlaybackCall& call : calls)
            count += call.kind == kind;
        return count;
    }
    std::vector<LONG> States() const
    {
        std::vector<LONG> states;
        for (const PlaybackCall& call : calls)
            if (call.kind == PlaybackCall::State)
                states.push_back(call.longs[0]);
        return states;
    }
    bool Ended() const
    {
        std::vector<LONG> states = States();
        return !states.empty() && states.back() == dsg_stopped;
    }

    void OnPositionProgress(double position) override
    {
        PlaybackCall call{PlaybackCall::Position};
        call.position = position;
        calls.push_back(call);
    }
    void OnGraphError(LONG code, LONG param1, LONG param2) override
    {
        calls.push_back({PlaybackCall::GraphError, 0, {code, param1, param2}});
    }
    void OnGraphStateChange(DSGraphStates state) override
    {
        calls.push_back({PlaybackCall::State, 0, {state, 0, 0}});
        if (onState)
            onState(state);
    }
};

// Records a short take of the virtual device's tone through the capture engine, counting from
// its first buffer; answers the file's path, or "" when the engine recorded nothing.
std::string RecordClip(const TempFolder& folder, std::chrono::milliseconds span)
{
    VirtualDevices devices{kVirtualDeviceText};
    MessageQueuePump pump;
    RecordingCaptureListener listener;
    CaptureClient capture(&listener);
    std::string path = folder / "clip.wma";
    try {
        capture.Create(B("Quillet Virtual Lines").Get(), nullptr, nullptr);
        capture.SetOutputPath(B(path).Get());
        capture.Run();
        if (!WaitUntil([&] { return listener.Count(ListenerCall::Data) > 0; }, 5000ms))
            return {};
        WaitUntil([] { return false; }, span);
        capture.Stop();
    } catch (const QString&) {
        return {};
    }
    bool recorded = capture.HasRecordedFile();
    capture.Release();
    return recorded ? path : std::string();
}

class PlaybackClientTest : public AudioAppTest
{
protected:
    static void SetUpTestSuite()
    {
        if (!audio_test::ServerUnavailableReason().empty())
            return;
        CoInitialize(nullptr);
        clipFolder = new TempFolder;
        clipPath = RecordClip(*clipFolder, 1500ms);
        CoUninitialize();
    }
    static void TearDownTestSuite()
    {
        delete clipFolder;
        clipFolder = nullptr;
    }

    void SetUp() override
    {
        AudioAppTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_FALSE(clipPath.empty()) << "the capture engine recorded no clip";
    }

    TempFolder folder;
    RecordingPlaybackListener listener;
    MessageQueuePump pump;
    // The client with the test's one reference, as the form takes it.
    ComPtr<PlaybackClient> client{new PlaybackClient(&listener)};

    static inline TempFolder* clipFolder = nullptr;
    static inline std::string clipPath;
};

// The sink alone: no engine is needed to hand it events.
class PlaybackSinkTest : public ::testing::Test
{
protected:
    HRESULT Fire(DISPID dispid, std::vector<Variant> reversedArgs)
    {
        DISPPARAMS params{reversedArgs.data(), nullptr, UINT(reversedArgs.size()), 0};
        UINT argErr = 0xdeadbeef;
        return client->Sink()->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                      nullptr, &argErr);
    }

    RecordingPlaybackListener listener;
    ComPtr<PlaybackClient> client{new PlaybackClient(&listener)};
};

} // namespace

TEST_F(PlaybackClientTest, PlaysTheClipToItsEndWithRisingPositions)
{
    ASSERT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    EXPECT_TRUE(listener.calls.empty()); // loading is no state change
    ASSERT_EQ(Thrown([&] { client->Run(); }), "");
    ASSERT_TRUE(WaitUntil([&] { return listener.Ended(); }, 8000ms));

    EXPECT_EQ(listener.States(), (std::vector<LONG>{dsg_running, dsg_stopped}));
    EXPECT_EQ(listener.calls.front().kind, PlaybackCall::State);
    EXPECT_EQ(listener.Count(PlaybackCall::GraphError), 0u);
    // A tick every 100 ms while running, in 100-ns units, up to about the clip's 1.5 seconds.
    EXPECT_GE(listener.Count(PlaybackCall::Position), 7u);
    double last = -1;
    for (const PlaybackCall& call : listener.calls) {
        if (call.kind != PlaybackCall::Position)
            continue;
        EXPECT_GE(call.position, last);
        last = call.position;
    }
    EXPECT_GT(last, 0.9e7);
    EXPECT_LT(last, 2.5e7);
    // The end leaves the clip loaded, so its volume still reads.
    EXPECT_NE(client->GetVolume(), 255);
    client->Close();
}

TEST_F(PlaybackClientTest, PauseTogglesARunningPlaybackAndIgnoresAStoppedOne)
{
    ASSERT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), ""); // loaded, not yet running
    EXPECT_TRUE(listener.calls.empty());

    client->Run();
    ASSERT_TRUE(WaitUntil([&] { return listener.Count(PlaybackCall::Position) > 0; }, 3000ms));
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    // No tick reports a position while paused.
    size_t positions = listener.Count(PlaybackCall::Position);
    WaitUntil([] { return false; }, 300ms);
    EXPECT_EQ(listener.Count(PlaybackCall::Position), positions);
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    EXPECT_EQ(Thrown([&] { client->Stop(); }), "");
    EXPECT_EQ(listener.States(),
              (std::vector<LONG>{dsg_running, dsg_paused, dsg_running, dsg_stopped}));
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    EXPECT_EQ(listener.States().size(), 4u);
    client->Close();
}

TEST_F(PlaybackClientTest, ASecondInitializeLeavesTheFirstClipLoaded)
{
    ASSERT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    // Not even a path that the engine would refuse reaches it.
    EXPECT_EQ(Thrown([&] { client->Initialize(B(folder / "missing.wma").Get()); }), "");
    ASSERT_EQ(Thrown([&] { client->Run(); }), "");
    ASSERT_TRUE(WaitUntil([&] { return listener.Ended(); }, 8000ms));
    EXPECT_EQ(listener.States(), (std::vector<LONG>{dsg_running, dsg_stopped}));
    EXPECT_GT(listener.Count(PlaybackCall::Position), 0u);
    client->Close();
}

TEST_F(PlaybackClientTest, FailuresThrowTheirContextWithTheEnginesCodeAndDescription)
{
    std::string missing = folder / "missing.wma";
    EXPECT_EQ(Thrown([&] { client->Initialize(B(missing).Get()); }),
              "Could not intialize the playback object (code 0x80070057):\n"
              "File \"" +
                  missing + "\" was not found or not accessible");
    // The object stays held until Close; with nothing loaded, it refuses to start and has no
    // volume, and stopping it is no failure.
    EXPECT_EQ(Thrown([&] { client->Run(); }),
              "Error while starting playback (code 0x80004005):\n"
              "The DirectShow graph was not (successfully) created");
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    EXPECT_EQ(Thrown([&] { client->Stop(); }), "");
    EXPECT_EQ(listener.States(), std::vector<LONG>{dsg_stopped});
    EXPECT_EQ(client->GetVolume(), 255);
    EXPECT_FALSE(client->SetVolume(50));
    // A file the engine finds but cannot render.
    ComPtr<PlaybackClient> second(new PlaybackClient(&listener));
    std::string thrown = Thrown([&] { second->Initialize(B(folder.Path().string()).Get()); });
    EXPECT_EQ(thrown.rfind("Could not intialize the playback object (code 0x", 0), 0u) << thrown;
    EXPECT_NE(thrown.find("Could not render file (\"" + folder.Path().string() + "\")"),
              std::string::npos)
        << thrown;
    second->Close();
    client->Close();
}

TEST_F(PlaybackClientTest, AnEngineThatIsNotRegisteredCannotBeCreated)
{
    TempFolder emptyRegistry;
    std::string saved = std::getenv("QUILLET_REGISTRY_DIR");
    setenv("QUILLET_REGISTRY_DIR", emptyRegistry.Path().c_str(), 1);
    std::string thrown = Thrown([&] { client->Initialize(B(clipPath).Get()); });
    setenv("QUILLET_REGISTRY_DIR", saved.c_str(), 1);
    EXPECT_EQ(thrown, "Failed to create a Playback object instance");
    // Nothing was created, so a later Initialize still loads the clip.
    EXPECT_EQ(client->GetVolume(), 255);
    EXPECT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    EXPECT_NE(client->GetVolume(), 255);
    client->Close();
}

TEST_F(PlaybackClientTest, WithoutAnEngineObjectEveryCallIsQuiet)
{
    EXPECT_EQ(Thrown([&] { client->Run(); }), "");
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    EXPECT_EQ(Thrown([&] { client->Stop(); }), "");
    EXPECT_EQ(client->GetVolume(), 255);
    EXPECT_FALSE(client->SetVolume(50));
    client->Close();
    client->Close();
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(PlaybackClientTest, TheVolumeReadBackIsWhatTheEnginesScaleKeeps)
{
    ASSERT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    // The engine keeps 1..100: below it is the quietest step, above it full volume.
    struct Case
    {
        BYTE written;
        BYTE read;
    };
    for (Case c : {Case{50, 50}, Case{1, 1}, Case{100, 100}, Case{0, 1}, Case{2, 2}, Case{99, 99},
                   Case{101, 100}, Case{255, 100}}) {
        EXPECT_TRUE(client->SetVolume(c.written)) << int(c.written);
        EXPECT_EQ(client->GetVolume(), c.read) << "written " << int(c.written);
    }
    client->Close();
    EXPECT_EQ(client->GetVolume(), 255);
    EXPECT_FALSE(client->SetVolume(50));
}

TEST_F(PlaybackClientTest, CloseSilencesTheListenerBeforeItStopsThePlayback)
{
    ASSERT_EQ(Thrown([&] { client->Initialize(B(clipPath).Get()); }), "");
    client->Run();
    ASSERT_TRUE(WaitUntil([&] { return listener.Count(PlaybackCall::Position) >= 2; }, 3000ms));
    size_t before = listener.calls.size();
    client->Close();
    // The engine reported its stop from inside Close, and its timer may have fired since.
    WaitUntil([] { return false; }, 300ms);
    EXPECT_EQ(listener.calls.size(), before);
    EXPECT_EQ(listener.States(), std::vector<LONG>{dsg_running});
    // A closed client has nothing left to drive.
    EXPECT_EQ(client->GetVolume(), 255);
    EXPECT_EQ(Thrown([&] { client->Run(); }), "");
    EXPECT_EQ(Thrown([&] { client->TogglePause(); }), "");
    EXPECT_EQ(Thrown([&] { client->Stop(); }), "");
    EXPECT_EQ(listener.calls.size(), before);
    EXPECT_EQ(EngineCanUnloadNow(), S_OK);
}

TEST_F(PlaybackClientTest, AListenerMayCloseAndDropTheClientInsideTheEndOfTheClip)
{
    // As the form does at the end of a playback: close, drop the last reference, forget.
    PlaybackClient* playing = client.Detach();
    listener.onState = [&](DSGraphStates state) {
        if (state == dsg_stopped && playing) {
            playing->Close();
            std::exchange(playing, nullptr)->Release();
        }
    };
    ASSERT_EQ(Thrown([&] { playing->Initialize(B(clipPath).Get()); }), "");
    ASSERT_EQ(Thrown([&] { playing->Run(); }), "");
    ASSERT_TRUE(WaitUntil([&] { return playing == nullptr; }, 8000ms));
    WaitUntil([] { return false; }, 200ms);
    EXPECT_EQ(listener.States(), (std::vector<LONG>{dsg_running, dsg_stopped}));
    EXPECT_EQ(EngineCanUnloadNow(), S_OK);
}

TEST_F(PlaybackClientTest, ReferencesCountFromZeroAndTheLastReleaseDeletes)
{
    PlaybackClient* raw = client.Detach(); // the one reference the fixture took
    EXPECT_EQ(raw->AddRef(), 2u);
    void* found = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(raw->QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(static_cast<IUnknown*>(raw)));
    EXPECT_EQ(raw->Release(), 2u);
    for (const IID& iid : {IID_IDispatch, DIID__ISimplePlaybackEvents, IID_IConnectionPoint}) {
        found = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(raw->QueryInterface(iid, &found), E_NOINTERFACE);
        EXPECT_EQ(found, nullptr);
    }
    EXPECT_EQ(raw->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(raw->Release(), 1u);

    // While subscribed, the engine's hold on the sink keeps the client alive.
    ASSERT_EQ(Thrown([&] { raw->Initialize(B(clipPath).Get()); }), "");
    EXPECT_EQ(EngineCanUnloadNow(), S_FALSE);
    EXPECT_EQ(raw->AddRef(), 3u);
    EXPECT_EQ(raw->Release(), 2u);
    raw->Close();
    EXPECT_EQ(raw->AddRef(), 2u);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(EngineCanUnloadNow(), S_OK);
    EXPECT_EQ(raw->Release(), 0u);

    // Dropping the last reference of its own does not end a subscription: Close does, and
    // with it the engine's reference goes, the last one.
    raw = new PlaybackClient(&listener);
    EXPECT_EQ(raw->AddRef(), 1u);
    EXPECT_NE(Thrown([&] { raw->Initialize(B(folder / "missing.wma").Get()); }), "");
    EXPECT_EQ(EngineCanUnloadNow(), S_FALSE);
    EXPECT_EQ(raw->Release(), 1u);
    raw->Close();
    EXPECT_EQ(EngineCanUnloadNow(), S_OK);
}

TEST_F(PlaybackSinkTest, EachEventReachesTheListenerUntilClose)
{
    EXPECT_EQ(Fire(1, {Variant::Double(12345.5)}), S_OK);
    EXPECT_EQ(Fire(2, {Variant::Long(0), Variant::Long(-2), Variant::Long(3)}), S_OK);
    EXPECT_EQ(Fire(3, {Variant::Long(dsg_paused)}), S_OK);
    ASSERT_EQ(listener.calls.size(), 3u);
    EXPECT_EQ(listener.calls[0].kind, PlaybackCall::Position);
    EXPECT_DOUBLE_EQ(listener.calls[0].position, 12345.5);
    // Arguments come last to first.
    EXPECT_EQ(listener.calls[1].kind, PlaybackCall::GraphError);
    EXPECT_EQ(listener.calls[1].longs[0], 3);
    EXPECT_EQ(listener.calls[1].longs[1], -2);
    EXPECT_EQ(listener.calls[1].longs[2], 0);
    EXPECT_EQ(listener.States(), std::vector<LONG>{dsg_paused});
    // Converted by declared type: a whole-number position.
    EXPECT_EQ(Fire(1, {Variant::Long(7)}), S_OK);
    ASSERT_EQ(listener.calls.size(), 4u);
    EXPECT_DOUBLE_EQ(listener.calls[3].position, 7.0);

    // Unknown ids and malformed calls make no call.
    EXPECT_EQ(Fire(0, {}), S_OK);
    EXPECT_EQ(Fire(4, {Variant::Long(1)}), S_OK);
    EXPECT_EQ(Fire(7, {Variant::Long(1)}), S_OK); // the capture engine's state change id
    EXPECT_EQ(Fire(2, {Variant::Long(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(listener.calls.size(), 4u);

    client->Close();
    EXPECT_EQ(Fire(1, {Variant::Double(1)}), S_OK);
    EXPECT_EQ(Fire(2, {Variant::Long(0), Variant::Long(0), Variant::Long(1)}), S_OK);
    EXPECT_EQ(Fire(3, {Variant::Long(dsg_stopped)}), S_OK);
    EXPECT_EQ(listener.calls.size(), 4u);
}

TEST_F(PlaybackSinkTest, AnswersItsEventInterfaceAndCountsForTheClient)
{
    IDispatch* sink = client->Sink();
    void* found = nullptr;
    for (const IID& iid : {DIID__ISimplePlaybackEvents, IID_IUnknown, IID_IDispatch}) {
        EXPECT_EQ(sink->QueryInterface(iid, &found), S_OK);
        EXPECT_EQ(found, static_cast<void*>(sink));
        sink->Release();
    }
    for (const IID& iid : {DIID__IWMACaptureEvents, IID_IConnectionPoint, IID_ISimplePlayback}) {
        found = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(sink->QueryInterface(iid, &found), E_NOINTERFACE);
        EXPECT_EQ(found, nullptr);
    }
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    // The client's one reference and the sink's are the same count.
    EXPECT_EQ(sink->AddRef(), 2u);
    EXPECT_EQ(client->AddRef(), 3u);
    EXPECT_EQ(sink->Release(), 2u);
    EXPECT_EQ(client->Release(), 1u);

    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), E_NOTIMPL);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    LPOLESTR name = const_cast<LPOLESTR>(u"PositionProgress");
    DISPID dispid = 0;
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &dispid), E_NOTIMPL);
}
