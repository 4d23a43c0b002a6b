// What keeping the header up to date costs a recording: one minute of audio recorded through
// AsfEncoder with the live header (a rewrite of the header's counts after every packet, and the
// disk reserve) against the same minute with the header left to the trailer. Each target runs
// the two ways in turn, several rounds, and reports the best processor time of each and their
// ratio; the highest rate has the most packets, so the most updates, per second of audio.
#include "AsfEncoder.h"
#include "CpuTime.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchSignal.h"

namespace {

constexpr uint32_t InputRate = 48000;
constexpr uint32_t InputChannels = 2;
constexpr int Seconds = 60;
constexpr int Rounds = 3;
// Capture hands the writer about 20 ms at a time.
constexpr size_t BufferFrames = InputRate / 50;

const std::vector<int16_t>& Minute()
{
    static const std::vector<int16_t> pcm = MusicLikeStereo(InputRate, Seconds);
    return pcm;
}

// Records the minute; the processor time it took, or a negative value when anything failed.
double Record(const AsfEncoder::Target& target, bool liveHeader)
{
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quillet-live-header-bench-" + std::to_string(getpid()) + ".wma"))
                                 .string();
    const double start = ProcessCpuSeconds();
    bool ok = false;
    {
        AsfEncoder encoder;
        AsfEncoder::Config config;
        config.path = path;
        config.overwrite = true;
        config.liveHeader = liveHeader;
        config.inputRate = InputRate;
        config.inputChannels = InputChannels;
        config.target = target;
        ok = SUCCEEDED(encoder.Open(config));
        const auto& pcm = Minute();
        for (size_t frame = 0; ok && frame < pcm.size() / InputChannels; frame += BufferFrames) {
            const size_t frames = std::min(BufferFrames, pcm.size() / InputChannels - frame);
            ok = SUCCEEDED(encoder.Write(pcm.data() + frame * InputChannels,
                                         frames * InputChannels * sizeof(int16_t), 0));
        }
        ok = SUCCEEDED(encoder.Finish()) && ok;
    }
    const double seconds = ProcessCpuSeconds() - start;
    std::filesystem::remove(path);
    return ok ? seconds : -1;
}

void LiveHeaderOverTrailerOnly(benchmark::State& state)
{
    const AsfEncoder::Target target{AsfEncoder::Codec::Wmav2, uint32_t(state.range(0)),
                                    uint32_t(state.range(1)), uint32_t(state.range(2))};
    Minute();
    // An untimed pass first, so that neither way pays for loading code and tables.
    Record(target, true);
    for (auto _ : state) {
        double live = 1e9, plain = 1e9;
        for (int round = 0; round < Rounds; ++round) {
            const double withHeader = Record(target, true);
            const double without = Record(target, false);
            if (withHeader < 0 || without < 0) {
                state.SkipWithError("recording failed");
                return;
            }
            live = std::min(live, withHeader);
            plain = std::min(plain, without);
        }
        state.counters["live_header_cpu_s"] = live;
        state.counters["trailer_only_cpu_s"] = plain;
        state.counters["ratio"] = live / plain;
    }
}

} // namespace

BENCHMARK(LiveHeaderOverTrailerOnly)
    ->Args({48000, 2, 192000})
    ->Args({44100, 2, 128000})
    ->Args({8000, 1, 32000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
