// The capture engine's hand-off of a buffer, both halves, against plain copies of the same
// buffers: the streaming thread's callback must cost a copy, one allocation and a post, and the
// client thread's drain a dispatch and a free, nothing that grows with waiting.
//
//   build/release/bin/buffer-callback-bench
//
// It registers the engine into a private registry folder, builds a capture graph on a virtual
// device and calls the callback as the streaming thread would. Three pairs, each against its own
// baseline, per buffer size:
//   BM_BufferCallback / BM_PlainCopyHeld   the callback, with up to 256 buffers waiting, against
//                                          copies held the same way (both pay the same fresh
//                                          pages for large buffers, so the ratio is the callback's)
//   BM_Drain / BM_FreeHeld                 the drain of 256 posted buffers into the event sink,
//                                          against freeing 256 held copies (time per batch;
//                                          items per second are buffers)
//   BM_HandOff / BM_PlainCopy              callback and drain of one buffer at a time, the
//                                          steady state of a recording, against copy and free
// Report: the ratio within each pair.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "AcceptingSink.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoints.h"
#include "corvane.h"
#include "dshow/Strmif.h"
#include "user/User.h"

namespace {

struct Engine
{
    ComPtr<IWMACapture> capture;
    ComPtr<ISampleGrabberCB> callback;
    ComPtr<AcceptingSink> sink = ComPtr<AcceptingSink>::Adopt(new AcceptingSink);
};

Engine& TheEngine()
{
    static Engine* engine = [] {
        auto* made = new Engine;
        std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("quillet-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("QUILLET_REGISTRY_DIR", (folder / "registry").c_str(), 1);
        std::ofstream(folder / "devices.conf") << "[device]\nname = Bench Line\nline = In\n"
                                                  "signal = silence\nrate = 48000\nchannels = 2\n";
        setenv("QUILLET_VIRTUAL_DEVICES", (folder / "devices.conf").c_str(), 1);
        std::string regsvr = std::string(QUILLET_REGSVR) + " " + QUILLET_ENGINE_MODULE;
        if (std::system(regsvr.c_str()) != 0)
            std::abort();
        CoInitialize(nullptr);
        if (FAILED(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&made->capture))))
            std::abort();
        ComPtr<IConnectionPointContainer> container = made->capture.As<IConnectionPointContainer>();
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        container->FindConnectionPoint(DIID__IWMACaptureEvents, &point);
        point->Advise(static_cast<IDispatch*>(made->sink.Get()), &cookie);
        made->capture->Prepare();
        made->capture->put_SourceId(Bstr::FromUtf8("Bench Line").Get());
        made->capture->put_OutputPath(Bstr::FromUtf8((folder / "bench.wma").string()).Get());
        if (FAILED(made->capture->Build()))
            std::abort();
        made->callback = made->capture.As<ISampleGrabberCB>();
        return made;
    }();
    return *engine;
}

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

constexpr int Batch = 256;

void BM_BufferCallback(benchmark::State& state)
{
    Engine& engine = TheEngine();
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    int batch = 0;
    for (auto _ : state) {
        engine.callback->BufferCB(1.0, buffer.data(), LONG(buffer.size()));
        if (++batch == Batch) {
            state.PauseTiming();
            Drain();
            batch = 0;
            state.ResumeTiming();
        }
    }
    Drain(); // the timed loop is over
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_PlainCopyHeld(benchmark::State& state)
{
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    std::vector<std::vector<BYTE>> held;
    held.reserve(Batch);
    for (auto _ : state) {
        held.emplace_back(buffer);
        benchmark::DoNotOptimize(held.back().data());
        if (int(held.size()) == Batch) {
            state.PauseTiming();
            held.clear();
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// Manual time: each iteration posts a batch untimed and times only its drain; items are buffers.
void BM_Drain(benchmark::State& state)
{
    Engine& engine = TheEngine();
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    for (auto _ : state) {
        for (int i = 0; i < Batch; ++i)
            engine.callback->BufferCB(1.0, buffer.data(), LONG(buffer.size()));
        auto start = std::chrono::steady_clock::now();
        Drain();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Batch);
}

void BM_FreeHeld(benchmark::State& state)
{
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    std::vector<std::vector<BYTE>> held;
    held.reserve(Batch);
    for (auto _ : state) {
        for (int i = 0; i < Batch; ++i)
            held.emplace_back(buffer);
        benchmark::DoNotOptimize(held.data());
        auto start = std::chrono::steady_clock::now();
        held.clear();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Batch);
}

void BM_HandOff(benchmark::State& state)
{
    Engine& engine = TheEngine();
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    for (auto _ : state) {
        engine.callback->BufferCB(1.0, buffer.data(), LONG(buffer.size()));
        Drain();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_PlainCopy(benchmark::State& state)
{
    std::vector<BYTE> buffer(size_t(state.range(0)), 0x5A);
    for (auto _ : state) {
        std::vector<BYTE> copy(buffer);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

} // namespace

// 20 ms of 48 kHz stereo is 3840 bytes; larger buffers show the cost grows with the copy only.
BENCHMARK(BM_BufferCallback)->Arg(3840)->Arg(38400)->Arg(384000);
BENCHMARK(BM_PlainCopyHeld)->Arg(3840)->Arg(38400)->Arg(384000);
BENCHMARK(BM_Drain)->Arg(3840)->Arg(38400)->Arg(384000)->UseManualTime();
BENCHMARK(BM_FreeHeld)->Arg(3840)->Arg(38400)->Arg(384000)->UseManualTime();
BENCHMARK(BM_HandOff)->Arg(3840)->Arg(38400)->Arg(384000);
BENCHMARK(BM_PlainCopy)->Arg(3840)->Arg(38400)->Arg(384000);
BENCHMARK_MAIN();
