// A temporary registry folder per test, and small helpers over the Reg* functions.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "registry/Registry.h"

class RegistryFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillet-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        UseFolder(root);
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    // Points the registry at another folder below the test's own.
    void UseFolder(const std::filesystem::path& folder)
    {
        dir = folder;
        ASSERT_EQ(setenv("QUILLET_REGISTRY_DIR", dir.c_str(), 1), 0);
    }

    // Copies the hive files to a fresh folder and reads from there: whatever is read back
    // afterwards came from the files, not from memory.
    void ReadFromCopy()
    {
        std::filesystem::path copy = root / ("copy" + std::to_string(++copies));
        std::filesystem::create_directories(copy);
        for (const char* name : {"classes.reg", "user.reg"})
            if (std::filesystem::exists(dir / name))
                std::filesystem::copy_file(dir / name, copy / name);
        UseFolder(copy);
    }

    static std::string ReadText(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static void WriteText(const std::filesystem::path& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }

    // The files of the folder whose names start with prefix.
    std::vector<std::filesystem::path> FilesStartingWith(const std::string& prefix) const
    {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().filename().string().starts_with(prefix))
                found.push_back(entry.path());
        return found;
    }

    static HKEY Create(HKEY parent, const char* path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
            << path;
        return key;
    }

    static LONG Set(HKEY key, const char* name, DWORD type, const std::string& bytes)
    {
        return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              DWORD(bytes.size()));
    }

    static LONG SetText(HKEY key, const char* name, const std::string& text)
    {
        return Set(key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
    }

    static LONG SetDword(HKEY key, const char* name, DWORD value)
    {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof value);
    }

    // The value's bytes as RegQueryValueExA hands them out; type is set when found.
    static std::string Query(HKEY key, const char* name, DWORD* type = nullptr)
    {
        DWORD size = 0;
        DWORD found = REG_NONE;
        if (RegQueryValueExA(key, name, nullptr, &found, nullptr, &size) != ERROR_SUCCESS)
            return "<missing>";
        std::string data(size, '\0');
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &found, reinterpret_cast<BYTE*>(data.data()),
                                   &size),
                  ERROR_SUCCESS);
        if (type)
            *type = found;
        return data;
    }

    static bool KeyExists(HKEY parent, const char* path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    std::filesystem::path root; // removed after the test
    std::filesystem::path dir;  // the registry folder in use
    int copies = 0;
};
