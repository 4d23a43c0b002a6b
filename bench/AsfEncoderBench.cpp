// What recording through the ASF writer costs over FFmpeg's WMA encoder alone: one minute of CD
// audio encoded to wmav2 at 128 kbit/s, once through AsfEncoder (conversion, encoding, muxing,
// writing each packet to a file) and once through plain avcodec (the encoder and nothing else).
// AsfWriterOverEncoder reports both processor times and their ratio from one run of each.
#include "AsfEncoder.h"
#include "CpuTime.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "BareEncoder.h"
#include "BenchSignal.h"

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint32_t Channels = 2;
constexpr uint32_t BitRate = 128000;
constexpr int Seconds = 60;
// Capture hands the writer about 20 ms at a time.
constexpr size_t BufferFrames = Rate / 50;

const std::vector<int16_t>& Minute()
{
    static const std::vector<int16_t> pcm = MusicLikeStereo(Rate, Seconds);
    return pcm;
}

std::string TempPath()
{
    return (std::filesystem::temp_directory_path() /
            ("quillet-bench-" + std::to_string(getpid()) + ".wma"))
        .string();
}

// Records the minute through the writer; false when anything failed.
bool EncodeWithWriter(const std::string& path)
{
    AsfEncoder encoder;
    AsfEncoder::Config config;
    config.path = path;
    config.overwrite = true;
    config.inputRate = Rate;
    config.inputChannels = Channels;
    config.target = {AsfEncoder::Codec::Wmav2, Rate, Channels, BitRate};
    if (FAILED(encoder.Open(config)))
        return false;
    const auto& pcm = Minute();
    for (size_t frame = 0; frame < pcm.size() / Channels; frame += BufferFrames) {
        const size_t frames = std::min(BufferFrames, pcm.size() / Channels - frame);
        if (FAILED(encoder.Write(pcm.data() + frame * Channels, frames * Channels * 2, 0)))
            return false;
    }
    return SUCCEEDED(encoder.Finish());
}

// Encodes the minute with avcodec alone. Returns the bytes encoded, or -1.
int64_t EncodeWithAvcodec()
{
    return EncodeWithBareWmav2(Minute(), int(Rate), int(Channels), BitRate);
}

void AsfWriterMinute(benchmark::State& state)
{
    const std::string path = TempPath();
    Minute();
    for (auto _ : state) {
        if (!EncodeWithWriter(path))
            state.SkipWithError("the writer failed");
    }
    std::filesystem::remove(path);
}

void AvcodecMinute(benchmark::State& state)
{
    Minute();
    for (auto _ : state) {
        if (EncodeWithAvcodec() < 0)
            state.SkipWithError("avcodec failed");
    }
}

void AsfWriterOverEncoder(benchmark::State& state)
{
    const std::string path = TempPath();
    Minute();
    // One untimed pass of each first, so that neither pays for loading code and tables.
    EncodeWithWriter(path);
    EncodeWithAvcodec();
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        const bool written = EncodeWithWriter(path);
        const double middle = ProcessCpuSeconds();
        const bool encoded = EncodeWithAvcodec() >= 0;
        const double end = ProcessCpuSeconds();
        if (!written || !encoded) {
            state.SkipWithError("encoding failed");
            break;
        }
        state.counters["writer_cpu_s"] = middle - start;
        state.counters["avcodec_cpu_s"] = end - middle;
        state.counters["ratio"] = (middle - start) / (end - middle);
    }
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(AsfWriterMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AvcodecMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AsfWriterOverEncoder)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
