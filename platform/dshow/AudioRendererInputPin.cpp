#include "AudioRendererInputPin.h"

#include "AudioRenderer.h"

AudioRendererInputPin::AudioRendererInputPin(AudioRenderer* renderer)
    : BaseInputPin(renderer, u"Audio Input", u"In"), renderer(renderer)
{
}

HRESULT AudioRendererInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME, double dRate)
{
    if (dRate <= 0)
        return E_INVALIDARG;
    renderer->SegmentStarted(tStart);
    return S_OK;
}
