// Shared pieces of the playback and media detector tests: media files made with the ffmpeg
// command line, damaged copies of them, a notify window that the test thread pumps, and a private
// null sink whose monitor records what a graph plays. Test thread only, except the recorder's
// callbacks, which run on the PulseAudio thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CaptureRecorder.h"
#include "DshowTestSupport.h"
#include "PulseRecordStream.h"
#include "SignalAnalysis.h"
#include "TempFolder.h"
#include "user/User.h"

// Makes `name` in `folder` with ffmpeg; the path, or empty when ffmpeg failed.
inline std::string MakeMedia(const TempFolder& folder, const std::string& name,
                             const std::string& arguments)
{
    std::string path = folder / name;
    int status = -1;
    RunCommand("ffmpeg -nostdin -v error -y " + arguments + " '" + path + "' 2>&1", &status);
    return status == 0 ? path : std::string();
}

// A 440 Hz tone of `seconds`, encoded by `codec` (ffmpeg output options).
inline std::string MakeTone(const TempFolder& folder, const std::string& name, double seconds,
                            const std::string& codec)
{
    return MakeMedia(folder, name,
                     "-f lavfi -i sine=frequency=440:duration=" + std::to_string(seconds) + " " +
                         codec);
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string WriteBytes(const TempFolder& folder, const std::string& name,
                              const std::vector<uint8_t>& bytes)
{
    std::string path = folder / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// A damaged copy of a file: number `seed` of a series that alternates truncations anywhere,
// byte flips in the header (the first `headerBytes`), and runs of random bytes over it.
inline std::vector<uint8_t> Mutate(const std::vector<uint8_t>& original, unsigned seed,
                                   size_t headerBytes)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes = original;
    headerBytes = std::min(headerBytes, bytes.size());
    switch (seed % 3) {
    case 0:
        bytes.resize(random() % bytes.size());
        break;
    case 1:
        for (unsigned flips = 1 + random() % 8; flips > 0; --flips)
            bytes[random() % headerBytes] ^= uint8_t(1u << (random() % 8));
        break;
    default: {
        size_t at = random() % headerBytes;
        size_t length = std::min<size_t>(1 + random() % 64, bytes.size() - at);
        for (size_t i = 0; i < length; ++i)
            bytes[at + i] = uint8_t(random());
        break;
    }
    }
    return bytes;
}

// A hidden window that counts the graph's notification messages; pumped by the test thread.
class PlaybackNotifyWindow
{
public:
    static constexpr UINT kMessage = WM_APP + 11;

    PlaybackNotifyWindow()
    {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Procedure;
            wc.lpszClassName = "QuilletPlaybackTestWindow";
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        hwnd = CreateWindowExA(0, "QuilletPlaybackTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, nullptr, nullptr);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~PlaybackNotifyWindow() { DestroyWindow(hwnd); }
    PlaybackNotifyWindow(const PlaybackNotifyWindow&) = delete;
    PlaybackNotifyWindow& operator=(const PlaybackNotifyWindow&) = delete;

    // Dispatches what is queued; true when a notification came within `timeout`.
    bool Pump(std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        int before = notifications;
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (notifications > before)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

    HWND hwnd = nullptr;
    int notifications = 0;

private:
    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self =
            reinterpret_cast<PlaybackNotifyWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && message == kMessage) {
            ++self->notifications;
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
};

// A null sink of the test's own, made the default for this process's playback streams
// (PULSE_SINK), with its monitor recorded from construction on. The server's shared null sink
// also carries a sine of its own, which would drown what a test plays.
class RecordedSink
{
public:
    static constexpr uint32_t kRate = 48000;

    RecordedSink()
        : name(UniqueDeviceName("playback")),
          module("module-null-sink sink_name=" + name + " rate=48000 channels=2")
    {
        if (!module.Loaded())
            return;
        setenv("PULSE_SINK", name.c_str(), 1);
        PulseRecordStream::Options options;
        options.format = PulseCaptureFormat{kRate, 2};
        std::string error;
        if (FAILED(PulseRecordStream::Create(name + ".monitor", options, recorder.Callbacks(),
                                             stream, &error)) ||
            FAILED(stream->Start(&error))) {
            stream.reset();
            return;
        }
        // A new null sink renders a long first block before it honours the short fragments
        // that its monitor asks for; until then it would not take what a test plays. Once the
        // monitor delivers, the sink keeps time.
        using namespace std::chrono_literals;
        recorder.WaitFor(5s, [](const audio_test::CaptureRecorder& r) {
            return !r.chunks.empty() &&
                   r.chunks.back().position + r.chunks.back().frames >= kRate / 10;
        });
    }
    ~RecordedSink()
    {
        if (stream)
            stream->Stop();
        unsetenv("PULSE_SINK");
    }

    bool Ready() const { return stream != nullptr; }
    // Channel 0 of everything recorded so far.
    std::vector<int16_t> Samples() const { return recorder.Channel0(); }

private:
    std::string name;
    ServerModule module;
    audio_test::CaptureRecorder recorder;
    std::unique_ptr<PulseRecordStream> stream;
};

// Where the sound in a recording is: the first and last sample louder than `threshold`.
struct Loud
{
    size_t first = 0;
    size_t last = 0;
    bool found = false;
};

inline Loud FindLoud(const std::vector<int16_t>& samples, size_t from = 0, int threshold = 1000)
{
    Loud loud;
    for (size_t i = from; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > threshold) {
            if (!loud.found)
                loud.first = i;
            loud.last = i;
            loud.found = true;
        }
    }
    return loud;
}

inline std::vector<int16_t> Slice(const std::vector<int16_t>& samples, size_t from, size_t to)
{
    from = std::min(from, samples.size());
    to = std::min(std::max(to, from), samples.size());
    return std::vector<int16_t>(samples.begin() + long(from), samples.begin() + long(to));
}
