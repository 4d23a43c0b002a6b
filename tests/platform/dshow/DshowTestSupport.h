// Shared pieces of the filter graph tests: COM set-up, the private audio server (pactl, modules
// loaded for one test), a sample grabber callback that records what it receives, and building a
// capture graph for a named device. Everything runs on the test thread except the callback,
// which the streaming thread calls.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SignalAnalysis.h"
#include "TempFolder.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "dshow/Strmif.h"

// Skips the test when no audio server answers, unless QUILLET_REQUIRE_AUDIO_SERVER=1, when the
// test fails instead.
#define REQUIRE_AUDIO_SERVER()                                                                     \
    do {                                                                                           \
        if (!AudioServerAvailable()) {                                                             \
            const char* required = std::getenv("QUILLET_REQUIRE_AUDIO_SERVER");                    \
            if (required && std::string(required) == "1")                                          \
                FAIL() << "the audio test server is required but PULSE_SERVER does not answer";    \
            GTEST_SKIP() << "no audio test server (start scripts/audio-test-server.sh and eval "   \
                            "its env)";                                                            \
        }                                                                                          \
    } while (false)

// Runs a shell command; its standard output, trimmed of the last newline.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    int result = pclose(pipe);
    if (status)
        *status = result;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

inline bool AudioServerAvailable()
{
    static const bool available = [] {
        if (!std::getenv("PULSE_SERVER"))
            return false;
        int status = -1;
        RunCommand("pactl info >/dev/null 2>&1", &status);
        return status == 0;
    }();
    return available;
}

// A module of the audio server that lives as long as the object, so that a test may change or
// remove a device without disturbing the tests that run beside it.
class ServerModule
{
public:
    explicit ServerModule(const std::string& arguments)
    {
        std::string index = RunCommand("pactl load-module " + arguments);
        id = index.empty() ? -1 : std::atoi(index.c_str());
    }
    ~ServerModule() { Unload(); }
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    bool Loaded() const { return id >= 0; }
    void Unload()
    {
        if (id >= 0)
            RunCommand("pactl unload-module " + std::to_string(id) + " 2>/dev/null");
        id = -1;
    }

private:
    int id = -1;
};

// A name unique to this process, for devices a test creates.
inline std::string UniqueDeviceName(const std::string& stem)
{
    static int counter = 0;
    return "quillet_" + stem + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

struct ComScope
{
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

// What BufferCB saw of one sample.
struct GrabbedBuffer
{
    double time;
    std::vector<BYTE> data;
    std::thread::id thread;
    std::chrono::steady_clock::time_point arrival;
};

// A sample grabber callback that keeps a copy of every buffer. Any thread.
class RecordingCallback final : public ComObject<ISampleGrabberCB>
{
public:
    RecordingCallback() : ComObject(nullptr, nullptr) {}

    HRESULT SampleCB(double, IMediaSample*) override
    {
        ++sampleCalls;
        return S_OK;
    }
    HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) override
    {
        std::lock_guard lock(mutex);
        buffers.push_back(GrabbedBuffer{SampleTime, std::vector<BYTE>(pBuffer, pBuffer + BufferLen),
                                        std::this_thread::get_id(),
                                        std::chrono::steady_clock::now()});
        return S_OK;
    }

    std::vector<GrabbedBuffer> Buffers()
    {
        std::lock_guard lock(mutex);
        return buffers;
    }
    size_t Bytes()
    {
        std::lock_guard lock(mutex);
        size_t total = 0;
        for (const GrabbedBuffer& buffer : buffers)
            total += buffer.data.size();
        return total;
    }
    // Waits until at least `bytes` arrived or the time-out passed.
    bool WaitForBytes(size_t bytes, std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Bytes() < bytes) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::atomic<int> sampleCalls{0};

private:
    std::mutex mutex;
    std::vector<GrabbedBuffer> buffers;
};

// The friendly name a moniker's property bag gives.
inline std::string FriendlyNameOf(IMoniker* moniker)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))))
        return {};
    Variant name;
    if (FAILED(bag->Read(u"FriendlyName", &name, nullptr)) || name.vt != VT_BSTR)
        return {};
    return quillet::Utf16ToUtf8(name.bstrVal);
}

// The friendly names of the audio input category, in order.
inline std::vector<std::string> AudioInputNames()
{
    std::vector<std::string> names;
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&devices))))
        return names;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0) != S_OK)
        return names;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK)
        names.push_back(FriendlyNameOf(moniker.Get()));
    return names;
}

// The capture filter of the audio input device with this friendly name, or null.
inline ComPtr<IBaseFilter> CaptureFilterNamed(const std::string& friendlyName)
{
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&devices))))
        return nullptr;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0) != S_OK)
        return nullptr;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        if (FriendlyNameOf(moniker.Get()) != friendlyName)
            continue;
        ComPtr<IBaseFilter> filter;
        moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter));
        return filter;
    }
    return nullptr;
}

// The pin of a filter with this direction at this position among them, or null.
inline ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, int position = 0)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        pin->QueryDirection(&dir);
        if (dir == direction && position-- == 0)
            return pin;
    }
    return nullptr;
}

// capture device -> sample grabber -> null renderer, with a recording callback in buffer mode.
struct CaptureGraph
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaSeeking> seeking;
    ComPtr<IBaseFilter> capture;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IBaseFilter> renderer;
    ComPtr<RecordingCallback> callback = ComPtr<RecordingCallback>::Adopt(new RecordingCallback);

    // Builds the graph; a failed step leaves a gtest failure.
    void Build(const std::string& friendlyName)
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&graph)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(control)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(events)));
        ASSERT_EQ(S_OK, graph.As(std::addressof(seeking)));
        capture = CaptureFilterNamed(friendlyName);
        ASSERT_TRUE(capture) << "no capture device named " << friendlyName;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&grabberFilter)));
        ASSERT_EQ(S_OK, grabberFilter.As(std::addressof(grabber)));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&renderer)));
        ASSERT_EQ(S_OK, graph->AddFilter(capture.Get(), u"Capture"));
        ASSERT_EQ(S_OK, graph->AddFilter(grabberFilter.Get(), u"Grabber"));
        ASSERT_EQ(S_OK, graph->AddFilter(renderer.Get(), u"Renderer"));
        ASSERT_EQ(S_OK, grabber->SetCallback(callback.Get(), 1));
        ComPtr<IPin> captureOut = PinOf(capture.Get(), PINDIR_OUTPUT);
        ASSERT_TRUE(captureOut);
        ASSERT_EQ(S_OK,
                  graph->Connect(captureOut.Get(), PinOf(grabberFilter.Get(), PINDIR_INPUT).Get()));
        ASSERT_EQ(S_OK, graph->Connect(PinOf(grabberFilter.Get(), PINDIR_OUTPUT).Get(),
                                       PinOf(renderer.Get(), PINDIR_INPUT).Get()));
    }

    // The state after waiting for any pending transition.
    OAFilterState SettledState()
    {
        OAFilterState state = -1;
        control->GetState(LONG(INFINITE), &state);
        return state;
    }
};

// The dominant frequency of interleaved s16le audio (first channel), by rising zero crossings,
// as the median over quarter seconds.
inline double ZeroCrossingFrequency(const std::vector<BYTE>& pcm, int channels, int rate)
{
    std::vector<int16_t> mono;
    audio_test::AppendChannel(pcm.data(), pcm.size(), uint32_t(channels), 0, mono);
    return audio_test::MedianToneFrequency(mono, uint32_t(rate));
}

// A pipe source of the test's own on the audio server, fed from the test: what is written
// comes out of the device byte for byte.
struct PipeSource
{
    TempFolder folder;
    std::string name = UniqueDeviceName("pipe");
    std::string fifo = folder / "pipe.fifo";
    std::unique_ptr<ServerModule> module;
    int writer = -1;

    PipeSource()
    {
        module = std::make_unique<ServerModule>(
            "module-pipe-source source_name=" + name + " file=" + fifo +
            " format=s16le rate=48000 channels=2 source_properties=device.description=" + name);
        // A writer that is there but silent: the source waits for data instead of making up
        // silence.
        writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    }
    ~PipeSource()
    {
        if (writer >= 0)
            close(writer);
    }
    void Write(const std::vector<BYTE>& pcm)
    {
        size_t done = 0;
        while (done < pcm.size()) {
            ssize_t wrote = write(writer, pcm.data() + done, pcm.size() - done);
            if (wrote > 0)
                done += size_t(wrote);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};
