// The "Capture" output pin of an audio capture filter: a BaseOutputPin that tells its category
// (PIN_CATEGORY_CAPTURE) through IKsPropertySet. Used on the graph's thread; delivery runs on
// the capture stream's thread.
#pragma once

#include "BaseOutputPin.h"
#include "ExtendInterfaces.h"

class CaptureOutputPin final : public ExtendInterfaces<BaseOutputPin, IKsPropertySet>
{
public:
    explicit CaptureOutputPin(BaseFilter* filter);

    HRESULT Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                LPVOID pPropData, DWORD cbPropData) override;
    HRESULT Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
    HRESULT QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;
};
