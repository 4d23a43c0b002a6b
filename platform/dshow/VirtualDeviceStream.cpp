#include "VirtualDeviceStream.h"

#include "WavFile.h"
#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint64_t ChunksPerSecond = 1000 / VirtualDeviceStream::ChunkPeriod.count();

// Frames due by the end of chunk `chunk` since the clock started; rates that 50 does not divide
// spread the remainder over the chunks, so no frame is lost to rounding.
uint64_t FramesDue(uint64_t chunk, uint32_t rate)
{
    return chunk * rate / ChunksPerSecond;
}

} // namespace

HRESULT VirtualDeviceStream::Create(const VirtualDevice& device, Callbacks callbacks,
                                    std::unique_ptr<VirtualDeviceStream>& stream,
                                    std::string* error)
{
    stream.reset();
    if (!device.hasCaptureOutput) {
        if (error)
            *error = "virtual device '" + device.name + "' has no capture output";
        return VFW_E_NOT_FOUND;
    }
    std::vector<int16_t> samples;
    VirtualDevice described = device;
    if (device.signal == VirtualSignal::WavFile) {
        WavFile wav;
        HRESULT hr = WavFile::Load(device.wavPath, wav, error);
        if (FAILED(hr))
            return hr;
        // The file's own format wins over a description written before the file changed.
        described.rate = wav.Rate();
        described.channels = wav.Channels();
        samples = wav.Samples();
    }
    if (described.rate == 0 || described.channels == 0) {
        if (error)
            *error = "virtual device '" + device.name + "' has no sample rate or channels";
        return E_INVALIDARG;
    }
    try {
        stream.reset(new VirtualDeviceStream(described, std::move(samples), std::move(callbacks)));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

VirtualDeviceStream::VirtualDeviceStream(const VirtualDevice& device,
                                         std::vector<int16_t> wavSamples, Callbacks callbacks)
    : signal(device.signal), frequency(device.frequency), format{device.rate, device.channels},
      wavSamples(std::move(wavSamples)), callbacks(std::move(callbacks)),
      level(std::clamp(device.level, 0.0, 1.0))
{
}

VirtualDeviceStream::~VirtualDeviceStream()
{
    Stop();
    JoinFinished();
}

HRESULT VirtualDeviceStream::Start(std::string* error)
{
    if (thread.joinable() && thread.get_id() == std::this_thread::get_id()) {
        if (error)
            *error = "a virtual device stream cannot start from its own callback";
        return VFW_E_WRONG_STATE;
    }
    {
        std::lock_guard lock(mutex);
        if (started && !stopRequested)
            return S_FALSE;
    }
    // A stream stopped from its own callback left its thread to finish on its own.
    JoinFinished();
    std::lock_guard lock(mutex);
    started = true;
    paused = false;
    stopRequested = false;
    generated = 0;
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        started = false;
        if (error)
            *error = "cannot start the virtual device thread";
        return E_OUTOFMEMORY;
    }
    QUILLET_LOG("pulse", "virtual stream %p started: %u Hz, %u channels", static_cast<void*>(this),
                format.rate, format.channels);
    return S_OK;
}

HRESULT VirtualDeviceStream::Pause(std::string* error)
{
    std::lock_guard lock(mutex);
    if (!started || stopRequested) {
        if (error)
            *error = "pausing a virtual device stream that is not started";
        return VFW_E_WRONG_STATE;
    }
    paused = true;
    wake.notify_all();
    return S_OK;
}

HRESULT VirtualDeviceStream::Resume(std::string* error)
{
    std::lock_guard lock(mutex);
    if (!started || stopRequested) {
        if (error)
            *error = "resuming a virtual device stream that is not started";
        return VFW_E_WRONG_STATE;
    }
    paused = false;
    wake.notify_all();
    return S_OK;
}

void VirtualDeviceStream::Stop()
{
    {
        std::lock_guard lock(mutex);
        if (!started)
            return;
        started = false;
        stopRequested = true;
        wake.notify_all();
    }
    // From inside a callback the thread ends once the callback returns; joined later.
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

void VirtualDeviceStream::SetLevel(double newLevel)
{
    level = std::isfinite(newLevel) ? std::clamp(newLevel, 0.0, 1.0) : 0.0;
}

void VirtualDeviceStream::JoinFinished()
{
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
}

void VirtualDeviceStream::Run()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point base = Clock::now();
    uint64_t chunk = 0; // chunks delivered since `base`
    std::unique_lock lock(mutex);
    while (!stopRequested) {
        if (paused) {
            wake.wait(lock, [this] { return !paused || stopRequested; });
            // Time spent paused adds no frames: the clock starts over.
            base = Clock::now();
            chunk = 0;
            continue;
        }
        Clock::time_point due = base + ChunkPeriod * (chunk + 1);
        if (wake.wait_until(lock, due, [this] { return paused || stopRequested; }))
            continue;
        auto frames = uint32_t(FramesDue(chunk + 1, format.rate) - FramesDue(chunk, format.rate));
        ++chunk;
        lock.unlock();
        try {
            buffer.resize(size_t(frames) * format.channels);
            Generate(buffer.data(), frames);
            PulseCaptureChunk piece;
            piece.data = reinterpret_cast<const uint8_t*>(buffer.data());
            piece.bytes = buffer.size() * sizeof(int16_t);
            piece.position = generated;
            piece.frames = frames;
            generated += frames;
            if (callbacks.onData)
                callbacks.onData(piece);
        } catch (...) {
            // Nothing may leave the thread; the consumer's failure is its own to report.
            QUILLET_LOG("pulse", "virtual stream %p: a chunk failed", static_cast<void*>(this));
        }
        lock.lock();
    }
}

void VirtualDeviceStream::Generate(int16_t* out, uint32_t frames)
{
    const double gain = level.load();
    const uint32_t channels = format.channels;
    switch (signal) {
    case VirtualSignal::Silence:
        std::fill(out, out + size_t(frames) * channels, int16_t(0));
        break;
    case VirtualSignal::Tone:
        for (uint32_t i = 0; i < frames; ++i) {
            // The phase from the frame number, not a running sum, so it never drifts.
            double cycles = frequency * double(generated + i) / format.rate;
            double value =
                gain * 32767.0 * std::sin(2.0 * std::numbers::pi * (cycles - std::floor(cycles)));
            std::fill(out + size_t(i) * channels, out + size_t(i + 1) * channels,
                      int16_t(std::lround(value)));
        }
        break;
    case VirtualSignal::WavFile: {
        const uint64_t fileFrames = wavSamples.size() / channels;
        if (fileFrames == 0) {
            std::fill(out, out + size_t(frames) * channels, int16_t(0));
            break;
        }
        for (uint32_t i = 0; i < frames; ++i) {
            const int16_t* in = wavSamples.data() + ((generated + i) % fileFrames) * channels;
            for (uint32_t c = 0; c < channels; ++c) {
                // Full level plays the file bit for bit.
                out[size_t(i) * channels + c] =
                    gain == 1.0 ? in[c] : int16_t(std::lround(in[c] * gain));
            }
        }
        break;
    }
    }
}
