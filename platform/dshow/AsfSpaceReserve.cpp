#include "AsfSpaceReserve.h"

#include "AsfErrors.h"
#include "com/DebugLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Reserving ahead in steps of this size keeps fallocate(2) out of most packets.
constexpr int64_t ReserveStep = 64 * 1024;

} // namespace

int AsfSpaceReserve::Allocate(int fd, int64_t from, int64_t length)
{
    int ret;
    do {
        ret = fallocate(fd, FALLOC_FL_KEEP_SIZE, off_t(from), off_t(length));
    } while (ret != 0 && errno == EINTR);
    return ret == 0 ? 0 : errno;
}

HRESULT AsfSpaceReserve::Ensure(int fd, int64_t end)
{
    if (unsupported)
        return S_FALSE;
    if (end <= reservedEnd)
        return S_OK;
    int error = Allocate(fd, reservedEnd, end + ReserveStep - reservedEnd);
    if (error == 0) {
        reservedEnd = end + ReserveStep;
        return S_OK;
    }
    if (error == ENOSPC || error == EDQUOT) {
        // The step ahead may be what does not fit; the bytes asked for may still.
        error = Allocate(fd, reservedEnd, end - reservedEnd);
        if (error == 0) {
            reservedEnd = end;
            return S_OK;
        }
    }
    if (error == ENOSPC || error == EDQUOT) {
        QUILLET_LOG("asf", "no room to reserve %lld bytes: %s", static_cast<long long>(end),
                    strerror(error));
        return AsfHResultFromErrno(error);
    }
    QUILLET_LOG("asf", "cannot preallocate (%s); the file gets no reserve", strerror(error));
    unsupported = true;
    return S_FALSE;
}

HRESULT AsfSpaceReserve::Release(int fd, int64_t size)
{
    // Truncating to the size the file already has still frees the blocks preallocated past it
    // (ext4, XFS and tmpfs all drop them).
    int ret;
    do {
        ret = ftruncate(fd, off_t(size));
    } while (ret != 0 && errno == EINTR);
    if (ret != 0)
        return AsfHResultFromErrno(errno);
    reservedEnd = size;
    return S_OK;
}
