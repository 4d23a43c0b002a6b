#include <gtest/gtest.h>

#include <thread>

#include "com/Bstr.h"
#include "com/ComError.h"
#include "com/ComPtr.h"

namespace {
void RaiseError(const char16_t* description, const char16_t* source)
{
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetGUID(GUID_NULL);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description));
    ComPtr<IErrorInfo> info = create.As<IErrorInfo>();
    ASSERT_TRUE(info);
    ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
}

std::u16string Description(IErrorInfo* info)
{
    Bstr text;
    info->GetDescription(text.Out());
    return std::u16string(text.View());
}
} // namespace

TEST(ErrorInfoTest, ReadingTheErrorTakesIt)
{
    RaiseError(u"The object has not been prepared", u"corvane.WMACapture.1");
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(Description(info.Get()), u"The object has not been prepared");
    Bstr source;
    ASSERT_EQ(info->GetSource(source.Out()), S_OK);
    EXPECT_EQ(source.Utf8(), "corvane.WMACapture.1");
    GUID guid = MakeGuid("11111111-1111-1111-1111-111111111111");
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, GUID_NULL);
    Bstr helpFile;
    ASSERT_EQ(info->GetHelpFile(helpFile.Out()), S_OK);
    EXPECT_EQ(helpFile.Get(), nullptr);

    ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_FALSE(again);
}

TEST(ErrorInfoTest, EachThreadHasItsOwnError)
{
    RaiseError(u"main thread", u"main");
    std::u16string seenOnWorker = u"unset";
    std::thread worker([&] {
        ComPtr<IErrorInfo> info;
        if (GetErrorInfo(0, &info) == S_FALSE)
            seenOnWorker = u"none";
        RaiseError(u"worker thread", u"worker");
    });
    worker.join();
    EXPECT_EQ(seenOnWorker, u"none");
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(Description(info.Get()), u"main thread");
}

TEST(ErrorInfoTest, SettingNullClearsAndBadArgumentsAreRefused)
{
    RaiseError(u"stale", u"x");
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(1, &info), E_INVALIDARG);
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(ErrorInfoTest, ComErrorCarriesTheThreadError)
{
    RaiseError(u"Failed to set the IWMACapture event sink", u"corvane.WMACapture.1");
    try {
        ThrowIfFailed(E_FAIL);
        FAIL() << "no exception";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Result(), E_FAIL);
        EXPECT_EQ(error.Description(), u"Failed to set the IWMACapture event sink");
        EXPECT_EQ(error.Source(), u"corvane.WMACapture.1");
        EXPECT_NE(std::string(error.what()).find("0x80004005"), std::string::npos);
    }
    EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);
    ComError bare(E_POINTER);
    EXPECT_TRUE(bare.Description().empty());
}
