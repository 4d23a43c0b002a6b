#include "BaseInputPin.h"

#include "BaseFilter.h"

BaseInputPin::BaseInputPin(BaseFilter* filter, std::u16string name, std::u16string id)
    : ExtendInterfaces(filter, PINDIR_INPUT, std::move(name), std::move(id))
{
}

HRESULT BaseInputPin::EndOfStream()
{
    if (flushing.load(std::memory_order_acquire))
        return S_FALSE;
    return Filter()->PinEndOfStream(this);
}

HRESULT BaseInputPin::BeginFlush()
{
    flushing.store(true, std::memory_order_release);
    Filter()->PinFlush(this, true);
    return S_OK;
}

HRESULT BaseInputPin::EndFlush()
{
    Filter()->PinFlush(this, false);
    flushing.store(false, std::memory_order_release);
    return S_OK;
}

HRESULT BaseInputPin::GetAllocator(IMemAllocator** ppAllocator)
{
    if (!ppAllocator)
        return E_POINTER;
    *ppAllocator = nullptr;
    // Upstream pins deliver samples of their own making; no allocator is negotiated.
    return VFW_E_NO_ALLOCATOR;
}

HRESULT BaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL)
{
    if (!pAllocator)
        return E_POINTER;
    return S_OK;
}

HRESULT BaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps)
{
    if (!pProps)
        return E_POINTER;
    return E_NOTIMPL;
}

HRESULT BaseInputPin::Receive(IMediaSample* pSample)
{
    if (!pSample)
        return E_POINTER;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (Filter()->State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    if (flushing.load(std::memory_order_acquire))
        return S_FALSE;
    return Filter()->ReceiveSample(this, pSample);
}

HRESULT BaseInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                      LONG* nSamplesProcessed)
{
    if (!pSamples || !nSamplesProcessed)
        return E_POINTER;
    *nSamplesProcessed = 0;
    HRESULT hr = S_OK;
    while (*nSamplesProcessed < nSamples) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK)
            break;
        ++*nSamplesProcessed;
    }
    return hr;
}

HRESULT BaseInputPin::ReceiveCanBlock()
{
    return S_FALSE;
}
