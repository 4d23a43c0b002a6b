// Plays one clip through a graph that the platform renders for it, reporting through
// _ISimplePlaybackEvents.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "com/ConnectionPoint.h"
#include "corvane_dispatch.h"

class SimplePlayback final
    : public EngineObject<ISimplePlayback, SupportsErrorInfo<ISimplePlayback>,
                          IConnectionPointContainer>
{
public:
    SimplePlayback(IUnknown* outer, ModuleLock* module);
    ~SimplePlayback() override;

    // ISimplePlayback
    HRESULT get_Volume(LONG* pVal) override;
    HRESULT put_Volume(LONG newVal) override;
    HRESULT GetState(DSGraphStates* pState) override;
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT Reset() override;
    HRESULT Initialize(BSTR FilePath) override;
    HRESULT get_Initialized(VARIANT_BOOL* pVal) override;
    HRESULT GetPosition(DOUBLE* pPosition) override;
    HRESULT SetPosition(DOUBLE Position, VARIANT_BOOL Absolute) override;
    HRESULT GetStreamLength(LONG StreamIndex, DOUBLE* pStreamLength) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    ConnectionPoint events{static_cast<IConnectionPointContainer*>(this),
                           DIID__ISimplePlaybackEvents};
    ConnectionPoint* points[1] = {&events};
};
