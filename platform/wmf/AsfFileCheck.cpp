#include "AsfFileCheck.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "com/DebugLog.h"
#include "wmf/WmfErrors.h"

namespace {

// Object GUIDs as they are stored: the first three fields little-endian.
constexpr BYTE kHeaderObjectId[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr BYTE kDataObjectId[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

constexpr uint64_t kObjectHeaderSize = 24;      // GUID, then the object's size as a QWORD
constexpr uint64_t kHeaderObjectFixedSize = 30; // + object count DWORD, two reserved bytes
constexpr uint64_t kDataObjectFixedSize = 50;   // + file id GUID, packet count QWORD, 2 bytes

uint64_t ReadU64(const BYTE* bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

uint32_t ReadU32(const BYTE* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

bool ReadAt(int fd, uint64_t offset, BYTE* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = pread(fd, buffer + done, size - done, off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return true;
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

private:
    int fd;
};

HRESULT Invalid(const std::string& path, const char* why)
{
    QUILLET_LOG("wmf", "%s: not a sound ASF file: %s", path.c_str(), why);
    return NS_E_INVALID_INPUT_FORMAT;
}

} // namespace

HRESULT OpenAsfFile(const std::string& path, int* fd)
{
    *fd = -1;
    // Opening a device may do something by itself, so what is plainly not a file is refused
    // unopened.
    struct stat entry
    {
    };
    if (stat(path.c_str(), &entry) == 0 && !S_ISREG(entry.st_mode))
        return Invalid(path, "not a regular file");
    // The entry may change before the open. Without O_NONBLOCK opening a named pipe waits for a
    // writer, for ever; with it the open returns at once and the type check below refuses the
    // pipe before anything reads it.
    int opened;
    do {
        opened = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) {
        const int error = errno;
        QUILLET_LOG("wmf", "%s: %s", path.c_str(), strerror(error));
        return error == EACCES || error == EPERM ? E_ACCESSDENIED : NS_E_FILE_NOT_FOUND;
    }
    struct stat info
    {
    };
    if (fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(opened);
        return Invalid(path, "not a regular file");
    }
    // Reads of a regular file never wait anyway; the flag only mattered for the open.
    fcntl(opened, F_SETFL, fcntl(opened, F_GETFL) & ~O_NONBLOCK);
    *fd = opened;
    return S_OK;
}

HRESULT CheckAsfFile(const std::string& path)
{
    int opened = -1;
    HRESULT hr = OpenAsfFile(path, &opened);
    if (FAILED(hr))
        return hr;
    FileDescriptor file(opened);
    uint64_t headerSize = 0;
    return CheckAsfFile(file.Get(), path, &headerSize);
}

HRESULT CheckAsfFile(int fd, const std::string& path, uint64_t* headerSizeOut)
{
    *headerSizeOut = 0;
    struct stat info
    {
    };
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return Invalid(path, "not a regular file");
    const uint64_t fileSize = uint64_t(info.st_size);

    BYTE header[kHeaderObjectFixedSize];
    if (fileSize < kHeaderObjectFixedSize + kDataObjectFixedSize ||
        !ReadAt(fd, 0, header, sizeof header))
        return Invalid(path, "too short");
    if (memcmp(header, kHeaderObjectId, 16) != 0)
        return Invalid(path, "no header object");
    const uint64_t headerSize = ReadU64(header + 16);
    const uint32_t objectCount = ReadU32(header + 24);
    if (headerSize < kHeaderObjectFixedSize || headerSize > fileSize - kDataObjectFixedSize)
        return Invalid(path, "header object size out of range");

    // Every object of the header must lie inside it; a size that points elsewhere would send
    // a parser into the audio data or past the end of the file.
    uint64_t offset = kHeaderObjectFixedSize;
    for (uint32_t i = 0; i < objectCount; ++i) {
        BYTE object[kObjectHeaderSize];
        if (headerSize - offset < kObjectHeaderSize || !ReadAt(fd, offset, object, sizeof object))
            return Invalid(path, "header holds fewer objects than it counts");
        const uint64_t objectSize = ReadU64(object + 16);
        if (objectSize < kObjectHeaderSize || objectSize > headerSize - offset)
            return Invalid(path, "header object with a size out of range");
        offset += objectSize;
    }

    BYTE data[kObjectHeaderSize];
    if (!ReadAt(fd, headerSize, data, sizeof data))
        return Invalid(path, "no data object");
    if (memcmp(data, kDataObjectId, 16) != 0)
        return Invalid(path, "the header is not followed by the data object");
    const uint64_t dataSize = ReadU64(data + 16);
    // A writer that could not go back to the header (a stream, or a recording that never
    // finished) leaves the data object's size at 0 or at the empty object's 50 bytes, and
    // whatever follows the header is its packets.
    if (dataSize == 0 || dataSize == kDataObjectFixedSize) {
        *headerSizeOut = headerSize;
        return S_OK;
    }
    if (dataSize < kDataObjectFixedSize || dataSize > fileSize - headerSize)
        return Invalid(path, "data object cut short");

    // The index objects after the data must be whole too, or the file was cut short.
    for (offset = headerSize + dataSize; offset < fileSize;) {
        BYTE object[kObjectHeaderSize];
        if (fileSize - offset < kObjectHeaderSize || !ReadAt(fd, offset, object, sizeof object))
            return Invalid(path, "an object after the data is cut short");
        const uint64_t objectSize = ReadU64(object + 16);
        if (objectSize < kObjectHeaderSize || objectSize > fileSize - offset)
            return Invalid(path, "an object after the data is cut short");
        offset += objectSize;
    }
    *headerSizeOut = headerSize;
    return S_OK;
}
