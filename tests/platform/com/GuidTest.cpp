#include <gtest/gtest.h>

#include "com/Bstr.h"
#include "com/ComApi.h"

namespace {
constexpr GUID kSample = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");
}

TEST(GuidTest, FormatsUpperCaseInBraces)
{
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
    EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);

    LPOLESTR allocated = nullptr;
    ASSERT_EQ(StringFromCLSID(GUID_NULL, &allocated), S_OK);
    EXPECT_EQ(std::u16string(allocated), u"{00000000-0000-0000-0000-000000000000}");
    CoTaskMemFree(allocated);
}

TEST(GuidTest, ParsesWhatItFormatsInEitherCase)
{
    const GUID samples[] = {kSample, GUID_NULL, MakeGuid("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"),
                            MakeGuid("00000001-0002-0003-0405-060708090A0B")};
    for (const GUID& sample : samples) {
        OLECHAR text[39];
        StringFromGUID2(sample, text, 39);
        GUID parsed{};
        ASSERT_EQ(IIDFromString(text, &parsed), S_OK);
        EXPECT_EQ(parsed, sample);
    }
    GUID lower{};
    ASSERT_EQ(IIDFromString(u"{d508978a-11a0-4d15-b0da-acdc99d4f890}", &lower), S_OK);
    EXPECT_EQ(lower, kSample);
}

TEST(GuidTest, MalformedStringsAreRefusedAndLeaveNoGarbage)
{
    const char16_t* malformed[] = {
        u"",
        u"abc",
        u"D508978A-11A0-4D15-B0DA-ACDC99D4F890",
        u"{D508978A-11A0-4D15-B0DA-ACDC99D4F890",
        u"{D508978A-11A0-4D15-B0DA-ACDC99D4F890}x",
        u"{D508978A-11A0-4D15-B0DA-ACDC99D4F89G}",
        u"{D508978A_11A0-4D15-B0DA-ACDC99D4F890}",
        u"{D508978A-11A0-4D15-B0DAACDC-99D4F890}",
        u"{ D508978A-11A0-4D15-B0DA-ACDC99D4F89}",
    };
    for (const char16_t* text : malformed) {
        GUID parsed = kSample;
        EXPECT_EQ(IIDFromString(text, &parsed), E_INVALIDARG) << quillet::Utf16ToUtf8(text);
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING) << quillet::Utf16ToUtf8(text);
        EXPECT_EQ(clsid, CLSID_NULL);
    }
    EXPECT_EQ(IIDFromString(u"{D508978A-11A0-4D15-B0DA-ACDC99D4F890}", nullptr), E_INVALIDARG);
    GUID fromNull = kSample;
    EXPECT_EQ(IIDFromString(nullptr, &fromNull), S_OK);
    EXPECT_EQ(fromNull, GUID_NULL);
}

TEST(GuidTest, CompileTimeLiteralsMatchRuntimeParsing)
{
    GUID parsed{};
    ASSERT_EQ(CLSIDFromString(u"{D508978A-11A0-4D15-B0DA-ACDC99D4F890}", &parsed), S_OK);
    EXPECT_EQ(parsed, kSample);
    EXPECT_EQ(kSample.Data1, 0xD508978Au);
    EXPECT_EQ(kSample.Data4[7], 0x90);
}
