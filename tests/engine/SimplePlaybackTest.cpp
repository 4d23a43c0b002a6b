// Playback as a client drives it: SimplePlayback created by CLSID, a sink advised on its
// connection point, messages pumped on this thread, and what it plays recorded from a private
// null sink's monitor. The clip is recorded by the capture engine from the test server.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "AudioServer.h"
#include "CaptureEventSink.h"
#include "EngineTestEnvironment.h"
#include "PlaybackTestSupport.h"
#include "TempFolder.h"
#include "Watchdog.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

using namespace std::chrono_literals;

namespace {

constexpr LONG kGraphError = 2;
constexpr LONG kGraphStateChange = 3;
constexpr LONG kPositionProgress = 1;

struct PlaybackEvent
{
    DISPID dispid;
    double position = 0;
    LONG longs[3] = {0, 0, 0};
};

class PlaybackEventSink final : public ComObject<IDispatch>
{
public:
    PlaybackEventSink() : ComObject(nullptr, nullptr) {}

    std::vector<PlaybackEvent> events;
    std::function<void(const PlaybackEvent&)> onEvent;

    size_t Count(DISPID dispid) const
    {
        size_t count = 0;
        for (const PlaybackEvent& event : events)
            count += event.dispid == dispid;
        return count;
    }
    std::vector<LONG> States() const
    {
        std::vector<LONG> states;
        for (const PlaybackEvent& event : events)
            if (event.dispid == kGraphStateChange)
                states.push_back(event.longs[0]);
        return states;
    }

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        PlaybackEvent event{dispid};
        UINT count = params->cArgs;
        if (dispid == kPositionProgress && count == 1 && params->rgvarg[0].vt == VT_R8)
            event.position = params->rgvarg[0].dblVal;
        for (UINT i = 0; dispid != kPositionProgress && i < count && i < 3; ++i)
            event.longs[i] = params->rgvarg[count - 1 - i].lVal;
        events.push_back(event);
        if (onEvent)
            onEvent(event);
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == DIID__ISimplePlaybackEvents)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }
};

std::string ErrorText()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return {};
    Bstr description;
    info->GetDescription(description.Out());
    return description.Utf8();
}

// Records `seconds` of the test server's 440 Hz output through the capture engine, counting
// from its first buffer (the monitor starts late).
bool RecordTone(const std::string& path, std::chrono::milliseconds span)
{
    ComPtr<IWMACapture> capture;
    if (FAILED(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&capture))))
        return false;
    auto sink = ComPtr<CaptureEventSink>::Adopt(new CaptureEventSink);
    AdviseSink(capture.Get(), static_cast<IDispatch*>(sink.Get()));
    Bstr source = Bstr::FromUtf8("Monitor of Quillet Test Output");
    Bstr output = Bstr::FromUtf8(path);
    if (capture->Prepare() != S_OK || capture->put_SourceId(source.Get()) != S_OK ||
        capture->put_OutputPath(output.Get()) != S_OK || capture->Build() != S_OK ||
        FAILED(capture->Run()))
        return false;
    bool started = PumpUntil([&] { return sink->Count(3) > 0; }, 5000ms);
    PumpFor(span);
    capture->Stop();
    capture->Reset();
    return started;
}

class SimplePlaybackTest : public EngineTest
{
protected:
    static void SetUpTestSuite()
    {
        if (!audio_test::ServerUnavailableReason().empty())
            return;
        CoInitialize(nullptr);
        clipFolder = new TempFolder;
        clipPath = *clipFolder / "tone.wma";
        if (!RecordTone(clipPath, 2000ms))
            clipPath.clear();
        CoUninitialize();
    }
    static void TearDownTestSuite()
    {
        delete clipFolder;
        clipFolder = nullptr;
    }

    void SetUp() override
    {
        std::string reason = audio_test::ServerUnavailableReason();
        if (!reason.empty()) {
            if (audio_test::ServerRequired())
                FAIL() << reason;
            GTEST_SKIP() << reason;
        }
        ASSERT_FALSE(clipPath.empty()) << "the capture engine recorded no clip";
        EngineTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_SimplePlayback, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&playback)),
                  S_OK);
        sink = ComPtr<PlaybackEventSink>::Adopt(new PlaybackEventSink);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(playback.As(&container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__ISimplePlaybackEvents, &point), S_OK);
        ASSERT_EQ(point->Advise(static_cast<IDispatch*>(sink.Get()), &cookie), S_OK);
    }
    void TearDown() override
    {
        if (point && cookie)
            point->Unadvise(cookie);
        point.Reset();
        playback.Reset();
        EngineTest::TearDown();
    }

    HRESULT Initialize(const std::string& path)
    {
        Bstr text = Bstr::FromUtf8(path);
        return playback->Initialize(text.Get());
    }
    bool PumpUntilStopped(std::chrono::milliseconds limit)
    {
        size_t before = sink->States().size();
        return PumpUntil(
            [&] {
                std::vector<LONG> states = sink->States();
                return states.size() > before && states.back() == dsg_stopped;
            },
            limit);
    }

    static inline TempFolder* clipFolder = nullptr;
    static inline std::string clipPath;
    TempFolder folder;
    ComPtr<ISimplePlayback> playback;
    ComPtr<PlaybackEventSink> sink;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};

} // namespace

TEST_F(SimplePlaybackTest, WithoutAGraphEveryMemberSaysSo)
{
    const std::string noGraph = "The DirectShow graph was not (successfully) created";
    DSGraphStates state = dsg_running;
    EXPECT_EQ(playback->GetState(&state), S_FALSE);
    EXPECT_EQ(state, dsg_error);
    EXPECT_EQ(playback->GetState(nullptr), E_POINTER);

    EXPECT_EQ(playback->Run(), E_FAIL);
    EXPECT_EQ(ErrorText(), noGraph);
    EXPECT_EQ(playback->Pause(), E_FAIL);
    EXPECT_EQ(sink->events.size(), 0u);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(playback->Stop(), S_FALSE);
    EXPECT_EQ(ErrorText(), "");
    EXPECT_EQ(sink->States(), std::vector<LONG>{dsg_stopped});

    LONG volume = 7;
    EXPECT_EQ(playback->get_Volume(&volume), E_FAIL);
    EXPECT_EQ(volume, -1);
    EXPECT_EQ(ErrorText(), noGraph);
    EXPECT_EQ(playback->put_Volume(50), E_FAIL);
    EXPECT_EQ(ErrorText(), noGraph);

    double position = 7;
    EXPECT_EQ(playback->GetPosition(&position), E_FAIL);
    EXPECT_EQ(position, -1.0);
    EXPECT_EQ(playback->SetPosition(0, VARIANT_TRUE), E_FAIL);
    EXPECT_EQ(ErrorText(), noGraph);

    double length = 7;
    EXPECT_EQ(playback->GetStreamLength(0, &length), E_FAIL);
    EXPECT_EQ(length, 0.0);
    EXPECT_EQ(ErrorText(), "No file is rendered");
    EXPECT_EQ(playback->GetStreamLength(0, nullptr), E_POINTER);

    VARIANT_BOOL initialized = VARIANT_TRUE;
    EXPECT_EQ(playback->get_Initialized(&initialized), S_OK);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    EXPECT_EQ(playback->get_Initialized(nullptr), E_POINTER);
    EXPECT_EQ(playback->Reset(), S_OK);
}

TEST_F(SimplePlaybackTest, InitializeChecksTheFileAndRendersOnce)
{
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(playback->Initialize(nullptr), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "");

    std::string missing = folder / "missing.wma";
    EXPECT_EQ(Initialize(missing), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "File \"" + missing + "\" was not found or not accessible");
    EXPECT_EQ(Initialize(""), E_INVALIDARG);
    EXPECT_EQ(ErrorText(), "File \"\" was not found or not accessible");

    // A folder exists, so it reaches the render, which refuses it and keeps the graph.
    HRESULT hr = Initialize(folder.Path().string());
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(ErrorText(), "Could not render file (\"" + folder.Path().string() + "\")");
    VARIANT_BOOL initialized = VARIANT_TRUE;
    playback->get_Initialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_FALSE);
    EXPECT_EQ(Initialize(clipPath), E_FAIL);
    EXPECT_EQ(ErrorText(), "The object has already been initialized");
    double length = 7;
    EXPECT_EQ(playback->GetStreamLength(0, &length), E_FAIL); // nothing rendered yet

    EXPECT_EQ(playback->Reset(), S_OK);
    EXPECT_EQ(sink->events.size(), 0u); // Reset stops without an event
    ASSERT_EQ(Initialize(clipPath), S_OK);
    playback->get_Initialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    DSGraphStates state = dsg_error;
    EXPECT_EQ(playback->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_stopped);
    double position = -1;
    EXPECT_EQ(playback->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 0.0);

    // A second Initialize is refused and leaves the rendered clip as it was.
    EXPECT_EQ(Initialize(clipPath), E_FAIL);
    EXPECT_EQ(ErrorText(), "The object has already been initialized");
    playback->get_Initialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    EXPECT_TRUE(SUCCEEDED(playback->Run()));
    EXPECT_EQ(playback->Stop(), S_OK);
}

TEST_F(SimplePlaybackTest, TheVolumeScaleRoundTrips)
{
    ASSERT_EQ(Initialize(clipPath), S_OK);
    struct Case
    {
        LONG written;
        LONG read;
    };
    for (Case c : {Case{50, 50}, Case{0, 1}, Case{1, 1}, Case{-5, 1}, Case{250, 100},
                   Case{100, 100}, Case{2, 2}, Case{99, 99}}) {
        ASSERT_EQ(playback->put_Volume(c.written), S_OK) << c.written;
        LONG volume = -7;
        ASSERT_EQ(playback->get_Volume(&volume), S_OK);
        EXPECT_EQ(volume, c.read) << "written " << c.written;
    }
    EXPECT_EQ(playback->get_Volume(nullptr), E_POINTER);
}

TEST_F(SimplePlaybackTest, PlaysTheClipHeardOnTheSinkAndStopsAtItsEnd)
{
    RecordedSink heard;
    ASSERT_TRUE(heard.Ready());
    ASSERT_EQ(Initialize(clipPath), S_OK);
    double length = 0;
    ASSERT_EQ(playback->GetStreamLength(0, &length), S_OK);
    ASSERT_GT(length, 1500.0);

    ASSERT_TRUE(SUCCEEDED(playback->Run()));
    EXPECT_EQ(sink->States(), std::vector<LONG>{dsg_running});
    ASSERT_TRUE(PumpUntilStopped(std::chrono::milliseconds(LONG(length) + 5000)));
    DSGraphStates state = dsg_error;
    EXPECT_EQ(playback->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_stopped);

    // Positions rose while it played, up to about the clip's length.
    double last = -1;
    for (const PlaybackEvent& event : sink->events) {
        if (event.dispid != kPositionProgress)
            continue;
        EXPECT_GE(event.position, last);
        last = event.position;
    }
    EXPECT_GE(sink->Count(kPositionProgress), size_t(length / 100 / 2));
    EXPECT_GT(last, length * 10000 * 0.7);
    EXPECT_LE(last, length * 10000 + 2000000);
    // The end does not move the position back: it stays where the clip ended, within a frame.
    double position = 0;
    EXPECT_EQ(playback->GetPosition(&position), S_OK);
    EXPECT_NEAR(position, length * 10000, 600000);

    std::vector<int16_t> samples = heard.Samples();
    Loud loud = FindLoud(samples);
    ASSERT_TRUE(loud.found);
    std::vector<int16_t> tone = Slice(samples, loud.first, loud.last);
    EXPECT_NEAR(double(tone.size()) / RecordedSink::kRate, length / 1000, 0.5);
    EXPECT_NEAR(audio_test::MedianToneFrequency(tone, RecordedSink::kRate), 440.0, 5.0);
    int fullPeak = audio_test::Peak(tone);

    // From the start again, 40 dB quieter: heard again, at a hundredth of the amplitude.
    size_t heardBefore = heard.Samples().size();
    ASSERT_EQ(playback->SetPosition(0, VARIANT_TRUE), S_OK);
    ASSERT_EQ(playback->put_Volume(60), S_OK);
    ASSERT_TRUE(SUCCEEDED(playback->Run()));
    ASSERT_TRUE(PumpUntilStopped(std::chrono::milliseconds(LONG(length) + 5000)));
    std::vector<int16_t> again = Slice(heard.Samples(), heardBefore, heard.Samples().size());
    Loud quiet = FindLoud(again, 0, 10);
    ASSERT_TRUE(quiet.found);
    std::vector<int16_t> quietTone = Slice(again, quiet.first, quiet.last);
    EXPECT_NEAR(double(quietTone.size()) / RecordedSink::kRate, length / 1000, 0.5);
    EXPECT_LT(audio_test::Peak(quietTone), fullPeak / 20);
    EXPECT_EQ(sink->States(),
              (std::vector<LONG>{dsg_running, dsg_stopped, dsg_running, dsg_stopped}));
}

TEST_F(SimplePlaybackTest, PauseAndSeekingReportWhatHappened)
{
    RecordedSink heard; // keeps what is played off the shared sink
    ASSERT_EQ(Initialize(clipPath), S_OK);
    ASSERT_TRUE(SUCCEEDED(playback->Pause()));
    EXPECT_EQ(sink->States(), std::vector<LONG>{dsg_paused});
    DSGraphStates state = dsg_error;
    EXPECT_EQ(playback->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_paused);

    ASSERT_EQ(playback->SetPosition(10000000.9, VARIANT_TRUE), S_OK);
    double position = 0;
    EXPECT_EQ(playback->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 10000000.0);
    // No tick reports a position while paused.
    PumpFor(300ms);
    EXPECT_EQ(sink->Count(kPositionProgress), 0u);

    // A position before the start is refused, and the caller hears that it was.
    SetErrorInfo(0, nullptr);
    HRESULT hr = playback->SetPosition(-5, VARIANT_TRUE);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(ErrorText(), "Failed to set current position");
    EXPECT_EQ(playback->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 10000000.0);

    // The second argument changes nothing about the seek.
    EXPECT_EQ(playback->SetPosition(5000000, VARIANT_FALSE), S_OK);
    EXPECT_EQ(playback->GetPosition(&position), S_OK);
    EXPECT_EQ(position, 5000000.0);

    ASSERT_TRUE(SUCCEEDED(playback->Run()));
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(kPositionProgress) >= 3; }, 3000ms));
    for (const PlaybackEvent& event : sink->events) {
        if (event.dispid == kPositionProgress) {
            EXPECT_GE(event.position, 5000000.0);
        }
    }
    EXPECT_EQ(playback->Stop(), S_OK);
    EXPECT_EQ(sink->States(), (std::vector<LONG>{dsg_paused, dsg_running, dsg_stopped}));
}

TEST_F(SimplePlaybackTest, TheLengthOutlivesResetAndASinkMayCallBack)
{
    ASSERT_EQ(Initialize(clipPath), S_OK);
    double rendered = 0;
    ASSERT_EQ(playback->GetStreamLength(0, &rendered), S_OK);
    EXPECT_NEAR(rendered, 2000, 300);
    ASSERT_EQ(playback->Reset(), S_OK);
    double length = 0;
    EXPECT_EQ(playback->GetStreamLength(0, &length), S_OK);
    EXPECT_EQ(length, rendered);
    EXPECT_TRUE(FAILED(playback->GetStreamLength(1, &length))); // one stream only

    // Events arrive inside the call that causes them, so a sink may call back into the object.
    RecordedSink heard;
    ASSERT_EQ(Initialize(clipPath), S_OK);
    DSGraphStates seen = dsg_error;
    sink->onEvent = [&](const PlaybackEvent& event) {
        if (event.dispid == kGraphStateChange && event.longs[0] == dsg_running)
            playback->GetState(&seen);
    };
    ASSERT_TRUE(SUCCEEDED(playback->Run()));
    EXPECT_EQ(seen, dsg_running);
    sink->onEvent = nullptr;
}

TEST_F(SimplePlaybackTest, AFileGoneAfterRenderingRaisesAGraphError)
{
    RecordedSink heard;
    std::string copy = folder / "copy.wav";
    ASSERT_EQ(0, std::system(
                     ("ffmpeg -nostdin -v error -y -i '" + clipPath + "' '" + copy + "'").c_str()));
    ASSERT_EQ(Initialize(copy), S_OK);
    ASSERT_EQ(0, std::remove(copy.c_str()));
    ASSERT_TRUE(SUCCEEDED(playback->Run()));
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(kGraphError) > 0; }, 5000ms));
    for (const PlaybackEvent& event : sink->events) {
        if (event.dispid != kGraphError)
            continue;
        EXPECT_EQ(event.longs[0], 3); // an abort after an error
        EXPECT_TRUE(FAILED(HRESULT(event.longs[1])));
        EXPECT_EQ(event.longs[2], 0);
    }
    EXPECT_EQ(playback->Stop(), S_OK);
}

TEST_F(SimplePlaybackTest, DamagedFilesFailOrPlayButNeverCrashOrHang)
{
    std::vector<uint8_t> original = ReadBytes(clipPath);
    ASSERT_GT(original.size(), 4000u);
    std::mt19937 random(7);
    std::vector<uint8_t> noise(original.size());
    for (uint8_t& byte : noise)
        byte = uint8_t(random());
    for (const auto& [name, bytes] :
         {std::pair{"empty.wma", std::vector<uint8_t>{}}, std::pair{"noise.wma", noise},
          std::pair{"header.wma", std::vector<uint8_t>(original.begin(), original.begin() + 30)}}) {
        EXPECT_TRUE(FAILED(Initialize(WriteBytes(folder, name, bytes)))) << name;
        EXPECT_EQ(ErrorText().rfind("Could not render file", 0), 0u) << name;
        playback->Reset();
    }

    // Damaged copies either fail to render or render a graph that answers and tears down.
    int rendered = 0;
    for (unsigned seed = 0; seed < 150; ++seed) {
        std::string path = WriteBytes(folder, "mutated.wma", Mutate(original, seed, 1200));
        if (SUCCEEDED(Initialize(path))) {
            ++rendered;
            double length = 0;
            playback->GetStreamLength(0, &length);
            DSGraphStates state = dsg_error;
            playback->Pause();
            EXPECT_EQ(playback->GetState(&state), S_OK) << seed;
        }
        playback->Reset();
    }
    EXPECT_GT(rendered, 0); // some damage (a truncated tail) still leaves a playable clip
}

TEST_F(SimplePlaybackTest, PipesAndDevicesAreRefusedBeforeAnyGraph)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        HRESULT hr = S_OK;
        std::string text;
        EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(5), fifo,
                                  [&] {
                                      CoInitialize(nullptr);
                                      hr = Initialize(path);
                                      text = ErrorText();
                                      CoUninitialize();
                                  }))
            << path << ": rendering waited on it";
        EXPECT_EQ(hr, E_INVALIDARG) << path;
        EXPECT_EQ(text, "Not a regular file (\"" + path + "\")");
        VARIANT_BOOL initialized = VARIANT_TRUE;
        EXPECT_EQ(playback->get_Initialized(&initialized), S_OK);
        EXPECT_EQ(initialized, VARIANT_FALSE);
    }
    // No graph was made, so the object still takes a clip.
    EXPECT_EQ(Initialize(clipPath), S_OK);
}
