// One media file opened with FFmpeg's demultiplexer: what the file source and the media detector
// share. Opening tells apart a file that cannot be read (VFW_E_NOT_FOUND), a file that no
// demultiplexer recognises (VFW_E_UNKNOWN_FILE_TYPE) and a recognised file whose header or streams
// do not make sense (VFW_E_INVALID_FILE_FORMAT).
//
// Every blocking FFmpeg call goes through an interrupt callback, so that a damaged file cannot
// hold a caller for long: opening gives up after OpenTimeout, and Abort (any thread) ends a read
// that is under way.
//
// Threads: one thread at a time uses an object (Abort excepted). Separate objects are independent,
// so each streaming thread opens its own.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "com/Types.h"

struct AVFormatContext;
struct AVStream;

class FfmpegInput
{
public:
    // The longest that opening and probing a file may take.
    static constexpr std::chrono::seconds OpenTimeout{10};

    // Opens a file named in UTF-8 and reads its stream information. While `cancel` (which must
    // outlive the object) holds true, every blocking operation fails at once.
    static HRESULT Open(const std::string& path, std::unique_ptr<FfmpegInput>& input,
                        const std::atomic<bool>* cancel = nullptr);

    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    AVFormatContext* Context() const { return context; }
    unsigned StreamCount() const;
    AVStream* Stream(unsigned index) const;
    // The indices of the audio streams, in file order.
    std::vector<unsigned> AudioStreams() const;
    // The streams that a source would offer as pins: audio and video, in file order.
    std::vector<unsigned> MediaStreams() const;
    // The length of a stream in 100-nanosecond units, or -1 when nothing tells it. For ASF the
    // length is measured from the packets' own times (one scan of the file), since its header
    // counts the preroll and a recording that was cut short has no length in its header at all;
    // elsewhere it is the stream's duration, else measured alike, else the container's.
    REFERENCE_TIME StreamLength(unsigned index);
    // The time of a stream's first sample in its time base (0 when unknown).
    int64_t StartTime(unsigned index) const;

    // Any thread: makes the read under way, and every later one, fail at once.
    void Abort() { aborted.store(true, std::memory_order_release); }
    // Arms the watchdog for the next blocking operation: it fails after `limit`.
    void SetDeadline(std::chrono::steady_clock::duration limit);
    void ClearDeadline();

private:
    FfmpegInput() = default;
    static int Interrupt(void* opaque);
    REFERENCE_TIME MeasurePacketLength(unsigned index);

    AVFormatContext* context = nullptr;
    std::atomic<bool> aborted{false};
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<int64_t> deadline{0};     // steady clock ticks; 0 for none
    std::vector<REFERENCE_TIME> measured; // per stream; -2 until measured
};

// The media time, in 100-nanosecond units, of a time stamp in a time base.
REFERENCE_TIME FfmpegToReferenceTime(int64_t value, int numerator, int denominator);
