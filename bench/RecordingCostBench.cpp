// What a recording costs in processor time per second of audio, against the least any recorder
// could pay: capture alone (parecord writing raw PCM to /dev/null) plus the WMA encoder alone
// (FFmpeg's wmav2 on a tone, no conversion, muxing or file). The goal is engine / floor <= 1.15.
//
// parecord asks the server for the profile's 44.1 kHz, so the server converts from the device's
// 48 kHz in its own process, which no figure here counts; the engine captures at the device's rate
// and converts in the writer. The conversion alone (libswresample, 48 kHz s16 to 44.1 kHz float,
// in 20 ms chunks) is measured too, and the like-for-like floor that adds it is printed beside.
//
//   eval "$(scripts/audio-test-server.sh env)"
//   build/release/bin/recording-cost-bench [seconds]     (60 unless given)
//
// The engine records twice: once handing every buffer to this thread as SampleData, as the
// window does, and once with SampleData declined, which shows what the hand-off costs. ffmpeg's
// own capture and encoding of the same source is measured beside them for comparison. All the
// parts record or encode the same number of seconds, one after the other, so that they do not
// compete for the processor with each other; other load on the machine still shows, so compare
// figures from one run only.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "AcceptingSink.h"
#include "BareEncoder.h"
#include "CpuTime.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoints.h"
#include "corvane.h"
#include "user/User.h"

namespace {

using Clock = std::chrono::steady_clock;

// The profile the engine records with: 64 kbit/s, 44.1 kHz stereo; the bare encoder matches it.
constexpr const char* ProfileId = "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}";
constexpr const char* SourceName = "Monitor of Quillet Test Output";
constexpr const char* SourceDevice = "quillet_null.monitor";
constexpr int Rate = 44100;
constexpr int Channels = 2;
constexpr int64_t BitRate = 64000;
// The test server's device, and the 20 ms fragments that the engine and the others capture in.
constexpr int DeviceRate = 48000;
constexpr int DeviceChunk = DeviceRate / 50;

// Dispatches this thread's messages until the deadline or until done() holds, sleeping on the
// queue's descriptor in between. False when done() never held.
template <typename Done> bool Pump(Clock::time_point deadline, Done done)
{
    const int fd = GetQueueFd();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (done())
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{fd, POLLIN, 0};
        poll(&entry, 1, int(left.count()) + 1);
    }
}

// The length ffprobe decodes from the file, or -1.
double ProbeDuration(const std::string& path)
{
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char line[64] = {};
    const bool read = fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return read ? std::atof(line) : -1;
}

struct EngineResult
{
    double cpu = 0;
    double wall = 0;
    double decoded = -1;
    // Each thread's share while recording, by name ("main" receives the events); threads that
    // Stop ends are counted up to it.
    std::map<std::string, double> threads;
};

// Registers the engine into a private registry under folder, so that no user's registry is
// touched; false when regsvr failed.
bool RegisterEngine(const std::filesystem::path& folder)
{
    setenv("QUILLET_REGISTRY_DIR", (folder / "registry").c_str(), 1);
    const std::string regsvr = std::string(QUILLET_REGSVR) + " " + QUILLET_ENGINE_MODULE;
    return std::system(regsvr.c_str()) == 0;
}

// Records seconds from the test server's monitor through WMACapture; cpu is the whole process's
// from the first buffer (or, without SampleData, the first position beyond zero) to the end of
// Stop, when the file is complete. Without SampleData no buffer crosses to this thread.
bool RecordThroughEngine(const std::filesystem::path& folder, int seconds, bool withSamples,
                         EngineResult& result)
{
    ComPtr<IWMACapture> capture;
    if (FAILED(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&capture)))) {
        std::fprintf(stderr, "WMACapture could not be created\n");
        return false;
    }
    ComPtr<AcceptingSink> sink = ComPtr<AcceptingSink>::Adopt(new AcceptingSink(withSamples));
    ComPtr<IConnectionPointContainer> container = capture.As<IConnectionPointContainer>();
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (!container || FAILED(container->FindConnectionPoint(DIID__IWMACaptureEvents, &point)) ||
        FAILED(point->Advise(static_cast<IDispatch*>(sink.Get()), &cookie))) {
        std::fprintf(stderr, "the event sink could not be advised\n");
        return false;
    }
    const std::string path = (folder / "take.wma").string();
    if (FAILED(capture->Prepare()) ||
        FAILED(capture->put_SourceId(Bstr::FromUtf8(SourceName).Get())) ||
        FAILED(capture->put_ProfileId(Bstr::FromUtf8(ProfileId).Get())) ||
        FAILED(capture->put_OutputPath(Bstr::FromUtf8(path).Get())) || FAILED(capture->Build()) ||
        FAILED(capture->Run())) {
        std::fprintf(stderr, "the capture graph could not be built or run\n");
        capture->Reset();
        return false;
    }
    // The idle test server's monitor starts in long blocks; the time before is not recording.
    const auto capturing = [&] {
        double position = 0;
        return withSamples ? sink->sampleData > 0
                           : SUCCEEDED(capture->GetPosition(&position)) && position > 0;
    };
    if (!Pump(Clock::now() + std::chrono::seconds(5), capturing)) {
        std::fprintf(stderr, "no audio within 5 s of Run\n");
        capture->Reset();
        return false;
    }
    const double cpuStart = ProcessCpuSeconds();
    const std::map<std::string, double> threadsStart = CpuSecondsByThreadName();
    const auto wallStart = Clock::now();
    Pump(wallStart + std::chrono::seconds(seconds), [] { return false; });
    const auto wallEnd = Clock::now();
    for (const auto& [name, used] : CpuSecondsByThreadName()) {
        const auto before = threadsStart.find(name);
        result.threads[name] = used - (before == threadsStart.end() ? 0.0 : before->second);
    }
    const bool stopped = SUCCEEDED(capture->Stop());
    const double cpuEnd = ProcessCpuSeconds();
    Pump(Clock::now(), [] { return false; }); // the events Stop posted
    capture->Reset();
    point->Unadvise(cookie);

    result.cpu = cpuEnd - cpuStart;
    result.wall = std::chrono::duration<double>(wallEnd - wallStart).count();
    result.decoded = ProbeDuration(path);
    if (!stopped || sink->errors > 0 || (!withSamples && sink->sampleData > 0)) {
        std::fprintf(stderr, "the recording failed (%zu error events)\n", sink->errors);
        return false;
    }
    return true;
}

// Starts a program with its output (and, when asked, its errors) on /dev/null; its pid, or -1.
pid_t StartQuietly(const std::vector<std::string>& command, bool quietErrors)
{
    std::fflush(stdout); // else the child's freopen writes this process's pending output again
    const pid_t child = fork();
    if (child != 0)
        return child;
    if (!std::freopen("/dev/null", "w", stdout) ||
        (quietErrors && !std::freopen("/dev/null", "w", stderr)))
        _exit(127);
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Runs parecord on the same monitor for seconds; its user and system time, or -1.
double RecordWithParecord(int seconds, double& wall)
{
    const auto start = Clock::now();
    const pid_t child =
        StartQuietly({"parecord", "--latency-msec=20", std::string("--device=") + SourceDevice,
                      "--raw", "--format=s16le", "--rate=" + std::to_string(Rate),
                      "--channels=" + std::to_string(Channels)},
                     false);
    if (child < 0)
        return -1;
    // Sleeping, not polling a pipe, so that this process adds nothing to the child's figure.
    timespec pause{seconds, 0};
    while (nanosleep(&pause, &pause) != 0) {
    }
    kill(child, SIGINT); // parecord drains and exits cleanly on SIGINT
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return -1;
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    // Killed by the signal or exited after it; a failed exec or connection exits on its own.
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && wall < seconds)
        return -1;
    return CpuSecondsOf(usage);
}

// Records seconds with ffmpeg's own PulseAudio capture in 20 ms fragments of the device's
// 48 kHz, encoding to the same wmav2 profile in an ASF file: another recorder doing the same job,
// for comparison. Its user and system time, start-up included, or -1.
double RecordWithFfmpeg(const std::filesystem::path& folder, int seconds)
{
    const pid_t child = StartQuietly({"ffmpeg",
                                      "-nostdin",
                                      "-y",
                                      "-f",
                                      "pulse",
                                      "-fragment_size",
                                      std::to_string(DeviceChunk * Channels * 2),
                                      "-sample_rate",
                                      std::to_string(DeviceRate),
                                      "-channels",
                                      std::to_string(Channels),
                                      "-i",
                                      SourceDevice,
                                      "-t",
                                      std::to_string(seconds),
                                      "-c:a",
                                      "wmav2",
                                      "-b:a",
                                      std::to_string(BitRate),
                                      "-ar",
                                      std::to_string(Rate),
                                      (folder / "ffmpeg.wma").string()},
                                     true);
    if (child < 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return CpuSecondsOf(usage);
}

// Encodes seconds of a 440 Hz tone with wmav2 alone; the packets are dropped. This thread's
// time, or -1.
double EncodeWithAvcodec(int seconds)
{
    // The tone is made before the clock starts: producing it is no part of the floor.
    const size_t totalFrames = size_t(Rate) * size_t(seconds);
    std::vector<int16_t> pcm(totalFrames * Channels);
    for (size_t i = 0; i < totalFrames; ++i) {
        const auto value = int16_t(0.5 * 32767 * std::sin(2 * std::numbers::pi * 440 * i / Rate));
        pcm[i * Channels] = value;
        pcm[i * Channels + 1] = value;
    }
    const double start = ThreadCpuSeconds();
    if (EncodeWithBareWmav2(pcm, Rate, Channels, BitRate) < 0)
        return -1;
    return ThreadCpuSeconds() - start;
}

// Converts seconds of the device's 48 kHz stereo s16 into the encoder's 44.1 kHz planar float,
// 20 ms at a time, as the writer does. This thread's time, or -1.
double ConvertWithSwresample(int seconds)
{
    std::vector<int16_t> chunk(size_t(DeviceChunk) * Channels);
    for (size_t i = 0; i < size_t(DeviceChunk); ++i)
        chunk[i * Channels] = chunk[i * Channels + 1] =
            int16_t(0.5 * 32767 * std::sin(2 * std::numbers::pi * 440 * i / DeviceRate));
    AVChannelLayout layout;
    av_channel_layout_default(&layout, Channels);
    SwrContext* resampler = nullptr;
    int ret = swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_FLTP, Rate, &layout,
                                  AV_SAMPLE_FMT_S16, DeviceRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (ret < 0 || swr_init(resampler) < 0) {
        swr_free(&resampler);
        return -1;
    }
    const int room = swr_get_out_samples(resampler, DeviceChunk) + 64;
    std::vector<float> left(static_cast<size_t>(room)), right(static_cast<size_t>(room));
    uint8_t* planes[] = {reinterpret_cast<uint8_t*>(left.data()),
                         reinterpret_cast<uint8_t*>(right.data())};
    const uint8_t* input[] = {reinterpret_cast<const uint8_t*>(chunk.data())};
    const double start = ThreadCpuSeconds();
    bool failed = false;
    for (int i = 0; i < seconds * 50 && !failed; ++i)
        failed = swr_convert(resampler, planes, room, input, DeviceChunk) < 0;
    const double cpu = ThreadCpuSeconds() - start;
    swr_free(&resampler);
    return failed ? -1 : cpu;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    if (!std::getenv("PULSE_SERVER")) {
        std::fprintf(stderr, "PULSE_SERVER is not set: start the private test server and eval "
                             "\"$(scripts/audio-test-server.sh env)\" first\n");
        return 1;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quillet-cost-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    if (!RegisterEngine(folder)) {
        std::fprintf(stderr, "regsvr could not register the engine\n");
        std::filesystem::remove_all(folder);
        return 1;
    }
    CoInitialize(nullptr);

    std::printf("recording %d s from \"%s\"\n", seconds, SourceName);
    EngineResult engine;
    EngineResult quiet;
    const bool recorded = RecordThroughEngine(folder, seconds, true, engine) &&
                          RecordThroughEngine(folder, seconds, false, quiet);
    CoUninitialize();
    const double ffmpeg = recorded ? RecordWithFfmpeg(folder, seconds) : -1;
    std::filesystem::remove_all(folder);
    if (!recorded)
        return 1;
    double parecordWall = 0;
    const double parecord = RecordWithParecord(seconds, parecordWall);
    if (parecord < 0) {
        std::fprintf(stderr, "parecord failed\n");
        return 1;
    }
    const double encoder = EncodeWithAvcodec(seconds);
    if (encoder < 0) {
        std::fprintf(stderr, "the wmav2 encoder failed\n");
        return 1;
    }
    const double conversion = ConvertWithSwresample(seconds);
    if (conversion < 0) {
        std::fprintf(stderr, "the 48 to 44.1 kHz conversion failed\n");
        return 1;
    }

    // The decoded length is the audio really written; the wall clock stands in without ffprobe.
    const auto rate = [](const EngineResult& result, double cpu) {
        return 1000 * cpu / (result.decoded > 0 ? result.decoded : result.wall);
    };
    const double audio = engine.decoded > 0 ? engine.decoded : engine.wall;
    const double engineRate = rate(engine, engine.cpu);
    const double quietRate = rate(quiet, quiet.cpu);
    const double parecordRate = 1000 * parecord / parecordWall;
    const double encoderRate = 1000 * encoder / seconds;
    const double conversionRate = 1000 * conversion / seconds;
    const double floor = parecordRate + encoderRate;
    const double convertingFloor = floor + conversionRate;
    std::printf("engine    %7.2f ms/s  (%.3f s CPU over %.2f s of audio%s, %.2f s wall)\n",
                engineRate, engine.cpu, audio, engine.decoded > 0 ? " decoded" : "", engine.wall);
    const auto printThreads = [&](const EngineResult& result) {
        for (const auto& [name, used] : result.threads)
            if (used > 0)
                std::printf("    %-16s %6.2f ms/s\n", name.c_str(), rate(result, used));
    };
    printThreads(engine);
    std::printf("no data   %7.2f ms/s  (the engine with SampleData declined: no buffer crosses)\n",
                quietRate);
    printThreads(quiet);
    if (ffmpeg >= 0)
        std::printf(
            "ffmpeg    %7.2f ms/s  (its own capture to the same profile, start-up included)\n",
            1000 * ffmpeg / seconds);
    else
        std::printf("ffmpeg       -       (did not record)\n");
    std::printf("parecord  %7.2f ms/s  (%.3f s CPU over %.2f s)\n", parecordRate, parecord,
                parecordWall);
    std::printf("encoder   %7.2f ms/s  (%.3f s CPU over %d s)\n", encoderRate, encoder, seconds);
    std::printf("convert   %7.2f ms/s  (%.3f s CPU over %d s, 48 to 44.1 kHz)\n", conversionRate,
                conversion, seconds);
    std::printf("floor     %7.2f ms/s  (parecord + encoder)\n", floor);
    std::printf("ratio     %7.3f  (engine / floor, goal <= 1.15)\n", engineRate / floor);
    std::printf("floor+cv  %7.2f ms/s  (with the conversion the server does for parecord)\n",
                convertingFloor);
    std::printf("ratio+cv  %7.3f  (engine / floor with conversion)\n",
                engineRate / convertingFloor);
    std::printf("no data   %7.3f  (declined / floor), %.3f with conversion\n", quietRate / floor,
                quietRate / convertingFloor);
    return 0;
}
