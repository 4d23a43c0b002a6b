#include "AsfFileSink.h"

#include "AsfErrors.h"
#include "com/DebugLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

// Large enough for the ASF header, so the muxer's back-patching of object sizes stays in memory;
// small enough that the packets never wait in it (they are flushed one by one anyway).
constexpr int IoBufferSize = 4096;

} // namespace

struct AsfFileSink::Io
{
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    static int Write(void* opaque, const uint8_t* data, int size)
#else
    static int Write(void* opaque, uint8_t* data, int size)
#endif
    {
        return static_cast<AsfFileSink*>(opaque)->WriteAll(data, size);
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence)
    {
        return static_cast<AsfFileSink*>(opaque)->SeekTo(offset, whence);
    }
};

AsfFileSink::~AsfFileSink()
{
    Close();
}

HRESULT AsfFileSink::Create(const std::string& filePath, bool overwrite)
{
    if (fd >= 0)
        return E_UNEXPECTED;
    // Read and write: the finished file's header is read back to index it.
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int newFd;
    do {
        newFd = open(filePath.c_str(), flags, 0666);
    } while (newFd < 0 && errno == EINTR);
    if (newFd < 0) {
        const int error = errno;
        QUILLET_LOG("asf", "cannot create '%s': %s", filePath.c_str(), strerror(error));
        return AsfHResultFromErrno(error);
    }

    auto* buffer = static_cast<unsigned char*>(av_malloc(IoBufferSize));
    AVIOContext* newContext =
        buffer ? avio_alloc_context(buffer, IoBufferSize, 1, this, nullptr, &Io::Write, &Io::Seek)
               : nullptr;
    if (!newContext) {
        av_free(buffer);
        close(newFd);
        unlink(filePath.c_str());
        return E_OUTOFMEMORY;
    }
    path = filePath;
    fd = newFd;
    context = newContext;
    failureErrno = 0;
    bytesWritten = 0;
    return S_OK;
}

int AsfFileSink::Fail(int error, const char* what)
{
    if (!failureErrno) {
        failureErrno = error;
        QUILLET_LOG("asf", "%s '%s' failed after %lld bytes: %s", what, path.c_str(),
                    static_cast<long long>(bytesWritten), strerror(error));
    }
    return AVERROR(failureErrno);
}

int AsfFileSink::WriteAll(const uint8_t* data, int size)
{
    if (failureErrno)
        return AVERROR(failureErrno);
    int done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(errno, "write to");
        }
        if (n == 0)
            return Fail(EIO, "write to");
        done += int(n);
        bytesWritten += n;
    }
    return size;
}

int64_t AsfFileSink::SeekTo(int64_t offset, int whence)
{
    if (failureErrno)
        return AVERROR(failureErrno);
    if (whence == AVSEEK_SIZE) {
        struct stat info;
        if (fstat(fd, &info) != 0)
            return Fail(errno, "stat of");
        return info.st_size;
    }
    const off_t position = lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    if (position < 0)
        return Fail(errno, "seek in");
    return position;
}

HRESULT AsfFileSink::Flush()
{
    if (context && !failureErrno)
        avio_flush(context);
    return Failure();
}

HRESULT AsfFileSink::Failure() const
{
    return failureErrno ? AsfHResultFromErrno(failureErrno) : S_OK;
}

HRESULT AsfFileSink::Close()
{
    if (fd < 0)
        return Failure();
    Flush();
    if (context) {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
    if (close(fd) != 0 && errno != EINTR)
        Fail(errno, "close of");
    fd = -1;
    return Failure();
}

void AsfFileSink::Discard()
{
    const bool open = fd >= 0;
    Close();
    if (open)
        unlink(path.c_str());
}
