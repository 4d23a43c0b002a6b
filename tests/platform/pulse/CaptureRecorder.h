// Collects what a capture stream delivers, for tests: each chunk's arrival time, position and
// size, the samples of one channel, optionally every byte, and the errors reported.
#pragma once

#include "PulseCaptureStream.h"
#include "SignalAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace audio_test {

struct ChunkRecord
{
    std::chrono::steady_clock::time_point arrival;
    uint64_t position;
    uint32_t frames;
};

class CaptureRecorder
{
public:
    explicit CaptureRecorder(uint32_t channels = 2, bool keepBytes = false)
        : channels(channels), keepBytes(keepBytes)
    {
    }

    PulseCaptureStream::Callbacks Callbacks()
    {
        return {[this](const PulseCaptureChunk& chunk) { OnData(chunk); },
                [this](HRESULT hr, const std::string& message) { OnError(hr, message); }};
    }

    // Waits until `done` holds for the recorder's state, at most `timeout`.
    template <typename Predicate> bool WaitFor(std::chrono::milliseconds timeout, Predicate done)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [&] { return done(*this); });
    }

    // Copies under the lock, so a test can inspect while the stream runs.
    std::vector<ChunkRecord> Chunks() const
    {
        std::lock_guard lock(mutex);
        return chunks;
    }
    std::vector<int16_t> Channel0() const
    {
        std::lock_guard lock(mutex);
        return channel0;
    }
    std::vector<uint8_t> Bytes() const
    {
        std::lock_guard lock(mutex);
        return bytes;
    }
    size_t ChunkCount() const
    {
        std::lock_guard lock(mutex);
        return chunks.size();
    }
    uint64_t TotalFrames() const
    {
        std::lock_guard lock(mutex);
        return chunks.empty() ? 0 : chunks.back().position + chunks.back().frames;
    }
    int ErrorCount() const
    {
        std::lock_guard lock(mutex);
        return errorCount;
    }
    HRESULT LastError() const
    {
        std::lock_guard lock(mutex);
        return lastError;
    }
    std::string LastMessage() const
    {
        std::lock_guard lock(mutex);
        return lastMessage;
    }

    // Called inside each data callback, after the chunk is recorded, without the lock.
    std::function<void(const PulseCaptureChunk&)> onChunk;

    // Public for WaitFor predicates, which run under the lock.
    std::vector<ChunkRecord> chunks;
    std::vector<uint8_t> bytes;
    int errorCount = 0;

private:
    void OnData(const PulseCaptureChunk& chunk)
    {
        {
            std::lock_guard lock(mutex);
            chunks.push_back({std::chrono::steady_clock::now(), chunk.position, chunk.frames});
            AppendChannel(chunk.data, chunk.bytes, channels, 0, channel0);
            if (keepBytes)
                bytes.insert(bytes.end(), chunk.data, chunk.data + chunk.bytes);
        }
        changed.notify_all();
        if (onChunk)
            onChunk(chunk);
    }

    void OnError(HRESULT hr, const std::string& message)
    {
        {
            std::lock_guard lock(mutex);
            ++errorCount;
            lastError = hr;
            lastMessage = message;
        }
        changed.notify_all();
    }

    const uint32_t channels;
    const bool keepBytes;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<int16_t> channel0;
    HRESULT lastError = S_OK;
    std::string lastMessage;
};

// Every chunk starts where the one before ended.
inline ::testing::AssertionResult PositionsAreContiguous(const std::vector<ChunkRecord>& chunks)
{
    uint64_t expected = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (chunks[i].position != expected)
            return ::testing::AssertionFailure() << "chunk " << i << " starts at "
                                                 << chunks[i].position << ", expected " << expected;
        if (chunks[i].frames == 0)
            return ::testing::AssertionFailure() << "chunk " << i << " is empty";
        expected += chunks[i].frames;
    }
    return ::testing::AssertionSuccess();
}

// The median gap between arrivals, in milliseconds.
inline double MedianIntervalMs(const std::vector<ChunkRecord>& chunks)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < chunks.size(); ++i)
        gaps.push_back(
            std::chrono::duration<double, std::milli>(chunks[i].arrival - chunks[i - 1].arrival)
                .count());
    if (gaps.empty())
        return 0.0;
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

// The longest gap between arrivals, in milliseconds.
inline double LongestIntervalMs(const std::vector<ChunkRecord>& chunks)
{
    double longest = 0.0;
    for (size_t i = 1; i < chunks.size(); ++i)
        longest = std::max(longest, std::chrono::duration<double, std::milli>(chunks[i].arrival -
                                                                              chunks[i - 1].arrival)
                                        .count());
    return longest;
}

} // namespace audio_test
