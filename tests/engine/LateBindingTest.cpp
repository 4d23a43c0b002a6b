// The engine driven by names alone, as a scripting client drives it: GetIDsOfNames, then
// Invoke with arguments in VARIANTs.
#include <gtest/gtest.h>

#include "EngineTestEnvironment.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "corvane.h"

namespace {

class LateBindingTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&capture)),
                  S_OK);
    }
    void TearDown() override
    {
        capture.Reset();
        EngineTest::TearDown();
    }

    DISPID IdOf(const char16_t* name)
    {
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(capture->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        return id;
    }

    HRESULT Get(DISPID id, Variant* result)
    {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        return capture->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               result->Out(), nullptr, nullptr);
    }

    HRESULT Put(DISPID id, Variant value, UINT* argErr = nullptr)
    {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        return capture->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                               nullptr, nullptr, argErr);
    }

    ComPtr<IDispatch> capture;
};

} // namespace

TEST_F(LateBindingTest, NamesFindTheContractsDispatchIds)
{
    EXPECT_EQ(IdOf(u"RecordLevel"), 1);
    EXPECT_EQ(IdOf(u"sourceid"), 8); // names are found without regard to case
    EXPECT_EQ(IdOf(u"OutputPath"), 13);
    EXPECT_EQ(IdOf(u"MonitorOutputFileSize"), 17);
    EXPECT_EQ(IdOf(u"GetPosition"), 18);

    LPOLESTR unknown[1] = {const_cast<LPOLESTR>(u"NoSuchMember")};
    DISPID id = 7;
    EXPECT_EQ(capture->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(capture->GetIDsOfNames(IID_IDispatch, unknown, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(LateBindingTest, PropertiesRoundTripThroughInvoke)
{
    DISPID monitor = IdOf(u"MonitorOutputFileSize");
    Variant value;
    ASSERT_EQ(Get(monitor, &value), S_OK);
    EXPECT_EQ(value.vt, VT_BOOL);
    EXPECT_EQ(value.boolVal, VARIANT_TRUE);
    // A long converts to the declared VARIANT_BOOL.
    ASSERT_EQ(Put(monitor, Variant::Long(0)), S_OK);
    ASSERT_EQ(Get(monitor, &value), S_OK);
    EXPECT_EQ(value.boolVal, VARIANT_FALSE);

    DISPID source = IdOf(u"SourceId");
    ASSERT_EQ(Put(source, Variant::Utf8("Line In (Quillet)")), S_OK);
    ASSERT_EQ(Get(source, &value), S_OK);
    ASSERT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(Bstr(value.bstrVal).Utf8(), "Line In (Quillet)");
}

TEST_F(LateBindingTest, BadCallsGetTheDispatchCodes)
{
    Variant value;
    UINT argErr = 99;
    EXPECT_EQ(Put(IdOf(u"MonitorOutputFileSize"), Variant::Utf8("not a boolean"), &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Get(999, &value), DISP_E_MEMBERNOTFOUND);
    // Prepared has no put accessor.
    EXPECT_EQ(Put(IdOf(u"Prepared"), Variant::Bool(true)), DISP_E_MEMBERNOTFOUND);

    Variant extra = Variant::Long(1);
    DISPPARAMS oneArgument{&extra, nullptr, 1, 0};
    EXPECT_EQ(capture->Invoke(IdOf(u"SourceId"), IID_NULL, 0, DISPATCH_PROPERTYGET, &oneArgument,
                              value.Out(), nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    // A put must name its value as the property-put argument.
    EXPECT_EQ(capture->Invoke(IdOf(u"SourceId"), IID_NULL, 0, DISPATCH_PROPERTYPUT, &oneArgument,
                              nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    DISPID named = 3;
    DISPPARAMS namedArgument{&extra, &named, 1, 1};
    EXPECT_EQ(capture->Invoke(IdOf(u"Run"), IID_NULL, 0, DISPATCH_METHOD, &namedArgument, nullptr,
                              nullptr, nullptr),
              DISP_E_NONAMEDARGS);
}

TEST_F(LateBindingTest, FailuresComeBackAsExceptionsWithTheirText)
{
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO exception{};
    EXPECT_EQ(capture->Invoke(IdOf(u"Build"), IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                              &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_FAIL);
    EXPECT_EQ(Bstr::Adopt(exception.bstrDescription).Utf8(), "The object has not been prepared");
    EXPECT_EQ(Bstr::Adopt(exception.bstrSource).Utf8(), "corvane.WMACapture.1");
    SysFreeString(exception.bstrHelpFile);

    // Without an EXCEPINFO the HRESULT itself comes back and the error stays on the thread.
    EXPECT_EQ(capture->Invoke(IdOf(u"Build"), IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                              nullptr),
              E_FAIL);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
}
