#include "SimplePlayback.h"

#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "SimplePlayback::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

SimplePlayback::SimplePlayback(IUnknown* outer, ModuleLock* module) : EngineObject(outer, module) {}

SimplePlayback::~SimplePlayback()
{
    events.UnadviseAll();
}

HRESULT SimplePlayback::get_Volume(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = LONG();
    return NotBuilt("get_Volume");
}

HRESULT SimplePlayback::put_Volume(LONG newVal)
{
    (void)newVal;
    return NotBuilt("put_Volume");
}

HRESULT SimplePlayback::GetState(DSGraphStates* pState)
{
    if (!pState)
        return E_POINTER;
    *pState = DSGraphStates();
    return NotBuilt("GetState");
}

HRESULT SimplePlayback::Run()
{
    return NotBuilt("Run");
}

HRESULT SimplePlayback::Pause()
{
    return NotBuilt("Pause");
}

HRESULT SimplePlayback::Stop()
{
    return NotBuilt("Stop");
}

HRESULT SimplePlayback::Reset()
{
    return NotBuilt("Reset");
}

HRESULT SimplePlayback::Initialize(BSTR FilePath)
{
    (void)FilePath;
    return NotBuilt("Initialize");
}

HRESULT SimplePlayback::get_Initialized(VARIANT_BOOL* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = VARIANT_BOOL();
    return NotBuilt("get_Initialized");
}

HRESULT SimplePlayback::GetPosition(DOUBLE* pPosition)
{
    if (!pPosition)
        return E_POINTER;
    *pPosition = DOUBLE();
    return NotBuilt("GetPosition");
}

HRESULT SimplePlayback::SetPosition(DOUBLE Position, VARIANT_BOOL Absolute)
{
    (void)Position;
    (void)Absolute;
    return NotBuilt("SetPosition");
}

HRESULT SimplePlayback::GetStreamLength(LONG StreamIndex, DOUBLE* pStreamLength)
{
    if (!pStreamLength)
        return E_POINTER;
    (void)StreamIndex;
    *pStreamLength = DOUBLE();
    return NotBuilt("GetStreamLength");
}

HRESULT SimplePlayback::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return EnumConnectionPointsOf(points, ppEnum);
}

HRESULT SimplePlayback::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    return FindConnectionPointIn(points, riid, ppCP);
}
