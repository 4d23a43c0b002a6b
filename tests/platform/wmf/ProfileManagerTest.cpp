// The profile manager's contract: interfaces, versions, loading by index and by GUID, and the
// results of every refused call.
#include <gtest/gtest.h>

#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/Wmf.h"

namespace {

constexpr GUID kDefaultCaptureProfile = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");
constexpr GUID kUnknownProfile = MakeGuid("0BADF00D-0000-4000-8000-000000000001");

template <class T> T* Sentinel()
{
    return reinterpret_cast<T*>(uintptr_t(0xdeadbeef));
}

ULONG RefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

class ProfileManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, WMCreateProfileManager(&manager));
        ASSERT_EQ(S_OK, manager.As(&manager2));
    }

    DWORD Count()
    {
        DWORD count = 0xdeadbeef;
        EXPECT_EQ(S_OK, manager->GetSystemProfileCount(&count));
        return count;
    }

    ComPtr<IWMProfileManager> manager;
    ComPtr<IWMProfileManager2> manager2;
};

} // namespace

TEST_F(ProfileManagerTest, AnswersItsInterfacesAndRefusesOthers)
{
    EXPECT_EQ(2u, RefCount(manager.Get())); // ours and manager2's
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, manager->QueryInterface(IID_PPV_ARGS(&unknown)));
    ComPtr<IWMProfileManager> again;
    EXPECT_EQ(S_OK, manager2->QueryInterface(IID_PPV_ARGS(&again)));
    EXPECT_EQ(manager.Get(), again.Get());
    EXPECT_EQ(4u, RefCount(manager.Get()));

    IWMProfile* profile = Sentinel<IWMProfile>();
    EXPECT_EQ(E_NOINTERFACE,
              manager->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)));
    EXPECT_EQ(nullptr, profile);
    IWMMetadataEditor* editor = Sentinel<IWMMetadataEditor>();
    EXPECT_EQ(E_NOINTERFACE,
              manager->QueryInterface(IID_IWMMetadataEditor, reinterpret_cast<void**>(&editor)));
    EXPECT_EQ(nullptr, editor);
    EXPECT_EQ(E_POINTER, manager->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, WMCreateProfileManager(nullptr));
}

TEST_F(ProfileManagerTest, StartsAtVersion8AndTakesEachKnownVersion)
{
    WMT_VERSION version = WMT_VERSION(0xdeadbeef);
    EXPECT_EQ(S_OK, manager2->GetSystemProfileVersion(&version));
    EXPECT_EQ(WMT_VER_8_0, version);
    EXPECT_EQ(11u, Count());

    const std::pair<WMT_VERSION, DWORD> counts[] = {
        {WMT_VER_4_0, 7}, {WMT_VER_7_0, 8}, {WMT_VER_8_0, 11}, {WMT_VER_9_0, 0}};
    for (const auto& [set, count] : counts) {
        EXPECT_EQ(S_OK, manager2->SetSystemProfileVersion(set));
        EXPECT_EQ(S_OK, manager2->GetSystemProfileVersion(&version));
        EXPECT_EQ(set, version);
        EXPECT_EQ(count, Count());
    }
}

TEST_F(ProfileManagerTest, RefusesUnknownVersionsAndKeepsTheCurrentOne)
{
    ASSERT_EQ(S_OK, manager2->SetSystemProfileVersion(WMT_VER_7_0));
    for (DWORD bad : {0u, 0x50000u, 0x60000u, 0x80001u, 0xA0000u, 4u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(E_INVALIDARG, manager2->SetSystemProfileVersion(WMT_VERSION(bad)));
        WMT_VERSION version{};
        EXPECT_EQ(S_OK, manager2->GetSystemProfileVersion(&version));
        EXPECT_EQ(WMT_VER_7_0, version);
        EXPECT_EQ(8u, Count());
    }
}

TEST_F(ProfileManagerTest, LoadSystemProfileStopsAtTheEndOfTheVersion)
{
    for (WMT_VERSION version : {WMT_VER_4_0, WMT_VER_8_0, WMT_VER_9_0}) {
        SCOPED_TRACE(version);
        ASSERT_EQ(S_OK, manager2->SetSystemProfileVersion(version));
        const DWORD count = Count();
        for (DWORD index : {count, count + 1, 0xFFFFFFFFu}) {
            IWMProfile* profile = Sentinel<IWMProfile>();
            EXPECT_EQ(E_INVALIDARG, manager->LoadSystemProfile(index, &profile));
            EXPECT_EQ(nullptr, profile);
        }
        if (count > 0) {
            ComPtr<IWMProfile> last;
            EXPECT_EQ(S_OK, manager->LoadSystemProfile(count - 1, &last));
            ASSERT_TRUE(last);
            EXPECT_EQ(1u, RefCount(last.Get()));
            WMT_VERSION profileVersion{};
            EXPECT_EQ(S_OK, last->GetVersion(&profileVersion));
            EXPECT_EQ(version, profileVersion);
        }
    }
}

TEST_F(ProfileManagerTest, LoadProfileByIdRefusesUnknownGuids)
{
    for (const GUID& id : {kUnknownProfile, GUID_NULL, IID_IWMProfile}) {
        IWMProfile* profile = Sentinel<IWMProfile>();
        EXPECT_EQ(E_INVALIDARG, manager->LoadProfileByID(id, &profile));
        EXPECT_EQ(nullptr, profile);
    }
    // A profile of 8.0 loads while the catalogue shows a version that lacks it.
    ASSERT_EQ(S_OK, manager2->SetSystemProfileVersion(WMT_VER_9_0));
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(S_OK, manager->LoadProfileByID(kDefaultCaptureProfile, &profile));
    WMT_VERSION version{};
    ASSERT_TRUE(profile);
    EXPECT_EQ(S_OK, profile->GetVersion(&version));
    EXPECT_EQ(WMT_VER_8_0, version);
}

TEST_F(ProfileManagerTest, NullOutputsGivePointerErrors)
{
    EXPECT_EQ(E_POINTER, manager->GetSystemProfileCount(nullptr));
    EXPECT_EQ(E_POINTER, manager->LoadSystemProfile(0, nullptr));
    EXPECT_EQ(E_POINTER, manager->LoadProfileByID(kDefaultCaptureProfile, nullptr));
    EXPECT_EQ(E_POINTER, manager2->GetSystemProfileVersion(nullptr));
    EXPECT_EQ(E_POINTER, manager->CreateEmptyProfile(WMT_VER_8_0, nullptr));
    EXPECT_EQ(E_POINTER, manager->LoadProfileByData(u"<profile/>", nullptr));
    EXPECT_EQ(E_POINTER, manager->SaveProfile(nullptr, nullptr, nullptr));
}

TEST_F(ProfileManagerTest, ProfileTextAndEmptyProfilesAreNotBuilt)
{
    IWMProfile* profile = Sentinel<IWMProfile>();
    EXPECT_EQ(E_NOTIMPL, manager->CreateEmptyProfile(WMT_VER_8_0, &profile));
    EXPECT_EQ(nullptr, profile);
    profile = Sentinel<IWMProfile>();
    EXPECT_EQ(E_NOTIMPL, manager->LoadProfileByData(u"<profile/>", &profile));
    EXPECT_EQ(nullptr, profile);
    ComPtr<IWMProfile> loaded;
    ASSERT_EQ(S_OK, manager->LoadSystemProfile(0, &loaded));
    DWORD length = 0;
    EXPECT_EQ(E_NOTIMPL, manager->SaveProfile(loaded.Get(), nullptr, &length));
}

TEST_F(ProfileManagerTest, EachLoadIsAnIndependentCopy)
{
    ComPtr<IWMProfile> first, second;
    ASSERT_EQ(S_OK, manager->LoadProfileByID(kDefaultCaptureProfile, &first));
    ASSERT_EQ(S_OK, manager->LoadProfileByID(kDefaultCaptureProfile, &second));
    EXPECT_NE(first.Get(), second.Get());
    ASSERT_EQ(S_OK, first->SetName(u"Renamed"));
    WCHAR name[64] = {};
    DWORD length = 64;
    ASSERT_EQ(S_OK, second->GetName(name, &length));
    EXPECT_EQ(std::u16string(u"Music (64 kbps, 44 kHz, stereo)"), name);
    // A profile outlives the manager that made it.
    manager.Reset();
    manager2.Reset();
    length = 64;
    EXPECT_EQ(S_OK, first->GetName(name, &length));
    EXPECT_EQ(std::u16string(u"Renamed"), name);
}
