#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CountingObject.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/ConnectionPoint.h"
#include "com/Variant.h"

namespace {

constexpr IID kEventsIid = MakeGuid("0B6C2E94-7F3A-4C55-8E21-6D0F3A9B4C11");

// What each sink saw, in the order sinks were called.
struct Delivery
{
    int sink;
    DISPID dispid;
    std::vector<VARTYPE> types;
    LONG firstLong;
    std::string text;
};

class RecordingSink final : public ComObject<IDispatch>
{
public:
    RecordingSink(int id, std::vector<Delivery>* log, HRESULT answer)
        : id(id), log(log), answer(answer)
    {
    }

    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*,
                   EXCEPINFO*, UINT*) override
    {
        EXPECT_EQ(riid, IID_NULL);
        EXPECT_EQ(lcid, LOCALE_USER_DEFAULT);
        EXPECT_EQ(flags, DISPATCH_METHOD);
        Delivery delivery{id, dispid, {}, 0, {}};
        for (UINT i = 0; i < params->cArgs; ++i)
            delivery.types.push_back(params->rgvarg[i].vt);
        if (params->cArgs >= 2) {
            delivery.firstLong = params->rgvarg[params->cArgs - 1].lVal;
            delivery.text = Bstr(params->rgvarg[0].bstrVal).Utf8();
        }
        log->push_back(delivery);
        return answer;
    }

protected:
    void* FindInterface(REFIID riid) override
    {
        if (riid == kEventsIid)
            return static_cast<IDispatch*>(this);
        return ComObject::FindInterface(riid);
    }

private:
    int id;
    std::vector<Delivery>* log;
    HRESULT answer;
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

    // Fires event 5 with (long, string): the arguments go in last parameter first.
    HRESULT FireProgress(LONG value, const char* text)
    {
        Variant arguments[2] = {Variant::Utf8(text), Variant::Long(value)};
        DISPPARAMS params{arguments, nullptr, 2, 0};
        return point.Fire(5, &params);
    }

    ConnectionPoint point{this, kEventsIid};
    ConnectionPoint* points[1] = {&point};
};

class ConnectionPointTest : public ::testing::Test
{
protected:
    ConnectionPointTest()
    {
        source = ComPtr<EventSource>::Adopt(new EventSource);
        EXPECT_EQ(source->FindConnectionPoint(kEventsIid, &point), S_OK);
    }

    ComPtr<IDispatch> MakeSink(int id, HRESULT answer = S_OK)
    {
        return ComPtr<IDispatch>::Adopt(new RecordingSink(id, &log, answer));
    }

    std::vector<Delivery> log;
    ComPtr<EventSource> source;
    ComPtr<IConnectionPoint> point;
};

} // namespace

TEST_F(ConnectionPointTest, SinksReceiveEventsInOrderWithArgumentsReversed)
{
    DWORD first = 0, second = 0;
    ASSERT_EQ(point->Advise(MakeSink(1).Get(), &first), S_OK);
    ASSERT_EQ(point->Advise(MakeSink(2).Get(), &second), S_OK);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);

    EXPECT_EQ(source->FireProgress(42, "forty-two"), S_OK);
    ASSERT_EQ(log.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(log[i].sink, i + 1);
        EXPECT_EQ(log[i].dispid, 5);
        EXPECT_EQ(log[i].types, (std::vector<VARTYPE>{VT_BSTR, VT_I4}));
        EXPECT_EQ(log[i].firstLong, 42);
        EXPECT_EQ(log[i].text, "forty-two");
    }
}

TEST_F(ConnectionPointTest, AFailingSinkDoesNotStopTheNext)
{
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(MakeSink(1, E_FAIL).Get(), &cookie), S_OK);
    ASSERT_EQ(point->Advise(MakeSink(2, S_OK).Get(), &cookie), S_OK);
    // The result is the last sink's.
    EXPECT_EQ(source->FireProgress(1, "x"), S_OK);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].sink, 2);
}

TEST_F(ConnectionPointTest, SinkWithoutTheInterfaceIsRefused)
{
    auto* stranger = new CountingObject;
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(stranger, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(stranger->References(), 1u);
    stranger->Release();
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(point->Advise(MakeSink(1).Get(), nullptr), E_POINTER);
}

TEST_F(ConnectionPointTest, CookiesArePositionsAndFreedPositionsAreReused)
{
    DWORD a = 0, b = 0, c = 0;
    ASSERT_EQ(point->Advise(MakeSink(1).Get(), &a), S_OK);
    ASSERT_EQ(point->Advise(MakeSink(2).Get(), &b), S_OK);
    EXPECT_EQ(point->Unadvise(a), S_OK);
    EXPECT_EQ(point->Unadvise(a), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(77), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Advise(MakeSink(3).Get(), &c), S_OK);
    EXPECT_EQ(c, 1u);

    source->FireProgress(3, "after");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].sink, 3);
    EXPECT_EQ(log[1].sink, 2);

    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA data[3];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(data[1].dwCookie, 2u);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
}

TEST_F(ConnectionPointTest, ContainerAnswersOnlyForItsInterfaces)
{
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, kEventsIid);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(point->GetConnectionPointContainer(&container), S_OK);
    EXPECT_EQ(container.Get(), static_cast<IConnectionPointContainer*>(source.Get()));
    ComPtr<IConnectionPoint> missing;
    EXPECT_EQ(source->FindConnectionPoint(IID_IDispatch, &missing), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(source->FindConnectionPoint(kEventsIid, nullptr), E_POINTER);

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(source->EnumConnectionPoints(&points), S_OK);
    ComPtr<IConnectionPoint> listed;
    ULONG fetched = 0;
    ASSERT_EQ(points->Next(1, &listed, &fetched), S_OK);
    EXPECT_EQ(listed.Get(), point.Get());
}

TEST_F(ConnectionPointTest, NoSinksMeansNothingHappens)
{
    EXPECT_EQ(source->FireProgress(1, "nobody"), S_OK);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(source->point.HasSinks());
}
