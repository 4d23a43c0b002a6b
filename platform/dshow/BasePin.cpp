#include "BasePin.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "BaseFilter.h"
#include "EnumMediaTypes.h"
#include "com/Bstr.h"
#include "com/DebugLog.h"

void CopyToFixed(const std::u16string& text, WCHAR* target, size_t capacity)
{
    size_t count = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), count, target);
    target[count] = u'\0';
}

BasePin::BasePin(BaseFilter* filter, PIN_DIRECTION direction, std::u16string name,
                 std::u16string id)
    : filter(filter), direction(direction), name(std::move(name)), id(std::move(id))
{
    if (this->id.empty())
        this->id = this->name;
}

HRESULT BasePin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = FindInterface(riid);
    if (!*ppv)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG BasePin::AddRef()
{
    return static_cast<IBaseFilter*>(filter)->AddRef();
}

ULONG BasePin::Release()
{
    return static_cast<IBaseFilter*>(filter)->Release();
}

void* BasePin::FindInterface(REFIID riid)
{
    if (riid == IID_IUnknown || riid == IID_IPin)
        return static_cast<IPin*>(this);
    return nullptr;
}

HRESULT BasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE*)
{
    if (!pReceivePin)
        return E_POINTER;
    // Only output pins start a connection.
    return E_UNEXPECTED;
}

HRESULT BasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    if (direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    PIN_DIRECTION peerDirection = PINDIR_INPUT;
    HRESULT hr = pConnector->QueryDirection(&peerDirection);
    if (FAILED(hr))
        return hr;
    if (peerDirection != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (CheckMediaType(pmt) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    hr = SetConnection(pConnector, *pmt);
    if (FAILED(hr))
        return hr;
    hr = filter->PinConnected(this);
    if (FAILED(hr)) {
        ClearConnection();
        return hr;
    }
    QUILLET_LOG("graph", "pin %s: connected", quillet::Utf16ToUtf8(name).c_str());
    return S_OK;
}

HRESULT BasePin::Disconnect()
{
    if (filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!IsConnected())
        return S_FALSE;
    ClearConnection();
    filter->PinDisconnected(this);
    return S_OK;
}

HRESULT BasePin::ConnectedTo(IPin** pPin)
{
    if (!pPin)
        return E_POINTER;
    *pPin = nullptr;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    peer.CopyTo(pPin);
    return S_OK;
}

HRESULT BasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    *pmt = AM_MEDIA_TYPE{};
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return connectionType.CopyTo(pmt);
}

HRESULT BasePin::QueryPinInfo(PIN_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    pInfo->pFilter = filter;
    pInfo->pFilter->AddRef();
    pInfo->dir = direction;
    CopyToFixed(name, pInfo->achName, MAX_PIN_NAME);
    return S_OK;
}

HRESULT BasePin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = direction;
    return S_OK;
}

HRESULT BasePin::QueryId(LPWSTR* Id)
{
    if (!Id)
        return E_POINTER;
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc((id.size() + 1) * sizeof(WCHAR)));
    if (!*Id)
        return E_OUTOFMEMORY;
    CopyToFixed(id, *Id, id.size() + 1);
    return S_OK;
}

HRESULT BasePin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return E_POINTER;
    return CheckMediaType(pmt) == S_OK ? S_OK : S_FALSE;
}

HRESULT BasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return EnumMediaTypes::Create(this, ppEnum);
}

HRESULT BasePin::QueryInternalConnections(IPin** apPin, ULONG* nPin)
{
    if (!nPin || (!apPin && *nPin))
        return E_POINTER;
    // Every input feeds every output.
    return E_NOTIMPL;
}

HRESULT BasePin::EndOfStream()
{
    return E_UNEXPECTED;
}

HRESULT BasePin::BeginFlush()
{
    return E_UNEXPECTED;
}

HRESULT BasePin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT BasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT BasePin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    return filter->CheckPinMediaType(this, *mediaType);
}

HRESULT BasePin::GetMediaType(int index, AM_MEDIA_TYPE* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    *mediaType = AM_MEDIA_TYPE{};
    if (index < 0)
        return E_INVALIDARG;
    return filter->GetPinMediaType(this, index, mediaType);
}

HRESULT BasePin::SetConnection(IPin* newPeer, const AM_MEDIA_TYPE& mediaType)
{
    HRESULT hr = connectionType.Assign(mediaType);
    if (FAILED(hr))
        return hr;
    peer = newPeer;
    return S_OK;
}

void BasePin::ClearConnection()
{
    peer = nullptr;
    connectionType.Reset();
}
