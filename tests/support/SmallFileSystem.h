// A folder on a file system too small for what a test writes, to see how full disks are met.
// Root (as in CI) gets a private tmpfs of the size asked for; elsewhere the test falls back to
// the process's file size limit (ProcessFileSizeLimit) or skips, saying why.
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>

#include "TempFolder.h"

class SmallFileSystem
{
public:
    // Mounts a tmpfs of `bytes` (rounded up to whole pages by the kernel) on a fresh folder.
    explicit SmallFileSystem(uint64_t bytes)
    {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (geteuid() != 0)
            why = "only root may mount a small tmpfs";
        else if (mount("tmpfs", folder.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                       options.c_str()) == 0)
            mounted = true;
        else
            why = std::string("cannot mount a tmpfs: ") + strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (mounted)
            umount2(folder.Path().c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    // False where this process may not mount (not root, or no CAP_SYS_ADMIN); Why() says why.
    bool Mounted() const { return mounted; }
    const std::string& Why() const { return why; }
    std::string operator/(const std::string& name) const { return folder / name; }
    const std::filesystem::path& Path() const { return folder.Path(); }

    // Bytes in use on the file system.
    uint64_t UsedBytes() const
    {
        struct statvfs info
        {
        };
        if (statvfs(folder.Path().c_str(), &info) != 0)
            return 0;
        return uint64_t(info.f_blocks - info.f_bfree) * info.f_frsize;
    }

private:
    TempFolder folder;
    bool mounted = false;
    std::string why;
};

// Lowers this process's file size limit for its lifetime, so that a write past `bytes` fails
// with EFBIG instead of filling a disk. SIGXFSZ, which would end the process, is ignored
// meanwhile. Child processes started meanwhile inherit both.
class ProcessFileSizeLimit
{
public:
    explicit ProcessFileSizeLimit(uint64_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = rlim_t(bytes);
        active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~ProcessFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    ProcessFileSizeLimit(const ProcessFileSizeLimit&) = delete;
    ProcessFileSizeLimit& operator=(const ProcessFileSizeLimit&) = delete;

    bool Active() const { return active; }

private:
    rlimit saved{};
    void (*previousHandler)(int) = SIG_DFL;
    bool active = false;
};
