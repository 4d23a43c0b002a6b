// A folder on a file system too small for what a test writes, to see how full disks are met.
// Root (as in CI) gets a private tmpfs of the size asked for; elsewhere the test falls back to
// the process's file size limit (FileSizeLimit) or skips, saying why.
#pragma once

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <string>

#include "TempFolder.h"

class SmallFileSystem
{
public:
    // Mounts a tmpfs of `bytes` (rounded up to whole pages by the kernel) on a fresh folder.
    explicit SmallFileSystem(uint64_t bytes)
    {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        mounted = geteuid() == 0 &&
                  mount("tmpfs", folder.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted)
            umount2(folder.Path().c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    // False where this process may not mount (not root, or no CAP_SYS_ADMIN).
    bool Mounted() const { return mounted; }
    std::string operator/(const std::string& name) const { return folder / name; }
    const std::filesystem::path& Path() const { return folder.Path(); }

private:
    TempFolder folder;
    bool mounted = false;
};

// Lowers this process's file size limit for its lifetime, so that a write past `bytes` fails
// with EFBIG instead of filling a disk. SIGXFSZ, which would end the process, is ignored
// meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(uint64_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = rlim_t(bytes);
        active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active; }

private:
    rlimit saved{};
    void (*previousHandler)(int) = SIG_DFL;
    bool active = false;
};
