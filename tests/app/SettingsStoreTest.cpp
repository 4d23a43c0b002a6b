// The settings store over the registry of the current user. Every test points the
// registry at a folder of its own and puts the program's folder back afterwards, since the
// test program shares one environment. The tests construct stores of their own; only the last
// test calls Instance(), in the program's private registry.
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "registry/Registry.h"

namespace {

constexpr const char* kKeyPath = "Software\\Hollenby\\Vellox";
constexpr const char* kRegistryVariable = "QUILLET_REGISTRY_DIR";

// Sets QUILLET_REGISTRY_DIR for its lifetime and restores the previous value (or its absence).
class ScopedRegistryDir
{
public:
    explicit ScopedRegistryDir(const std::string& dir)
    {
        if (const char* old = std::getenv(kRegistryVariable))
            previous = old;
        Point(dir);
    }
    ~ScopedRegistryDir()
    {
        if (previous)
            setenv(kRegistryVariable, previous->c_str(), 1);
        else
            unsetenv(kRegistryVariable);
    }
    ScopedRegistryDir(const ScopedRegistryDir&) = delete;
    ScopedRegistryDir& operator=(const ScopedRegistryDir&) = delete;

    static void Point(const std::string& dir) { setenv(kRegistryVariable, dir.c_str(), 1); }

private:
    std::optional<std::string> previous;
};

// A stored value as RegQueryValueExA hands it out.
struct Stored
{
    DWORD type = REG_NONE;
    std::string bytes;
};

std::string DwordBytes(uint32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class SettingsStoreTest : public ::testing::Test
{
protected:
    static bool KeyExists()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // Stores a value with exactly these bytes, creating the key when missing.
    static void Put(const char* name, DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())),
                  ERROR_SUCCESS)
            << name;
        RegCloseKey(key);
    }
    static void PutDword(const char* name, uint32_t value)
    {
        Put(name, REG_DWORD, DwordBytes(value));
    }
    static void PutText(const char* name, const std::string& text)
    {
        Put(name, REG_SZ, std::string(text.c_str(), text.size() + 1));
    }

    static std::optional<Stored> Query(const char* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return std::nullopt;
        Stored stored;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, &stored.type, nullptr, &size);
        if (rc == ERROR_SUCCESS) {
            stored.bytes.resize(size);
            rc = RegQueryValueExA(key, name, nullptr, &stored.type,
                                  reinterpret_cast<BYTE*>(stored.bytes.data()), &size);
            stored.bytes.resize(size);
        }
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return std::nullopt;
        return stored;
    }
    // A REG_DWORD of four bytes, or nothing.
    static std::optional<uint32_t> QueryDword(const char* name)
    {
        std::optional<Stored> stored = Query(name);
        if (!stored || stored->type != REG_DWORD || stored->bytes.size() != 4)
            return std::nullopt;
        uint32_t value = 0;
        std::memcpy(&value, stored->bytes.data(), 4);
        return value;
    }

    // The key's value names in stored (creation) order.
    static std::vector<std::string> ValueNames()
    {
        std::vector<std::string> names;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return names;
        for (DWORD index = 0;; ++index) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        RegCloseKey(key);
        return names;
    }
    static void DeleteAllValues()
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        for (const std::string& name : ValueNames())
            EXPECT_EQ(RegDeleteValueA(key, name.c_str()), ERROR_SUCCESS) << name;
        RegCloseKey(key);
        ASSERT_TRUE(ValueNames().empty());
    }

    static void WriteFile(const std::filesystem::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadFile(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static Bstr Wide(const std::string& utf8) { return Bstr::FromUtf8(utf8); }

    static void ExpectCantOpenValues(const SettingsStore& store)
    {
        uint32_t x = 0, y = 0;
        store.GetWindowPosition(x, y);
        EXPECT_EQ(x, 100u);
        EXPECT_EQ(y, 100u);
        EXPECT_TRUE(store.AlwaysOnTop());
        EXPECT_EQ(store.FileSizeLimitValue(), 100u);
        EXPECT_FALSE(store.ApplyFileSizeLimit());
        EXPECT_TRUE(store.OverwriteFilePrompt());
        EXPECT_EQ(store.SourceFilterName().Get(), nullptr);
        EXPECT_EQ(store.SourceFilterInputPin().Get(), nullptr);
        EXPECT_EQ(store.EncodingProfile().Get(), nullptr);
        EXPECT_EQ(store.OutputPath().Get(), nullptr);
    }

    static void ExpectDefaults(const SettingsStore& store)
    {
        uint32_t x = 0, y = 0;
        store.GetWindowPosition(x, y);
        EXPECT_EQ(x, 200u);
        EXPECT_EQ(y, 150u);
        EXPECT_FALSE(store.AlwaysOnTop());
        EXPECT_EQ(store.FileSizeLimitValue(), 100u);
        EXPECT_FALSE(store.ApplyFileSizeLimit());
        EXPECT_FALSE(store.OverwriteFilePrompt());
        EXPECT_EQ(store.SourceFilterName().Get(), nullptr);
        EXPECT_EQ(store.SourceFilterInputPin().Get(), nullptr);
        EXPECT_EQ(store.EncodingProfile().Get(), nullptr);
        EXPECT_EQ(store.OutputPath().Get(), nullptr);
    }

    // Runs body in a forked child that touches nothing of Qt and answers its exit status
    // (-1 when it did not exit normally).
    template <class Body> static int InChild(Body body)
    {
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) {
            int status = 255;
            try {
                status = body();
            } catch (...) {
            }
            _exit(status);
        }
        if (child < 0)
            return -1;
        int status = 0;
        while (waitpid(child, &status, 0) < 0)
            if (errno != EINTR)
                return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempFolder folder;
    ScopedRegistryDir registry{folder.Path().string()};
};

TEST_F(SettingsStoreTest, FirstRunCreatesTheKeyAndReadsEveryDefault)
{
    ASSERT_FALSE(KeyExists());
    SettingsStore store;
    EXPECT_TRUE(KeyExists());
    ExpectDefaults(store);
    // Loading writes no value: the key is only created.
    EXPECT_TRUE(ValueNames().empty());
    EXPECT_TRUE(store.Load());
    ExpectDefaults(store);
}

TEST_F(SettingsStoreTest, KeyUnderARegularFileKeepsTheCantOpenValues)
{
    // A folder below a regular file can be created by nobody, root included.
    WriteFile(folder.Path() / "plain", "not a folder");
    ScopedRegistryDir::Point(folder / "plain/registry");

    SettingsStore store;
    ExpectCantOpenValues(store);
    EXPECT_FALSE(store.Load());
    ExpectCantOpenValues(store);

    // Writes are dropped: every setter and save answers false, memory still changes.
    EXPECT_FALSE(store.SetAlwaysOnTop(false));
    EXPECT_FALSE(store.AlwaysOnTop());
    EXPECT_FALSE(store.SetFileSizeLimitValue(500));
    EXPECT_EQ(store.FileSizeLimitValue(), 500u);
    EXPECT_FALSE(store.SetApplyFileSizeLimit(true));
    EXPECT_FALSE(store.SetOverwriteFilePrompt(false));
    EXPECT_FALSE(store.SaveWindowSettings());
    EXPECT_FALSE(store.SaveRecorderSettings());
    EXPECT_EQ(ReadFile(folder.Path() / "plain"), "not a folder");
}

TEST_F(SettingsStoreTest, UnreadableHiveKeepsTheCantOpenValues)
{
    // user.reg as a folder: it exists but reading it fails (EISDIR), whatever the user's rights.
    std::filesystem::create_directory(folder.Path() / "user.reg");

    SettingsStore store;
    ExpectCantOpenValues(store);
    EXPECT_FALSE(store.Load());
    EXPECT_FALSE(store.SaveWindowSettings());
    EXPECT_FALSE(store.SaveRecorderSettings());
}

TEST_F(SettingsStoreTest, FailedLoadKeepsTheCurrentValues)
{
    PutDword("WndX", 640);
    PutDword("AlwaysOnTop", 0);
    PutText("OutputPath", "/tmp/kept.wma");
    SettingsStore store;

    WriteFile(folder.Path() / "plain", "");
    ScopedRegistryDir::Point(folder / "plain/registry");
    EXPECT_FALSE(store.Load());
    uint32_t x = 0, y = 0;
    store.GetWindowPosition(x, y);
    EXPECT_EQ(x, 640u);
    EXPECT_EQ(y, 150u);
    EXPECT_FALSE(store.AlwaysOnTop());
    EXPECT_EQ(store.OutputPath().Utf8(), "/tmp/kept.wma");
}

TEST_F(SettingsStoreTest, StoredZeroLimitReadsAsHundredAndZeroIsStoredAsOne)
{
    PutDword("FileSizeLimitValue", 0);
    SettingsStore store;
    EXPECT_EQ(store.FileSizeLimitValue(), 100u);

    EXPECT_TRUE(store.SetFileSizeLimitValue(0));
    EXPECT_EQ(store.FileSizeLimitValue(), 1u);
    std::optional<Stored> stored = Query("FileSizeLimitValue");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, REG_DWORD);
    EXPECT_EQ(stored->bytes, DwordBytes(1));

    EXPECT_TRUE(store.SetFileSizeLimitValue(2048));
    EXPECT_EQ(QueryDword("FileSizeLimitValue"), 2048u);
    EXPECT_EQ(SettingsStore().FileSizeLimitValue(), 2048u);
}

TEST_F(SettingsStoreTest, WindowEdgeStoredAsTextReadsTheDefault)
{
    PutText("WndX", "300");
    PutDword("WndY", 400);
    SettingsStore store;
    uint32_t x = 0, y = 0;
    store.GetWindowPosition(x, y);
    EXPECT_EQ(x, 200u);
    EXPECT_EQ(y, 400u);
}

TEST_F(SettingsStoreTest, NumbersOfTheWrongSizeOrTypeReadTheDefault)
{
    Put("WndX", REG_DWORD, std::string("\x2c\x01", 2));      // two bytes of 300
    Put("WndY", REG_DWORD, DwordBytes(400) + DwordBytes(0)); // eight bytes
    Put("AlwaysOnTop", REG_DWORD, std::string("\x01\x00\x00\x00\x00", 5));
    Put("FileSizeLimitValue", REG_BINARY, DwordBytes(500)); // four bytes, not a DWORD
    Put("ApplyFileSizeLimit", REG_QWORD, DwordBytes(1) + DwordBytes(0));
    Put("OverwriteFilePrompt", REG_DWORD, std::string("\x01\x00\x00", 3));
    SettingsStore store;
    ExpectDefaults(store);
}

TEST_F(SettingsStoreTest, StoredNumbersAreRead)
{
    PutDword("WndX", 12);
    PutDword("WndY", 34);
    PutDword("AlwaysOnTop", 1);
    PutDword("FileSizeLimitValue", 777);
    PutDword("ApplyFileSizeLimit", 1);
    PutDword("OverwriteFilePrompt", 1);
    SettingsStore store;
    uint32_t x = 0, y = 0;
    store.GetWindowPosition(x, y);
    EXPECT_EQ(x, 12u);
    EXPECT_EQ(y, 34u);
    EXPECT_TRUE(store.AlwaysOnTop());
    EXPECT_EQ(store.FileSizeLimitValue(), 777u);
    EXPECT_TRUE(store.ApplyFileSizeLimit());
    EXPECT_TRUE(store.OverwriteFilePrompt());
}

TEST_F(SettingsStoreTest, PathWithNonAsciiLettersAndSpacesRoundTripsExactly)
{
    const std::string path = "/home/zoë/Mes enregistrements/été 1.wma";
    const std::string windowsPath = "C:\\x\\a.wma";
    {
        SettingsStore store;
        store.SetOutputPath(Wide(path).Get());
        store.SetSourceFilterName(Wide(windowsPath).Get());
        store.SetSourceFilterInputPin(Wide("Entrée ligne").Get());
        store.SetEncodingProfile(Wide("{A9D4B819-16CC-4A59-9F37-693DBB0302D6}").Get());
        ASSERT_TRUE(store.SaveRecorderSettings());
    }

    // Stored as the UTF-8 text and one terminating NUL, nothing more.
    std::optional<Stored> stored = Query("OutputPath");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, REG_SZ);
    EXPECT_EQ(stored->bytes, path + '\0');
    EXPECT_EQ(stored->bytes.size(), path.size() + 1);
    // The registry hands strings out with a NUL even when stored without one; the hive file
    // shows what was stored: quoted text is exactly the text and its NUL (else it is hex(1)).
    EXPECT_NE(ReadFile(folder.Path() / "user.reg")
                  .find("\n\"OutputPath\"=\"/home/zoë/Mes enregistrements/été 1.wma\"\n"),
              std::string::npos);

    SettingsStore reread;
    Bstr output = reread.OutputPath();
    EXPECT_EQ(output.View(), std::u16string_view(u"/home/zoë/Mes enregistrements/été 1.wma"));
    EXPECT_EQ(output.Length(), 39u);
    EXPECT_EQ(output.Utf8(), path);
    EXPECT_EQ(reread.SourceFilterName().Utf8(), windowsPath);
    EXPECT_EQ(reread.SourceFilterInputPin().View(), std::u16string_view(u"Entrée ligne"));
    EXPECT_EQ(reread.EncodingProfile().Utf8(), "{A9D4B819-16CC-4A59-9F37-693DBB0302D6}");
}

TEST_F(SettingsStoreTest, EmptyStringsReadAsNull)
{
    Put("SourceFilterName", REG_SZ, std::string(1, '\0')); // "" with its NUL
    Put("SourceFilterInputPin", REG_SZ, "");               // no bytes at all
    SettingsStore store;
    EXPECT_EQ(store.SourceFilterName().Get(), nullptr);
    EXPECT_EQ(store.SourceFilterInputPin().Get(), nullptr);
}

TEST_F(SettingsStoreTest, StringStoredWithoutTerminatorKeepsItsLastCharacter)
{
    Put("OutputPath", REG_SZ, "/tmp/a.wma");
    Put("EncodingProfile", REG_SZ, "x");
    SettingsStore store;
    EXPECT_EQ(store.OutputPath().Utf8(), "/tmp/a.wma");
    EXPECT_EQ(store.EncodingProfile().Utf8(), "x");
}

TEST_F(SettingsStoreTest, StringsOfAnotherTypeOrWithEmbeddedNulReadAsTheirText)
{
    Put("OutputPath", REG_EXPAND_SZ, std::string("/tmp/a.wma\0", 11));
    Put("SourceFilterName", REG_BINARY, "Microphone");
    Put("EncodingProfile", REG_SZ, std::string("ab\0cd\0", 6));
    SettingsStore store;
    EXPECT_EQ(store.OutputPath().Get(), nullptr);
    EXPECT_EQ(store.SourceFilterName().Get(), nullptr);
    EXPECT_EQ(store.EncodingProfile().Utf8(), "ab");
}

TEST_F(SettingsStoreTest, StringSettersChangeMemoryOnlyAndEmptyClears)
{
    PutText("SourceFilterName", "Microphone");
    PutText("OutputPath", "/tmp/old.wma");
    SettingsStore store;
    store.SetSourceFilterName(nullptr);
    Bstr empty(u"");
    ASSERT_NE(empty.Get(), nullptr);
    store.SetOutputPath(empty.Get());
    store.SetEncodingProfile(Wide("profile").Get());
    EXPECT_EQ(store.SourceFilterName().Get(), nullptr);
    EXPECT_EQ(store.OutputPath().Get(), nullptr);
    EXPECT_EQ(store.EncodingProfile().Utf8(), "profile");
    // Nothing is written until the recorder group is saved.
    EXPECT_EQ(SettingsStore().SourceFilterName().Utf8(), "Microphone");
    EXPECT_FALSE(Query("EncodingProfile").has_value());

    ASSERT_TRUE(store.SaveRecorderSettings());
    // A missing string is written as "".
    for (const char* name : {"SourceFilterName", "SourceFilterInputPin", "OutputPath"}) {
        std::optional<Stored> stored = Query(name);
        ASSERT_TRUE(stored) << name;
        EXPECT_EQ(stored->type, REG_SZ) << name;
        EXPECT_EQ(stored->bytes, std::string(1, '\0')) << name;
        EXPECT_NE(
            ReadFile(folder.Path() / "user.reg").find("\n\"" + std::string(name) + "\"=\"\"\n"),
            std::string::npos)
            << name;
    }
    SettingsStore reread;
    EXPECT_EQ(reread.SourceFilterName().Get(), nullptr);
    EXPECT_EQ(reread.OutputPath().Get(), nullptr);
    EXPECT_EQ(reread.EncodingProfile().Utf8(), "profile");
}

TEST_F(SettingsStoreTest, EachSaveGroupWritesExactlyItsValuesInOrder)
{
    PutDword("WndX", 1);
    PutDword("WndY", 2);
    PutDword("AlwaysOnTop", 1);
    PutDword("FileSizeLimitValue", 3);
    PutDword("ApplyFileSizeLimit", 1);
    PutText("SourceFilterName", "source");
    PutText("SourceFilterInputPin", "pin");
    PutText("EncodingProfile", "profile");
    PutText("OutputPath", "/tmp/out.wma");
    PutDword("OverwriteFilePrompt", 1);
    SettingsStore store;
    store.SetWindowPosition(640, 480);
    store.SetOutputPath(Wide("/tmp/new.wma").Get());

    // With every value removed behind the store's back, each save puts back its group alone.
    DeleteAllValues();
    ASSERT_TRUE(store.SaveWindowSettings());
    EXPECT_EQ(ValueNames(), (std::vector<std::string>{"WndX", "WndY", "AlwaysOnTop"}));
    EXPECT_EQ(QueryDword("WndX"), 640u);
    EXPECT_EQ(QueryDword("WndY"), 480u);
    EXPECT_EQ(QueryDword("AlwaysOnTop"), 1u);

    DeleteAllValues();
    ASSERT_TRUE(store.SaveRecorderSettings());
    EXPECT_EQ(ValueNames(),
              (std::vector<std::string>{"FileSizeLimitValue", "ApplyFileSizeLimit",
                                        "SourceFilterName", "SourceFilterInputPin",
                                        "EncodingProfile", "OutputPath", "OverwriteFilePrompt"}));
    EXPECT_EQ(QueryDword("FileSizeLimitValue"), 3u);
    EXPECT_EQ(QueryDword("ApplyFileSizeLimit"), 1u);
    EXPECT_EQ(Query("SourceFilterName")->bytes, std::string("source", 7));
    EXPECT_EQ(Query("SourceFilterInputPin")->bytes, std::string("pin", 4));
    EXPECT_EQ(Query("EncodingProfile")->bytes, std::string("profile", 8));
    EXPECT_EQ(Query("OutputPath")->bytes, std::string("/tmp/new.wma", 13));
    EXPECT_EQ(QueryDword("OverwriteFilePrompt"), 1u);

    // Values of the other group that were changed elsewhere stay as they are.
    PutDword("WndX", 9);
    PutText("OutputPath", "/tmp/elsewhere.wma");
    ASSERT_TRUE(store.SaveWindowSettings());
    EXPECT_EQ(Query("OutputPath")->bytes, std::string("/tmp/elsewhere.wma", 19));
    PutDword("WndX", 9);
    ASSERT_TRUE(store.SaveRecorderSettings());
    EXPECT_EQ(QueryDword("WndX"), 9u);
}

TEST_F(SettingsStoreTest, SavesCreateAMissingKey)
{
    SettingsStore store;
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Hollenby", 0, KEY_ALL_ACCESS, &root),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(root, "Vellox"), ERROR_SUCCESS);
    RegCloseKey(root);
    ASSERT_FALSE(KeyExists());

    // A write-through setter only opens the key; the saves create it.
    EXPECT_FALSE(store.SetOverwriteFilePrompt(true));
    EXPECT_TRUE(store.SaveWindowSettings());
    EXPECT_TRUE(KeyExists());
    EXPECT_TRUE(store.SaveRecorderSettings());
    EXPECT_EQ(QueryDword("OverwriteFilePrompt"), 1u);
}

TEST_F(SettingsStoreTest, WriteThroughSettersAreSeenByAnotherProcessAtOnce)
{
    SettingsStore store;
    store.SetWindowPosition(777, 888);             // memory only: not seen
    store.SetOutputPath(Wide("/tmp/x.wma").Get()); // memory only: not seen
    ASSERT_TRUE(store.SetAlwaysOnTop(true));
    ASSERT_TRUE(store.SetOverwriteFilePrompt(true));
    ASSERT_TRUE(store.SetApplyFileSizeLimit(true));
    ASSERT_TRUE(store.SetFileSizeLimitValue(4321));

    // The child reads a copy of the hive file in a folder of its own, so what it sees comes
    // from the file and not from the registry's cache that fork() handed down.
    int copies = 0;
    auto childReads = [&]() {
        std::filesystem::path copy = folder.Path() / ("child" + std::to_string(++copies));
        return InChild([&]() {
            std::filesystem::create_directory(copy);
            std::filesystem::copy_file(folder.Path() / "user.reg", copy / "user.reg");
            ScopedRegistryDir::Point(copy.string());
            SettingsStore seen;
            uint32_t x = 0, y = 0;
            seen.GetWindowPosition(x, y);
            return (seen.AlwaysOnTop() ? 1 : 0) | (seen.OverwriteFilePrompt() ? 2 : 0) |
                   (seen.ApplyFileSizeLimit() ? 4 : 0) |
                   (seen.FileSizeLimitValue() == 4321 ? 8 : 0) |
                   (seen.FileSizeLimitValue() == 7 ? 16 : 0) | (x == 200 && y == 150 ? 32 : 0) |
                   (seen.OutputPath().Get() == nullptr ? 64 : 0);
        });
    };
    EXPECT_EQ(childReads(), 1 | 2 | 4 | 8 | 32 | 64);

    ASSERT_TRUE(store.SetAlwaysOnTop(false));
    ASSERT_TRUE(store.SetOverwriteFilePrompt(false));
    ASSERT_TRUE(store.SetApplyFileSizeLimit(false));
    ASSERT_TRUE(store.SetFileSizeLimitValue(7));
    EXPECT_EQ(childReads(), 16 | 32 | 64);
}

TEST_F(SettingsStoreTest, CorruptHiveGivesTheDefaults)
{
    static const char start[] =
        "\xff\xfe\x00\x01[HKEY_CURRENT_USER\\Software\n\"WndX\"=dword:zz\x80";
    std::string garbage(start, sizeof start - 1);
    for (int i = 0; i < 256; ++i)
        garbage += char((i * 37 + 11) & 0xff);
    WriteFile(folder.Path() / "user.reg", garbage);

    SettingsStore store;
    ExpectDefaults(store);
    EXPECT_TRUE(store.Load());
    ExpectDefaults(store);

    // The bad file was set aside, and the new hive works.
    bool setAside = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        if (entry.path().filename().string().starts_with("user.reg.corrupt-"))
            setAside = ReadFile(entry.path()) == garbage;
    EXPECT_TRUE(setAside);
    EXPECT_TRUE(store.SetApplyFileSizeLimit(true));
    EXPECT_TRUE(SettingsStore().ApplyFileSizeLimit());
}

TEST_F(SettingsStoreTest, NegativeWindowEdgesComeBackAsTheSameBits)
{
    {
        SettingsStore store;
        store.SetWindowPosition(static_cast<uint32_t>(int32_t(-1920)),
                                static_cast<uint32_t>(int32_t(-1)));
        ASSERT_TRUE(store.SaveWindowSettings());
    }
    EXPECT_EQ(QueryDword("WndX"), 0xFFFFF880u);
    EXPECT_EQ(QueryDword("WndY"), 0xFFFFFFFFu);

    uint32_t x = 0, y = 0;
    SettingsStore().GetWindowPosition(x, y);
    EXPECT_EQ(x, 0xFFFFF880u);
    EXPECT_EQ(y, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int32_t>(x), -1920);
    EXPECT_EQ(static_cast<int32_t>(y), -1);

    PutDword("WndX", 0x80000000u);
    SettingsStore().GetWindowPosition(x, y);
    EXPECT_EQ(x, 0x80000000u);
    EXPECT_EQ(static_cast<int32_t>(x), INT32_MIN);
}

TEST(SettingsStoreInstanceTest, IsOneObjectForTheProcess)
{
    SettingsStore& first = SettingsStore::Instance();
    EXPECT_EQ(&first, &SettingsStore::Instance());
    EXPECT_NE(first.FileSizeLimitValue(), 0u);
}

} // namespace
