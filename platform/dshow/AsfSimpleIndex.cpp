#include "AsfSimpleIndex.h"

#include "AsfErrors.h"
#include "dshow/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace asf_index {

namespace {

constexpr GUID HeaderObject = MakeGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
constexpr GUID FilePropertiesObject = MakeGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
constexpr GUID DataObject = MakeGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
constexpr GUID SimpleIndexObject = MakeGuid("33000890-E5B1-11CF-89F4-00A0C90349CB");

// Offsets inside the File Properties Object.
constexpr int64_t FileIdOffset = 24;
constexpr int64_t FileSizeOffset = 40;
constexpr int64_t PrerollOffset = 80;
constexpr int64_t FilePropertiesSize = 104;
// Object GUID and size, then the object's own fields.
constexpr int64_t ObjectHeaderSize = 24;
constexpr int64_t HeaderObjectSize = 30;
constexpr int64_t IndexHeaderSize = 56;
constexpr int64_t IndexEntrySize = 6;

// ASF stores GUIDs and numbers little-endian, as this machine does.
static_assert(sizeof(GUID) == 16);

template <typename T> void Put(std::vector<uint8_t>& out, T value)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

template <typename T> T Get(const uint8_t* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

HRESULT WriteExactly(int fd, int64_t offset, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AsfHResultFromErrno(errno);
        if (n == 0)
            return AsfHResultFromErrno(EIO);
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return S_OK;
}

} // namespace

HRESULT ReadExactly(int fd, int64_t offset, uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = pread(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return AsfHResultFromErrno(errno);
        if (n == 0)
            return VFW_E_INVALID_FILE_FORMAT;
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return S_OK;
}

std::vector<uint8_t> Build(const GUID& fileId, int64_t prerollMs, uint32_t packetCount,
                           int64_t packetSamples, int sampleRate, int64_t end100ns)
{
    // Where packet n starts, in 100 ns of media time, rounded as the writer's time stamps are.
    auto start = [&](int64_t n) {
        return int64_t((__int128(n) * packetSamples * 10'000'000 + sampleRate / 2) / sampleRate);
    };
    // Entry i stands for presentation time i seconds, which is media time i s minus the preroll:
    // the last packet that starts at or before it.
    const int64_t preroll100ns = prerollMs * 10'000;
    const int64_t lastPresentation = std::max<int64_t>(end100ns, 0) + preroll100ns;
    const bool usable = packetCount > 0 && packetSamples > 0 && sampleRate > 0;
    const uint32_t count = usable ? uint32_t(lastPresentation / EntryInterval100ns + 1) : 0;
    std::vector<uint8_t> index;
    index.reserve(size_t(IndexHeaderSize + IndexEntrySize * count));
    Put(index, SimpleIndexObject);
    Put(index, uint64_t(IndexHeaderSize + IndexEntrySize * int64_t(count)));
    Put(index, fileId);
    Put(index, uint64_t(EntryInterval100ns));
    Put(index, uint32_t(count ? 1 : 0)); // every packet holds whole frames
    Put(index, count);
    int64_t packet = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t media = int64_t(i) * EntryInterval100ns - preroll100ns;
        while (packet + 1 < int64_t(packetCount) && start(packet + 1) <= media)
            ++packet;
        Put(index, uint32_t(packet));
        Put(index, uint16_t(1));
    }
    return index;
}

int64_t Size(int64_t prerollMs, int64_t end100ns)
{
    const int64_t lastPresentation = std::max<int64_t>(end100ns, 0) + prerollMs * 10'000;
    return IndexHeaderSize + IndexEntrySize * (lastPresentation / EntryInterval100ns + 1);
}

HRESULT ReadLayout(int fd, FileLayout& layout)
{
    uint8_t header[HeaderObjectSize];
    HRESULT hr = ReadExactly(fd, 0, header, sizeof header);
    if (FAILED(hr))
        return hr;
    const int64_t headerSize = int64_t(Get<uint64_t>(header + 16));
    if (Get<GUID>(header) != HeaderObject || headerSize < HeaderObjectSize)
        return VFW_E_INVALID_FILE_FORMAT;

    bool found = false;
    for (int64_t at = HeaderObjectSize; at + ObjectHeaderSize <= headerSize;) {
        uint8_t object[FilePropertiesSize];
        hr = ReadExactly(fd, at, object, ObjectHeaderSize);
        if (FAILED(hr))
            return hr;
        const int64_t size = int64_t(Get<uint64_t>(object + 16));
        if (size < ObjectHeaderSize || size > headerSize - at)
            return VFW_E_INVALID_FILE_FORMAT;
        if (Get<GUID>(object) == FilePropertiesObject) {
            if (size < FilePropertiesSize)
                return VFW_E_INVALID_FILE_FORMAT;
            hr = ReadExactly(fd, at, object, sizeof object);
            if (FAILED(hr))
                return hr;
            layout.fileId = Get<GUID>(object + FileIdOffset);
            layout.filePropertiesOffset = at;
            layout.fileSizeOffset = at + FileSizeOffset;
            layout.prerollMs = int64_t(Get<uint64_t>(object + PrerollOffset));
            found = true;
            break;
        }
        at += size;
    }
    if (!found)
        return VFW_E_INVALID_FILE_FORMAT;

    uint8_t data[ObjectHeaderSize];
    hr = ReadExactly(fd, headerSize, data, sizeof data);
    if (FAILED(hr))
        return hr;
    const int64_t dataSize = int64_t(Get<uint64_t>(data + 16));
    if (Get<GUID>(data) != DataObject || dataSize < ObjectHeaderSize)
        return VFW_E_INVALID_FILE_FORMAT;
    layout.dataOffset = headerSize;
    layout.dataEnd = headerSize + dataSize;
    return S_OK;
}

HRESULT Append(int fd, const FileLayout& layout, const std::vector<uint8_t>& index)
{
    HRESULT hr = WriteExactly(fd, layout.dataEnd, index.data(), index.size());
    if (FAILED(hr))
        return hr;
    const uint64_t fileSize = uint64_t(layout.dataEnd) + index.size();
    if (ftruncate(fd, off_t(fileSize)) != 0)
        return AsfHResultFromErrno(errno);
    return WriteExactly(fd, layout.fileSizeOffset, reinterpret_cast<const uint8_t*>(&fileSize),
                        sizeof fileSize);
}

} // namespace asf_index
