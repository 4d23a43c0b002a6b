#include "HiveStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include "HiveText.h"
#include "com/DebugLog.h"

namespace quillet::registry {

namespace {

// An exclusive flock on a lock file beside the hive, held for the lifetime of the object.
class FileLock
{
public:
    explicit FileLock(const std::string& path)
    {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            QUILLET_LOG("registry", "cannot open lock file %s: %s", path.c_str(),
                        std::strerror(errno));
            return;
        }
        int rc;
        do
            rc = flock(fd, LOCK_EX);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            QUILLET_LOG("registry", "cannot lock %s: %s", path.c_str(), std::strerror(errno));
            close(fd);
            fd = -1;
        }
    }
    ~FileLock()
    {
        if (fd >= 0)
            close(fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return fd >= 0; }

private:
    int fd = -1;
};

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool ReadAll(int fd, std::string& out)
{
    out.clear();
    char buffer[65536];
    while (true) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out.append(buffer, size_t(n));
    }
}

bool WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(size_t(n));
    }
    return true;
}

// "<path>.corrupt-20250102T030405.123456789Z": unique enough that a second bad file beside it
// never overwrites the first.
std::string CorruptName(const std::string& path)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char stamp[48];
    size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &parts);
    std::snprintf(stamp + length, sizeof stamp - length, ".%09ldZ", long(now.tv_nsec));
    return path + ".corrupt-" + stamp;
}

} // namespace

HiveStore::HiveStore(std::string fileName, std::string rootName)
    : fileName(std::move(fileName)), rootName(std::move(rootName))
{
}

HiveStore::~HiveStore()
{
    Forget();
}

std::string HiveStore::Directory()
{
    if (const char* dir = std::getenv("QUILLET_REGISTRY_DIR"); dir && *dir)
        return dir;
    // XDG base directories must be absolute; a relative XDG_CONFIG_HOME is ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/quillet";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/quillet";
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return std::string(found->pw_dir) + "/.config/quillet";
    return {};
}

LONG HiveStore::Read(const RegNode*& tree)
{
    std::string dir = Directory();
    if (dir.empty()) {
        QUILLET_LOG("registry", "no folder for %s: neither QUILLET_REGISTRY_DIR nor HOME is set",
                    fileName.c_str());
        return ERROR_CANTREAD;
    }
    LONG rc = Refresh(dir, false);
    if (rc == ERROR_SUCCESS)
        tree = &root;
    return rc;
}

LONG HiveStore::Modify(const Change& change)
{
    std::string dir = Directory();
    std::error_code error;
    if (!dir.empty())
        std::filesystem::create_directories(dir, error);
    if (dir.empty() || error) {
        QUILLET_LOG("registry", "cannot create the registry folder '%s': %s", dir.c_str(),
                    error.message().c_str());
        return ERROR_CANTWRITE;
    }
    std::string path = dir + "/" + fileName;
    FileLock lock(path + ".lock");
    if (!lock.Held())
        return ERROR_CANTWRITE;
    LONG rc = Refresh(dir, true);
    if (rc != ERROR_SUCCESS)
        return rc;
    bool changed = false;
    rc = change(root, changed);
    if (!changed)
        return rc;
    if (rc != ERROR_SUCCESS) {
        Forget();
        return rc;
    }
    rc = WriteHive(dir, path);
    if (rc != ERROR_SUCCESS)
        Forget(); // the file still holds the truth
    return rc;
}

LONG HiveStore::Refresh(const std::string& dir, bool locked)
{
    std::string path = dir + "/" + fileName;
    struct stat identity
    {
    };
    if (stat(path.c_str(), &identity) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            QUILLET_LOG("registry", "cannot read %s: %s", path.c_str(), std::strerror(errno));
            return ERROR_CANTREAD;
        }
        if (!cached || cachedPath != path || cachedFd >= 0)
            Adopt(path, -1, identity, RegNode{});
        return ERROR_SUCCESS;
    }
    if (cached && cachedPath == path && cachedFd >= 0 && SameFile(identity, cachedIdentity))
        return ERROR_SUCCESS;

    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    if (fd < 0 && errno == ENOENT) // removed between stat and open: look again
        return Refresh(dir, locked);
    if (fd < 0 || fstat(fd, &identity) != 0 || !ReadAll(fd, text)) {
        QUILLET_LOG("registry", "cannot read %s: %s", path.c_str(), std::strerror(errno));
        if (fd >= 0)
            close(fd);
        return ERROR_CANTREAD;
    }
    std::string error;
    std::optional<RegNode> tree = ParseHiveText(text, rootName, error);
    if (tree) {
        Adopt(path, fd, identity, std::move(*tree));
        return ERROR_SUCCESS;
    }
    if (!locked) {
        // Setting the file aside must not race a writer that is replacing it right now.
        FileLock lock(path + ".lock");
        if (lock.Held()) {
            close(fd);
            return Refresh(dir, true);
        }
        QUILLET_LOG("registry", "%s does not parse (%s); reading it as empty", path.c_str(),
                    error.c_str());
        Adopt(path, fd, identity, RegNode{});
        return ERROR_SUCCESS;
    }
    std::string aside = CorruptName(path);
    if (rename(path.c_str(), aside.c_str()) == 0) {
        QUILLET_LOG("registry", "%s does not parse (%s); kept as %s and read as empty",
                    path.c_str(), error.c_str(), aside.c_str());
        close(fd);
        Adopt(path, -1, identity, RegNode{});
    } else {
        QUILLET_LOG("registry", "%s does not parse (%s) and cannot be set aside (%s)", path.c_str(),
                    error.c_str(), std::strerror(errno));
        Adopt(path, fd, identity, RegNode{});
    }
    return ERROR_SUCCESS;
}

LONG HiveStore::WriteHive(const std::string& dir, const std::string& path)
{
    std::string text = FormatHiveText(root, rootName);
    // The lock is held, so one fixed temporary name suffices; a writer that was killed left
    // at most this file behind, and it is simply overwritten.
    std::string temporary = path + ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    struct stat identity
    {
    };
    if (fd < 0 || !WriteAll(fd, text) || fsync(fd) != 0 || fstat(fd, &identity) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        QUILLET_LOG("registry", "cannot write %s: %s", path.c_str(), std::strerror(errno));
        if (fd >= 0) {
            close(fd);
            unlink(temporary.c_str());
        }
        return ERROR_CANTWRITE;
    }
    // The rename is durable only once the folder's entry is on disk too.
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0 || fsync(dirFd) != 0)
        QUILLET_LOG("registry", "cannot sync the folder %s: %s", dir.c_str(), std::strerror(errno));
    if (dirFd >= 0)
        close(dirFd);
    Adopt(path, fd, identity, std::move(root));
    return ERROR_SUCCESS;
}

void HiveStore::Adopt(const std::string& path, int fd, const struct stat& identity, RegNode tree)
{
    if (cachedFd >= 0 && cachedFd != fd)
        close(cachedFd);
    cached = true;
    cachedPath = path;
    cachedFd = fd;
    cachedIdentity = identity;
    root = std::move(tree);
}

void HiveStore::Forget()
{
    if (cachedFd >= 0)
        close(cachedFd);
    cachedFd = -1;
    cached = false;
    root = RegNode{};
}

} // namespace quillet::registry
