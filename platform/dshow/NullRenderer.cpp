#include "NullRenderer.h"

NullRenderer::NullRenderer(IUnknown* outer, ModuleLock* module)
    : BaseFilter(outer, module, CLSID_NullRenderer)
{
}

HRESULT NullRenderer::CheckPinMediaType(BasePin*, const AM_MEDIA_TYPE&)
{
    return S_OK;
}

HRESULT NullRenderer::ReceiveSample(BaseInputPin*, IMediaSample*)
{
    return S_OK;
}

HRESULT NullRenderer::PinEndOfStream(BaseInputPin*)
{
    // A renderer reports the end of its stream to the application.
    return NotifyEvent(EC_COMPLETE, S_OK, 0);
}
