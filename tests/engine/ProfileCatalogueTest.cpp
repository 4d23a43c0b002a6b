// The profile catalogue as the engine lists it: the runtime's single-stream audio profiles of
// one version, in the runtime's order, each a snapshot object.
#include <gtest/gtest.h>

#include <vector>

#include "EngineTestEnvironment.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "corvane.h"
#include "wmf/Wmf.h"

namespace {

struct Listed
{
    LONG index;
    std::string id;
    LONG bitrate;
    std::string name;
    std::string description;
};

// What the runtime itself says the listing must be: every single-stream audio profile.
std::vector<Listed> FromTheRuntime(WMT_VERSION version)
{
    std::vector<Listed> expected;
    ComPtr<IWMProfileManager> manager;
    EXPECT_EQ(WMCreateProfileManager(&manager), S_OK);
    manager.As<IWMProfileManager2>()->SetSystemProfileVersion(version);
    DWORD count = 0;
    manager->GetSystemProfileCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMProfile> profile;
        manager->LoadSystemProfile(i, &profile);
        DWORD streams = 0;
        profile->GetStreamCount(&streams);
        ComPtr<IWMStreamConfig> stream;
        profile->GetStream(0, &stream);
        GUID type{};
        stream->GetStreamType(&type);
        if (streams != 1 || type != WMMEDIATYPE_Audio)
            continue;
        GUID id{};
        profile.As<IWMProfile2>()->GetProfileID(&id);
        OLECHAR text[39];
        StringFromGUID2(id, text, 39);
        DWORD rate = 0;
        stream->GetBitrate(&rate);
        WCHAR name[256];
        DWORD length = 256;
        profile->GetName(name, &length);
        WCHAR description[1024];
        length = 1024;
        profile->GetDescription(description, &length);
        expected.push_back({LONG(i), quillet::Utf16ToUtf8(text), LONG(rate),
                            quillet::Utf16ToUtf8(name), quillet::Utf16ToUtf8(description)});
    }
    return expected;
}

std::vector<ComPtr<IWMAProfileInfo>> Objects(const VARIANT& list)
{
    std::vector<ComPtr<IWMAProfileInfo>> objects;
    EXPECT_EQ(list.vt, VT_ARRAY | VT_DISPATCH);
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(list.parray, 1, &lower);
    SafeArrayGetUBound(list.parray, 1, &upper);
    EXPECT_EQ(lower, 0);
    for (LONG i = lower; i <= upper; ++i) {
        IDispatch* element = nullptr;
        SafeArrayGetElement(list.parray, &i, &element);
        ComPtr<IWMAProfileInfo> info;
        element->QueryInterface(IID_PPV_ARGS(&info));
        element->Release();
        objects.push_back(info);
    }
    return objects;
}

Listed Describe(IWMAProfileInfo* info)
{
    Listed listed{};
    Bstr id, name, description;
    EXPECT_EQ(info->get_Index(&listed.index), S_OK);
    EXPECT_EQ(info->get_Id(id.Out()), S_OK);
    EXPECT_EQ(info->get_Bitrate(&listed.bitrate), S_OK);
    EXPECT_EQ(info->get_Name(name.Out()), S_OK);
    EXPECT_EQ(info->get_Description(description.Out()), S_OK);
    listed.id = id.Utf8();
    listed.name = name.Utf8();
    listed.description = description.Utf8();
    return listed;
}

class ProfileCatalogueTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(
            CoCreateInstance(CLSID_WMAHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper)),
            S_OK);
    }
    void TearDown() override
    {
        helper.Reset();
        EngineTest::TearDown();
    }
    ComPtr<IWMAHelper> helper;
};

} // namespace

TEST_F(ProfileCatalogueTest, ListsExactlyTheSingleStreamAudioProfilesInOrder)
{
    for (wm_profile_version version :
         {wm_profile_ver_4_0, wm_profile_ver_7_0, wm_profile_ver_8_0}) {
        SCOPED_TRACE(version);
        Variant list;
        ASSERT_EQ(helper->GetAvailableSystemProfilesInfo(version, &list), S_OK);
        std::vector<ComPtr<IWMAProfileInfo>> objects = Objects(list);
        std::vector<Listed> expected = FromTheRuntime(WMT_VERSION(version));
        ASSERT_EQ(objects.size(), expected.size());
        bool gaps = false;
        for (size_t i = 0; i < objects.size(); ++i) {
            Listed got = Describe(objects[i].Get());
            wm_profile_version itsVersion = wm_profile_ver_invalid;
            EXPECT_EQ(objects[i]->get_Version(&itsVersion), S_OK);
            EXPECT_EQ(itsVersion, version);
            EXPECT_EQ(got.index, expected[i].index);
            EXPECT_EQ(got.id, expected[i].id);
            EXPECT_EQ(got.bitrate, expected[i].bitrate);
            EXPECT_EQ(got.name, expected[i].name);
            EXPECT_EQ(got.description, expected[i].description);
            gaps = gaps || got.index != LONG(i);
        }
        // The catalogue mixes video and mixed profiles in, so the numbering has gaps.
        EXPECT_TRUE(gaps);
    }
}

TEST_F(ProfileCatalogueTest, TheDefaultCaptureProfileIsListed)
{
    Variant list;
    ASSERT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_8_0, &list), S_OK);
    bool found = false;
    for (const auto& info : Objects(list))
        found = found || Describe(info.Get()).id == "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}";
    EXPECT_TRUE(found);
}

TEST_F(ProfileCatalogueTest, EachCallMakesItsOwnObjects)
{
    Variant first, second;
    ASSERT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_7_0, &first), S_OK);
    ASSERT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_7_0, &second), S_OK);
    auto a = Objects(first);
    auto b = Objects(second);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NE(a[i].Get(), b[i].Get());
        EXPECT_EQ(Describe(a[i].Get()).id, Describe(b[i].Get()).id);
    }
    // Returned strings are copies.
    BSTR name = nullptr;
    ASSERT_EQ(a[0]->get_Name(&name), S_OK);
    std::string before = Bstr(name).Utf8();
    SysFreeString(name);
    EXPECT_EQ(Describe(a[0].Get()).name, before);
}

TEST_F(ProfileCatalogueTest, RefusedAndEmptyVersions)
{
    Variant list = Variant::Long(5);
    EXPECT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_version(0x12345), &list),
              E_INVALIDARG);
    EXPECT_EQ(list.vt, VT_EMPTY);
    list = Variant::Long(5);
    EXPECT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_invalid, &list), E_INVALIDARG);
    EXPECT_EQ(list.vt, VT_EMPTY);
    list = Variant::Long(5);
    EXPECT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_9_0, &list), S_FALSE);
    EXPECT_EQ(list.vt, VT_EMPTY);
    EXPECT_EQ(helper->GetAvailableSystemProfilesInfo(wm_profile_ver_8_0, nullptr), E_POINTER);
}

TEST_F(ProfileCatalogueTest, ListedThroughLateBinding)
{
    ComPtr<IDispatch> dispatch = helper.As<IDispatch>();
    Variant version = Variant::Long(wm_profile_ver_8_0);
    DISPPARAMS params{&version, nullptr, 1, 0};
    Variant result;
    ASSERT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    auto objects = Objects(result);
    ASSERT_FALSE(objects.empty());
    ComPtr<IDispatch> first = objects[0].As<IDispatch>();
    LPOLESTR names[1] = {const_cast<LPOLESTR>(u"Name")};
    DISPID id = 0;
    ASSERT_EQ(first->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant name;
    ASSERT_EQ(first->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(name.vt, VT_BSTR);
}
