// One hive kept as one .reg file (see HiveText.h), cached in memory and re-read when the file
// changes. Readers need no lock: writers replace the file atomically, so a reader sees the old
// or the new file whole. A change takes an exclusive flock on "<file>.lock" beside the hive,
// re-reads the file, applies itself, writes the whole hive to "<file>.tmp", syncs it, renames
// it over the hive and syncs the folder. A file that does not parse is renamed aside to
// "<file>.corrupt-<UTC time>" and read as empty.
//
// Not thread-safe: the registry calls a store only under its own mutex.
#pragma once

#include <functional>
#include <string>
#include <sys/stat.h>

#include "RegNode.h"

namespace quillet::registry {

class HiveStore
{
public:
    // fileName is the file in the registry folder, rootName the hive's name in it.
    HiveStore(std::string fileName, std::string rootName);
    ~HiveStore();
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    // The folder of the hive files: $QUILLET_REGISTRY_DIR, else $XDG_CONFIG_HOME/quillet, else
    // ~/.config/quillet. Read on every call, so a test may move the registry at any time.
    static std::string Directory();

    // The hive's current content (empty when there is no file yet). Fails with
    // ERROR_CANTREAD when the file exists but cannot be read.
    LONG Read(const RegNode*& root);

    // Edits the hive under the file lock: change receives the current tree, edits it and sets
    // changed when it did; the hive is then written whole. The result is change's own unless
    // writing fails (ERROR_CANTWRITE). A change that fails after editing is discarded.
    using Change = std::function<LONG(RegNode& root, bool& changed)>;
    LONG Modify(const Change& change);

private:
    // Brings root up to date with the file at dir; locked tells whether the file lock is held
    // (needed to set a corrupt file aside without racing a writer).
    LONG Refresh(const std::string& dir, bool locked);
    LONG WriteHive(const std::string& dir, const std::string& path);
    // Takes tree as the content of the file at path, open as fd (-1 when there is no file).
    void Adopt(const std::string& path, int fd, const struct stat& identity, RegNode tree);
    // Drops the cache, so the next read goes back to the file.
    void Forget();

    std::string fileName;
    std::string rootName;
    bool cached = false;
    std::string cachedPath;
    // The parsed file stays open: while it is, its inode number cannot be reused, so an equal
    // inode at the path means the same file and the cache is current.
    int cachedFd = -1;
    struct stat cachedIdentity = {};
    RegNode root;
};

} // namespace quillet::registry
