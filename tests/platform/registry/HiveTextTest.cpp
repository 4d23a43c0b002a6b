// The hive files as text: what regedit-style files are read, and files that do not parse.
#include "RegistryFixture.h"

namespace {

using namespace std::string_literals;

class HiveTextTest : public RegistryFixture
{
};

TEST_F(HiveTextTest, HandWrittenFileIsRead)
{
    WriteText(dir / "user.reg", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                                "\r\n"
                                "; a comment\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
                                "@=\"C:\\Program Files\\x\"\r\n"
                                "\"Long\"=hex:01,02,\\\r\n"
                                "  03,04\r\n"
                                "\"Number\"=dword:FF\r\n"
                                "\r\n"
                                "[hkey_current_user\\Software\\Implied\\Parent]\r\n"
                                "\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Hand]\r\n"
                                "\"Later\"=hex(7):61,00,00\r\n");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Hand", 0, KEY_READ, &key), ERROR_SUCCESS);
    // An unknown escape stays as written, as regedit keeps it.
    EXPECT_EQ(Query(key, nullptr), "C:\\Program Files\\x\0"s);
    DWORD type = 0;
    EXPECT_EQ(Query(key, "Long", &type), "\1\2\3\4"s);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(Query(key, "Number"), "\xff\0\0\0"s);
    EXPECT_EQ(Query(key, "Later", &type), "a\0\0"s);
    EXPECT_EQ(type, REG_MULTI_SZ);
    RegCloseKey(key);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Implied"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Implied\\Parent"));
    EXPECT_TRUE(FilesStartingWith("user.reg.corrupt").empty());
}

TEST_F(HiveTextTest, EmptyFileIsAnEmptyHive)
{
    WriteText(dir / "classes.reg", "");
    char name[8];
    DWORD length = sizeof name;
    EXPECT_EQ(
        RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
        ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(FilesStartingWith("classes.reg.corrupt").empty());
}

struct CorruptCase
{
    const char* what;
    std::string text;
};

void PrintTo(const CorruptCase& corrupt, std::ostream* out)
{
    *out << corrupt.what;
}

class CorruptHiveTest : public RegistryFixture, public ::testing::WithParamInterface<CorruptCase>
{
};

TEST_P(CorruptHiveTest, IsKeptAsideAndReadAsEmpty)
{
    const std::string text = GetParam().text;
    WriteText(dir / "classes.reg", text);

    char name[16];
    DWORD length = sizeof name;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Good"));
    EXPECT_EQ(
        RegEnumKeyExA(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
        ERROR_NO_MORE_ITEMS);
    std::vector<std::filesystem::path> aside = FilesStartingWith("classes.reg.corrupt-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), text);
    EXPECT_FALSE(std::filesystem::exists(dir / "classes.reg"));

    // The next change starts a fresh hive and leaves the kept file alone.
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "Fresh"));
    EXPECT_TRUE(
        ReadText(dir / "classes.reg").starts_with("Windows Registry Editor Version 5.00\n"));
    EXPECT_EQ(FilesStartingWith("classes.reg.corrupt-").size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), text);
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kGoodKey = "[HKEY_CLASSES_ROOT\\Good]\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptHiveTest,
    ::testing::Values(CorruptCase{"NoHeader", kGoodKey},
                      CorruptCase{"Garbage", "\x7f"
                                             "ELF\x02\x01\x01\0\0\0 binary"s},
                      CorruptCase{"OldHeader", "REGEDIT4\n\n" + kGoodKey},
                      CorruptCase{"OtherRoot", kHeader + kGoodKey + "[HKEY_CURRENT_USER\\Good]\n"},
                      CorruptCase{"UnclosedSection",
                                  kHeader + kGoodKey + "[HKEY_CLASSES_ROOT\\Bad\n"},
                      CorruptCase{"EmptyKeyName", kHeader + "[HKEY_CLASSES_ROOT\\Good\\\\Bad]\n"},
                      CorruptCase{"ValueBeforeKey", kHeader + "\"Name\"=\"x\"\n" + kGoodKey},
                      CorruptCase{"UnterminatedString", kHeader + kGoodKey + "\"Name\"=\"x\n"},
                      CorruptCase{"TextAfterString", kHeader + kGoodKey + "\"Name\"=\"x\" y\n"},
                      CorruptCase{"UnterminatedName", kHeader + kGoodKey + "\"Name=\"x\"\n"},
                      CorruptCase{"LongDword", kHeader + kGoodKey + "\"N\"=dword:123456789\n"},
                      CorruptCase{"BadDword", kHeader + kGoodKey + "\"N\"=dword:12g4\n"},
                      CorruptCase{"BadHex", kHeader + kGoodKey + "\"N\"=hex:01,zz\n"},
                      CorruptCase{"HexTooWide", kHeader + kGoodKey + "\"N\"=hex:012\n"},
                      CorruptCase{"BadHexType", kHeader + kGoodKey + "\"N\"=hex(q):01\n"},
                      CorruptCase{"UnknownData", kHeader + kGoodKey + "\"N\"=qword:1\n"},
                      CorruptCase{"DeletionEntry", kHeader + kGoodKey + "\"N\"=-\n"},
                      CorruptCase{"ContinuedAtEnd", kHeader + kGoodKey + "\"N\"=hex:01,\\\n"},
                      CorruptCase{"TruncatedHeader", "Windows Registry Ed"}),
    [](const ::testing::TestParamInfo<CorruptCase>& info) { return info.param.what; });

} // namespace
