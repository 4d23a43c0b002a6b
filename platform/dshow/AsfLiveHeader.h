// Keeps the header of a file that is still being recorded true to the packets it holds, so that a
// recording cut off at any moment (a killed process, a full disk) is a finished file as far as a
// player can tell.
//
// The muxer writes its counts only twice: zeros before the first packet and the real values in
// its trailer. In between, the File Properties Object claims a file of 0 bytes with no packets
// and no duration, and the Data Object claims no packets either; FFmpeg's demuxer then guesses the
// duration from the bit rate, other players refuse the file. Update rewrites, in place, every
// field that grows with the recording:
//   File Properties Object: file size, data packets count, play duration, send duration;
//   Data Object: object size, total data packets.
// The values follow the muxer's own rules (durations in whole milliseconds, the play duration
// including the preroll), so the header of a cut-off file reads as the trailer would have written
// it for the same packets.
//
// The fields sit between the File Properties Object and the first packet, a few hundred bytes in
// one page, so one pwrite(2) of a copy of that stretch updates them all; a killed process leaves
// either the old values or the new ones.
//
// Threads: one thread at a time; the caller owns the descriptor.
#pragma once

#include "com/Types.h"

#include <cstdint>
#include <vector>

class AsfLiveHeader
{
public:
    // Reads back the header that the muxer wrote on `fd` (open for reading and writing) and keeps
    // the stretch that holds the counts. VFW_E_INVALID_FILE_FORMAT for a header it cannot read.
    HRESULT Attach(int fd);

    // True after a successful Attach.
    bool Attached() const { return fd >= 0; }
    // Where the first data packet starts.
    int64_t DataStart() const { return dataStart; }
    // The preroll that the header declares, in milliseconds.
    int64_t PrerollMs() const { return prerollMs; }

    // Declares `packets` whole data packets that end at file offset `dataEnd` and whose audio ends
    // at `duration100ns` (in whole milliseconds, as the muxer counts). The errno-derived HRESULT
    // of a failed write; E_UNEXPECTED before Attach.
    HRESULT Update(int64_t dataEnd, uint64_t packets, int64_t duration100ns);

private:
    void Put(int64_t fileOffset, uint64_t value);

    int fd = -1;
    int64_t regionStart = 0; // file offset of region[0]
    std::vector<uint8_t> region;
    int64_t fileSizeOffset = 0;
    int64_t filePropertiesOffset = 0;
    int64_t dataOffset = 0;
    int64_t dataStart = 0;
    int64_t prerollMs = 0;
};
