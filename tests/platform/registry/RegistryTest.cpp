// The Reg* functions: typed values, buffers, names, enumeration, deletion, handles and the
// arguments that Windows refuses.
#include <cstring>

#include "RegistryFixture.h"

namespace {

using namespace std::string_literals;

constexpr DWORD kSentinel = 0xdeadbeef;

class RegistryTest : public RegistryFixture
{
};

struct TypedValue
{
    const char* name;
    DWORD type;
    std::string stored; // the bytes given to RegSetValueExA
    std::string read;   // the bytes RegQueryValueExA hands back
};

const std::vector<TypedValue>& TypedValues()
{
    static const std::vector<TypedValue> values = {
        {"", REG_SZ, "Standard\0"s, "Standard\0"s},
        {"Text", REG_SZ, "Grüße aus Köln – 日本語 🎙\0"s,
         "Grüße aus Köln – 日本語 🎙\0"s},
        {"Escapes", REG_SZ, "back\\slash \"quoted\"\nsecond line\r\n\0"s,
         "back\\slash \"quoted\"\nsecond line\r\n\0"s},
        {"Empty text", REG_SZ, "\0"s, "\0"s},
        {"Unterminated", REG_SZ, "abc"s, "abc\0"s},
        {"Inner NUL", REG_SZ, "a\0b\0"s, "a\0b\0"s},
        {"Dword", REG_DWORD, "\x2a\0\0\0"s, "\x2a\0\0\0"s},
        {"Binary", REG_BINARY, "\x00\xff\x10\x7f"s, "\x00\xff\x10\x7f"s},
        {"Empty binary", REG_BINARY, ""s, ""s},
        {"Qword", REG_QWORD, "\xef\xcd\xab\x89\x67\x45\x23\x01"s,
         "\xef\xcd\xab\x89\x67\x45\x23\x01"s},
        {"Multi", REG_MULTI_SZ, "one\0zwei\0drei – 3\0\0"s, "one\0zwei\0drei – 3\0\0"s},
        {"Multi unterminated", REG_MULTI_SZ, "one\0two"s, "one\0two\0\0"s},
        {"Expand", REG_EXPAND_SZ, "%HOME%/music\0"s, "%HOME%/music\0"s},
        {"Odd type", 0x1234, "\x01\x02"s, "\x01\x02"s},
        {"quote\" and \\ in a name", REG_DWORD, "\1\0\0\0"s, "\1\0\0\0"s},
    };
    return values;
}

TEST_F(RegistryTest, TypedValuesRoundTripThroughTheFile)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Quillet\\Types");
    for (const TypedValue& value : TypedValues())
        ASSERT_EQ(Set(key, value.name, value.type, value.stored), ERROR_SUCCESS) << value.name;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Quillet\\Types\\Empty key"));
    RegCloseKey(key);

    ReadFromCopy();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillet\\Types", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (const TypedValue& value : TypedValues()) {
        DWORD type = kSentinel;
        EXPECT_EQ(Query(key, value.name, &type), value.read) << value.name;
        EXPECT_EQ(type, value.type) << value.name;
    }
    EXPECT_TRUE(KeyExists(key, "Empty key"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, FileTextFollowsTheRegFormat)
{
    HKEY key = Create(HKEY_CLASSES_ROOT, "Format\\Sub");
    SetText(key, nullptr, "Standard");
    SetText(key, "Escapes", "a\\b \"c\"\nd");
    SetDword(key, "Dword", 42);
    Set(key, "Binary", REG_BINARY, "\x00\xff\x10"s);
    Set(key, "Qword", REG_QWORD, "\x2a\0\0\0\0\0\0\0"s);
    Set(key, "Unterminated", REG_SZ, "ab"s);
    RegCloseKey(key);
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "Format\\Empty"));

    EXPECT_EQ(ReadText(dir / "classes.reg"), "Windows Registry Editor Version 5.00\n"
                                             "\n"
                                             "[HKEY_CLASSES_ROOT\\Format]\n"
                                             "\n"
                                             "[HKEY_CLASSES_ROOT\\Format\\Sub]\n"
                                             "@=\"Standard\"\n"
                                             "\"Escapes\"=\"a\\\\b \\\"c\\\"\\nd\"\n"
                                             "\"Dword\"=dword:0000002a\n"
                                             "\"Binary\"=hex:00,ff,10\n"
                                             "\"Qword\"=hex(b):2a,00,00,00,00,00,00,00\n"
                                             "\"Unterminated\"=hex(1):61,62\n"
                                             "\n"
                                             "[HKEY_CLASSES_ROOT\\Format\\Empty]\n"
                                             "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "user.reg"));
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\MixedCase\\Sub");
    ASSERT_EQ(SetText(key, "ValueName", "first"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, "VALUENAME", "second"), ERROR_SUCCESS);
    RegCloseKey(key);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\SUB", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(Query(key, "valuename"), "second\0"s);
    char name[32];
    DWORD length = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "ValueName");
    EXPECT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
    EXPECT_NE(ReadText(dir / "user.reg").find("[HKEY_CURRENT_USER\\Software\\MixedCase\\Sub]"),
              std::string::npos);
}

TEST_F(RegistryTest, CreateReportsWhetherTheKeyIsNew)
{
    HKEY key = nullptr;
    DWORD disposition = kSentinel;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "New\\Key\\", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY again = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(key, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again, &disposition),
        ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_NE(again, key);
    RegCloseKey(again);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "New\\Key"));
}

TEST_F(RegistryTest, ShortBufferAnswersMoreDataWithTheSizeAndLeavesTheBuffer)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Buffers");
    ASSERT_EQ(SetText(key, "Greeting", "Hello"), ERROR_SUCCESS);

    DWORD type = kSentinel;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    size = 3;
    type = kSentinel;
    EXPECT_EQ(
        RegQueryValueExA(key, "Greeting", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, 'x'));

    size = 6;
    EXPECT_EQ(
        RegQueryValueExA(key, "Greeting", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Hello");

    size = kSentinel;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND); // no default value
    RegCloseKey(key);
}

TEST_F(RegistryTest, GetValueReportsTheStoredTypeWhenItIsNotAllowed)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Hollenby\\Vellox");
    ASSERT_EQ(SetText(key, "WndX", "12"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "WndY", 150), ERROR_SUCCESS);
    RegCloseKey(key);

    DWORD type = kSentinel;
    DWORD number = kSentinel;
    DWORD size = sizeof number;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Hollenby\\Vellox", "WndX",
                           RRF_RT_REG_DWORD, &type, &number, &size),
              ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(number, kSentinel);

    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Hollenby\\Vellox", "WndY", RRF_RT_DWORD,
                           &type, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(number, 150u);

    char text[8];
    size = sizeof text;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Hollenby\\Vellox", "WndX", RRF_RT_ANY,
                           &type, text, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "12");
    EXPECT_EQ(size, 3u);

    number = kSentinel;
    size = sizeof number;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Hollenby\\Vellox", "WndX",
                           RRF_RT_REG_DWORD | RRF_ZEROONFAILURE, &type, &number, &size),
              ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(number, 0u);
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Hollenby\\Missing", "WndX", RRF_RT_ANY,
                           nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, GetValueChecksSizesAndExpandsStrings)
{
    ASSERT_EQ(setenv("QUILLET_TEST_FOLDER", "/srv/quillet", 1), 0);
    HKEY key = Create(HKEY_CURRENT_USER, "Get");
    Set(key, "Short dword", REG_DWORD, "\1\2\3"s);
    Set(key, "Four bytes", REG_BINARY, "\1\0\0\0"s);
    Set(key, "Expand", REG_EXPAND_SZ, "%QUILLET_TEST_FOLDER%/x %UNSET_QUILLET_NAME% 5%\0"s);

    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    EXPECT_EQ(RegGetValueA(key, nullptr, "Short dword", RRF_RT_REG_DWORD, &type, &number, &size),
              ERROR_DATATYPE_MISMATCH);
    size = sizeof number;
    EXPECT_EQ(RegGetValueA(key, nullptr, "Four bytes", RRF_RT_DWORD, &type, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(type, REG_BINARY);

    char text[64];
    size = sizeof text;
    EXPECT_EQ(RegGetValueA(key, "", "Expand", RRF_RT_REG_SZ, &type, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(text, "/srv/quillet/x %UNSET_QUILLET_NAME% 5%");
    size = sizeof text;
    EXPECT_EQ(
        RegGetValueA(key, "", "Expand", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, text, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_STREQ(text, "%QUILLET_TEST_FOLDER%/x %UNSET_QUILLET_NAME% 5%");
    EXPECT_EQ(RegGetValueA(key, "", "Expand", RRF_RT_REG_EXPAND_SZ, &type, text, &size),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    unsetenv("QUILLET_TEST_FOLDER");
}

TEST_F(RegistryTest, EnumerationFollowsCreationOrder)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Order");
    for (const char* name : {"b", "A", "c"})
        RegCloseKey(Create(key, name));
    SetDword(key, "zeta", 1);
    SetText(key, nullptr, "default");
    SetDword(key, "Alpha", 2);

    std::vector<std::string> keys;
    char name[16];
    DWORD length = sizeof name;
    for (DWORD i = 0;
         RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
        keys.push_back(name);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "A", "c"}));
    EXPECT_EQ(RegEnumKeyExA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    std::vector<std::string> values;
    DWORD type = 0;
    for (DWORD i = 0;
         RegEnumValueA(key, i, name, &length, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
        values.push_back(name);
    EXPECT_EQ(values, (std::vector<std::string>{"zeta", "", "Alpha"}));

    length = 1; // room for the terminator only
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    length = 5;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    BYTE data[2];
    DWORD dataSize = sizeof data;
    length = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, &type, data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 8u); // "default" and its terminator

    DWORD subkeys = kSentinel, maxKey = kSentinel, values2 = kSentinel, maxName = kSentinel,
          maxData = kSentinel;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxKey, nullptr, &values2,
                               &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(maxKey, 1u);
    EXPECT_EQ(values2, 3u);
    EXPECT_EQ(maxName, 5u);
    EXPECT_EQ(maxData, 8u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyTakesOnlyALeafAndDeleteTreeTakesEverything)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Tree\\Branch\\Leaf");
    SetDword(key, "Value", 1);
    RegCloseKey(key);
    key = Create(HKEY_CURRENT_USER, "Tree");
    SetDword(key, "Own", 1);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree\\Branch"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(key, "Branch\\Leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, "Branch\\Leaf"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(KeyExists(key, "Branch"));

    RegCloseKey(Create(key, "Branch\\Again\\Deeper"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Tree\\Branch"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(key, "Branch"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Tree\\Branch"), ERROR_FILE_NOT_FOUND);

    // Without a subkey, the tree below the key goes and the key stays.
    RegCloseKey(Create(key, "Child"));
    EXPECT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Tree"));
    DWORD subkeys = kSentinel, values = kSentinel;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);

    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS); // the key itself
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Tree"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteValueRemovesOneValue)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Values");
    SetDword(key, "One", 1);
    SetText(key, nullptr, "default");
    EXPECT_EQ(RegDeleteValueA(key, "ONE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "One"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, nullptr), "<missing>");
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandleOfADeletedKeyAnswersKeyDeleted)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Doomed\\Key");
    SetDword(key, "Value", 1);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Doomed"), ERROR_SUCCESS);

    DWORD size = 0;
    HKEY child = nullptr;
    char name[8];
    DWORD length = sizeof name;
    EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetDword(key, "Value", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(
        RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_KEY_DELETED);
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &child), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(key, "Value"), ERROR_KEY_DELETED);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Doomed"));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesOpenedForReadingCannotWrite)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, "Rights"));
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Rights", 0, KEY_READ, &reader), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Rights", 0, KEY_WRITE, &writer), ERROR_SUCCESS);
    HKEY child = nullptr;
    EXPECT_EQ(SetDword(reader, "Value", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetDword(writer, "Value", 1), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "Value", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(reader, "Value", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(reader);
    RegCloseKey(writer);
}

TEST_F(RegistryTest, BadHandlesAreRefused)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Handles");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    const HKEY bad[] = {nullptr, key, reinterpret_cast<HKEY>(uintptr_t(0x1234)),
                        reinterpret_cast<HKEY>(uintptr_t(0x80000002))}; // HKEY_LOCAL_MACHINE
    for (HKEY handle : bad) {
        HKEY opened = reinterpret_cast<HKEY>(uintptr_t(kSentinel));
        DWORD size = 0;
        char name[8];
        DWORD length = sizeof name;
        EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegOpenKeyExA(handle, "Handles", 0, KEY_READ, &opened), ERROR_INVALID_HANDLE);
        EXPECT_EQ(opened, nullptr);
        EXPECT_EQ(
            RegCreateKeyExA(handle, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
            ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(handle, "V", nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetDword(handle, "V", 1), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegGetValueA(handle, nullptr, "V", RRF_RT_ANY, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValueA(handle, "V"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(handle, "X"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTreeA(handle, "X"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValueA(handle, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
    }
}

TEST_F(RegistryTest, NullPointersThatWindowsRequiresAreRefused)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Nulls");
    DWORD size = 4;
    DWORD reserved = 0;
    char name[8];
    BYTE data[4];
    EXPECT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(key, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY created = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(key, nullptr, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "V", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegGetValueA(key, nullptr, "Empty", RRF_RT_ANY, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegGetValueA(key, nullptr, "Empty", 0, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(key, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(key, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, data, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryInfoKeyA(key, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MalformedKeyPathsAreRefused)
{
    HKEY key = nullptr;
    for (const char* path : {"\\Leading", "Double\\\\Separator", "Line\nBreak", "Return\rKey"}) {
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_INVALID_NAME)
            << path;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key), ERROR_INVALID_NAME)
            << path;
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(dir / "user.reg"));
}

TEST_F(RegistryTest, ValueNamesMayHoldAnything)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Names");
    const std::string names[] = {"with \"quotes\"", "back\\slash", "line\nbreak",
                                 "=equals=",        "[bracket]",   "@"};
    for (const std::string& name : names)
        ASSERT_EQ(SetText(key, name.c_str(), name), ERROR_SUCCESS);
    RegCloseKey(key);
    ReadFromCopy();
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Names", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const std::string& name : names)
        EXPECT_EQ(Query(key, name.c_str()), name + '\0') << name;
    EXPECT_EQ(Query(key, nullptr), "<missing>");
    RegCloseKey(key);
}

} // namespace
