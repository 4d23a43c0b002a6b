#include "BaseOutputPin.h"

#include "BaseFilter.h"
#include "MediaSample.h"
#include "com/Bstr.h"
#include "com/DebugLog.h"

BaseOutputPin::BaseOutputPin(BaseFilter* filter, std::u16string name, std::u16string id)
    : BasePin(filter, PINDIR_OUTPUT, std::move(name), std::move(id))
{
}

HRESULT BaseOutputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    if (!pReceivePin)
        return E_POINTER;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (Filter()->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    PIN_DIRECTION peerDirection = PINDIR_OUTPUT;
    HRESULT hr = pReceivePin->QueryDirection(&peerDirection);
    if (FAILED(hr))
        return hr;
    if (peerDirection != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;

    if (pmt && IsCompleteMediaType(*pmt))
        return AttemptConnection(pReceivePin, *pmt);

    // Our own proposals first, in order, then whatever the peer proposes.
    bool anyCandidate = false;
    for (int index = 0;; ++index) {
        MediaType proposal;
        if (GetMediaType(index, proposal.Out()) != S_OK)
            break;
        if (!MediaTypeMatchesPartial(proposal.Get(), pmt))
            continue;
        anyCandidate = true;
        if (SUCCEEDED(AttemptConnection(pReceivePin, proposal.Get())))
            return S_OK;
    }
    ComPtr<IEnumMediaTypes> peerTypes;
    if (SUCCEEDED(pReceivePin->EnumMediaTypes(&peerTypes)) && peerTypes) {
        AM_MEDIA_TYPE* proposal = nullptr;
        ULONG fetched = 0;
        while (peerTypes->Next(1, &proposal, &fetched) == S_OK && fetched == 1) {
            bool matches = MediaTypeMatchesPartial(*proposal, pmt);
            hr = matches ? AttemptConnection(pReceivePin, *proposal) : E_FAIL;
            DeleteMediaType(proposal);
            anyCandidate = anyCandidate || matches;
            if (SUCCEEDED(hr))
                return S_OK;
        }
    }
    QUILLET_LOG("graph", "pin %s: no media type fits", quillet::Utf16ToUtf8(Name()).c_str());
    return anyCandidate ? VFW_E_NO_ACCEPTABLE_TYPES : VFW_E_NO_TYPES;
}

HRESULT BaseOutputPin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& mediaType)
{
    if (CheckMediaType(&mediaType) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    // The peer may ask who connects it while it accepts, so the connection is in place first.
    HRESULT hr = SetConnection(receivePin, mediaType);
    if (FAILED(hr))
        return hr;
    hr = receivePin->ReceiveConnection(this, &mediaType);
    if (FAILED(hr)) {
        ClearConnection();
        return hr;
    }
    hr = receivePin->QueryInterface(IID_PPV_ARGS(&peerInput));
    if (SUCCEEDED(hr))
        hr = Filter()->PinConnected(this);
    else
        hr = VFW_E_NO_TRANSPORT;
    if (FAILED(hr)) {
        receivePin->Disconnect();
        peerInput = nullptr;
        ClearConnection();
        return hr;
    }
    QUILLET_LOG("graph", "pin %s: connected", quillet::Utf16ToUtf8(Name()).c_str());
    return S_OK;
}

HRESULT BaseOutputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    return E_UNEXPECTED;
}

HRESULT BaseOutputPin::Disconnect()
{
    HRESULT hr = BasePin::Disconnect();
    if (hr == S_OK)
        peerInput = nullptr;
    return hr;
}

HRESULT BaseOutputPin::Deliver(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (!peerInput)
        return VFW_E_NOT_CONNECTED;
    return peerInput->Receive(sample);
}

HRESULT BaseOutputPin::DeliverBuffer(const BYTE* data, LONG length, REFERENCE_TIME start,
                                     REFERENCE_TIME stop)
{
    if (!peerInput)
        return VFW_E_NOT_CONNECTED;
    ComPtr<IMediaSample> sample;
    HRESULT hr = MediaSample::Create(data, length, start, stop, sample);
    if (FAILED(hr))
        return hr;
    return peerInput->Receive(sample.Get());
}

HRESULT BaseOutputPin::DeliverEndOfStream()
{
    IPin* peer = Peer();
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    return peer->EndOfStream();
}
