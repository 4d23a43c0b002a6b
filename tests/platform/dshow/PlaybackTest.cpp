// Playback on the real audio server: a graph built by RenderFile plays a 440 Hz clip into a null
// sink of the test's own, whose monitor is recorded and measured. The position rises while it
// plays, EC_COMPLETE reaches the notify window at the end, seeking works in every state, Stop
// never hangs, and the volume changes what the sink hears.
#include "PlaybackTestSupport.h"

namespace {

using namespace std::chrono_literals;
using audio_test::Peak;
using audio_test::ToneFrequency;

constexpr LONGLONG kSecond = 10'000'000;

class PlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_AUDIO_SERVER();
        sink = std::make_unique<RecordedSink>();
        ASSERT_TRUE(sink->Ready()) << "cannot record the test's own null sink";
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&graph)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(control)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(events)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(seeking)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(audio)));
        ASSERT_EQ(S_OK, events->SetNotifyWindow(reinterpret_cast<OAHWND>(window.hwnd),
                                                PlaybackNotifyWindow::kMessage, 0));
    }

    void Render(const std::string& path)
    {
        ASSERT_FALSE(path.empty());
        ASSERT_EQ(S_OK, graph->RenderFile(quillet::Utf8ToUtf16(path).c_str(), nullptr));
    }

    LONGLONG Position()
    {
        LONGLONG position = -1;
        EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&position));
        return position;
    }

    // Pumps the window until EC_COMPLETE arrives; the positions seen meanwhile.
    std::vector<LONGLONG> WaitForCompletion(std::chrono::seconds timeout)
    {
        std::vector<LONGLONG> positions;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            positions.push_back(Position());
            if (!window.Pump(100ms))
                continue;
            LONG code = 0;
            LONG_PTR p1 = 0, p2 = 0;
            while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
                events->FreeEventParams(code, p1, p2);
                EXPECT_NE(EC_ERRORABORT, code) << std::hex << p1;
                if (code == EC_COMPLETE) {
                    completed = true;
                    return positions;
                }
            }
        }
        return positions;
    }

    // The tone in what the sink heard from sample `from` on: its frequency and peak.
    void ExpectTone(size_t from, double seconds)
    {
        std::vector<int16_t> heard = sink->Samples();
        Loud loud = FindLoud(heard, from);
        ASSERT_TRUE(loud.found) << "the sink heard nothing";
        double heardSeconds = double(loud.last - loud.first) / RecordedSink::kRate;
        EXPECT_NEAR(seconds, heardSeconds, 0.15);
        // The middle of the sound, away from its edges.
        std::vector<int16_t> middle = Slice(heard, loud.first + RecordedSink::kRate / 10,
                                            loud.last - RecordedSink::kRate / 10);
        EXPECT_NEAR(440.0, ToneFrequency(middle, RecordedSink::kRate), 3.0);
    }

    ComScope com;
    TempFolder folder;
    std::unique_ptr<RecordedSink> sink;
    PlaybackNotifyWindow window;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IBasicAudio> audio;
    bool completed = false;
};

class PlaybackFormatTest : public PlaybackTest, public ::testing::WithParamInterface<const char*>
{
};

} // namespace

TEST_P(PlaybackFormatTest, PlaysTheToneToTheEndAndAgainAfterRewinding)
{
    Render(MakeTone(folder, "clip." + std::string(GetParam()), 2,
                    std::string(GetParam()) == "wma" ? "-c:a wmav2 -b:a 64k" : "-c:a pcm_s16le"));
    EXPECT_EQ(0, Position());
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::vector<LONGLONG> positions = WaitForCompletion(10s);
    ASSERT_TRUE(completed) << "no EC_COMPLETE within 10 s";
    ASSERT_GT(positions.size(), 5u);
    // The position rose through the clip and ended at its end.
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_TRUE(std::any_of(positions.begin(), positions.end(),
                            [](LONGLONG p) { return p > kSecond / 2 && p < 3 * kSecond / 2; }));
    EXPECT_NEAR(double(2 * kSecond), double(Position()), double(kSecond / 10));
    ExpectTone(0, 2.0);

    // Stopping keeps the position; rewinding and running plays the whole clip again.
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_NEAR(double(2 * kSecond), double(Position()), double(kSecond / 10));
    size_t heardBefore = sink->Samples().size();
    LONGLONG zero = 0;
    ASSERT_EQ(S_OK, seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_EQ(0, Position());
    completed = false;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    WaitForCompletion(10s);
    ASSERT_TRUE(completed) << "no EC_COMPLETE after rewinding";
    ExpectTone(heardBefore, 2.0);
    EXPECT_EQ(S_OK, control->Stop());
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackFormatTest, ::testing::Values("wma", "wav"));

TEST_F(PlaybackTest, SeeksWhileRunningAndWhilePaused)
{
    Render(MakeTone(folder, "clip.wma", 4, "-c:a wmav2 -b:a 64k"));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::this_thread::sleep_for(500ms);
    LONGLONG target = 3 * kSecond;
    ASSERT_EQ(S_OK, seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_GE(Position(), target);
    auto started = std::chrono::steady_clock::now();
    WaitForCompletion(10s);
    ASSERT_TRUE(completed);
    // A second of the clip was left, not three and a half.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);

    ASSERT_EQ(S_OK, control->Stop());
    LONGLONG start = kSecond;
    ASSERT_EQ(S_OK, seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    OAFilterState state = -1;
    EXPECT_EQ(S_OK, control->GetState(5000, &state));
    EXPECT_EQ(State_Paused, state);
    LONGLONG paused = Position();
    EXPECT_EQ(kSecond, paused);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(paused, Position());
    LONGLONG later = 2 * kSecond;
    ASSERT_EQ(S_OK, seeking->SetPositions(&later, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_EQ(later, Position());
    size_t heardBefore = sink->Samples().size();
    completed = false;
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    WaitForCompletion(10s);
    ASSERT_TRUE(completed);
    ExpectTone(heardBefore, 2.0);
    EXPECT_EQ(S_OK, control->Stop());
}

TEST_F(PlaybackTest, StopsAtOnceInEveryStateAndPlaysOnAfterPause)
{
    Render(MakeTone(folder, "long.wav", 20, "-c:a pcm_s16le"));
    // Paused: the source fills the renderer's buffer and waits on it.
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_EQ(0, Position());

    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::this_thread::sleep_for(700ms);
    ASSERT_EQ(S_OK, control->Pause());
    LONGLONG paused = Position();
    EXPECT_GT(paused, kSecond / 4);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(paused, Position());
    ASSERT_EQ(S_OK, control->Run());
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(Position(), paused);
    ASSERT_EQ(S_OK, control->Stop());
    LONGLONG stopped = Position();
    // Running again carries on from where it stopped, not from the start.
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::this_thread::sleep_for(300ms);
    EXPECT_GE(Position(), stopped);
    // Releasing a running graph stops it.
    graph = nullptr;
    control = nullptr;
    events = nullptr;
    seeking = nullptr;
    audio = nullptr;
}

TEST_F(PlaybackTest, TheVolumeLowersWhatTheSinkHears)
{
    Render(MakeTone(folder, "long.wma", 6, "-c:a wmav2 -b:a 64k"));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    // Wait for the sound to be heard, then measure each level for half a second, well after the
    // change: the change applies where the sink mixes, the stream's buffer does not delay it.
    auto heardFor = [&](double seconds) {
        for (int i = 0; i < 200; ++i) {
            Loud loud = FindLoud(sink->Samples());
            if (loud.found &&
                sink->Samples().size() - loud.first > size_t(seconds * RecordedSink::kRate))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    ASSERT_TRUE(heardFor(1.0));
    size_t fullEnd = sink->Samples().size();
    int full = Peak(Slice(sink->Samples(), fullEnd - RecordedSink::kRate / 2, fullEnd));

    ASSERT_EQ(S_OK, audio->put_Volume(-2000)); // a tenth of the amplitude
    std::this_thread::sleep_for(300ms);
    size_t quietStart = sink->Samples().size();
    std::this_thread::sleep_for(500ms);
    int quiet = Peak(Slice(sink->Samples(), quietStart, quietStart + RecordedSink::kRate / 2));

    ASSERT_EQ(S_OK, audio->put_Volume(-10000));
    std::this_thread::sleep_for(300ms);
    size_t mutedStart = sink->Samples().size();
    std::this_thread::sleep_for(500ms);
    int muted = Peak(Slice(sink->Samples(), mutedStart, mutedStart + RecordedSink::kRate / 2));
    EXPECT_EQ(S_OK, control->Stop());

    EXPECT_GT(full, 2000);
    EXPECT_NEAR(0.1, double(quiet) / full, 0.03);
    EXPECT_LT(muted, 5);
}

TEST_F(PlaybackTest, AFileThatVanishedAfterRenderingAbortsAndStillSettles)
{
    std::string path = MakeTone(folder, "vanishing.wav", 1, "-c:a pcm_s16le");
    Render(path);
    ASSERT_EQ(0, std::remove(path.c_str()));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    // The source cannot open the file again; the renderer must not wait for samples forever.
    OAFilterState state = -1;
    EXPECT_EQ(S_OK, control->GetState(LONG(INFINITE), &state));
    EXPECT_EQ(State_Paused, state);
    ASSERT_TRUE(window.Pump(5s));
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(EC_ERRORABORT, code);
    EXPECT_EQ(VFW_E_NOT_FOUND, HRESULT(p1));
    EXPECT_EQ(S_OK, control->Stop());
}
