#include "WMAProfileInfo.h"

#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "WMAProfileInfo::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

WMAProfileInfo::WMAProfileInfo(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

WMAProfileInfo::~WMAProfileInfo() = default;

HRESULT WMAProfileInfo::get_Version(wm_profile_version* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = wm_profile_version();
    return NotBuilt("get_Version");
}

HRESULT WMAProfileInfo::get_Index(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_Index");
}

HRESULT WMAProfileInfo::get_Id(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Id");
}

HRESULT WMAProfileInfo::get_Bitrate(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_Bitrate");
}

HRESULT WMAProfileInfo::get_Name(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Name");
}

HRESULT WMAProfileInfo::get_Description(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Description");
}
