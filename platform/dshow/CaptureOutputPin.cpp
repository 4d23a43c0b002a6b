#include "CaptureOutputPin.h"

#include <cstring>

CaptureOutputPin::CaptureOutputPin(BaseFilter* filter) : ExtendInterfaces(filter, u"Capture") {}

HRESULT CaptureOutputPin::Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID, DWORD)
{
    if (guidPropSet != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    return E_PROP_ID_UNSUPPORTED; // the category is read-only
}

HRESULT CaptureOutputPin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                              DWORD cbPropData, DWORD* pcbReturned)
{
    if (pcbReturned)
        *pcbReturned = 0;
    if (guidPropSet != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!pPropData)
        return pcbReturned ? (*pcbReturned = sizeof(GUID), S_OK) : E_POINTER;
    if (cbPropData < sizeof(GUID))
        return E_UNEXPECTED;
    std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    if (pcbReturned)
        *pcbReturned = sizeof(GUID);
    return S_OK;
}

HRESULT CaptureOutputPin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport)
{
    if (guidPropSet != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (pTypeSupport)
        *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}
