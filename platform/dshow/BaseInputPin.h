// An input pin that receives samples through IMemInputPin. Connection methods run on the
// graph's thread; Receive, EndOfStream and the flush calls run on the upstream filter's
// streaming thread and hand each sample to the filter's ReceiveSample hook.
#pragma once

#include <atomic>

#include "BasePin.h"
#include "ExtendInterfaces.h"

class BaseInputPin : public ExtendInterfaces<BasePin, IMemInputPin>
{
public:
    BaseInputPin(BaseFilter* filter, std::u16string name, std::u16string id = {});

    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

    HRESULT GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                            LONG* nSamplesProcessed) override;
    HRESULT ReceiveCanBlock() override;

private:
    std::atomic<bool> flushing{false};
};
