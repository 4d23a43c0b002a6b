// The file behind the ASF muxer: a descriptor and an FFmpeg I/O context over it whose writes go
// to the file at once.
//
// FFmpeg's own file I/O keeps tens to hundreds of kilobytes in
// memory; a recording killed in that state would lose seconds. This sink gives the muxer a small
// buffer and writes it out with write(2) whenever the encoder flushes it, so the size on disk
// follows the recording and whatever reached the file stays there if the process dies. It never
// calls fsync: the data survives a killed process through the page cache, and a sync per packet
// would stall the streaming thread on slow disks.
//
// The first failed write or seek is remembered with its errno; from then on the sink refuses all
// I/O, so that nothing after a failure (a full disk, a file size limit) can tear what is already
// in the file.
//
// Threads: one thread at a time; the sink has no locks and starts no thread. The I/O callbacks run
// on the thread that calls into FFmpeg with the context.
#pragma once

#include "com/Types.h"

#include <string>

struct AVIOContext;

class AsfFileSink
{
public:
    AsfFileSink() = default;
    // Closes the file if it is still open.
    ~AsfFileSink();
    AsfFileSink(const AsfFileSink&) = delete;
    AsfFileSink& operator=(const AsfFileSink&) = delete;

    // Creates the file (UTF-8 path). Without `overwrite` an existing file fails with
    // HRESULT_FROM_WIN32(ERROR_FILE_EXISTS); a missing folder with ERROR_PATH_NOT_FOUND.
    HRESULT Create(const std::string& path, bool overwrite);

    // The I/O context for AVFormatContext::pb, valid from Create until Close.
    AVIOContext* Context() const { return context; }

    // Writes what the context holds to the file; the failure that stopped the sink, if any.
    HRESULT Flush();

    // S_OK until a write or seek failed, then that failure's HRESULT.
    HRESULT Failure() const;
    // The errno of the first failure, 0 while there was none.
    int FailureErrno() const { return failureErrno; }

    // The open file (read and write), -1 when closed; for what the muxer does not write.
    int Descriptor() const { return fd; }

    // Bytes the sink has written to the file (header rewrites included).
    int64_t BytesWritten() const { return bytesWritten; }

    // Flushes (unless failed), frees the context and closes the file; the result of the flush
    // and of close(2). Safe to call again.
    HRESULT Close();

    // Closes and deletes the file: for an Open that failed after the file was created.
    void Discard();

private:
    // The C callbacks that FFmpeg calls; they forward to WriteAll and SeekTo.
    struct Io;
    friend struct Io;

    int WriteAll(const uint8_t* data, int size);
    int64_t SeekTo(int64_t offset, int whence);
    int Fail(int error, const char* what);

    std::string path;
    int fd = -1;
    AVIOContext* context = nullptr;
    int failureErrno = 0;
    int64_t bytesWritten = 0;
};
