// The index that makes a finished recording seekable without a scan: an ASF Simple Index Object
// appended after the data, one entry per second of presentation time naming the data packet to
// start reading from. FFmpeg's muxer writes an index only for video streams; players (and our
// own file source, through FFmpeg's demuxer) use this one to seek in audio-only files at once.
//
// Build works on what the writer knows (every data packet holds the same number of frames);
// Append reads the finished header back from the file, appends the object and corrects the file
// size in the header, so that the file stays one consistent ASF file.
//
// Threads: plain functions; the caller owns the descriptor.
#pragma once

#include "com/Types.h"

#include <cstdint>
#include <vector>

namespace asf_index {

// One entry per second of presentation time.
inline constexpr int64_t EntryInterval100ns = 10'000'000;

// What the header says about the file, read back after the muxer finished it.
struct FileLayout
{
    GUID fileId{};
    int64_t filePropertiesOffset = 0; // where the File Properties Object starts
    int64_t fileSizeOffset = 0;       // of the File Properties Object's File Size field
    int64_t prerollMs = 0;
    int64_t dataOffset = 0; // where the Data Object starts, right after the header
    int64_t dataEnd = 0;    // where the Data Object ends: the index goes here
};

// The Simple Index Object for `packetCount` data packets that each start `packetSamples`
// samples (at `sampleRate`) after the one before, the first at media time 0, with presentation
// times shifted by the preroll; the audio ends at `end100ns` of media time.
std::vector<uint8_t> Build(const GUID& fileId, int64_t prerollMs, uint32_t packetCount,
                           int64_t packetSamples, int sampleRate, int64_t end100ns);

// The size in bytes of what Build makes for audio that ends at `end100ns` of media time.
int64_t Size(int64_t prerollMs, int64_t end100ns);

// Reads `size` bytes at `offset` of `fd`, retrying short reads; VFW_E_INVALID_FILE_FORMAT when
// the file ends first, else the errno-derived HRESULT of a failed read.
HRESULT ReadExactly(int fd, int64_t offset, uint8_t* data, size_t size);

// Reads the header of the ASF file open for reading and writing on `fd`.
// VFW_E_INVALID_FILE_FORMAT when the header is not what a finished recording has.
HRESULT ReadLayout(int fd, FileLayout& layout);

// Writes `index` at the end of the data and sets the header's file size to match.
// The errno-derived HRESULT of a failed read or write.
HRESULT Append(int fd, const FileLayout& layout, const std::vector<uint8_t>& index);

} // namespace asf_index
