// The capture stream of a virtual device: generates its signal (tone, silence or a WAV file,
// looping) in real time on a thread of its own, in 20 ms chunks paced by the steady clock, scaled
// by the mix level.
//
// Pacing follows the clock, not the previous chunk: a late wake-up is caught up at once, so the
// number of frames delivered tracks the time spent running. Pause stops the clock; Resume carries
// the positions on where they stopped.
//
// Threads: as PulseCaptureStream. Callbacks run on the generator thread without any lock held, so
// a callback may call Stop, Pause, Resume and SetLevel. SetLevel may be called from any thread.
#pragma once

#include "PulseCaptureStream.h"
#include "VirtualDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class VirtualDeviceStream final : public PulseCaptureStream
{
public:
    // How often the generator delivers.
    static constexpr std::chrono::milliseconds ChunkPeriod{20};

    // Prepares the signal; a WAV file is read whole here. VFW_E_NOT_FOUND for a device without a
    // capture output, VFW_E_INVALID_FILE_FORMAT for an unreadable WAV file.
    static HRESULT Create(const VirtualDevice& device, Callbacks callbacks,
                          std::unique_ptr<VirtualDeviceStream>& stream,
                          std::string* error = nullptr);

    // Stops first. Not from inside a callback.
    ~VirtualDeviceStream() override;
    VirtualDeviceStream(const VirtualDeviceStream&) = delete;
    VirtualDeviceStream& operator=(const VirtualDeviceStream&) = delete;

    PulseCaptureFormat Format() const override { return format; }
    // Restarts the signal from its beginning (the tone's phase, the file's first frame).
    HRESULT Start(std::string* error = nullptr) override;
    HRESULT Pause(std::string* error = nullptr) override;
    HRESULT Resume(std::string* error = nullptr) override;
    void Stop() override;

    // The mix level (0.0 to 1.0) from the next chunk on.
    void SetLevel(double level);

private:
    VirtualDeviceStream(const VirtualDevice& device, std::vector<int16_t> wavSamples,
                        Callbacks callbacks);

    void Run();
    void Generate(int16_t* out, uint32_t frames);
    void JoinFinished();

    const VirtualSignal signal;
    const double frequency;
    const PulseCaptureFormat format;
    const std::vector<int16_t> wavSamples; // interleaved, for VirtualSignal::WavFile
    const Callbacks callbacks;
    std::atomic<double> level;

    // Generator state, touched only by the generator thread (and by Start before it runs).
    uint64_t generated = 0; // frames since Start: the signal's own clock
    std::vector<int16_t> buffer;

    std::mutex mutex; // guards what follows
    std::condition_variable wake;
    std::thread thread;
    bool started = false;
    bool paused = false;
    bool stopRequested = false;
};
