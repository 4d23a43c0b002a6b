// The system device enumerator over the real audio server and the virtual device file.
#include "DshowTestSupport.h"
#include "VirtualDevices.h"

namespace {
class SystemDeviceEnumTest : public ::testing::Test
{
protected:
    ComScope com;
};

ptrdiff_t IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : found - names.begin();
}
} // namespace

TEST_F(SystemDeviceEnumTest, ListsServerSourcesInOrderThenVirtualDevices)
{
    REQUIRE_AUDIO_SERVER();
    VirtualDevices devices(kVirtualDeviceText);
    std::vector<std::string> names = AudioInputNames();
    ptrdiff_t monitor = IndexOf(names, "Monitor of Quillet Test Output");
    ptrdiff_t pipe = IndexOf(names, "Quillet Test Pipe");
    ptrdiff_t sine = IndexOf(names, "Quillet Test Sine");
    ptrdiff_t lines = IndexOf(names, "Quillet Virtual Lines");
    ptrdiff_t plain = IndexOf(names, "Quillet Virtual Plain");
    ASSERT_GE(monitor, 0);
    EXPECT_LT(monitor, pipe);
    EXPECT_LT(pipe, sine);
    EXPECT_LT(sine, lines);
    EXPECT_EQ(lines + 1, plain);
    EXPECT_EQ(ptrdiff_t(names.size()) - 1, plain);
}

TEST_F(SystemDeviceEnumTest, EmptyCategoryGivesNoEnumerator)
{
    // No server to ask and no virtual devices: nothing to list.
    const char* server = std::getenv("PULSE_SERVER");
    std::string saved = server ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/quillet/socket", 1);
    unsetenv("QUILLET_VIRTUAL_DEVICES");
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&devices)));
    IEnumMoniker* sentinel = reinterpret_cast<IEnumMoniker*>(0xdeadbeef);
    EXPECT_EQ(S_FALSE,
              devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &sentinel, 0));
    EXPECT_EQ(nullptr, sentinel);
    if (server)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");

    // Other categories are always empty here.
    sentinel = reinterpret_cast<IEnumMoniker*>(0xdeadbeef);
    EXPECT_EQ(S_FALSE, devices->CreateClassEnumerator(CLSID_SampleGrabber, &sentinel, 0));
    EXPECT_EQ(nullptr, sentinel);
    EXPECT_EQ(E_POINTER,
              devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, nullptr, 0));
}

TEST_F(SystemDeviceEnumTest, MonikersBindToPropertyBagAndFilter)
{
    VirtualDevices devices(kVirtualDeviceText);
    ComPtr<ICreateDevEnum> enumerator;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&enumerator)));
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(S_OK,
              enumerator->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0));
    ComPtr<IMoniker> moniker;
    ASSERT_EQ(S_OK, monikers->Next(1, &moniker, nullptr));

    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(S_OK, moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)));
    Variant name;
    ASSERT_EQ(S_OK, bag->Read(u"FriendlyName", &name, nullptr));
    EXPECT_EQ(VT_BSTR, name.vt);
    Variant other;
    EXPECT_TRUE(FAILED(bag->Read(u"CLSID", &other, nullptr)));
    EXPECT_EQ(VT_EMPTY, other.vt);
    EXPECT_EQ(E_POINTER, bag->Read(nullptr, &other, nullptr));

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter)));
    void* wrong = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, moniker->BindToObject(nullptr, nullptr, IID_IMediaControl, &wrong));
    EXPECT_EQ(nullptr, wrong);
    EXPECT_EQ(E_POINTER, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, nullptr));
}
