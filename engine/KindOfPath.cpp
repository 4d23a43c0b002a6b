#include "KindOfPath.h"

#include <sys/stat.h>

PathKind KindOfPath(const std::string& path)
{
    struct stat entry
    {
    };
    if (stat(path.c_str(), &entry) != 0)
        return PathKind::Missing;
    if (S_ISREG(entry.st_mode))
        return PathKind::RegularFile;
    if (S_ISDIR(entry.st_mode))
        return PathKind::Folder;
    return PathKind::Other;
}

std::string NotRegularFileText(const std::string& path)
{
    return "Not a regular file (\"" + path + "\")";
}
