#include "com/ConnectionPoint.h"

#include "com/ComEnumerator.h"
#include "com/ComObject.h"

namespace {

// Enumerates a snapshot taken when it was made, so that sinks advised or unadvised during
// enumeration do not disturb it.
class ConnectionEnumerator final : public ComObject<IEnumConnections>
{
public:
    ConnectionEnumerator(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}
    ~ConnectionEnumerator() { Clear(); }

    std::vector<CONNECTDATA> items;
    size_t position = 0;

    HRESULT Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) override
    {
        if (!rgcd || (cConnections > 1 && !pcFetched))
            return E_POINTER;
        ULONG fetched = 0;
        while (fetched < cConnections && position < items.size()) {
            rgcd[fetched] = items[position++];
            rgcd[fetched].pUnk->AddRef();
            ++fetched;
        }
        if (pcFetched)
            *pcFetched = fetched;
        return fetched == cConnections ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG cConnections) override
    {
        size_t left = items.size() - position;
        position += cConnections < left ? cConnections : left;
        return cConnections <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumConnections** ppEnum) override
    {
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = nullptr;
        ComPtr<IEnumConnections> clone;
        HRESULT hr = CreateComObject<ConnectionEnumerator>(nullptr, nullptr, IID_IEnumConnections,
                                                           clone.ReleaseAndGetVoidAddress());
        if (FAILED(hr))
            return hr;
        auto* copy = static_cast<ConnectionEnumerator*>(clone.Get());
        for (const CONNECTDATA& item : items) {
            item.pUnk->AddRef();
            copy->items.push_back(item);
        }
        copy->position = position;
        *ppEnum = clone.Detach();
        return S_OK;
    }

private:
    void Clear()
    {
        for (CONNECTDATA& item : items)
            item.pUnk->Release();
        items.clear();
    }
};

} // namespace

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID connectionIid)
    : container(container), connectionIid(connectionIid)
{
}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint)
        return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG ConnectionPoint::AddRef()
{
    return container->AddRef();
}

ULONG ConnectionPoint::Release()
{
    return container->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID)
{
    if (!pIID)
        return E_POINTER;
    *pIID = connectionIid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = container;
    container->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (!pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink)
        return E_POINTER;
    ComPtr<IUnknown> sink;
    if (FAILED(pUnkSink->QueryInterface(connectionIid, sink.ReleaseAndGetVoidAddress())) || !sink)
        return CONNECT_E_CANNOTCONNECT;
    try {
        for (size_t i = 0; i < sinks.size(); ++i) {
            if (!sinks[i]) {
                sinks[i] = std::move(sink);
                *pdwCookie = DWORD(i + 1);
                return S_OK;
            }
        }
        sinks.push_back(std::move(sink));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *pdwCookie = DWORD(sinks.size());
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie)
{
    if (dwCookie == 0 || dwCookie > sinks.size() || !sinks[dwCookie - 1])
        return CONNECT_E_NOCONNECTION;
    // Take the sink out before releasing it: its destructor may call back into this point.
    ComPtr<IUnknown> sink = std::move(sinks[dwCookie - 1]);
    sinks[dwCookie - 1] = nullptr;
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    ComPtr<IEnumConnections> enumerator;
    HRESULT hr = CreateComObject<ConnectionEnumerator>(nullptr, nullptr, IID_IEnumConnections,
                                                       enumerator.ReleaseAndGetVoidAddress());
    if (FAILED(hr))
        return hr;
    auto* snapshot = static_cast<ConnectionEnumerator*>(enumerator.Get());
    try {
        for (size_t i = 0; i < sinks.size(); ++i) {
            if (!sinks[i])
                continue;
            snapshot->items.push_back({sinks[i].Get(), DWORD(i + 1)});
            sinks[i]->AddRef();
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *ppEnum = enumerator.Detach();
    return S_OK;
}

void ConnectionPoint::UnadviseAll()
{
    std::vector<ComPtr<IUnknown>> released;
    released.swap(sinks);
}

bool ConnectionPoint::HasSinks() const
{
    for (const auto& sink : sinks)
        if (sink)
            return true;
    return false;
}

HRESULT ConnectionPoint::Fire(DISPID dispid, DISPPARAMS* parameters)
{
    // A sink may unadvise itself or others while it handles the event; fire to the list as it
    // stood when the event began.
    std::vector<ComPtr<IUnknown>> snapshot;
    try {
        snapshot = sinks;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT result = S_OK;
    for (const ComPtr<IUnknown>& sink : snapshot) {
        if (!sink)
            continue;
        // The connection interface of an event source is a dispinterface, so every sink
        // answered for it with an IDispatch.
        auto* dispatch = static_cast<IDispatch*>(sink.Get());
        result = dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                  parameters ? parameters : &none, nullptr, nullptr, nullptr);
    }
    return result;
}

HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID riid,
                              IConnectionPoint** ppCP)
{
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    for (ConnectionPoint* point : points) {
        if (point->ConnectionIid() == riid) {
            point->AddRef();
            *ppCP = point;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT EnumConnectionPointsOf(std::span<ConnectionPoint* const> points,
                               IEnumConnectionPoints** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    try {
        std::vector<ComPtr<IConnectionPoint>> items(points.begin(), points.end());
        return ComEnumerator<IEnumConnectionPoints, IConnectionPoint>::Create(std::move(items),
                                                                              ppEnum);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
