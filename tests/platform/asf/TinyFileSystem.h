// A tmpfs of a few kilobytes mounted for one test, to fill up a disk for real. Mounting needs
// CAP_SYS_ADMIN (CI runs as root); where it is refused, Mounted() is false and Why() says why.
// Shared with the command-line tests, which include it by path.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <sys/statvfs.h>

class TinyFileSystem
{
public:
    // Mounts a tmpfs of `kilobytes` on `folder`, which is created.
    TinyFileSystem(const std::string& folder, uint64_t kilobytes) : path(folder)
    {
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0700";
        if (mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            mounted = true;
        else
            why = std::string("cannot mount a tmpfs: ") + strerror(errno);
    }
    ~TinyFileSystem()
    {
        if (mounted)
            umount2(path.c_str(), MNT_DETACH);
    }
    TinyFileSystem(const TinyFileSystem&) = delete;
    TinyFileSystem& operator=(const TinyFileSystem&) = delete;

    bool Mounted() const { return mounted; }
    const std::string& Why() const { return why; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

    // Bytes in use on the file system.
    uint64_t UsedBytes() const
    {
        struct statvfs info
        {
        };
        if (statvfs(path.c_str(), &info) != 0)
            return 0;
        return uint64_t(info.f_blocks - info.f_bfree) * info.f_frsize;
    }

private:
    std::string path;
    bool mounted = false;
    std::string why;
};
