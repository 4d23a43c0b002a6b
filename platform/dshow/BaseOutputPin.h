// An output pin: connects to an input pin, proposing its own media types in order and then the
// peer's, and delivers samples to the peer's IMemInputPin. Connect and Disconnect run on the
// graph's thread while the filter is stopped; the Deliver calls run on the filter's streaming
// thread.
#pragma once

#include "BasePin.h"

class BaseOutputPin : public BasePin
{
public:
    BaseOutputPin(BaseFilter* filter, std::u16string name, std::u16string id = {});

    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;

    // Streaming thread: hands a sample to the peer; VFW_E_NOT_CONNECTED without one.
    HRESULT Deliver(IMediaSample* sample);
    // Streaming thread: a new sample with a copy of the bytes, stamped start to stop.
    HRESULT DeliverBuffer(const BYTE* data, LONG length, REFERENCE_TIME start, REFERENCE_TIME stop);
    // Streaming thread: no sample follows until the filter runs again.
    HRESULT DeliverEndOfStream();

private:
    HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& mediaType);

    ComPtr<IMemInputPin> peerInput;
};
