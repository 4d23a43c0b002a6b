#include "AsfLiveHeader.h"

#include "AsfErrors.h"
#include "AsfSimpleIndex.h"
#include "dshow/Errors.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Offsets inside the File Properties Object (the file size's comes with the layout).
constexpr int64_t PacketsCountField = 56;
constexpr int64_t PlayDurationField = 64;
constexpr int64_t SendDurationField = 72;
// Offsets inside the Data Object, and the size of its fixed part before the first packet.
constexpr int64_t DataSizeField = 16;
constexpr int64_t TotalPacketsField = 40;
constexpr int64_t DataObjectHeaderSize = 50;

} // namespace

HRESULT AsfLiveHeader::Attach(int file)
{
    asf_index::FileLayout layout;
    HRESULT hr = asf_index::ReadLayout(file, layout);
    if (FAILED(hr))
        return hr;
    const int64_t start = layout.fileSizeOffset;
    const int64_t end = layout.dataOffset + DataObjectHeaderSize;
    if (end <= start)
        return VFW_E_INVALID_FILE_FORMAT;
    std::vector<uint8_t> bytes(size_t(end - start));
    hr = asf_index::ReadExactly(file, start, bytes.data(), bytes.size());
    if (FAILED(hr))
        return hr;
    region = std::move(bytes);
    regionStart = start;
    fileSizeOffset = layout.fileSizeOffset;
    filePropertiesOffset = layout.filePropertiesOffset;
    dataOffset = layout.dataOffset;
    dataStart = end;
    prerollMs = layout.prerollMs;
    fd = file;
    return S_OK;
}

void AsfLiveHeader::Put(int64_t fileOffset, uint64_t value)
{
    // ASF numbers are little-endian, as this machine is.
    std::memcpy(region.data() + (fileOffset - regionStart), &value, sizeof value);
}

HRESULT AsfLiveHeader::Update(int64_t dataEnd, uint64_t packets, int64_t duration100ns)
{
    if (fd < 0)
        return E_UNEXPECTED;
    const int64_t sendDuration = duration100ns / 10'000 * 10'000;
    Put(fileSizeOffset, uint64_t(dataEnd));
    Put(filePropertiesOffset + PacketsCountField, packets);
    Put(filePropertiesOffset + PlayDurationField, uint64_t(sendDuration + prerollMs * 10'000));
    Put(filePropertiesOffset + SendDurationField, uint64_t(sendDuration));
    Put(dataOffset + DataSizeField, uint64_t(dataEnd - dataOffset));
    Put(dataOffset + TotalPacketsField, packets);
    for (;;) {
        const ssize_t n = pwrite(fd, region.data(), region.size(), off_t(regionStart));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AsfHResultFromErrno(errno);
        // Rewriting bytes that exist takes no new space, so a short write is a device fault.
        if (size_t(n) != region.size())
            return AsfHResultFromErrno(EIO);
        return S_OK;
    }
}
