#include "AudioCaptureSourceInfo.h"

#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "AudioCaptureSourceInfo::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

AudioCaptureSourceInfo::AudioCaptureSourceInfo(IUnknown* outer, ModuleLock* module)
    : EngineObject(outer, module)
{
}

AudioCaptureSourceInfo::~AudioCaptureSourceInfo() = default;

HRESULT AudioCaptureSourceInfo::get_FriendlyName(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_FriendlyName");
}

HRESULT AudioCaptureSourceInfo::get_InputPinsCount(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_InputPinsCount");
}

HRESULT AudioCaptureSourceInfo::get_InputPinId(LONG Index, BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    (void)Index;
    *pVal = nullptr;
    return NotBuilt("get_InputPinId");
}

HRESULT AudioCaptureSourceInfo::get_OutputPinsCount(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_OutputPinsCount");
}

HRESULT AudioCaptureSourceInfo::get_OutputPinId(LONG Index, BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    (void)Index;
    *pVal = nullptr;
    return NotBuilt("get_OutputPinId");
}
