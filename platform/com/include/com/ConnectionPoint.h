// A connection point for one outgoing interface, embedded in the object that fires it, and the
// helpers with which that object answers IConnectionPointContainer.
//
// A sink is accepted when it answers QueryInterface for the connection interface; its cookie is
// its 1-based position in the sink list, and an unadvised position is reused by the next
// Advise. Everything here runs on the owning object's thread.
#pragma once

#include <span>
#include <vector>

#include "com/ComPtr.h"
#include "com/ConnectionPoints.h"

class ConnectionPoint final : public IConnectionPoint
{
public:
    // container: the owning object, whose reference count this point shares.
    ConnectionPoint(IConnectionPointContainer* container, REFIID connectionIid);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

    const IID& ConnectionIid() const { return connectionIid; }
    // Releases every sink, as the owner does when it goes away.
    void UnadviseAll();
    bool HasSinks() const;

    // Calls IDispatch::Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD) on every
    // sink in list order; one sink's failure does not stop the next. The arguments stand last
    // parameter first. Returns the last sink's result, S_OK when there is none.
    HRESULT Fire(DISPID dispid, DISPPARAMS* parameters);

private:
    IConnectionPointContainer* container;
    IID connectionIid;
    std::vector<ComPtr<IUnknown>> sinks; // a null entry is a free position
};

// IConnectionPointContainer::FindConnectionPoint over an object's points.
HRESULT FindConnectionPointIn(std::span<ConnectionPoint* const> points, REFIID riid,
                              IConnectionPoint** ppCP);
// IConnectionPointContainer::EnumConnectionPoints over an object's points.
HRESULT EnumConnectionPointsOf(std::span<ConnectionPoint* const> points,
                               IEnumConnectionPoints** ppEnum);
