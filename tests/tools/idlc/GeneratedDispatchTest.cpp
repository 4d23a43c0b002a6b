// The code that idlc generates, compiled and called: IDispatch::Invoke converting arguments by
// their declared types, the event firing helpers, the event unpacking and the client wrappers.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "com/Bstr.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoint.h"
#include "com/Variant.h"
#include "sampler_client.h"
#include "sampler_dispatch.h"

namespace {

class Sampler final : public ComObject<Dual<ISampler>>
{
public:
    Sampler() : ComObject(nullptr, nullptr) {}

    LONG level = 3;
    Bstr label;
    double seekPosition = -1;
    VARIANT_BOOL seekAbsolute = 7;
    LONG measuredStream = -1;
    SamplerMode mode = mode_auto;

    HRESULT get_Level(LONG* pVal) override
    {
        *pVal = level;
        return S_OK;
    }
    HRESULT put_Level(LONG newVal) override
    {
        level = newVal;
        return S_OK;
    }
    HRESULT get_Label(BSTR* pVal) override
    {
        *pVal = label.Copy();
        return S_OK;
    }
    // Labels starting with "throw" stand for what a member or an argument conversion might
    // throw, which the dispatcher must catch.
    HRESULT put_Label(BSTR newVal) override
    {
        Bstr text(std::u16string_view(newVal ? newVal : u"", SysStringLen(newVal)));
        if (text.Utf8() == "throw bad_alloc")
            throw std::bad_alloc();
        if (text.Utf8() == "throw error")
            throw std::runtime_error("a library failed");
        if (text.Utf8() == "throw int")
            throw 42;
        label = std::move(text);
        return S_OK;
    }
    HRESULT Seek(DOUBLE Position, VARIANT_BOOL Absolute) override
    {
        seekPosition = Position;
        seekAbsolute = Absolute;
        return S_OK;
    }
    HRESULT Measure(LONG Stream, DOUBLE* pLength) override
    {
        measuredStream = Stream;
        *pLength = 1500.5;
        return S_OK;
    }
    HRESULT Describe(VARIANT Value, VARIANT* pDescription) override
    {
        Variant text;
        HRESULT hr = VariantChangeType(&text, &Value, VARIANT_ALPHABOOL, VT_BSTR);
        if (FAILED(hr))
            return hr;
        *pDescription = text.Detach();
        return S_OK;
    }
    HRESULT get_Mode(SamplerMode* pVal) override
    {
        *pVal = mode;
        return S_OK;
    }
    HRESULT SetMode(SamplerMode Mode) override
    {
        mode = Mode;
        return S_OK;
    }
    HRESULT Fail() override
    {
        ComPtr<ICreateErrorInfo> create;
        CreateErrorInfo(&create);
        create->SetDescription(const_cast<LPOLESTR>(u"The sampler refused"));
        create->SetSource(const_cast<LPOLESTR>(u"sampler.Sampler.1"));
        SetErrorInfo(0, create.As<IErrorInfo>().Get());
        return E_ACCESSDENIED;
    }
    HRESULT get_Item(LONG Index, BSTR* pVal) override
    {
        if (Index < 0)
            return E_INVALIDARG;
        *pVal = Bstr::FromUtf8("item " + std::to_string(Index)).Detach();
        return S_OK;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == IID_IDispatch)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }
};

class GeneratedDispatchTest : public ::testing::Test
{
protected:
    GeneratedDispatchTest() : sampler(ComPtr<Sampler>::Adopt(new Sampler)) {}

    DISPID IdOf(std::initializer_list<const char16_t*> names, DISPID* params = nullptr)
    {
        std::vector<LPOLESTR> list;
        for (const char16_t* name : names)
            list.push_back(const_cast<LPOLESTR>(name));
        std::vector<DISPID> ids(list.size(), 0);
        EXPECT_EQ(sampler->GetIDsOfNames(IID_NULL, list.data(), UINT(list.size()), 0, ids.data()),
                  S_OK);
        if (params)
            for (size_t i = 1; i < ids.size(); ++i)
                params[i - 1] = ids[i];
        return ids[0];
    }

    // Calls with positional arguments given first to last.
    HRESULT Call(DISPID id, WORD flags, std::vector<Variant> arguments, Variant* result = nullptr,
                 UINT* argErr = nullptr, EXCEPINFO* exception = nullptr)
    {
        std::vector<Variant> reversed(arguments.rbegin(), arguments.rend());
        DISPID named = DISPID_PROPERTYPUT;
        bool put = flags & DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                          UINT(reversed.size()), put ? 1u : 0u};
        return sampler->Invoke(id, IID_NULL, 0, flags, &params, result ? result->Out() : nullptr,
                               exception, argErr);
    }

    ComPtr<Sampler> sampler;
};

} // namespace

TEST_F(GeneratedDispatchTest, NamesAndParameterNamesAreFound)
{
    DISPID params[2] = {-9, -9};
    EXPECT_EQ(IdOf({u"seek", u"ABSOLUTE", u"position"}, params), 3);
    EXPECT_EQ(params[0], 1);
    EXPECT_EQ(params[1], 0);
    LPOLESTR names[2] = {const_cast<LPOLESTR>(u"Seek"), const_cast<LPOLESTR>(u"Speed")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(sampler->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 3);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(GeneratedDispatchTest, OmittedOptionalArgumentsTakeTheirDefaults)
{
    ASSERT_EQ(Call(3, DISPATCH_METHOD, {Variant::Double(12.5)}), S_OK);
    EXPECT_EQ(sampler->seekPosition, 12.5);
    EXPECT_EQ(sampler->seekAbsolute, VARIANT_TRUE);
    ASSERT_EQ(Call(3, DISPATCH_METHOD, {Variant::Long(4), Variant::Bool(false)}), S_OK);
    EXPECT_EQ(sampler->seekPosition, 4.0);
    EXPECT_EQ(sampler->seekAbsolute, VARIANT_FALSE);

    // The "missing" marker stands for an omitted argument too.
    Variant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(Call(3, DISPATCH_METHOD, {Variant::Double(1), missing}), S_OK);
    EXPECT_EQ(sampler->seekAbsolute, VARIANT_TRUE);

    Variant length;
    ASSERT_EQ(Call(4, DISPATCH_METHOD, {}, &length), S_OK);
    EXPECT_EQ(sampler->measuredStream, 0);
    EXPECT_EQ(length.vt, VT_R8);
    EXPECT_EQ(length.dblVal, 1500.5);
    ASSERT_EQ(Call(4, DISPATCH_METHOD, {Variant::Utf8("2")}, &length), S_OK);
    EXPECT_EQ(sampler->measuredStream, 2);
}

TEST_F(GeneratedDispatchTest, ResultsComeBackWithTheirTypes)
{
    Variant result;
    ASSERT_EQ(Call(1, DISPATCH_PROPERTYPUT, {Variant::Double(41.6)}), S_OK);
    EXPECT_EQ(sampler->level, 42);
    ASSERT_EQ(Call(1, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);

    ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::Utf8("Grüße")}), S_OK);
    ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Bstr(result.bstrVal).Utf8(), "Grüße");

    ASSERT_EQ(Call(5, DISPATCH_METHOD, {Variant::Bool(true)}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(Bstr(result.bstrVal).Utf8(), "True");

    ASSERT_EQ(Call(7, DISPATCH_METHOD, {Variant::Long(mode_on)}), S_OK);
    ASSERT_EQ(Call(6, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, mode_on);

    ASSERT_EQ(Call(9, DISPATCH_PROPERTYGET, {Variant::Long(3)}, &result), S_OK);
    EXPECT_EQ(Bstr(result.bstrVal).Utf8(), "item 3");
    // A caller that wants no result still gets the call, and nothing leaks.
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, {}), S_OK);
}

TEST_F(GeneratedDispatchTest, BadCallsGetTheDispatchCodes)
{
    UINT argErr = 77;
    EXPECT_EQ(
        Call(3, DISPATCH_METHOD, {Variant::Utf8("far"), Variant::Bool(true)}, nullptr, &argErr),
        DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u); // the first parameter stands last in rgvarg
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {Variant::Long(1), Variant::Long(1), Variant::Long(1)}),
              DISP_E_BADPARAMCOUNT);
    Variant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {missing}), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(Call(1, DISPATCH_PROPERTYPUT, {Variant::Double(1e12)}), DISP_E_OVERFLOW);
    EXPECT_EQ(Call(3, DISPATCH_PROPERTYGET, {Variant::Long(1)}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(6, DISPATCH_PROPERTYPUT, {Variant::Long(1)}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(42, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        sampler->Invoke(8, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
}

TEST_F(GeneratedDispatchTest, NoExceptionLeavesInvoke)
{
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::Utf8("throw bad_alloc")}), E_OUTOFMEMORY);
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::Utf8("throw error")}), E_UNEXPECTED);
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::Utf8("throw int")}), E_UNEXPECTED);
    // The object is whole afterwards.
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::Utf8("kept")}), S_OK);
    Variant label;
    EXPECT_EQ(Call(2, DISPATCH_PROPERTYGET, {}, &label), S_OK);
    EXPECT_EQ(Bstr(std::u16string_view(label.bstrVal, SysStringLen(label.bstrVal))).Utf8(), "kept");
}

TEST_F(GeneratedDispatchTest, FailuresBecomeExceptions)
{
    EXCEPINFO exception{};
    EXPECT_EQ(Call(8, DISPATCH_METHOD, {}, nullptr, nullptr, &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_ACCESSDENIED);
    EXPECT_EQ(Bstr::Adopt(exception.bstrDescription).Utf8(), "The sampler refused");
    EXPECT_EQ(Bstr::Adopt(exception.bstrSource).Utf8(), "sampler.Sampler.1");
    SysFreeString(exception.bstrHelpFile);
    EXPECT_EQ(Call(9, DISPATCH_PROPERTYGET, {Variant::Long(-1)}), E_INVALIDARG);
}

TEST_F(GeneratedDispatchTest, TypeInformationComesFromTheEmbeddedLibrary)
{
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(sampler->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_ISampler);
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(sampler->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
}

namespace {

// A sink that unpacks events with the generated code and records them.
class EventSink final : public ComObject<IDispatch>
{
public:
    EventSink() : ComObject(nullptr, nullptr) {}
    std::vector<std::string> seen;
    VARIANT_BOOL reply = VARIANT_TRUE;

    HRESULT Format(const VARIANT& p1, VARIANT_BOOL* p2)
    {
        seen.push_back("Format " + std::to_string(p1.vt) + " " + std::to_string(*p2));
        *p2 = reply;
        return S_OK;
    }
    HRESULT Message(BSTR p1)
    {
        seen.push_back("Message " + Bstr(p1).Utf8());
        return S_OK;
    }
    HRESULT Progress(double p1)
    {
        seen.push_back("Progress " + std::to_string(p1));
        return S_OK;
    }
    HRESULT Sizes(LONG p1, LONG p2)
    {
        seen.push_back("Sizes " + std::to_string(p1) + " " + std::to_string(p2));
        return S_OK;
    }
    HRESULT StateChange(SamplerMode p1)
    {
        seen.push_back("StateChange " + std::to_string(p1));
        return S_OK;
    }

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override
    {
        return Dispatch_ISamplerEvents(*this, dispid, params);
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == DIID__ISamplerEvents)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }
};

class EventSource final : public ComObject<IConnectionPointContainer>
{
public:
    EventSource() : ComObject(nullptr, nullptr) {}
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override
    {
        return EnumConnectionPointsOf(points, ppEnum);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override
    {
        return FindConnectionPointIn(points, riid, ppCP);
    }
    ConnectionPoint point{this, DIID__ISamplerEvents};
    ConnectionPoint* points[1] = {&point};
};

} // namespace

TEST(GeneratedEventsTest, FiredEventsArriveUnpackedWithTheirTypes)
{
    auto source = ComPtr<EventSource>::Adopt(new EventSource);
    auto first = ComPtr<EventSink>::Adopt(new EventSink);
    auto second = ComPtr<EventSink>::Adopt(new EventSink);
    second->reply = VARIANT_FALSE;
    DWORD cookie = 0;
    ASSERT_EQ(source->point.Advise(static_cast<IDispatch*>(first.Get()), &cookie), S_OK);
    ASSERT_EQ(source->point.Advise(static_cast<IDispatch*>(second.Get()), &cookie), S_OK);

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 72);
    Variant payload = Variant::AdoptArray(VT_UI1, bytes);
    VARIANT_BOOL accept = VARIANT_FALSE;
    EXPECT_EQ(_ISamplerEventsFire::FireFormat(source->point, payload, &accept), S_OK);
    // Every sink sees the same value by reference; the last one decides.
    EXPECT_EQ(accept, VARIANT_FALSE);
    Bstr text = Bstr::FromUtf8("Failed to set grabber's callback");
    _ISamplerEventsFire::FireMessage(source->point, text.Get());
    _ISamplerEventsFire::FireProgress(source->point, 30000000.0);
    _ISamplerEventsFire::FireSizes(source->point, 1, 705032704);
    _ISamplerEventsFire::FireStateChange(source->point, mode_auto);

    const std::vector<std::string> expectedFirst = {
        "Format 8209 0", "Message Failed to set grabber's callback", "Progress 30000000.000000",
        "Sizes 1 705032704", "StateChange 7"};
    EXPECT_EQ(first->seen, expectedFirst);
    ASSERT_EQ(second->seen.size(), 5u);
    EXPECT_EQ(second->seen[0], "Format 8209 -1"); // the first sink's reply, by reference

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(Dispatch_ISamplerEvents(*first, 99, &none), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Dispatch_ISamplerEvents(*first, 3, &none), DISP_E_BADPARAMCOUNT);
    source->point.UnadviseAll();
}

TEST(GeneratedClientTest, WrappersReturnValuesAndThrowFailures)
{
    auto sampler = ComPtr<Sampler>::Adopt(new Sampler);
    ISamplerClient client(ComPtr<ISampler>(sampler.Get()));
    EXPECT_EQ(client.GetLevel(), 3);
    client.PutLabel(Bstr::FromUtf8("take").Get());
    EXPECT_EQ(client.GetLabel().Utf8(), "take");
    EXPECT_EQ(client.Measure(1), 1500.5);
    EXPECT_EQ(client.GetItem(4).Utf8(), "item 4");
    try {
        client.Fail();
        FAIL() << "no exception";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Result(), E_ACCESSDENIED);
        EXPECT_EQ(error.Description(), u"The sampler refused");
    }
}
