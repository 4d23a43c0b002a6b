// What every pin shares: its filter, direction, name and id, the connection (peer and media
// type), and the IPin queries. Input connection (ReceiveConnection) lives here too, checked by
// the CheckMediaType hook; BaseOutputPin adds the connecting side and delivery, BaseInputPin the
// receiving transport.
//
// A pin is part of its filter: it shares the filter's reference count and lives as long as the
// filter. Connection methods run on the graph's thread while the filter is stopped; the
// streaming thread only reads a connection that cannot change until the filter stops.
#pragma once

#include <string>

#include "MediaType.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class BaseFilter;

class BasePin : public IPin
{
public:
    // An empty id makes the name the id.
    BasePin(BaseFilter* filter, PIN_DIRECTION direction, std::u16string name,
            std::u16string id = {});
    virtual ~BasePin() = default;
    BasePin(const BasePin&) = delete;
    BasePin& operator=(const BasePin&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT QueryId(LPWSTR* Id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // S_OK when the pin takes the type; the default asks the filter.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType);
    // The pin's index-th proposal into an uninitialised record: S_OK, or VFW_S_NO_MORE_ITEMS
    // past the last. The default asks the filter.
    virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* mediaType);

    BaseFilter* Filter() const { return filter; }
    PIN_DIRECTION Direction() const { return direction; }
    const std::u16string& Name() const { return name; }
    const std::u16string& Id() const { return id; }
    bool IsConnected() const { return peer != nullptr; }
    IPin* Peer() const { return peer.Get(); }
    const AM_MEDIA_TYPE& ConnectedType() const { return connectionType.Get(); }

protected:
    // The interface for riid that this pin answers, or null: IPin and IUnknown here.
    virtual void* FindInterface(REFIID riid);
    HRESULT SetConnection(IPin* newPeer, const AM_MEDIA_TYPE& mediaType);
    void ClearConnection();

private:
    BaseFilter* filter;
    PIN_DIRECTION direction;
    std::u16string name;
    std::u16string id;
    ComPtr<IPin> peer;
    MediaType connectionType;
};

// Copies text into a fixed WCHAR array, truncating and terminating it.
void CopyToFixed(const std::u16string& text, WCHAR* target, size_t capacity);
