// The registrar: a class script registered into a private registry and compared with the
// whole hive, registered twice, unregistered, and malformed scripts refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "com/Registrar.h"
#include "registry/Registry.h"

namespace {

const char kModule[] = "/opt/quillet/lib/libcorvane.so";
const char kAppId[] = "{8A0FE328-FA36-4E8E-A400-4F94FBD76CFC}";

constexpr std::string_view kScript = R"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'corvane'
		'corvane.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
HKCR
{
	corvane.WMACapture.1 = s 'WMACapture Class'
	{
		CLSID = s '{679E1B0D-66A8-44DD-9C90-54F82AE27BDD}'
	}
	NoRemove CLSID
	{
		ForceRemove {679E1B0D-66A8-44DD-9C90-54F82AE27BDD} = s 'WMACapture Class'
		{
			ProgID = s 'corvane.WMACapture.1'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			val AppID = s '%APPID%'
			'TypeLib' = s '{E7D06129-CEE4-47ED-99B6-2903C31DBCBF}'
		}
	}
}
)";

const std::vector<RegistrarReplacement> kReplacements = {{"MODULE", kModule}, {"APPID", kAppId}};

class RegistrarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("QUILLET_REGISTRY_DIR");
        hadPrevious = previous != nullptr;
        previousDir = previous ? previous : "";
        setenv("QUILLET_REGISTRY_DIR", folder.Path().c_str(), 1);
    }

    // Other tests of this program share one registry folder; give it back.
    void TearDown() override
    {
        if (hadPrevious)
            setenv("QUILLET_REGISTRY_DIR", previousDir.c_str(), 1);
        else
            unsetenv("QUILLET_REGISTRY_DIR");
    }

    static std::string ReadText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TempFolder folder;
    bool hadPrevious = false;
    std::string previousDir;
};

std::string Describe(DWORD type, const std::vector<BYTE>& data)
{
    if (type == REG_SZ)
        return "s '" + std::string(reinterpret_cast<const char*>(data.data())) + "'";
    if (type == REG_DWORD && data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), 4);
        return "d " + std::to_string(number);
    }
    return "type " + std::to_string(type);
}

// One row per value ("Key\Path | Name = s 'text'", @ for the default value) and one per key
// without values ("Key\Path"), depth first in stored order.
void Dump(HKEY key, const std::string& path, std::vector<std::string>& rows)
{
    char name[256];
    std::vector<BYTE> data(4096);
    bool anyValue = false;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name;
        DWORD size = DWORD(data.size());
        DWORD type = 0;
        LONG rc = RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            break;
        }
        anyValue = true;
        rows.push_back(path + " | " + (*name ? name : "@") + " = " +
                       Describe(type, std::vector<BYTE>(data.begin(), data.begin() + size)));
    }
    if (!anyValue && !path.empty())
        rows.push_back(path);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        ASSERT_EQ(RegOpenKeyExA(key, name, 0, KEY_READ, &child), ERROR_SUCCESS);
        Dump(child, path.empty() ? name : path + "\\" + name, rows);
        RegCloseKey(child);
    }
}

std::vector<std::string> Dump(HKEY root)
{
    std::vector<std::string> rows;
    Dump(root, "", rows);
    return rows;
}

const std::string kClsidKey = "CLSID\\{679E1B0D-66A8-44DD-9C90-54F82AE27BDD}";

const std::vector<std::string> kRegistered = {
    "AppID",
    "AppID\\{8A0FE328-FA36-4E8E-A400-4F94FBD76CFC} | @ = s 'corvane'",
    "AppID\\corvane.DLL | AppID = s '{8A0FE328-FA36-4E8E-A400-4F94FBD76CFC}'",
    "corvane.WMACapture.1 | @ = s 'WMACapture Class'",
    "corvane.WMACapture.1\\CLSID | @ = s '{679E1B0D-66A8-44DD-9C90-54F82AE27BDD}'",
    "CLSID",
    kClsidKey + " | @ = s 'WMACapture Class'",
    kClsidKey + " | AppID = s '{8A0FE328-FA36-4E8E-A400-4F94FBD76CFC}'",
    kClsidKey + "\\ProgID | @ = s 'corvane.WMACapture.1'",
    kClsidKey + "\\Programmable",
    kClsidKey + "\\InprocServer32 | @ = s '/opt/quillet/lib/libcorvane.so'",
    kClsidKey + "\\InprocServer32 | ThreadingModel = s 'Apartment'",
    kClsidKey + "\\TypeLib | @ = s '{E7D06129-CEE4-47ED-99B6-2903C31DBCBF}'",
};

TEST_F(RegistrarTest, RegistersExactlyTheScriptsEntries)
{
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), kRegistered);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER), std::vector<std::string>{});
}

TEST_F(RegistrarTest, RegisteringTwiceLeavesTheSameContent)
{
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    std::string first = ReadText(folder / "classes.reg");
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), kRegistered);
    EXPECT_EQ(ReadText(folder / "classes.reg"), first);
}

TEST_F(RegistrarTest, UnregisteringLeavesOnlyTheNoRemoveParents)
{
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, false), S_OK);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), (std::vector<std::string>{"AppID", "CLSID"}));
    // Nothing left to remove is no error.
    EXPECT_EQ(RunRegistrationScript(kScript, kReplacements, false), S_OK);
}

TEST_F(RegistrarTest, UnregisteringSparesWhatTheScriptDoesNotName)
{
    ASSERT_EQ(RunRegistrationScript(R"(HKCR
{
	NoRemove CLSID
	{
		{00000000-0000-0000-0000-000000000001} = s 'Someone else'
		val Shared = s 'kept'
	}
	NoRemove AppID
	{
		val Other = d 1
	}
})",
                                    {}, true),
              S_OK);
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, false), S_OK);
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT),
              (std::vector<std::string>{
                  "CLSID | Shared = s 'kept'",
                  "CLSID\\{00000000-0000-0000-0000-000000000001} | @ = s 'Someone else'",
                  "AppID | Other = d 1",
              }));
}

TEST_F(RegistrarTest, ForceRemoveClearsStaleEntriesAndPlainKeysKeepThem)
{
    ASSERT_EQ(RunRegistrationScript(
                  "HKCR { NoRemove CLSID { {679E1B0D-66A8-44DD-9C90-54F82AE27BDD} { Stale { "
                  "val Old = s 'x' } val Leftover = d 5 } } corvane.WMACapture.1 { Extra } }",
                  {}, true),
              S_OK);
    ASSERT_EQ(RunRegistrationScript(kScript, kReplacements, true), S_OK);
    // The class key was made anew, without Stale and Leftover; Extra stays. CLSID and the
    // ProgID existed before AppID, so they come first now.
    const auto at = [](size_t row) { return kRegistered[row]; };
    std::vector<std::string> expected(kRegistered.begin() + 5, kRegistered.end());
    expected.insert(expected.end(),
                    {at(3), "corvane.WMACapture.1\\Extra", at(4), at(0), at(1), at(2)});
    EXPECT_EQ(Dump(HKEY_CLASSES_ROOT), expected);
}

TEST_F(RegistrarTest, DeleteRemovesAKeyWhenRegistering)
{
    ASSERT_EQ(RunRegistrationScript("HKCU { Software { Old { Deep = s 'x' } Keep } }", {}, true),
              S_OK);
    ASSERT_EQ(
        RunRegistrationScript("HKCU { NoRemove Software { Delete Old { ignored } } }", {}, true),
        S_OK);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER), (std::vector<std::string>{"Software", "Software\\Keep"}));
}

TEST_F(RegistrarTest, NamesValuesAndReplacementsFollowTheScriptSyntax)
{
    const std::vector<RegistrarReplacement> replacements = {
        {"Path", "/home/o'brien/100%"}, {"EMPTY", ""}, {"ProgId", "Quillet.Test"}};
    ASSERT_EQ(RunRegistrationScript(R"(HKEY_CURRENT_USER
{
	'Key with spaces' = s 'It''s 50%% done'
	{
		val Decimal = d '4294967295'
		val Hex = d 0x2A
		val 'Quoted name' = s %PATH%
		VAL Empty = S '%EMPTY%'
		'Nested\Path' = D '7'
	}
	noremove %ProgId%.1 = s 'x%empty%y' {
	}
}
HKCU { }
)",
                                    replacements, true),
              S_OK);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER), (std::vector<std::string>{
                                           "Key with spaces | @ = s 'It's 50% done'",
                                           "Key with spaces | Decimal = d 4294967295",
                                           "Key with spaces | Hex = d 42",
                                           "Key with spaces | Quoted name = s '/home/o'brien/100%'",
                                           "Key with spaces | Empty = s ''",
                                           "Key with spaces\\Nested",
                                           "Key with spaces\\Nested\\Path | @ = d 7",
                                           "Quillet.Test.1 | @ = s 'xy'",
                                       }));
}

struct MalformedScript
{
    const char* what;
    const char* script;
};

const MalformedScript kMalformed[] = {
    {"missing closing brace", "HKCR { Key = s 'x' { val A = s 'b' }"},
    {"stray closing brace", "HKCR { Key } }"},
    {"missing closing quote", "HKCR { Key = s 'x }"},
    {"unknown root", "HKLM { Key }"},
    {"no body after root", "HKCR Key"},
    {"empty script body missing", "HKCR"},
    {"bad type letter", "HKCR { Key = x 'text' }"},
    {"binary type not supported", "HKCR { Key = b '0102' }"},
    {"missing data", "HKCR { Key = s }"},
    {"missing type", "HKCR { Key = }"},
    {"val without equals", "HKCR { Key { val Name s 'x' } }"},
    {"val without name", "HKCR { Key { val = s 'x' } }"},
    {"flag before val", "HKCR { NoRemove val A = s 'x' }"},
    {"flag without name", "HKCR { ForceRemove }"},
    {"empty key name", "HKCR { '' = s 'x' }"},
    {"brace instead of name", "HKCR { { } }"},
    {"equals instead of name", "HKCR { = s 'x' }"},
    {"unknown replacement", "HKCR { '%NOPE%' }"},
    {"unterminated replacement", "HKCR { Key = s '50% done' }"},
    {"not a number", "HKCR { Key = d 'twelve' }"},
    {"number too large", "HKCR { Key = d '4294967296' }"},
    {"empty hex number", "HKCR { Key = d 0x }"},
    {"negative number", "HKCR { Key = d '-1' }"},
    {"text after the last root", "HKCR { Key } trailing"},
};

TEST_F(RegistrarTest, MalformedScriptsFailAndChangeNothing)
{
    const std::vector<RegistrarReplacement> replacements = {{"MODULE", kModule}};
    for (const MalformedScript& malformed : kMalformed) {
        for (bool registerEntries : {true, false}) {
            // Each script starts with a valid part: nothing of it may be written either.
            std::string script = std::string("HKCU { Written = s 'no' }\n") + malformed.script;
            EXPECT_EQ(RunRegistrationScript(script, replacements, registerEntries),
                      REGISTRAR_E_SYNTAX)
                << malformed.what;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "classes.reg"));
    EXPECT_FALSE(std::filesystem::exists(folder / "user.reg"));
}

TEST_F(RegistrarTest, NullArgumentsAreRefused)
{
    EXPECT_EQ(RunRegistrationScript(std::string_view(), {}, true), E_POINTER);
    EXPECT_EQ(RunRegistrationScript("HKCR { Key }", {{nullptr, "x"}}, true), E_INVALIDARG);
    EXPECT_EQ(RunRegistrationScript("", {}, true), S_OK);
    EXPECT_FALSE(std::filesystem::exists(folder / "classes.reg"));
}

TEST_F(RegistrarTest, RegistryFailurePassesThrough)
{
    std::ofstream(folder / "a file") << "not a folder";
    setenv("QUILLET_REGISTRY_DIR", (folder / "a file/registry").c_str(), 1);
    EXPECT_EQ(RunRegistrationScript(kScript, kReplacements, true),
              HRESULT_FROM_WIN32(ERROR_CANTWRITE));
}

} // namespace
