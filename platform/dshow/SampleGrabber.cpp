#include "SampleGrabber.h"

#include "com/DebugLog.h"

namespace {
constexpr LONG kSampleCallback = 0;
constexpr LONG kBufferCallback = 1;
constexpr double kUnitsPerSecond = 10'000'000.0;
} // namespace

SampleGrabber::SampleGrabber(IUnknown* outer, ModuleLock* module)
    : ExtendInterfaces(outer, module, CLSID_SampleGrabber)
{
}

BasePin* SampleGrabber::PinAt(size_t index)
{
    return index == 0 ? static_cast<BasePin*>(&input) : &output;
}

HRESULT SampleGrabber::SetOneShot(BOOL)
{
    // Capture graphs never stop after one sample; the flag is kept out of the way.
    return S_OK;
}

HRESULT SampleGrabber::SetMediaType(const AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    return acceptedType.Assign(*pType);
}

HRESULT SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* pType)
{
    if (!pType)
        return E_POINTER;
    *pType = AM_MEDIA_TYPE{};
    if (!input.IsConnected())
        return VFW_E_NOT_CONNECTED;
    return CopyMediaType(pType, &input.ConnectedType());
}

HRESULT SampleGrabber::SetBufferSamples(BOOL)
{
    // Samples reach the client through the callback; nothing is kept for GetCurrentBuffer.
    return S_OK;
}

HRESULT SampleGrabber::GetCurrentBuffer(LONG* pBufferSize, LONG*)
{
    if (!pBufferSize)
        return E_POINTER;
    // FIXME: no sample is buffered; only the callback delivers data.
    QUILLET_LOG("graph", "sample grabber: GetCurrentBuffer is not built");
    return E_NOTIMPL;
}

HRESULT SampleGrabber::GetCurrentSample(IMediaSample** ppSample)
{
    if (!ppSample)
        return E_POINTER;
    *ppSample = nullptr;
    QUILLET_LOG("graph", "sample grabber: GetCurrentSample is not built");
    return E_NOTIMPL;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback)
{
    if (WhichMethodToCallback != kSampleCallback && WhichMethodToCallback != kBufferCallback)
        return E_INVALIDARG;
    ComPtr<ISampleGrabberCB> previous;
    {
        std::lock_guard lock(callbackMutex);
        previous = std::move(callback);
        callback = pCallback;
        callbackMethod = WhichMethodToCallback;
    }
    return S_OK; // the previous callback is released here, outside the lock
}

HRESULT SampleGrabber::CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType)
{
    if (pin == &input) {
        if (!MediaTypeMatchesPartial(mediaType, &acceptedType.Get()))
            return VFW_E_TYPE_NOT_ACCEPTED;
        // A new input type must suit what already listens downstream.
        if (output.IsConnected() && output.Peer()->QueryAccept(&mediaType) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }
    // In place: the output carries exactly what comes in.
    if (!input.IsConnected())
        return VFW_E_NOT_CONNECTED;
    const AM_MEDIA_TYPE& incoming = input.ConnectedType();
    if (mediaType.majortype != incoming.majortype || mediaType.subtype != incoming.subtype ||
        mediaType.formattype != incoming.formattype)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT SampleGrabber::GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType)
{
    if (pin != &output || !input.IsConnected() || index > 0)
        return VFW_S_NO_MORE_ITEMS;
    return CopyMediaType(mediaType, &input.ConnectedType());
}

HRESULT SampleGrabber::ReceiveSample(BaseInputPin*, IMediaSample* sample)
{
    ComPtr<ISampleGrabberCB> target;
    LONG method = kSampleCallback;
    {
        std::lock_guard lock(callbackMutex);
        target = callback;
        method = callbackMethod;
    }
    if (target) {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        double seconds = SUCCEEDED(sample->GetTime(&start, &stop)) ? start / kUnitsPerSecond : 0;
        if (method == kBufferCallback) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            target->BufferCB(seconds, data, sample->GetActualDataLength());
        } else {
            target->SampleCB(seconds, sample);
        }
    }
    if (!output.IsConnected())
        return S_OK;
    return output.Deliver(sample);
}

HRESULT SampleGrabber::PinEndOfStream(BaseInputPin*)
{
    if (!output.IsConnected())
        return S_OK;
    return output.DeliverEndOfStream();
}
