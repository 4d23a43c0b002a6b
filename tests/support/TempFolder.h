// A temporary folder that removes itself, for tests that write files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillet-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::string operator/(const std::string& name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

// Points the registry of this test process at a private folder before anything reads it, so
// that tests never touch a user's settings. Construct one as a static object in a test program.
class PrivateRegistry
{
public:
    PrivateRegistry() { setenv("QUILLET_REGISTRY_DIR", folder.Path().c_str(), 1); }
    const TempFolder& Folder() const { return folder; }

private:
    TempFolder folder;
};
