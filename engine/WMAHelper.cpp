#include "WMAHelper.h"

#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "WMAHelper::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

WMAHelper::WMAHelper(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMAHelper::~WMAHelper() = default;

HRESULT WMAHelper::GetAvailableSystemProfilesInfo(wm_profile_version Version, VARIANT* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    (void)Version;
    VariantInit(pInfo);
    return NotBuilt("GetAvailableSystemProfilesInfo");
}

HRESULT WMAHelper::GetAvailableCaptureSourcesInfo(VARIANT* info)
{
    if (!info)
        return E_POINTER;
    VariantInit(info);
    return NotBuilt("GetAvailableCaptureSourcesInfo");
}

HRESULT WMAHelper::GetStreamLength(BSTR FilePath, LONG StreamIndex, DOUBLE* pStreamLength)
{
    if (!pStreamLength)
        return E_POINTER;
    (void)FilePath;
    (void)StreamIndex;
    *pStreamLength = DOUBLE();
    return NotBuilt("GetStreamLength");
}
