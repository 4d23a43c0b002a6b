// The size limit's stopping rule, shared by the window program and quillet-cli: at which size
// report a recording stops so that the finished file stays within the limit.
//
// The engine reports the file's size every 300 ms, and the file goes on growing after the report
// that stops it. The writer puts whole packets on disk, so a report can come just before a packet
// lands; after it, the encoder still holds up to a packet of audio, more arrives until the stop
// reaches the writer, finishing pads what is left to a whole packet and appends the seek index
// (six bytes per second of audio). Between the last report below the threshold and the finished
// file there are thus up to one report period and some lateness of the profile's bit rate, three
// packets and the index. "The limit less 4 KB" covers that only at low rates (at 192 kbit/s one
// report alone brings 7 KB), so the margin is the larger of 4 KB and that sum.
//
// A limit below its margin cannot wait for a size report at all, since the first one comes too
// late: such a recording stops as soon as it runs, and the file holds little more than its header.
//
// Threads: a plain value; any thread.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

class FileSizeLimit
{
public:
    // The engine's size report period and how late a report and the stop after it may come.
    static constexpr double ReportSeconds = 0.3;
    static constexpr double LateSeconds = 0.2;
    // The old margin, kept where it is enough.
    static constexpr uint64_t MinMarginKb = 4;
    // The rate assumed when the profile's is unknown: the catalogue's highest.
    static constexpr uint32_t FallbackBitRate = 192000;

    // A limit of `limitKb` kilobytes for a profile of `bitRate` bits per second (0: unknown).
    FileSizeLimit(uint64_t limitKb, uint32_t bitRate)
        : limitKb(limitKb), marginKb(MarginKb(limitKb, bitRate ? bitRate : FallbackBitRate))
    {
    }

    // The most bytes a data packet of the writer holds at `bitRate`: the writer sizes packets to
    // about the square root of 52 times ten seconds of the stream (AsfPacketLayout.h), rounded to
    // whole codec frames, and a frame holds less than 64 ms of audio.
    static double PacketBytes(uint32_t bitRate)
    {
        const double bytesPerSecond = double(bitRate) / 8;
        return std::sqrt(52 * 10 * bytesPerSecond) + 0.064 * bytesPerSecond + 26;
    }

    // The margin below the limit at which the recording stops, in kilobytes.
    uint64_t MarginKb() const { return marginKb; }

    // True when the limit cannot wait for a size report: stop the recording as soon as it runs.
    bool StopsAtOnce() const { return limitKb <= marginKb; }

    // True when a size report of `bytes` must stop the recording.
    bool Reached(uint64_t bytes) const
    {
        return StopsAtOnce() || bytes / 1024 >= limitKb - marginKb;
    }

private:
    static uint64_t MarginKb(uint64_t limitKb, uint32_t bitRate)
    {
        const double bytesPerSecond = double(bitRate) / 8;
        // The writer spends a little under the profile's rate, so a file of the limit's size may
        // last a little longer; the index has an entry per second of it, the preroll included.
        const double seconds = double(limitKb) * 1024 / (0.9 * bytesPerSecond) + 5;
        const double indexBytes = 56 + 6 * seconds;
        const double margin =
            bytesPerSecond * (ReportSeconds + LateSeconds) + 3 * PacketBytes(bitRate) + indexBytes;
        return std::max(MinMarginKb, uint64_t(std::ceil(margin / 1024)));
    }

    uint64_t limitKb;
    uint64_t marginKb;
};
