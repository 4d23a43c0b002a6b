// The sample grabber: an in-place pass-through with one input and one output pin. The input
// takes whatever type upstream offers (narrowed by SetMediaType), the output offers exactly
// that type, and every sample goes to the callback on the streaming thread and then, unchanged,
// downstream.
//
// Threads: ISampleGrabber runs on the graph's thread; the callback is called on the upstream
// streaming thread and may be changed while streaming.
#pragma once

#include <mutex>

#include "BaseFilter.h"
#include "BaseInputPin.h"
#include "BaseOutputPin.h"
#include "ExtendInterfaces.h"
#include "MediaType.h"

class SampleGrabber final : public ExtendInterfaces<BaseFilter, ISampleGrabber>
{
public:
    SampleGrabber(IUnknown* outer, ModuleLock* module);

    HRESULT SetOneShot(BOOL OneShot) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
    HRESULT SetBufferSamples(BOOL BufferThem) override;
    HRESULT GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override;
    HRESULT GetCurrentSample(IMediaSample** ppSample) override;
    HRESULT SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) override;

    size_t PinCount() override { return 2; }
    BasePin* PinAt(size_t index) override;
    HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType) override;
    HRESULT GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType) override;
    HRESULT ReceiveSample(BaseInputPin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(BaseInputPin* pin) override;

private:
    BaseInputPin input{this, u"Input"};
    BaseOutputPin output{this, u"Output"};
    MediaType acceptedType; // partial: GUID_NULL members accept anything

    std::mutex callbackMutex; // the callback changes on the graph's thread while streaming
    ComPtr<ISampleGrabberCB> callback;
    LONG callbackMethod = 0;
};
