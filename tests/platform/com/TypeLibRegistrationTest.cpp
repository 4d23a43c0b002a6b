// RegisterTypeLib, LoadRegTypeLib and UnRegisterTypeLib against a private registry folder,
// checking the exact keys and values that registry readers rely on.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "TempFolder.h"
#include "TypeLibSampleModel.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/TypeLibFormat.h"
#include "registry/Registry.h"

using namespace quillet::typelib;
using namespace quillet::typelib::sample;

namespace {

PrivateRegistry typeLibRegistry;

const std::string LibId = "{5A1E0001-7C2B-4F0E-9A51-1C0FFEE00001}";
const std::string RecorderIid = "{5A1E0003-7C2B-4F0E-9A51-1C0FFEE00001}";
const std::string EventsIid = "{5A1E0004-7C2B-4F0E-9A51-1C0FFEE00001}";
const std::string ClassId = "{5A1E0005-7C2B-4F0E-9A51-1C0FFEE00001}";

bool KeyExists(const std::string& key)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hkey);
    return true;
}

std::optional<std::string> ReadString(const std::string& key, const char* valueName = nullptr)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return std::nullopt;
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    LONG result =
        RegQueryValueExA(hkey, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(hkey);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::string(buffer);
}

std::string WriteLibrary(const TempFolder& folder, const std::string& file, const Library& model)
{
    std::vector<uint8_t> bytes = SerializeLibrary(model);
    std::string path = folder / file;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

ComPtr<ITypeLib> Load(const std::string& path)
{
    ComPtr<ITypeLib> library;
    EXPECT_EQ(LoadTypeLib(quillet::Utf8ToUtf16(path).c_str(), &library), S_OK);
    return library;
}

std::string LibraryName(ITypeLib* library)
{
    Bstr name;
    EXPECT_EQ(library->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr), S_OK);
    return name.Utf8();
}

class TypeLibRegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ("TypeLib\\" + LibId).c_str());
        for (const std::string& iid : {RecorderIid, EventsIid})
            RegDeleteTreeA(HKEY_CLASSES_ROOT, ("Interface\\" + iid).c_str());
    }

    TempFolder folder;
};

TEST_F(TypeLibRegistrationTest, WritesTheLibraryAndItsInterfaces)
{
    std::string path = WriteLibrary(folder, "sample.tlb", MakeSampleLibrary());
    ComPtr<ITypeLib> library = Load(path);
    std::u16string path16 = quillet::Utf8ToUtf16(path);
    ASSERT_EQ(RegisterTypeLib(library.Get(), path16.c_str(), nullptr), S_OK);

    // Versions are hexadecimal: 1.10 is "1.a".
    const std::string version = "TypeLib\\" + LibId + "\\1.a";
    EXPECT_EQ(ReadString(version), "Sample recorder type library");
    EXPECT_EQ(ReadString(version + "\\FLAGS"), "0");
    EXPECT_EQ(ReadString(version + "\\0\\win64"), path);
    EXPECT_EQ(ReadString(version + "\\HELPDIR"), folder.Path().string());

    const struct
    {
        std::string iid;
        const char* name;
    } interfaces[] = {{RecorderIid, "ISampleRecorder"}, {EventsIid, "_ISampleRecorderEvents"}};
    for (const auto& entry : interfaces) {
        const std::string key = "Interface\\" + entry.iid;
        EXPECT_EQ(ReadString(key), entry.name);
        EXPECT_EQ(ReadString(key + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
        EXPECT_EQ(ReadString(key + "\\TypeLib"), LibId);
        EXPECT_EQ(ReadString(key + "\\TypeLib", "Version"), "1.a");
    }
    // Enumerations, aliases and classes are not interfaces.
    EXPECT_FALSE(KeyExists("Interface\\" + ClassId));
    EXPECT_FALSE(KeyExists("Interface\\{5A1E0002-7C2B-4F0E-9A51-1C0FFEE00001}"));

    // Without a help string the name is the description; a given help folder is kept.
    Library plain = MakeSampleLibrary();
    plain.helpString.clear();
    plain.majorVersion = 2;
    plain.minorVersion = 0;
    ComPtr<ITypeLib> second = Load(WriteLibrary(folder, "plain.tlb", plain));
    ASSERT_EQ(RegisterTypeLib(second.Get(), u"/opt/plain.tlb", u"/opt/help"), S_OK);
    EXPECT_EQ(ReadString("TypeLib\\" + LibId + "\\2.0"), "SampleRecorderLib");
    EXPECT_EQ(ReadString("TypeLib\\" + LibId + "\\2.0\\HELPDIR"), "/opt/help");
    EXPECT_EQ(ReadString("TypeLib\\" + LibId + "\\2.0\\0\\win64"), "/opt/plain.tlb");
}

TEST_F(TypeLibRegistrationTest, LoadRegTypeLibFindsTheRegisteredFile)
{
    ComPtr<ITypeLib> found;
    EXPECT_EQ(LoadRegTypeLib(LIBID_SampleLib, 1, 10, 0, &found), TYPE_E_LIBNOTREGISTERED);

    std::string path = WriteLibrary(folder, "sample.tlb", MakeSampleLibrary());
    ComPtr<ITypeLib> library = Load(path);
    ASSERT_EQ(RegisterTypeLib(library.Get(), quillet::Utf8ToUtf16(path).c_str(), nullptr), S_OK);
    library = nullptr;

    const struct
    {
        WORD major, minor;
        HRESULT expected;
    } requests[] = {
        {1, 10, S_OK},                    // exact
        {1, 0, S_OK},                     // a newer minor version serves an older request
        {1, 11, TYPE_E_LIBNOTREGISTERED}, // never an older one
        {2, 0, TYPE_E_LIBNOTREGISTERED},  // nor another major version
    };
    for (const auto& request : requests) {
        ITypeLib* loaded = reinterpret_cast<ITypeLib*>(0xdeadbeef);
        EXPECT_EQ(LoadRegTypeLib(LIBID_SampleLib, request.major, request.minor, 0, &loaded),
                  request.expected)
            << request.major << "." << request.minor;
        if (request.expected == S_OK) {
            ASSERT_NE(loaded, nullptr);
            EXPECT_EQ(LibraryName(loaded), "SampleRecorderLib");
            loaded->Release();
        } else {
            EXPECT_EQ(loaded, nullptr);
        }
    }
    // An LCID that was not registered falls back to the neutral entry.
    ASSERT_EQ(LoadRegTypeLib(LIBID_SampleLib, 1, 10, 0x409, &found), S_OK);
}

TEST_F(TypeLibRegistrationTest, UnRegisterRemovesWhatRegisterWrote)
{
    std::string path = WriteLibrary(folder, "sample.tlb", MakeSampleLibrary());
    ComPtr<ITypeLib> library = Load(path);
    ASSERT_EQ(RegisterTypeLib(library.Get(), quillet::Utf8ToUtf16(path).c_str(), nullptr), S_OK);
    Library newer = MakeSampleLibrary();
    newer.majorVersion = 2;
    ComPtr<ITypeLib> newerLibrary = Load(WriteLibrary(folder, "newer.tlb", newer));
    // The newer version registers the same interfaces, which now name it.
    ASSERT_EQ(RegisterTypeLib(newerLibrary.Get(), u"/opt/newer.tlb", nullptr), S_OK);

    ASSERT_EQ(UnRegisterTypeLib(LIBID_SampleLib, 1, 10, 0, SYS_WIN64), S_OK);
    EXPECT_FALSE(KeyExists("TypeLib\\" + LibId + "\\1.a"));
    EXPECT_TRUE(KeyExists("TypeLib\\" + LibId + "\\2.a"));
    // Interfaces that belong to the other version stay.
    EXPECT_EQ(ReadString("Interface\\" + RecorderIid + "\\TypeLib", "Version"), "2.a");
    ComPtr<ITypeLib> found;
    EXPECT_EQ(LoadRegTypeLib(LIBID_SampleLib, 1, 10, 0, &found), TYPE_E_LIBNOTREGISTERED);

    ASSERT_EQ(UnRegisterTypeLib(LIBID_SampleLib, 2, 10, 0, SYS_WIN64), S_OK);
    EXPECT_FALSE(KeyExists("TypeLib\\" + LibId));
    EXPECT_FALSE(KeyExists("Interface\\" + RecorderIid));
    EXPECT_FALSE(KeyExists("Interface\\" + EventsIid));
    // The parents that registration created go with the last library and interface.
    EXPECT_FALSE(KeyExists("TypeLib"));
    EXPECT_FALSE(KeyExists("Interface"));

    EXPECT_EQ(UnRegisterTypeLib(LIBID_SampleLib, 2, 10, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
}

TEST_F(TypeLibRegistrationTest, LoadTypeLibExRegistersTheModule)
{
    ComPtr<ITypeLib> library;
    std::u16string module = quillet::Utf8ToUtf16(QUILLET_TYPELIB_TEST_MODULE);
    ASSERT_EQ(LoadTypeLibEx(module.c_str(), REGKIND_NONE, &library), S_OK);
    EXPECT_FALSE(KeyExists("TypeLib\\" + LibId));
    ASSERT_EQ(LoadTypeLibEx(module.c_str(), REGKIND_REGISTER, &library), S_OK);
    std::optional<std::string> registered = ReadString("TypeLib\\" + LibId + "\\1.a\\0\\win64");
    ASSERT_TRUE(registered);
    EXPECT_TRUE(std::filesystem::equivalent(*registered, QUILLET_TYPELIB_TEST_MODULE));
    EXPECT_EQ(*registered, std::filesystem::canonical(QUILLET_TYPELIB_TEST_MODULE).string());

    ComPtr<ITypeLib> found;
    ASSERT_EQ(LoadRegTypeLib(LIBID_SampleLib, 1, 10, 0, &found), S_OK);
    EXPECT_EQ(LibraryName(found.Get()), "SampleRecorderLib");
    EXPECT_EQ(UnRegisterTypeLib(LIBID_SampleLib, 1, 10, 0, SYS_WIN64), S_OK);
}

} // namespace
