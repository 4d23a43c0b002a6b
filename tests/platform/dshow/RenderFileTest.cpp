// RenderFile and the playback graph it builds, without playing: the filters and their
// connection, the failures for files that cannot play (and the graph left as it was), the graph's
// IMediaSeeking and IBasicAudio before and after rendering, and hundreds of damaged files.
#include "PlaybackTestSupport.h"

namespace {

class RenderFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&graph)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(seeking)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(audio)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(control)));
    }

    HRESULT Render(const std::string& path)
    {
        return graph->RenderFile(quillet::Utf8ToUtf16(path).c_str(), nullptr);
    }

    std::vector<ComPtr<IBaseFilter>> Filters()
    {
        std::vector<ComPtr<IBaseFilter>> result;
        ComPtr<IEnumFilters> all;
        if (FAILED(graph->EnumFilters(&all)))
            return result;
        ComPtr<IBaseFilter> filter;
        while (all->Next(1, &filter, nullptr) == S_OK)
            result.push_back(filter);
        return result;
    }

    ComScope com;
    TempFolder folder;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IBasicAudio> audio;
    ComPtr<IMediaControl> control;
};

CLSID ClassOf(IBaseFilter* filter)
{
    CLSID clsid{};
    filter->GetClassID(&clsid);
    return clsid;
}

} // namespace

TEST_F(RenderFileTest, BuildsSourceToRendererForTheFirstAudioStream)
{
    // Two audio streams of different rates: the first one plays.
    std::string path = MakeMedia(
        folder, "two streams.mkv",
        "-f lavfi -i sine=frequency=440:duration=2:sample_rate=22050 -f lavfi -i "
        "sine=frequency=880:duration=2:sample_rate=48000 -map 0 -map 1 -c:a pcm_s16le -ac:1 2");
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(S_OK, Render(path));

    std::vector<ComPtr<IBaseFilter>> filters = Filters();
    ASSERT_EQ(2u, filters.size());
    ComPtr<IBaseFilter> source, renderer;
    for (const ComPtr<IBaseFilter>& filter : filters)
        (ClassOf(filter.Get()) == CLSID_FileSource ? source : renderer) = filter;
    ASSERT_TRUE(source);
    ASSERT_TRUE(renderer);
    EXPECT_EQ(CLSID_AudioRender, ClassOf(renderer.Get()));

    // The source is named after its file and tells it.
    FILTER_INFO info{};
    ASSERT_EQ(S_OK, source->QueryFilterInfo(&info));
    EXPECT_EQ(path, quillet::Utf16ToUtf8(info.achName));
    info.pGraph->Release();
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, source.As<IFileSourceFilter>()->GetCurFile(&name, nullptr));
    EXPECT_EQ(path, quillet::Utf16ToUtf8(name));
    CoTaskMemFree(name);

    // One pin per audio stream, 16-bit PCM at each stream's own rate; only the first connected.
    ComPtr<IPin> first = PinOf(source.Get(), PINDIR_OUTPUT, 0);
    ComPtr<IPin> second = PinOf(source.Get(), PINDIR_OUTPUT, 1);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(PinOf(source.Get(), PINDIR_OUTPUT, 2));
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(S_OK, first->ConnectionMediaType(&type));
    const WAVEFORMATEX* wave = WaveFormatOf(type);
    ASSERT_NE(nullptr, wave);
    EXPECT_EQ(22050u, wave->nSamplesPerSec);
    EXPECT_EQ(1, wave->nChannels);
    EXPECT_EQ(16, wave->wBitsPerSample);
    FreeMediaType(type);
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, second->ConnectedTo(&peer));
    ComPtr<IEnumMediaTypes> offered;
    ASSERT_EQ(S_OK, second->EnumMediaTypes(&offered));
    AM_MEDIA_TYPE* proposal = nullptr;
    ASSERT_EQ(S_OK, offered->Next(1, &proposal, nullptr));
    EXPECT_EQ(48000u, WaveFormatOf(*proposal)->nSamplesPerSec);
    EXPECT_EQ(2, WaveFormatOf(*proposal)->nChannels);
    DeleteMediaType(proposal);

    // Rendering the free pin adds a second renderer; the connected one cannot be rendered again.
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Render(first.Get()));
    EXPECT_EQ(S_OK, graph->Render(second.Get()));
    EXPECT_EQ(3u, Filters().size());
}

TEST_F(RenderFileTest, SeeksAndReportsTheFileWithoutPlaying)
{
    std::string path = MakeTone(folder, "clip.wav", 2, "-c:a pcm_s16le");
    LONGLONG value = 5;
    // Before a file, the graph seeks nothing and has no duration, as a capture graph.
    EXPECT_EQ(E_NOTIMPL, seeking->GetDuration(&value));
    EXPECT_EQ(0, value);
    LONGLONG zero = 0;
    EXPECT_EQ(E_NOTIMPL, seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning));
    DWORD capabilities = 0;
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&capabilities));
    EXPECT_EQ(AM_SEEKING_CanGetCurrentPos, capabilities);

    ASSERT_EQ(S_OK, Render(path));
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&capabilities));
    DWORD wanted = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetCurrentPos |
                   AM_SEEKING_CanGetDuration | AM_SEEKING_CanGetStopPos;
    EXPECT_EQ(wanted, capabilities & wanted);
    ASSERT_EQ(S_OK, seeking->GetDuration(&value));
    EXPECT_EQ(20'000'000, value);
    EXPECT_EQ(S_OK, seeking->GetStopPosition(&value));
    EXPECT_EQ(20'000'000, value);
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(0, value);

    // Stopped, a seek only moves where playing will start.
    LONGLONG position = 12'500'000;
    ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(12'500'000, value);
    LONGLONG back = -2'500'000;
    ASSERT_EQ(S_OK, seeking->SetPositions(&back, AM_SEEKING_RelativePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(10'000'000, value);
    // Below zero is refused and changes nothing; past the end is clamped to the end.
    LONGLONG negative = -1;
    EXPECT_EQ(E_INVALIDARG, seeking->SetPositions(&negative, AM_SEEKING_AbsolutePositioning,
                                                  nullptr, AM_SEEKING_NoPositioning));
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(10'000'000, value);
    LONGLONG beyond = 50'000'000;
    EXPECT_EQ(S_OK, seeking->SetPositions(&beyond, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(20'000'000, value);
    EXPECT_EQ(E_POINTER, seeking->SetPositions(nullptr, AM_SEEKING_AbsolutePositioning, nullptr,
                                               AM_SEEKING_NoPositioning));
}

TEST_F(RenderFileTest, VolumeNeedsARendererAndStaysInRange)
{
    LONG volume = 5;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, audio->get_Volume(&volume));
    EXPECT_EQ(0, volume);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, audio->put_Volume(-100));
    EXPECT_EQ(E_POINTER, audio->get_Volume(nullptr));

    ASSERT_EQ(S_OK, Render(MakeTone(folder, "clip.wma", 1, "-c:a wmav2 -b:a 64k")));
    EXPECT_EQ(S_OK, audio->get_Volume(&volume));
    EXPECT_EQ(0, volume);
    for (LONG value : {-10000, -2500, -1, 0}) {
        EXPECT_EQ(S_OK, audio->put_Volume(value));
        EXPECT_EQ(S_OK, audio->get_Volume(&volume));
        EXPECT_EQ(value, volume);
    }
    EXPECT_EQ(E_INVALIDARG, audio->put_Volume(1));
    EXPECT_EQ(E_INVALIDARG, audio->put_Volume(-10001));
    EXPECT_EQ(S_OK, audio->get_Volume(&volume));
    EXPECT_EQ(0, volume);
    LONG balance = 5;
    EXPECT_EQ(S_OK, audio->get_Balance(&balance));
    EXPECT_EQ(0, balance);
}

TEST_F(RenderFileTest, FilesThatCannotPlayFailAndLeaveTheGraphEmpty)
{
    struct Case
    {
        std::string path;
        HRESULT expected;
    };
    std::mt19937 random(11);
    std::vector<uint8_t> noise(30000);
    for (uint8_t& byte : noise)
        byte = uint8_t(random());
    std::string video = MakeMedia(folder, "video.mkv",
                                  "-f lavfi -i testsrc=duration=1:size=64x48:rate=10 -c:v mpeg4");
    ASSERT_FALSE(video.empty());
    const Case cases[] = {
        {folder / "missing.wma", VFW_E_NOT_FOUND},
        {folder.Path().string(), VFW_E_NOT_FOUND},
        {WriteBytes(folder, "empty.wma", {}), VFW_E_UNKNOWN_FILE_TYPE},
        {WriteBytes(folder, "noise.wma", noise), VFW_E_UNKNOWN_FILE_TYPE},
        {video, VFW_E_CANNOT_RENDER},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path);
        EXPECT_EQ(test.expected, Render(test.path));
        EXPECT_TRUE(Filters().empty());
    }
    // IMediaControl's RenderFile takes a BSTR and answers alike.
    Bstr missing(quillet::Utf8ToUtf16(folder / "missing.wav"));
    EXPECT_EQ(VFW_E_NOT_FOUND, control->RenderFile(missing.Get()));
}

TEST_F(RenderFileTest, TakesUtf8NamesThroughUtf16)
{
    std::string path = MakeTone(folder, "Grüße – 音.wav", 1, "-c:a pcm_s16le");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(S_OK, Render(path));
}

TEST_F(RenderFileTest, RefusesToRenderWhileRunning)
{
    REQUIRE_AUDIO_SERVER();
    RecordedSink sink;
    ASSERT_EQ(S_OK, Render(MakeTone(folder, "clip.wav", 1, "-c:a pcm_s16le")));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, Render(folder / "other.wav"));
    EXPECT_EQ(S_OK, control->Stop());
}

TEST_F(RenderFileTest, SurvivesHundredsOfDamagedWmaFiles)
{
    std::vector<uint8_t> original =
        ReadBytes(MakeTone(folder, "good.wma", 1, "-c:a wmav2 -b:a 64k"));
    ASSERT_GT(original.size(), 5000u);
    size_t headerBytes = std::min<size_t>(original[16] | original[17] << 8, original.size());
    // With a server, what renders is also paused, which decodes the damaged stream into the
    // renderer's buffer, and stopped again.
    bool play = AudioServerAvailable();
    std::unique_ptr<RecordedSink> sink = play ? std::make_unique<RecordedSink>() : nullptr;
    int rendered = 0;
    for (unsigned seed = 1001; seed <= 1250; ++seed) {
        ComPtr<IGraphBuilder> fresh;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&fresh)));
        std::string path = WriteBytes(folder, "damaged.wma", Mutate(original, seed, headerBytes));
        HRESULT hr = fresh->RenderFile(quillet::Utf8ToUtf16(path).c_str(), nullptr);
        if (hr != S_OK) {
            EXPECT_TRUE(FAILED(hr)) << "seed " << seed;
            continue;
        }
        ++rendered;
        if (!play)
            continue;
        ComPtr<IMediaControl> damagedControl = fresh.As<IMediaControl>();
        EXPECT_TRUE(SUCCEEDED(damagedControl->Pause())) << "seed " << seed;
        OAFilterState state = -1;
        damagedControl->GetState(2000, &state);
        EXPECT_EQ(S_OK, damagedControl->Stop()) << "seed " << seed;
    }
    EXPECT_GT(rendered, 10);
}
