// Disk space held back for finishing a recording: when the disk fills up, the last packet, the
// header's final counts and the index still have a place to go.
//
// Without it a full disk tears the packet being written in half and leaves no room for the index,
// so the file ends in garbage. Before each packet the writer asks for the bytes up to that
// packet's end plus what finishing takes; the reserve preallocates them with fallocate(2), keeping
// the file's size as it is (FALLOC_FL_KEEP_SIZE), so the size on disk that the program shows and
// limits still follows the packets. A refusal (ENOSPC, EDQUOT) comes while the earlier reservation
// still covers the packet at hand and the finish, which is when the writer stops. Release gives
// back what finishing did not use.
//
// File systems without preallocation (some network and FUSE ones) get no reserve; the writer then
// falls back to cutting a torn packet off after a failed write.
//
// Threads: one thread at a time; the caller owns the descriptor.
#pragma once

#include "com/Types.h"

#include <cstdint>

class AsfSpaceReserve
{
public:
    // Makes sure that the first `end` bytes of the file on `fd` have space on the disk. S_OK;
    // S_FALSE when the file system cannot preallocate (nothing is held then);
    // HRESULT_FROM_WIN32(ERROR_DISK_FULL) when the disk has no room for them.
    HRESULT Ensure(int fd, int64_t end);

    // Truncates the file on `fd` to `size` bytes, which also frees the preallocated space beyond
    // it. The errno-derived HRESULT of a failed truncation.
    HRESULT Release(int fd, int64_t size);

    // Bytes from the start of the file that are known to have space.
    int64_t Reserved() const { return reservedEnd; }

private:
    int Allocate(int fd, int64_t from, int64_t length);

    int64_t reservedEnd = 0;
    bool unsupported = false;
};
