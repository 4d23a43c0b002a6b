#include "RewriteAsfFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../dshow/AsfErrors.h"
#include "AsfFileCheck.h"
#include "com/DebugLog.h"
#include "wmf/WmfErrors.h"

namespace {

// The file properties object, stored with the first three GUID fields little-endian.
constexpr BYTE kFilePropertiesObjectId[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr size_t kObjectHeaderSize = 24;      // GUID, then the object's size as a QWORD
constexpr size_t kHeaderObjectFixedSize = 30; // + object count DWORD, two reserved bytes
// Object header, then the file id GUID; the file size QWORD follows.
constexpr size_t kFileSizeOffset = kObjectHeaderSize + 16;
// Large enough that copying the audio costs little more than the system calls for it.
constexpr size_t kCopyBufferSize = 1 << 20;

uint64_t ReadU64(const BYTE* bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

void WriteU64(BYTE* bytes, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes[i] = BYTE(value >> (8 * i));
}

// Owns a descriptor, and the temporary file behind it until Keep.
class ScopedFile
{
public:
    ScopedFile() = default;
    ~ScopedFile()
    {
        if (fd >= 0)
            close(fd);
        if (!temporaryPath.empty())
            unlink(temporaryPath.c_str());
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    int fd = -1;
    std::string temporaryPath; // removed on destruction unless kept
};

HRESULT Fail(const std::string& path, const char* what, int error)
{
    QUILLET_LOG("wmf", "%s: %s failed: %s", path.c_str(), what, strerror(error));
    return AsfHResultFromErrno(error);
}

bool ReadAll(int fd, uint64_t offset, BYTE* buffer, size_t size, int* error)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, buffer + done, size - done, off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            *error = got < 0 ? errno : EIO; // the file shrank under us
            return false;
        }
        done += size_t(got);
    }
    return true;
}

bool WriteAll(int fd, const BYTE* data, size_t size, int* error)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t written = write(fd, data + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *error = written < 0 ? errno : EIO;
            return false;
        }
        done += size_t(written);
    }
    return true;
}

// Copies size bytes from offset of `from` to the end of `to`: in the kernel where it can, else
// through a buffer. Every short write is an error, so a full disk never passes unseen.
bool CopyRange(int from, uint64_t offset, int to, uint64_t size, int* error)
{
    off_t in = off_t(offset);
    while (size > 0) {
        const ssize_t copied = copy_file_range(from, &in, to, nullptr, size, 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied > 0) {
            size -= uint64_t(copied);
            continue;
        }
        if (copied == 0) {
            *error = EIO; // the file shrank under us
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            *error = errno;
            return false;
        }
        break; // not between these files: copy through memory
    }
    std::vector<BYTE> buffer(std::min<uint64_t>(size, kCopyBufferSize));
    while (size > 0) {
        const size_t chunk = size_t(std::min<uint64_t>(size, buffer.size()));
        if (!ReadAll(from, uint64_t(in), buffer.data(), chunk, error) ||
            !WriteAll(to, buffer.data(), chunk, error))
            return false;
        in += off_t(chunk);
        size -= chunk;
    }
    return true;
}

HRESULT SetFileSize(std::vector<BYTE>& header, uint64_t fileSize)
{
    if (header.size() < kHeaderObjectFixedSize)
        return NS_E_INVALID_INPUT_FORMAT;
    for (size_t offset = kHeaderObjectFixedSize; header.size() - offset >= kObjectHeaderSize;) {
        const uint64_t objectSize = ReadU64(&header[offset + 16]);
        if (objectSize < kObjectHeaderSize || objectSize > header.size() - offset)
            break;
        if (memcmp(&header[offset], kFilePropertiesObjectId, 16) == 0) {
            if (objectSize < kFileSizeOffset + 8)
                break;
            WriteU64(&header[offset + kFileSizeOffset], fileSize);
            return S_OK;
        }
        offset += size_t(objectSize);
    }
    return NS_E_INVALID_INPUT_FORMAT;
}

// The folder and the name of the file that a path finally names, through symbolic links.
bool ResolvePath(const std::string& path, std::string* folder, std::string* name, int* error)
{
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) {
        *error = errno;
        return false;
    }
    const std::string full(resolved);
    free(resolved);
    const size_t slash = full.rfind('/');
    *folder = slash == 0 ? "/" : full.substr(0, slash);
    *name = full.substr(slash + 1);
    return true;
}

// Opens the clip without blocking on what is not a regular file and checks that it is an ASF
// file; the size of its header object.
HRESULT OpenCheckedAsfFile(const std::string& path, ScopedFile& file, uint64_t* headerSize)
{
    HRESULT hr = OpenAsfFile(path, &file.fd);
    if (FAILED(hr))
        return hr;
    return CheckAsfFile(file.fd, path, headerSize);
}

} // namespace

HRESULT ReadAsfHeader(const std::string& path, std::vector<BYTE>* header)
{
    header->clear();
    ScopedFile file;
    uint64_t headerSize = 0;
    HRESULT hr = OpenCheckedAsfFile(path, file, &headerSize);
    if (FAILED(hr))
        return hr;
    header->resize(size_t(headerSize));
    int error = 0;
    if (!ReadAll(file.fd, 0, header->data(), header->size(), &error)) {
        header->clear();
        return Fail(path, "reading the header", error);
    }
    return S_OK;
}

HRESULT RewriteAsfFile(const std::string& path, const AsfHeaderEdit& edit)
{
    ScopedFile old;
    uint64_t oldHeaderSize = 0;
    HRESULT hr = OpenCheckedAsfFile(path, old, &oldHeaderSize);
    if (FAILED(hr))
        return hr;
    struct stat info
    {
    };
    if (fstat(old.fd, &info) != 0)
        return Fail(path, "stat", errno);
    const uint64_t oldSize = uint64_t(info.st_size);

    std::vector<BYTE> header(static_cast<size_t>(oldHeaderSize));
    int error = 0;
    if (!ReadAll(old.fd, 0, header.data(), header.size(), &error))
        return Fail(path, "reading the header", error);
    hr = edit(header);
    if (FAILED(hr))
        return hr;
    const uint64_t newSize = header.size() + (oldSize - oldHeaderSize);
    hr = SetFileSize(header, newSize);
    if (FAILED(hr)) {
        QUILLET_LOG("wmf", "%s: the new header has no file properties object", path.c_str());
        return hr;
    }

    // Beside the file, so that the rename stays within one file system and the folder's own
    // rules (its permissions, its quota) apply; hidden, so that a file left by a crash does not
    // show up as a clip.
    std::string folder, name;
    if (!ResolvePath(path, &folder, &name, &error))
        return Fail(path, "resolving the path", error);
    const std::string target = folder + "/" + name;
    ScopedFile temporary;
    std::string pattern = folder + "/." + name + ".XXXXXX";
    temporary.fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (temporary.fd < 0)
        return Fail(path, "creating a temporary file beside it", errno);
    temporary.temporaryPath = pattern;

    // Root may keep the owner too; anyone else gets a file of their own, as with any save.
    if (fchown(temporary.fd, info.st_uid, info.st_gid) != 0)
        QUILLET_LOG("wmf", "%s: the rewritten file keeps its new owner: %s", path.c_str(),
                    strerror(errno));
    if (fchmod(temporary.fd, info.st_mode & 07777) != 0)
        return Fail(path, "setting the permissions of the new file", errno);
    if (!WriteAll(temporary.fd, header.data(), header.size(), &error))
        return Fail(path, "writing the new header", error);
    if (!CopyRange(old.fd, oldHeaderSize, temporary.fd, oldSize - oldHeaderSize, &error))
        return Fail(path, "copying the audio", error);
    // The rename must never give the name to a file whose data is still only in memory: after
    // a crash it would name an empty or partial file.
    if (fsync(temporary.fd) != 0)
        return Fail(path, "writing the new file to disk", errno);
    uint64_t checkedHeaderSize = 0;
    hr = CheckAsfFile(temporary.fd, pattern, &checkedHeaderSize);
    if (FAILED(hr) || checkedHeaderSize != header.size()) {
        QUILLET_LOG("wmf", "%s: the rewritten file does not check", path.c_str());
        return FAILED(hr) ? hr : NS_E_INVALID_INPUT_FORMAT;
    }
    const int written = temporary.fd;
    temporary.fd = -1;
    if (close(written) != 0)
        return Fail(path, "closing the new file", errno);
    if (rename(pattern.c_str(), target.c_str()) != 0)
        return Fail(path, "renaming the new file over it", errno);
    temporary.temporaryPath.clear();

    // The new name is in place; making it durable is the folder's part, and the edit has
    // happened whether or not this succeeds.
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        if (fsync(folderFd) != 0)
            QUILLET_LOG("wmf", "%s: syncing the folder failed: %s", path.c_str(), strerror(errno));
        close(folderFd);
    }
    QUILLET_LOG("wmf", "%s: header rewritten, %llu bytes (was %llu)", path.c_str(),
                static_cast<unsigned long long>(newSize), static_cast<unsigned long long>(oldSize));
    return S_OK;
}
