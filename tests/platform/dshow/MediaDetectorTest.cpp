// The media detector: its contract before and after a file is named, stream lengths of files
// that ffmpeg made (exact to one codec frame), stream types, and damaged files, which must fail
// with an HRESULT and never crash or hang.
#include "PlaybackTestSupport.h"

namespace {

class MediaDetectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&detector)));
    }

    HRESULT Open(const std::string& path)
    {
        Bstr name(quillet::Utf8ToUtf16(path));
        return detector->put_Filename(name.Get());
    }

    double Length()
    {
        double seconds = -1;
        EXPECT_EQ(S_OK, detector->get_StreamLength(&seconds));
        return seconds;
    }

    ComScope com;
    TempFolder folder;
    ComPtr<IMediaDet> detector;
};

// One codec frame of each encoding, in seconds: what a measured length may be off by.
struct LengthCase
{
    const char* name;
    double seconds;
    const char* codec;
    double frame;
};

const LengthCase kLengthCases[] = {
    {"one.wma", 1.0, "-c:a wmav2 -b:a 64k", 2048.0 / 44100},
    {"three.wma", 3.0, "-c:a wmav2 -b:a 64k", 2048.0 / 44100},
    {"three-v1.wma", 3.0, "-c:a wmav1 -b:a 64k -ar 22050", 2048.0 / 22050},
    {"stereo.wma", 3.0, "-c:a wmav2 -b:a 128k -ac 2 -ar 48000", 2048.0 / 48000},
    {"two.wav", 2.0, "-c:a pcm_s16le", 1.0 / 44100},
    {"two.mp3", 2.0, "-c:a libmp3lame -b:a 128k", 1152.0 / 44100},
};

} // namespace

TEST_F(MediaDetectorTest, RefusesStreamQuestionsBeforeAFileAndLeavesOutputsCleared)
{
    ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, detector->QueryInterface(IID_PPV_ARGS(&identity)));
    void* none = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, detector->QueryInterface(IID_IBaseFilter, &none));
    EXPECT_EQ(nullptr, none);

    LONG streams = 7;
    EXPECT_EQ(E_INVALIDARG, detector->get_OutputStreams(&streams));
    EXPECT_EQ(0, streams);
    double length = 7;
    EXPECT_EQ(E_INVALIDARG, detector->get_StreamLength(&length));
    EXPECT_EQ(0, length);
    GUID type = MEDIATYPE_Video;
    EXPECT_EQ(E_INVALIDARG, detector->get_StreamType(&type));
    EXPECT_EQ(GUID_NULL, type);
    EXPECT_EQ(E_INVALIDARG, detector->put_CurrentStream(0));
    BSTR name = reinterpret_cast<BSTR>(0xdeadbeef);
    EXPECT_EQ(S_OK, detector->get_Filename(&name));
    EXPECT_EQ(nullptr, name);

    EXPECT_EQ(E_POINTER, detector->get_OutputStreams(nullptr));
    EXPECT_EQ(E_POINTER, detector->get_StreamLength(nullptr));
    EXPECT_EQ(E_POINTER, detector->put_Filename(nullptr));
    EXPECT_EQ(E_NOTIMPL, detector->EnterBitmapGrabMode(0));
}

TEST_F(MediaDetectorTest, MeasuresLengthsWithinOneCodecFrame)
{
    for (const LengthCase& test : kLengthCases) {
        SCOPED_TRACE(test.name);
        std::string path = MakeTone(folder, test.name, test.seconds, test.codec);
        ASSERT_FALSE(path.empty()) << "ffmpeg cannot make " << test.name;
        ASSERT_EQ(S_OK, Open(path));
        LONG streams = 0;
        ASSERT_EQ(S_OK, detector->get_OutputStreams(&streams));
        EXPECT_EQ(1, streams);
        EXPECT_NEAR(test.seconds, Length(), test.frame + 1e-6);
        GUID type{};
        EXPECT_EQ(S_OK, detector->get_StreamType(&type));
        EXPECT_EQ(MEDIATYPE_Audio, type);
    }
}

TEST_F(MediaDetectorTest, MeasuresAnAsfFileWhoseHeaderLostItsLength)
{
    // A recording cut short keeps its packets but not the length in its header; ffmpeg writes
    // the length last, so the unseekable pipe output stands for such a file.
    std::string path = folder / "unfinished.wma";
    int status = -1;
    RunCommand("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:duration=3 -c:a wmav2 "
               "-b:a 64k -f asf pipe:1 > '" +
                   path + "'",
               &status);
    ASSERT_EQ(0, status);
    ASSERT_EQ(S_OK, Open(path));
    EXPECT_NEAR(3.0, Length(), 2048.0 / 44100 + 1e-6);
}

TEST_F(MediaDetectorTest, SelectsStreamsAndTellsTheirTypes)
{
    std::string path =
        MakeMedia(folder, "both.mov",
                  "-f lavfi -i testsrc=duration=2:size=64x48:rate=10 -f lavfi -i "
                  "sine=frequency=440:duration=1 -map 0:v -map 1:a -c:v mpeg4 -c:a pcm_s16le");
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(S_OK, Open(path));
    LONG streams = 0;
    ASSERT_EQ(S_OK, detector->get_OutputStreams(&streams));
    ASSERT_EQ(2, streams);

    GUID type{};
    EXPECT_EQ(S_OK, detector->get_StreamType(&type));
    EXPECT_EQ(MEDIATYPE_Video, type);
    EXPECT_NEAR(2.0, Length(), 0.1 + 1e-6);
    BSTR text = nullptr;
    ASSERT_EQ(S_OK, detector->get_StreamTypeB(&text));
    EXPECT_EQ(u"{73646976-0000-0010-8000-00AA00389B71}", std::u16string(text));
    SysFreeString(text);

    ASSERT_EQ(S_OK, detector->put_CurrentStream(1));
    LONG current = -1;
    EXPECT_EQ(S_OK, detector->get_CurrentStream(&current));
    EXPECT_EQ(1, current);
    EXPECT_EQ(S_OK, detector->get_StreamType(&type));
    EXPECT_EQ(MEDIATYPE_Audio, type);
    EXPECT_NEAR(1.0, Length(), 0.01);
    AM_MEDIA_TYPE mediaType{};
    ASSERT_EQ(S_OK, detector->get_StreamMediaType(&mediaType));
    const WAVEFORMATEX* wave = WaveFormatOf(mediaType);
    ASSERT_NE(nullptr, wave);
    EXPECT_EQ(MEDIASUBTYPE_PCM, mediaType.subtype);
    EXPECT_EQ(44100u, wave->nSamplesPerSec);
    EXPECT_EQ(1, wave->nChannels);
    FreeMediaType(mediaType);

    EXPECT_EQ(E_INVALIDARG, detector->put_CurrentStream(2));
    EXPECT_EQ(E_INVALIDARG, detector->put_CurrentStream(-1));
    EXPECT_EQ(S_OK, detector->get_CurrentStream(&current));
    EXPECT_EQ(1, current);
}

TEST_F(MediaDetectorTest, DescribesAWmaStreamAsStored)
{
    std::string path = MakeTone(folder, "clip.wma", 1, "-c:a wmav2 -b:a 64k");
    ASSERT_EQ(S_OK, Open(path));
    AM_MEDIA_TYPE mediaType{};
    ASSERT_EQ(S_OK, detector->get_StreamMediaType(&mediaType));
    EXPECT_EQ(MEDIATYPE_Audio, mediaType.majortype);
    EXPECT_EQ(MEDIASUBTYPE_WMAUDIO2, mediaType.subtype);
    const WAVEFORMATEX* wave = WaveFormatOf(mediaType);
    ASSERT_NE(nullptr, wave);
    EXPECT_EQ(0x161, wave->wFormatTag);
    EXPECT_EQ(mediaType.cbFormat, sizeof(WAVEFORMATEX) + wave->cbSize);
    FreeMediaType(mediaType);

    BSTR name = nullptr;
    ASSERT_EQ(S_OK, detector->get_Filename(&name));
    EXPECT_EQ(path, quillet::Utf16ToUtf8(name));
    SysFreeString(name);
}

TEST_F(MediaDetectorTest, FailsCleanlyOnFilesItCannotRead)
{
    std::string good = MakeTone(folder, "good.wma", 1, "-c:a wmav2 -b:a 64k");
    ASSERT_EQ(S_OK, Open(good));

    EXPECT_EQ(VFW_E_NOT_FOUND, Open(folder / "missing.wma"));
    // A failed open forgets the file that was open before.
    LONG streams = 7;
    EXPECT_EQ(E_INVALIDARG, detector->get_OutputStreams(&streams));
    EXPECT_EQ(VFW_E_NOT_FOUND, Open(folder.Path().string()));
    EXPECT_EQ(VFW_E_UNKNOWN_FILE_TYPE, Open(WriteBytes(folder, "empty.wma", {})));

    std::mt19937 random(7);
    std::vector<uint8_t> noise(20000);
    for (uint8_t& byte : noise)
        byte = uint8_t(random());
    HRESULT hr = Open(WriteBytes(folder, "noise.wma", noise));
    EXPECT_TRUE(hr == VFW_E_UNKNOWN_FILE_TYPE || hr == VFW_E_INVALID_FILE_FORMAT) << std::hex << hr;

    // An ASF header object that claims more than the file holds.
    std::vector<uint8_t> header = ReadBytes(good);
    header.resize(40);
    EXPECT_EQ(VFW_E_INVALID_FILE_FORMAT, Open(WriteBytes(folder, "header.wma", header)));
}

TEST_F(MediaDetectorTest, SurvivesHundredsOfDamagedWmaFiles)
{
    std::string good = MakeTone(folder, "good.wma", 1, "-c:a wmav2 -b:a 64k");
    std::vector<uint8_t> original = ReadBytes(good);
    ASSERT_GT(original.size(), 5000u);
    // The ASF header object comes first; its size is in bytes 16 to 23.
    size_t headerBytes = std::min<size_t>(original[16] | original[17] << 8, original.size());
    int opened = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::string path = WriteBytes(folder, "damaged.wma", Mutate(original, seed, headerBytes));
        HRESULT hr = Open(path);
        if (hr != S_OK) {
            EXPECT_TRUE(FAILED(hr)) << "seed " << seed;
            continue;
        }
        ++opened;
        LONG streams = 0;
        EXPECT_EQ(S_OK, detector->get_OutputStreams(&streams)) << "seed " << seed;
        for (LONG i = 0; i < streams; ++i) {
            ASSERT_EQ(S_OK, detector->put_CurrentStream(i));
            double seconds = -1;
            EXPECT_EQ(S_OK, detector->get_StreamLength(&seconds)) << "seed " << seed;
            EXPECT_GE(seconds, 0) << "seed " << seed;
        }
    }
    // Some damage leaves the file readable; the series must reach the streams too.
    EXPECT_GT(opened, 10);
}
