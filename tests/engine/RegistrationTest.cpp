// What registering the engine writes into HKEY_CLASSES_ROOT, and what unregistering leaves;
// a module named by a relative path is registered by its full one.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "EngineTestEnvironment.h"
#include "TempFolder.h"
#include "registry/Registry.h"

namespace {

// Every key as "path" and every value as "path|name=data" (name @ for the default value).
void Collect(HKEY parent, const std::string& path, std::set<std::string>* entries)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    if (!path.empty())
        entries->insert(path);
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameLength = sizeof name;
        BYTE data[4096];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS)
            break;
        std::string text = type == REG_SZ ? std::string(reinterpret_cast<char*>(data))
                                          : "type" + std::to_string(type);
        entries->insert(path + "|" + (nameLength ? std::string(name) : "@") + "=" + text);
    }
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        Collect(parent, path.empty() ? name : path + "\\" + name, entries);
    }
    RegCloseKey(key);
}

std::set<std::string> ClassesHive()
{
    std::set<std::string> entries;
    Collect(HKEY_CLASSES_ROOT, "", &entries);
    return entries;
}

const std::string kAppId = "{8A0FE328-FA36-4E8E-A400-4F94FBD76CFC}";
const std::string kLibId = "{E7D06129-CEE4-47ED-99B6-2903C31DBCBF}";

std::set<std::string> ExpectedHive()
{
    std::string module = QUILLET_ENGINE_MODULE;
    std::string folder = module.substr(0, module.rfind('/'));
    std::set<std::string> expected = {
        "AppID",
        "AppID\\" + kAppId,
        "AppID\\" + kAppId + "|@=corvane",
        "AppID\\corvane.DLL",
        "AppID\\corvane.DLL|AppID=" + kAppId,
        "CLSID",
        "TypeLib",
        "TypeLib\\" + kLibId,
        "TypeLib\\" + kLibId + "\\1.0",
        "TypeLib\\" + kLibId + "\\1.0|@=corvane 1.0 Type Library",
        "TypeLib\\" + kLibId + "\\1.0\\FLAGS",
        "TypeLib\\" + kLibId + "\\1.0\\FLAGS|@=0",
        "TypeLib\\" + kLibId + "\\1.0\\0",
        "TypeLib\\" + kLibId + "\\1.0\\0\\win64",
        "TypeLib\\" + kLibId + "\\1.0\\0\\win64|@=" + module,
        "TypeLib\\" + kLibId + "\\1.0\\HELPDIR",
        "TypeLib\\" + kLibId + "\\1.0\\HELPDIR|@=" + folder,
        "Interface",
    };
    const std::pair<const char*, const char*> classes[] = {
        {"WMACapture", "{679E1B0D-66A8-44DD-9C90-54F82AE27BDD}"},
        {"SimplePlayback", "{DAFE336C-809A-4D3D-8111-65D01D5ADA08}"},
        {"ClipAttributesEditor", "{75C832D4-EB9E-4332-8EF8-2FF9673E315D}"},
        {"WMAProfileInfo", "{5CB3AA7C-4371-4A18-B86B-01C43B588B55}"},
        {"WMAHelper", "{E72B0B24-7DFF-4621-8DC4-C7C9B21E932A}"},
        {"AudioCaptureSourceInfo", "{EFDD1629-8C5D-4D62-9D97-9A536275AEE9}"},
    };
    for (const auto& [name, clsid] : classes) {
        std::string versioned = std::string("corvane.") + name + ".1";
        std::string independent = std::string("corvane.") + name;
        std::string description = std::string(name) + " Class";
        std::string key = std::string("CLSID\\") + clsid;
        expected.insert({
            versioned,
            versioned + "|@=" + description,
            versioned + "\\CLSID",
            versioned + "\\CLSID|@=" + clsid,
            independent,
            independent + "|@=" + description,
            independent + "\\CLSID",
            independent + "\\CLSID|@=" + clsid,
            independent + "\\CurVer",
            independent + "\\CurVer|@=" + versioned,
            key,
            key + "|@=" + description,
            key + "|AppID=" + kAppId,
            key + "\\ProgID",
            key + "\\ProgID|@=" + versioned,
            key + "\\VersionIndependentProgID",
            key + "\\VersionIndependentProgID|@=" + independent,
            key + "\\Programmable",
            key + "\\InprocServer32",
            key + "\\InprocServer32|@=" + module,
            key + "\\InprocServer32|ThreadingModel=Apartment",
            key + "\\TypeLib",
            key + "\\TypeLib|@=" + kLibId,
        });
    }
    // The interfaces that automation reaches through the type library.
    const std::pair<const char*, const char*> interfaces[] = {
        {"IWMACapture", "{DAE7284B-D03A-48BD-A597-826DFC422DA7}"},
        {"ISimplePlayback", "{900E184B-E2BC-444A-8B9C-58533FD8EB96}"},
        {"IClipAttributesEditor", "{533B0FF5-E50C-4E01-8052-B2E821A29C8F}"},
        {"IWMAHelper", "{2E88DD35-FD26-46A5-9FC8-DAE86FC21ED0}"},
        {"IWMAProfileInfo", "{5191F9B0-8D20-46E8-BB55-0B987D977DE9}"},
        {"IAudioCaptureSourceInfo", "{A443BAD8-6660-45EA-838D-60D77AD0914C}"},
        {"_IWMACaptureEvents", "{CADF6C32-5752-45C2-AD7F-BF51D1A7A101}"},
        {"_ISimplePlaybackEvents", "{2A566E33-61B2-4C19-A81E-E59FE616C098}"},
    };
    for (const auto& [name, iid] : interfaces) {
        std::string key = std::string("Interface\\") + iid;
        expected.insert({
            key,
            key + "|@=" + name,
            key + "\\ProxyStubClsid32",
            key + "\\ProxyStubClsid32|@={00020424-0000-0000-C000-000000000046}",
            key + "\\TypeLib",
            key + "\\TypeLib|@=" + kLibId,
            key + "\\TypeLib|Version=1.0",
        });
    }
    return expected;
}

class RegistrationTest : public EngineTest
{
protected:
    void TearDown() override
    {
        EXPECT_EQ(RunRegsvr(false), 0); // leave the engine registered for the other tests
        EngineTest::TearDown();
    }
};

void ExpectSame(const std::set<std::string>& actual, const std::set<std::string>& expected)
{
    for (const std::string& entry : expected)
        EXPECT_TRUE(actual.count(entry)) << "missing: " << entry;
    for (const std::string& entry : actual)
        EXPECT_TRUE(expected.count(entry)) << "unexpected: " << entry;
}

} // namespace

TEST_F(RegistrationTest, RegisteringWritesExactlyTheContractsEntries)
{
    ASSERT_EQ(RunRegsvr(false), 0);
    ExpectSame(ClassesHive(), ExpectedHive());
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesTheSameContent)
{
    ASSERT_EQ(RunRegsvr(false), 0);
    std::set<std::string> once = ClassesHive();
    ASSERT_EQ(RunRegsvr(false), 0);
    EXPECT_EQ(ClassesHive(), once);
}

TEST_F(RegistrationTest, UnregisteringLeavesOnlyTheSharedParents)
{
    ASSERT_EQ(RunRegsvr(true), 0);
    ExpectSame(ClassesHive(), {"AppID", "CLSID"});
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(RunRegsvr(true), 0);
}

TEST_F(RegistrationTest, RegsvrReportsFailures)
{
    EXPECT_EQ(
        CommandStatus(std::string(QUILLET_REGSVR) + " /nonexistent/libmissing.so 2>/dev/null"), 1);
    EXPECT_EQ(CommandStatus(std::string(QUILLET_REGSVR) + " 2>/dev/null"), 2);
    // A library that is no server: it lacks the entry point.
    EXPECT_EQ(CommandStatus(std::string(QUILLET_REGSVR) + " libm.so.6 2>/dev/null"), 1);
}

TEST_F(RegistrationTest, ARelativeModulePathIsRegisteredInFull)
{
    // From a folder beside the build, with ".." in the way: the entries must name the file
    // itself, so that clients in any other folder load it.
    TempFolder elsewhere;
    const std::filesystem::path module = std::filesystem::canonical(QUILLET_ENGINE_MODULE);
    const std::string relative = std::filesystem::relative(module, elsewhere.Path()).string();
    ASSERT_NE(relative.rfind("..", 0), std::string::npos) << relative;
    ASSERT_EQ(CommandStatus("cd '" + elsewhere.Path().string() + "' && " +
                            std::string(QUILLET_REGSVR) + " '" + relative + "'"),
              0);
    ExpectSame(ClassesHive(), ExpectedHive());
    // And "./" from the engine's own folder.
    ASSERT_EQ(CommandStatus("cd '" + module.parent_path().string() + "' && " +
                            std::string(QUILLET_REGSVR) + " ./" + module.filename().string()),
              0);
    ExpectSame(ClassesHive(), ExpectedHive());
}
