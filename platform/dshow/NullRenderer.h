// The null renderer: one input pin that takes any type and discards every sample. It ends a
// chain, so the graph changes its state before its upstream filters'.
// Threads: as BaseFilter; samples arrive on the upstream streaming thread.
#pragma once

#include "BaseFilter.h"
#include "BaseInputPin.h"

class NullRenderer final : public BaseFilter
{
public:
    NullRenderer(IUnknown* outer, ModuleLock* module);

    size_t PinCount() override { return 1; }
    BasePin* PinAt(size_t) override { return &input; }
    HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType) override;
    HRESULT ReceiveSample(BaseInputPin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(BaseInputPin* pin) override;

private:
    BaseInputPin input{this, u"In"};
};
