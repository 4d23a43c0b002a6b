// The input signal graph against a plain copy of the same buffers: what one engine buffer costs
// the user-interface thread, its values and one paint of the widget at the form's size.
//
//   build/release/bin/signal-graph-bench [--benchmark_repetitions=3]
//
// The buffers are 20 ms of a 440 Hz sine in 48 kHz stereo 16-bit (3840 bytes), one second of
// them in turn, as the engine delivers them. The paint renders the widget into an image the way
// the backing store would, on the offscreen platform. After the run it prints the share of one
// core that the graph takes at 50 buffers a second, and its ratio to the copy.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "SignalGraph.h"

namespace {

constexpr int sampleRate = 48000;
constexpr int channels = 2;
constexpr int framesPerBuffer = sampleRate / 50; // 20 ms
constexpr int buffersPerSecond = 50;
constexpr int bytesPerBuffer = framesPerBuffer * channels * 2;
// The "Graph" static control of the recorder form's template, in pixels at the usual font.
constexpr int graphWidth = 346;
constexpr int graphHeight = 60;

// One second of a half-scale sine, cut into the engine's buffers; the phase runs on across them.
const std::vector<std::vector<BYTE>>& Buffers()
{
    static const std::vector<std::vector<BYTE>> buffers = [] {
        std::vector<std::vector<BYTE>> made(buffersPerSecond);
        int64_t frame = 0;
        for (std::vector<BYTE>& buffer : made) {
            buffer.reserve(bytesPerBuffer);
            for (int i = 0; i < framesPerBuffer; ++i, ++frame) {
                double phase = 2 * std::numbers::pi * 440 * double(frame) / sampleRate;
                auto word = uint16_t(int16_t(std::lround(16384 * std::sin(phase))));
                for (int channel = 0; channel < channels; ++channel) {
                    buffer.push_back(BYTE(word & 0xFF)); // little-endian
                    buffer.push_back(BYTE(word >> 8));
                }
            }
        }
        return made;
    }();
    return buffers;
}

// A running graph at the form's size, as the capture events leave it.
struct Graph
{
    Graph()
    {
        graph.resize(graphWidth, graphHeight);
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = channels;
        format.nSamplesPerSec = sampleRate;
        format.nBlockAlign = channels * 2;
        format.nAvgBytesPerSec = sampleRate * format.nBlockAlign;
        format.wBitsPerSample = 16;
        if (FAILED(graph.SetFormat(&format)))
            std::abort();
        graph.active = true;
    }
    SignalGraph graph;
    // Qt's preferred format for raster painting; a plain RGB32 image measures the same.
    QImage image{graphWidth, graphHeight, QImage::Format_ARGB32_Premultiplied};
};

void BM_SignalGraph(benchmark::State& state)
{
    const auto& buffers = Buffers();
    Graph graph;
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<BYTE>& buffer = buffers[next];
        next = (next + 1) % buffers.size();
        graph.graph.ProcessSamples(buffer.data(), uint32_t(buffer.size()));
        graph.graph.render(&graph.image);
        benchmark::DoNotOptimize(graph.image.constBits());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytesPerBuffer);
}

// The two halves on their own, to show where the time goes.
void BM_SignalGraphValues(benchmark::State& state)
{
    const auto& buffers = Buffers();
    Graph graph;
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<BYTE>& buffer = buffers[next];
        next = (next + 1) % buffers.size();
        graph.graph.ProcessSamples(buffer.data(), uint32_t(buffer.size()));
        benchmark::DoNotOptimize(graph.graph.Values().data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytesPerBuffer);
}

void BM_SignalGraphPaint(benchmark::State& state)
{
    Graph graph;
    const std::vector<BYTE>& buffer = Buffers()[0];
    graph.graph.ProcessSamples(buffer.data(), uint32_t(buffer.size()));
    for (auto _ : state) {
        graph.graph.render(&graph.image);
        benchmark::DoNotOptimize(graph.image.constBits());
    }
}

// The baseline: the same buffers copied into a vector that keeps its capacity.
void BM_PlainCopy(benchmark::State& state)
{
    const auto& buffers = Buffers();
    std::vector<BYTE> copy(bytesPerBuffer);
    size_t next = 0;
    for (auto _ : state) {
        const std::vector<BYTE>& buffer = buffers[next];
        next = (next + 1) % buffers.size();
        std::memcpy(copy.data(), buffer.data(), buffer.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytesPerBuffer);
}

BENCHMARK(BM_SignalGraph);
BENCHMARK(BM_SignalGraphValues);
BENCHMARK(BM_SignalGraphPaint);
BENCHMARK(BM_PlainCopy);

// The console table as usual, and the CPU time per buffer of every run kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    SummaryReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            double seconds =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            times[run.run_name.function_name].push_back(seconds);
        }
    }

    // The median over the repetitions, or 0 when the benchmark did not run.
    double SecondsPerBuffer(const std::string& name) const
    {
        auto found = times.find(name);
        if (found == times.end())
            return 0;
        std::vector<double> sorted = found->second;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> times;
};

void PrintShare(const SummaryReporter& reporter, const char* name, const char* what)
{
    double seconds = reporter.SecondsPerBuffer(name);
    double copy = reporter.SecondsPerBuffer("BM_PlainCopy");
    if (seconds == 0)
        return;
    std::printf("%-28s %8.2f us per buffer, %6.3f %% of one core at %d buffers/s", what,
                seconds * 1e6, seconds * buffersPerSecond * 100, buffersPerSecond);
    if (copy > 0)
        std::printf(", %.0f x the plain copy", seconds / copy);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nCPU time, median of the repetitions:\n");
    PrintShare(reporter, "BM_SignalGraph", "values and one paint");
    PrintShare(reporter, "BM_SignalGraphValues", "values only");
    PrintShare(reporter, "BM_SignalGraphPaint", "one paint only");
    double copy = reporter.SecondsPerBuffer("BM_PlainCopy");
    if (copy > 0)
        std::printf("%-28s %8.3f us per buffer\n", "plain copy", copy * 1e6);
    return 0;
}
