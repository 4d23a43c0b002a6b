// The WM ASF writer in a graph of its own: configured by catalogue profiles, fed by a capture
// device through the sample grabber, writing real files that ffprobe and ffmpeg read back.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>

#include "DshowTestSupport.h"
#include "TempFolder.h"
#include "VirtualDevices.h"
#include "dshow/MediaTypes.h"
#include "wmf/ProfileFormat.h"
#include "wmf/Wmf.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kToneDevice = R"(
[device]
name = Quillet Writer Tone
line = In
signal = tone 1000
rate = 48000
channels = 2
)";

constexpr GUID kMusic64 = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");
constexpr GUID kSpeechV4 = MakeGuid("7E2E1B80-F89E-4114-86B4-7B4E6C99671B");
constexpr GUID kVideoOnly = MakeGuid("999C72DF-046B-43B0-809B-18A5D644E5E5");
constexpr GUID kAudioWithVideo = MakeGuid("1932D01F-22E4-422A-9778-1EAB8B550406");

ComPtr<IWMProfile> LoadProfile(const GUID& id)
{
    ComPtr<IWMProfileManager> manager;
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(WMCreateProfileManager(&manager), S_OK);
    EXPECT_EQ(manager->LoadProfileByID(id, &profile), S_OK);
    return profile;
}

ComPtr<IBaseFilter> MakeWriter()
{
    ComPtr<IBaseFilter> writer;
    EXPECT_EQ(
        CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&writer)),
        S_OK);
    return writer;
}

size_t PinCount(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(&pins);
    size_t count = 0;
    for (ComPtr<IPin> pin; pins->Next(1, &pin, nullptr) == S_OK;)
        ++count;
    return count;
}

std::string Probe(const std::string& path)
{
    return RunCommand("ffprobe -v error -show_entries "
                      "stream=codec_name,sample_rate,channels:format=format_name,duration "
                      "-of default=noprint_wrappers=1 '" +
                      path + "' 2>/dev/null");
}

double Field(const std::string& text, const std::string& key)
{
    size_t at = text.find(key + "=");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + key.size() + 1);
}

class WMAsfWriterTest : public ::testing::Test
{
protected:
    ComScope com;
    TempFolder folder;
};

// A capture device → grabber → writer graph.
struct WriterGraph
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> writer = MakeWriter();
    ComPtr<IBaseFilter> grabber;
    // What passes the grabber on its way to the writer.
    ComPtr<RecordingCallback> callback = ComPtr<RecordingCallback>::Adopt(new RecordingCallback);

    HRESULT Build(const std::string& device, const GUID& profile, const std::string& path,
                  DWORD mode = AM_FILE_OVERWRITE)
    {
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&graph));
        if (FAILED(hr))
            return hr;
        graph.As(&control);
        ComPtr<IConfigAsfWriter> config = writer.As<IConfigAsfWriter>();
        hr = config->ConfigureFilterUsingProfile(LoadProfile(profile).Get());
        if (FAILED(hr))
            return hr;
        ComPtr<IFileSinkFilter2> sink = writer.As<IFileSinkFilter2>();
        sink->SetMode(mode);
        std::u16string wide = quillet::Utf8ToUtf16(path);
        hr = sink->SetFileName(wide.c_str(), nullptr);
        if (FAILED(hr))
            return hr;
        ComPtr<IBaseFilter> capture = CaptureFilterNamed(device);
        CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                         IID_PPV_ARGS(&grabber));
        grabber.As<ISampleGrabber>()->SetCallback(callback.Get(), 1);
        graph->AddFilter(capture.Get(), u"CAPTURE_SOURCE");
        graph->AddFilter(grabber.Get(), u"SAMPLE_GRABBER");
        graph->AddFilter(writer.Get(), u"WM_ASF_WRITER");
        hr = graph->Connect(PinOf(capture.Get(), PINDIR_OUTPUT).Get(),
                            PinOf(grabber.Get(), PINDIR_INPUT).Get());
        if (FAILED(hr))
            return hr;
        return graph->Connect(PinOf(grabber.Get(), PINDIR_OUTPUT).Get(),
                              PinOf(writer.Get(), PINDIR_INPUT).Get());
    }

    HRESULT Record(std::chrono::milliseconds span)
    {
        HRESULT hr = control->Run();
        if (FAILED(hr))
            return hr;
        OAFilterState state = -1;
        hr = control->GetState(5000, &state);
        if (FAILED(hr) || state != State_Running)
            return FAILED(hr) ? hr : E_FAIL;
        std::this_thread::sleep_for(span);
        return control->Stop();
    }
};

} // namespace

TEST_F(WMAsfWriterTest, OnlyOneStreamAudioProfilesGiveItAnAudioPin)
{
    ComPtr<IBaseFilter> writer = MakeWriter();
    ComPtr<IConfigAsfWriter> config = writer.As<IConfigAsfWriter>();
    ASSERT_TRUE(config);
    EXPECT_EQ(PinCount(writer.Get()), 0u);
    EXPECT_EQ(config->ConfigureFilterUsingProfile(LoadProfile(kVideoOnly).Get()), E_INVALIDARG);
    EXPECT_EQ(config->ConfigureFilterUsingProfile(LoadProfile(kAudioWithVideo).Get()),
              E_INVALIDARG);
    EXPECT_EQ(PinCount(writer.Get()), 0u);
    ASSERT_EQ(config->ConfigureFilterUsingProfile(LoadProfile(kMusic64).Get()), S_OK);
    ASSERT_EQ(PinCount(writer.Get()), 1u);
    ComPtr<IPin> input = PinOf(writer.Get(), PINDIR_INPUT);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(input->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ASSERT_EQ(types->Next(1, &type, nullptr), S_OK);
    EXPECT_EQ(type->majortype, MEDIATYPE_Audio);
    EXPECT_EQ(type->subtype, MEDIASUBTYPE_PCM);
    DeleteMediaType(type);

    ComPtr<IWMProfile> current;
    ASSERT_EQ(config->GetCurrentProfile(&current), S_OK);
    GUID id{};
    ASSERT_EQ(config->GetCurrentProfileGuid(&id), S_OK);
    EXPECT_EQ(id, kMusic64);
    EXPECT_EQ(config->ConfigureFilterUsingProfile(nullptr), E_POINTER);
}

TEST_F(WMAsfWriterTest, FileNamesModesAndFolders)
{
    ComPtr<IBaseFilter> writer = MakeWriter();
    ComPtr<IFileSinkFilter2> sink = writer.As<IFileSinkFilter2>();
    ComPtr<IFileSinkFilter> plain = writer.As<IFileSinkFilter>();
    ASSERT_TRUE(sink);
    ASSERT_TRUE(plain);
    LPOLESTR name = reinterpret_cast<LPOLESTR>(0x1);
    ASSERT_EQ(sink->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(sink->SetFileName(u"/no/such/folder/take.wma", nullptr),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    std::u16string path = quillet::Utf8ToUtf16(folder / "take.wma");
    ASSERT_EQ(sink->SetFileName(path.c_str(), nullptr), S_OK);
    ASSERT_EQ(sink->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(std::u16string(name), path);
    CoTaskMemFree(name);
    DWORD mode = 7;
    ASSERT_EQ(sink->GetMode(&mode), S_OK);
    EXPECT_EQ(mode, 0u);
    EXPECT_EQ(sink->SetMode(AM_FILE_OVERWRITE), S_OK);
    EXPECT_EQ(sink->SetMode(0x10), E_INVALIDARG);
    EXPECT_EQ(sink->SetFileName(nullptr, nullptr), E_POINTER);
}

TEST_F(WMAsfWriterTest, RecordsWhatTheProfileSays)
{
    VirtualDevices devices(kToneDevice);
    struct Case
    {
        GUID profile;
        const char* codec;
        int rate;
        int channels;
    };
    const Case cases[] = {{kMusic64, "wmav2", 44100, 2}, {kSpeechV4, "wmav1", 16000, 1}};
    for (const Case& c : cases) {
        std::string path = folder / ("take-" + std::string(c.codec) + ".wma");
        WriterGraph graph;
        ASSERT_EQ(graph.Build("Quillet Writer Tone", c.profile, path), S_OK);
        ASSERT_EQ(graph.Record(2000ms), S_OK);
        std::string probe = Probe(path);
        EXPECT_NE(probe.find(std::string("codec_name=") + c.codec), std::string::npos) << probe;
        EXPECT_NE(probe.find("format_name=asf"), std::string::npos) << probe;
        EXPECT_EQ(int(Field(probe, "sample_rate")), c.rate) << probe;
        EXPECT_EQ(int(Field(probe, "channels")), c.channels) << probe;
        EXPECT_NEAR(Field(probe, "duration"), 2.0, 0.3) << probe;
        // The device's tone is in the file.
        std::string raw = folder / "decoded.raw";
        RunCommand("ffmpeg -v error -y -i '" + path + "' -f s16le -ac 1 -ar 48000 '" + raw +
                   "' 2>/dev/null");
        std::ifstream in(raw, std::ios::binary);
        std::vector<BYTE> pcm((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(pcm.size(), 48000u);
        EXPECT_NEAR(ZeroCrossingFrequency(pcm, 1, 48000), 1000.0, 20.0);
    }
}

TEST_F(WMAsfWriterTest, AnExistingFileIsReplacedOnlyWhenAllowed)
{
    VirtualDevices devices(kToneDevice);
    std::string path = folder / "existing.wma";
    std::ofstream(path) << "not a recording";
    {
        WriterGraph graph;
        ASSERT_EQ(graph.Build("Quillet Writer Tone", kMusic64, path, 0), S_OK);
        EXPECT_EQ(graph.control->Run(), HRESULT_FROM_WIN32(80)); // the file exists
        graph.control->Stop();
    }
    struct stat entry
    {
    };
    ASSERT_EQ(stat(path.c_str(), &entry), 0);
    EXPECT_EQ(entry.st_size, 15);
    WriterGraph graph;
    ASSERT_EQ(graph.Build("Quillet Writer Tone", kMusic64, path, AM_FILE_OVERWRITE), S_OK);
    ASSERT_EQ(graph.Record(1000ms), S_OK);
    EXPECT_NE(Probe(path).find("format_name=asf"), std::string::npos);
}

namespace {

// What a catalogue profile with one audio stream asks the writer for.
struct AudioProfile
{
    GUID id;
    std::string name;
    std::string codec;
    int rate = 0;
    int channels = 0;
    int bitRate = 0;
};

std::vector<AudioProfile> AudioOnlyProfiles()
{
    std::vector<AudioProfile> profiles;
    ComPtr<IWMProfileManager> manager;
    EXPECT_EQ(WMCreateProfileManager(&manager), S_OK);
    ComPtr<IWMProfileManager2> versions = manager.As<IWMProfileManager2>();
    for (WMT_VERSION version : {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0}) {
        EXPECT_EQ(versions->SetSystemProfileVersion(version), S_OK);
        DWORD count = 0;
        manager->GetSystemProfileCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IWMProfile> profile;
            ComPtr<IWMStreamConfig> stream;
            DWORD streams = 0;
            GUID type{};
            if (FAILED(manager->LoadSystemProfile(i, &profile)) ||
                FAILED(profile->GetStreamCount(&streams)) || streams != 1 ||
                FAILED(profile->GetStream(0, &stream)) || FAILED(stream->GetStreamType(&type)) ||
                type != MEDIATYPE_Audio)
                continue;
            AudioProfile entry;
            profile.As<IWMProfile2>()->GetProfileID(&entry.id);
            AudioStreamFormat format{};
            EXPECT_EQ(GetAudioStreamFormat(profile.Get(), &format), S_OK);
            DWORD bitRate = 0;
            stream->GetBitrate(&bitRate);
            entry.codec = format.encoderName;
            entry.rate = int(format.samplesPerSecond);
            entry.channels = format.channels;
            entry.bitRate = int(bitRate);
            entry.name = "v" + std::to_string(int(version) >> 16) + "_" + std::to_string(i);
            profiles.push_back(entry);
        }
    }
    return profiles;
}

} // namespace

TEST_F(WMAsfWriterTest, EveryAudioProfileRecordsItsFormatAtItsBitRate)
{
    // All at once, each in a graph of its own on one virtual device, so that ten seconds of
    // recording cover the whole catalogue.
    VirtualDevices devices(kToneDevice);
    std::vector<AudioProfile> profiles = AudioOnlyProfiles();
    ASSERT_GE(profiles.size(), 15u);
    std::vector<std::unique_ptr<WriterGraph>> graphs;
    for (const AudioProfile& profile : profiles) {
        graphs.push_back(std::make_unique<WriterGraph>());
        ASSERT_EQ(graphs.back()->Build("Quillet Writer Tone", profile.id,
                                       folder / (profile.name + ".wma")),
                  S_OK)
            << profile.name;
    }
    for (auto& graph : graphs)
        ASSERT_TRUE(SUCCEEDED(graph->control->Run()));
    std::this_thread::sleep_for(10s);
    for (auto& graph : graphs)
        EXPECT_EQ(graph->control->Stop(), S_OK);
    graphs.clear();

    for (const AudioProfile& profile : profiles) {
        std::string path = folder / (profile.name + ".wma");
        std::string probe = Probe(path);
        EXPECT_NE(probe.find("codec_name=" + profile.codec), std::string::npos) << probe;
        EXPECT_EQ(int(Field(probe, "sample_rate")), profile.rate) << probe;
        EXPECT_EQ(int(Field(probe, "channels")), profile.channels) << probe;
        double seconds = Field(probe, "duration");
        EXPECT_NEAR(seconds, 10.0, 1.0) << probe;
        // The whole file, header, packets and index, against the profile's rate over the time
        // it holds: what a size limit's duration estimate relies on.
        struct stat entry
        {
        };
        ASSERT_EQ(stat(path.c_str(), &entry), 0);
        double ratio = double(entry.st_size) * 8 / seconds / profile.bitRate;
        EXPECT_NEAR(ratio, 1.0, 0.05) << profile.name << " " << profile.bitRate << " bit/s, "
                                      << entry.st_size << " bytes in " << seconds << " s";
    }
}

TEST_F(WMAsfWriterTest, AFailedWriteAbortsTheGraphAndKeepsTheFile)
{
    VirtualDevices devices(kToneDevice);
    std::string path = folder / "limited.wma";
    constexpr rlim_t Limit = 24 * 1024; // about three seconds at 64 kbit/s
    struct Report
    {
        HRESULT build, run, stop;
        LONG code;
        LONG_PTR param1;
        double seconds;
    };
    int results[2];
    ASSERT_EQ(0, pipe(results));
    // In a child process: the file size limit applies to the whole process.
    pid_t child = fork();
    if (child == 0) {
        close(results[0]);
        signal(SIGXFSZ, SIG_IGN); // EFBIG from write(2) instead of a fatal signal
        Report report{};
        {
            ComScope childCom;
            WriterGraph graph;
            report.build = graph.Build("Quillet Writer Tone", kMusic64, path);
            const rlimit limit{Limit, Limit};
            setrlimit(RLIMIT_FSIZE, &limit);
            ComPtr<IMediaEvent> events = graph.graph.As<IMediaEvent>();
            auto start = std::chrono::steady_clock::now();
            report.run = SUCCEEDED(report.build) ? graph.control->Run() : report.build;
            while (SUCCEEDED(report.run) && report.code == 0 &&
                   std::chrono::steady_clock::now() - start < 15s) {
                LONG code = 0;
                LONG_PTR p1 = 0, p2 = 0;
                if (events->GetEvent(&code, &p1, &p2, 100) != S_OK)
                    continue;
                events->FreeEventParams(code, p1, p2);
                if (code == EC_ERRORABORT) {
                    report.code = code;
                    report.param1 = p1;
                }
            }
            report.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            report.stop = graph.control->Stop();
        }
        (void)!write(results[1], &report, sizeof report);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    close(results[1]);
    Report report{};
    ASSERT_EQ(ssize_t(sizeof report), read(results[0], &report, sizeof report));
    close(results[0]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    ASSERT_EQ(report.build, S_OK);
    ASSERT_TRUE(SUCCEEDED(report.run));
    EXPECT_EQ(report.code, EC_ERRORABORT) << "no abort after " << report.seconds << " s";
    EXPECT_EQ(HRESULT(report.param1), HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL));
    EXPECT_TRUE(SUCCEEDED(report.stop));

    struct stat entry
    {
    };
    ASSERT_EQ(stat(path.c_str(), &entry), 0);
    // The packet that hit the limit is cut off whole; the header declares the ones before it.
    EXPECT_LE(entry.st_size, off_t(Limit));
    EXPECT_GT(entry.st_size, off_t(Limit) - 8 * 1024);
    std::string probe = Probe(path);
    EXPECT_NE(probe.find("format_name=asf"), std::string::npos) << probe;
    std::string raw = folder / "decoded.raw";
    RunCommand("ffmpeg -v error -y -i '" + path + "' -f s16le -ac 1 -ar 48000 '" + raw +
               "' 2>/dev/null");
    std::ifstream in(raw, std::ios::binary);
    std::vector<BYTE> pcm((std::istreambuf_iterator<char>(in)), {});
    // All but the packet that hit the limit: over two seconds of the tone, and the header's
    // duration says as much.
    const double decodedSeconds = double(pcm.size()) / (48000 * 2);
    EXPECT_GT(decodedSeconds, 2.0);
    const size_t at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe;
    EXPECT_NEAR(std::atof(probe.c_str() + at + 9), decodedSeconds, 0.2) << probe;
    EXPECT_NEAR(ZeroCrossingFrequency(pcm, 1, 48000), 1000.0, 20.0);
}

namespace {

// Interleaved s16le stereo of a rising tone, which no generator makes and which only lines up
// with itself at one lag.
std::vector<BYTE> Chirp(double seconds, int rate)
{
    std::vector<BYTE> pcm(size_t(seconds * rate) * 4);
    double phase = 0;
    for (size_t i = 0; i < pcm.size() / 4; ++i) {
        double t = double(i) / rate;
        phase += 2 * M_PI * (200 + 1800 * t / seconds) / rate;
        auto sample = int16_t(12000 * std::sin(phase));
        for (int c = 0; c < 2; ++c) {
            pcm[i * 4 + size_t(c) * 2] = BYTE(uint16_t(sample) & 0xFF);
            pcm[i * 4 + size_t(c) * 2 + 1] = BYTE(uint16_t(sample) >> 8);
        }
    }
    return pcm;
}

std::vector<float> Channel0(const std::vector<BYTE>& pcm, int channels)
{
    std::vector<float> mono(pcm.size() / (2 * size_t(channels)));
    for (size_t i = 0; i < mono.size(); ++i) {
        size_t at = i * 2 * size_t(channels);
        mono[i] = float(int16_t(uint16_t(pcm[at] | (pcm[at + 1] << 8)))) / 32768.0f;
    }
    return mono;
}

// The best normalised correlation of half a second of `reference` (from its first half second)
// with `decoded` at lags up to `maxLag` samples either way.
double BestCorrelation(const std::vector<float>& reference, const std::vector<float>& decoded,
                       long maxLag, long* bestLag)
{
    const size_t from = 24000, to = std::min<size_t>(48000, reference.size());
    double best = 0;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double dot = 0, a = 0, b = 0;
        for (size_t i = from; i < to; ++i) {
            long j = long(i) + lag;
            if (j < 0 || size_t(j) >= decoded.size())
                continue;
            dot += double(reference[i]) * decoded[size_t(j)];
            a += double(reference[i]) * reference[i];
            b += double(decoded[size_t(j)]) * decoded[size_t(j)];
        }
        double correlation = a > 0 && b > 0 ? dot / std::sqrt(a * b) : 0;
        if (correlation > best) {
            best = correlation;
            *bestLag = lag;
        }
    }
    return best;
}

std::vector<BYTE> Decode(const std::string& path, const std::string& raw, int channels)
{
    RunCommand("ffmpeg -v error -y -i '" + path + "' -f s16le -ac " + std::to_string(channels) +
               " -ar 48000 '" + raw + "' 2>/dev/null");
    std::ifstream in(raw, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), {});
}

} // namespace

TEST_F(WMAsfWriterTest, ThreeSecondsOfTheServersMonitor)
{
    REQUIRE_AUDIO_SERVER();
    std::string path = folder / "monitor.wma";
    WriterGraph graph;
    ASSERT_EQ(graph.Build("Monitor of Quillet Test Output", kMusic64, path), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    // Three seconds of what the device delivered (it starts late), not of the wall clock.
    EXPECT_TRUE(graph.callback->WaitForBytes(3 * 48000 * 4, 10s));
    ASSERT_EQ(graph.control->Stop(), S_OK);

    std::string probe = Probe(path);
    EXPECT_NE(probe.find("format_name=asf"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=wmav2"), std::string::npos) << probe;
    EXPECT_EQ(int(Field(probe, "sample_rate")), 44100) << probe;
    EXPECT_EQ(int(Field(probe, "channels")), 2) << probe;
    // The last buffer may overshoot by its 20 ms and the codec pads its last frame.
    EXPECT_NEAR(Field(probe, "duration"), 3.0, 0.1) << probe;
    std::vector<BYTE> pcm = Decode(path, folder / "monitor.raw", 1);
    EXPECT_NEAR(ZeroCrossingFrequency(pcm, 1, 48000), 440.0, 10.0);
}

TEST_F(WMAsfWriterTest, WhatThePipeSourceIsFedComesOutOfTheFile)
{
    REQUIRE_AUDIO_SERVER();
    PipeSource pipe;
    ASSERT_TRUE(pipe.module->Loaded());
    ASSERT_GE(pipe.writer, 0);
    std::string path = folder / "pipe.wma";
    WriterGraph graph;
    ASSERT_EQ(graph.Build(pipe.name, MakeGuid("DB2EEC8D-2F7F-4606-B655-0461FFDC9210"), path), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    std::vector<BYTE> chirp = Chirp(2.0, 48000);
    pipe.Write(chirp);
    EXPECT_TRUE(graph.callback->WaitForBytes(chirp.size(), 10s));
    ASSERT_EQ(graph.control->Stop(), S_OK);

    // The file's audio lines up with what went in, after the codec's delay and two rate
    // conversions (48 kHz to the profile's 44.1 kHz and back).
    std::vector<float> decoded = Channel0(Decode(path, folder / "pipe.raw", 2), 2);
    std::vector<float> reference = Channel0(chirp, 2);
    ASSERT_GT(decoded.size(), reference.size() / 2);
    long lag = 0;
    EXPECT_GT(BestCorrelation(reference, decoded, 6000, &lag), 0.9) << "best lag " << lag;
}
