// The audio capture filter on the real audio server (and, beside it, on virtual devices for
// several lines and a missing mixer): what it delivers, when, with which times, its state
// changes, its mixer and the loss of its device.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <numeric>

#include "DshowTestSupport.h"
#include "TempFolder.h"
#include "VirtualDevices.h"
#include "user/User.h"

namespace {

constexpr const char* kMonitor = "Monitor of Quillet Test Output";
constexpr double kBytesPerSecond = 48000.0 * 4; // the test server's 48 kHz stereo s16le

class AudioCaptureFilterTest : public ::testing::Test
{
protected:
    ComScope com;
};

// Checks that consecutive buffers abut: each starts where the previous one ended.
void ExpectContiguous(const std::vector<GrabbedBuffer>& buffers, double bytesPerSecond)
{
    for (size_t i = 1; i < buffers.size(); ++i) {
        double expected = buffers[i - 1].time + buffers[i - 1].data.size() / bytesPerSecond;
        ASSERT_NEAR(expected, buffers[i].time, 1e-6) << "buffer " << i;
    }
}

// A private pipe source, so that no other test reads or writes it.

} // namespace

TEST_F(AudioCaptureFilterTest, MonitorDeliversOrderedBuffersEvery20Ms)
{
    REQUIRE_AUDIO_SERVER();
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build(kMonitor));

    // The connection carries the PCM format that the device announces first.
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(S_OK, capture.grabber->GetConnectedMediaType(&type));
    const WAVEFORMATEX* format = WaveFormatOf(type);
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(MEDIASUBTYPE_PCM, type.subtype);
    EXPECT_EQ(48000u, format->nSamplesPerSec);
    EXPECT_EQ(2, format->nChannels);
    EXPECT_EQ(16, format->wBitsPerSample);
    FreeMediaType(type);

    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    // A null sink's monitor may take up to the sink's 2 s latency to deliver at all.
    ASSERT_TRUE(capture.callback->WaitForBytes(1, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_EQ(S_OK, capture.control->Stop());
    auto stopped = std::chrono::steady_clock::now();

    std::vector<GrabbedBuffer> buffers = capture.callback->Buffers();
    ASSERT_GT(buffers.size(), 60u);
    EXPECT_NEAR(0.0, buffers.front().time, 1e-9);
    ExpectContiguous(buffers, kBytesPerSecond);
    // The captured time is what the lengths add up to, and it grows in real time from the first
    // buffer on.
    double captured = capture.callback->Bytes() / kBytesPerSecond;
    EXPECT_NEAR(buffers.back().time + buffers.back().data.size() / kBytesPerSecond, captured, 1e-6);
    double flowing = std::chrono::duration<double>(stopped - buffers.front().arrival).count();
    EXPECT_NEAR(flowing, captured, 0.3);
    // About every 20 ms: the median gap between arrivals, in a generous band.
    std::vector<double> gaps;
    for (size_t i = 1; i < buffers.size(); ++i)
        gaps.push_back(
            std::chrono::duration<double>(buffers[i].arrival - buffers[i - 1].arrival).count());
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_GT(gaps[gaps.size() / 2], 0.005);
    EXPECT_LT(gaps[gaps.size() / 2], 0.060);
    // The null sink plays a 440 Hz sine.
    std::vector<BYTE> all;
    for (const GrabbedBuffer& buffer : buffers)
        all.insert(all.end(), buffer.data.begin(), buffer.data.end());
    EXPECT_NEAR(440.0, ZeroCrossingFrequency(all, 2, 48000), 10.0);
}

TEST_F(AudioCaptureFilterTest, PipePcmArrivesByteForByteAndNoStateWaitsForIt)
{
    REQUIRE_AUDIO_SERVER();
    PipeSource pipe;
    ASSERT_TRUE(pipe.module->Loaded());
    ASSERT_GE(pipe.writer, 0);
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build(pipe.name));

    // No data yet, and none is waited for: a live source cannot cue, so asking for the state
    // answers at once even without a time limit.
    EXPECT_EQ(S_OK, capture.control->Pause());
    OAFilterState state = -1;
    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(VFW_S_CANT_CUE, capture.control->GetState(LONG(INFINITE), &state));
    EXPECT_EQ(State_Paused, state);
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    EXPECT_EQ(S_OK, capture.control->GetState(LONG(INFINITE), &state));
    EXPECT_EQ(State_Running, state);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));

    std::vector<BYTE> pcm(48000 * 4); // one second of a pattern no generator makes
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = BYTE((i * 7 + i / 256) & 0xFF);
    pipe.Write(pcm);
    EXPECT_EQ(S_OK, capture.control->GetState(LONG(INFINITE), &state));
    EXPECT_EQ(State_Running, state);
    EXPECT_TRUE(capture.callback->WaitForBytes(pcm.size(), std::chrono::seconds(10)));
    ASSERT_EQ(S_OK, capture.control->Stop());

    std::vector<BYTE> received;
    for (const GrabbedBuffer& buffer : capture.callback->Buffers())
        received.insert(received.end(), buffer.data.begin(), buffer.data.end());
    ASSERT_GE(received.size(), pcm.size());
    received.resize(pcm.size());
    EXPECT_TRUE(received == pcm) << "the captured bytes differ from those written";
}

TEST_F(AudioCaptureFilterTest, PauseIsLeftOutOfStreamTime)
{
    REQUIRE_AUDIO_SERVER();
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build(kMonitor));
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_EQ(S_OK, capture.control->Pause());
    EXPECT_EQ(State_Paused, capture.SettledState());
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // a callback under way ends
    size_t bytesAtPause = capture.callback->Bytes();
    LONGLONG paused = 0;
    ASSERT_EQ(S_OK, capture.seeking->GetCurrentPosition(&paused));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    LONGLONG stillPaused = 0;
    ASSERT_EQ(S_OK, capture.seeking->GetCurrentPosition(&stillPaused));
    EXPECT_EQ(paused, stillPaused);
    // Nothing is delivered while paused.
    size_t bytesWhilePaused = capture.callback->Bytes();
    EXPECT_EQ(bytesAtPause, bytesWhilePaused);
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_EQ(S_OK, capture.control->Stop());

    LONGLONG position = 0;
    ASSERT_EQ(S_OK, capture.seeking->GetCurrentPosition(&position));
    EXPECT_NEAR(2.0, position / 1e7, 0.4);
    std::vector<GrabbedBuffer> buffers = capture.callback->Buffers();
    ASSERT_FALSE(buffers.empty());
    EXPECT_GT(capture.callback->Bytes(), bytesWhilePaused);
    // Sample times run on across the pause without a gap.
    ExpectContiguous(buffers, kBytesPerSecond);
    // What was captured never runs ahead of the stream time.
    double captured = capture.callback->Bytes() / kBytesPerSecond;
    EXPECT_LE(captured, position / 1e7 + 0.05);
}

TEST_F(AudioCaptureFilterTest, BlockedClientLosesNoBuffer)
{
    REQUIRE_AUDIO_SERVER();
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build(kMonitor));
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    ASSERT_TRUE(capture.callback->WaitForBytes(1, std::chrono::seconds(10)));
    // The client thread is busy; capture goes on without it.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(S_OK, capture.control->Stop());

    std::vector<GrabbedBuffer> buffers = capture.callback->Buffers();
    ASSERT_GT(buffers.size(), 40u);
    for (const GrabbedBuffer& buffer : buffers)
        EXPECT_NE(std::this_thread::get_id(), buffer.thread);
    ExpectContiguous(buffers, kBytesPerSecond);
    // Everything captured while the client slept is there.
    auto flowing = std::chrono::duration<double>(buffers.back().arrival - buffers.front().arrival);
    EXPECT_NEAR(flowing.count(), capture.callback->Bytes() / kBytesPerSecond, 0.3);
}

TEST_F(AudioCaptureFilterTest, LostDevicePostsDeviceLostAndStopReturns)
{
    REQUIRE_AUDIO_SERVER();
    std::string sink = UniqueDeviceName("lost");
    ServerModule module("module-null-sink sink_name=" + sink +
                        " sink_properties=device.description=" + sink);
    ASSERT_TRUE(module.Loaded());
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build("Monitor of " + sink));

    constexpr UINT kGraphNotify = WM_USER + 2;
    static int notified;
    notified = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == kGraphNotify)
            ++notified;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    };
    wc.lpszClassName = "QuillletDeviceLostWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(S_OK,
              capture.events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), kGraphNotify, 0));

    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    ASSERT_TRUE(capture.callback->WaitForBytes(1, std::chrono::seconds(10)));
    module.Unload();

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (notified == 0 && std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GE(notified, 1);

    ComPtr<IUnknown> identity;
    capture.capture->QueryInterface(IID_PPV_ARGS(&identity));
    bool lost = false;
    LONG code;
    LONG_PTR p1, p2;
    while (capture.events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        if (code == EC_DEVICE_LOST) {
            lost = true;
            EXPECT_EQ(reinterpret_cast<LONG_PTR>(identity.Get()), p1);
            EXPECT_EQ(0, p2);
        }
        capture.events->FreeEventParams(code, p1, p2);
    }
    EXPECT_TRUE(lost);
    EXPECT_EQ(S_OK, capture.control->Stop());
    EXPECT_EQ(State_Stopped, capture.SettledState());
    DestroyWindow(window);
}

TEST_F(AudioCaptureFilterTest, MixLevelIsTheServerVolume)
{
    REQUIRE_AUDIO_SERVER();
    std::string sink = UniqueDeviceName("level");
    ServerModule module("module-null-sink sink_name=" + sink +
                        " sink_properties=device.description=" + sink);
    ASSERT_TRUE(module.Loaded());
    ComPtr<IBaseFilter> filter = CaptureFilterNamed("Monitor of " + sink);
    ASSERT_TRUE(filter);
    // A source without ports has one line, named after it and identified by its name.
    ComPtr<IPin> line;
    ASSERT_EQ(S_OK, filter->FindPin(quillet::Utf8ToUtf16(sink + ".monitor").c_str(), &line));
    ComPtr<IAMAudioInputMixer> mixer;
    ASSERT_EQ(S_OK, line.As(std::addressof(mixer)));

    ASSERT_EQ(S_OK, mixer->put_MixLevel(0.5));
    std::string reported = RunCommand("pactl get-source-volume " + sink + ".monitor");
    EXPECT_NE(std::string::npos, reported.find("50%")) << reported;
    double level = 0;
    ASSERT_EQ(S_OK, mixer->get_MixLevel(&level));
    EXPECT_NEAR(0.5, level, 0.01);
    RunCommand("pactl set-source-volume " + sink + ".monitor 25%");
    ASSERT_EQ(S_OK, mixer->get_MixLevel(&level));
    EXPECT_NEAR(0.25, level, 0.01);

    EXPECT_EQ(E_INVALIDARG, mixer->put_MixLevel(1.5));
    EXPECT_EQ(E_INVALIDARG, mixer->put_MixLevel(-0.1));
    EXPECT_EQ(E_POINTER, mixer->get_MixLevel(nullptr));
    EXPECT_EQ(S_OK, mixer->put_Enable(TRUE));
    BOOL enabled = FALSE;
    EXPECT_EQ(S_OK, mixer->get_Enable(&enabled));
    EXPECT_EQ(TRUE, enabled);
}

TEST_F(AudioCaptureFilterTest, OutputPinIsACapturePinOfferingPcm)
{
    REQUIRE_AUDIO_SERVER();
    ComPtr<IBaseFilter> filter = CaptureFilterNamed(kMonitor);
    ASSERT_TRUE(filter);
    ComPtr<IPin> output;
    ASSERT_EQ(S_OK, filter->FindPin(u"Capture", &output));
    PIN_DIRECTION direction;
    ASSERT_EQ(S_OK, output->QueryDirection(&direction));
    EXPECT_EQ(PINDIR_OUTPUT, direction);

    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(S_OK, output.As(std::addressof(properties)));
    GUID category{};
    DWORD returned = 0;
    ASSERT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                    sizeof category, &returned));
    EXPECT_EQ(PIN_CATEGORY_CAPTURE, category);
    EXPECT_EQ(sizeof(GUID), returned);
    EXPECT_EQ(E_PROP_SET_UNSUPPORTED,
              properties->Get(MEDIATYPE_Audio, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category, &returned));
    EXPECT_EQ(E_PROP_ID_UNSUPPORTED, properties->Get(AMPROPSETID_Pin, 7, nullptr, 0, &category,
                                                     sizeof category, &returned));

    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, output->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* first = nullptr;
    ASSERT_EQ(S_OK, types->Next(1, &first, nullptr));
    const WAVEFORMATEX* format = WaveFormatOf(*first);
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(WAVE_FORMAT_PCM, format->wFormatTag);
    EXPECT_EQ(16, format->wBitsPerSample);
    EXPECT_EQ(48000u, format->nSamplesPerSec);
    EXPECT_EQ(2, format->nChannels);
    EXPECT_EQ(S_OK, output->QueryAccept(first));
    DeleteMediaType(first);

    // The output answers no mixer; it is not a recording line.
    void* mixer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, output->QueryInterface(IID_IAMAudioInputMixer, &mixer));
    EXPECT_EQ(nullptr, mixer);
    CLSID clsid{};
    EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_EQ(CLSID_AudioRecord, clsid);
}

// Beside the server tests above: lines and mixers that a test server cannot offer.
TEST_F(AudioCaptureFilterTest, VirtualLinesAreSelectedByEnabling)
{
    VirtualDevices devices(kVirtualDeviceText);
    ComPtr<IBaseFilter> filter = CaptureFilterNamed("Quillet Virtual Lines");
    ASSERT_TRUE(filter);
    std::vector<ComPtr<IAMAudioInputMixer>> mixers;
    for (const char16_t* id : {u"Microphone", u"Line In", u"CD Audio"}) {
        ComPtr<IPin> pin;
        ASSERT_EQ(S_OK, filter->FindPin(id, &pin));
        ComPtr<IAMAudioInputMixer> mixer;
        ASSERT_EQ(S_OK, pin.As(std::addressof(mixer)));
        mixers.push_back(mixer);
    }
    for (size_t chosen = 0; chosen < mixers.size(); ++chosen) {
        ASSERT_EQ(S_OK, mixers[chosen]->put_Enable(TRUE));
        for (size_t i = 0; i < mixers.size(); ++i) {
            BOOL enabled = 2;
            ASSERT_EQ(S_OK, mixers[i]->get_Enable(&enabled));
            EXPECT_EQ(i == chosen ? TRUE : FALSE, enabled) << "line " << i;
        }
    }
    double level = 0;
    ASSERT_EQ(S_OK, mixers[0]->get_MixLevel(&level));
    EXPECT_DOUBLE_EQ(0.5, level);
}

TEST_F(AudioCaptureFilterTest, MixerlessVirtualDeviceHasNoMixer)
{
    VirtualDevices devices(kVirtualDeviceText);
    ComPtr<IBaseFilter> filter = CaptureFilterNamed("Quillet Virtual Plain");
    ASSERT_TRUE(filter);
    ComPtr<IPin> line = PinOf(filter.Get(), PINDIR_INPUT);
    ASSERT_TRUE(line);
    void* mixer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, line->QueryInterface(IID_IAMAudioInputMixer, &mixer));
    EXPECT_EQ(nullptr, mixer);
    // Its one line is named after the device.
    LPWSTR id = nullptr;
    ASSERT_EQ(S_OK, line->QueryId(&id));
    EXPECT_EQ(std::u16string(u"Quillet Virtual Plain"), id);
    CoTaskMemFree(id);
}

TEST_F(AudioCaptureFilterTest, VirtualToneArrivesAtItsFrequency)
{
    VirtualDevices devices(kVirtualDeviceText);
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build("Quillet Virtual Lines"));
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    ASSERT_TRUE(capture.callback->WaitForBytes(48000 * 4 / 2, std::chrono::seconds(10)));
    ASSERT_EQ(S_OK, capture.control->Stop());
    std::vector<BYTE> all;
    for (const GrabbedBuffer& buffer : capture.callback->Buffers())
        all.insert(all.end(), buffer.data.begin(), buffer.data.end());
    EXPECT_NEAR(1000.0, ZeroCrossingFrequency(all, 2, 48000), 15.0);
    ExpectContiguous(capture.callback->Buffers(), kBytesPerSecond);
}
