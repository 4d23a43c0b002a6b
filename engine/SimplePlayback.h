// Plays one clip through a graph that the platform renders for it, reporting through
// _ISimplePlaybackEvents.
// Apartment object: every method runs on the thread that created it, which must pump messages
// for the ticks and graph events that arrive through the graph window.
#pragma once

#include "EngineObject.h"
#include "GraphHost.h"
#include "com/Bstr.h"
#include "com/ConnectionPoint.h"
#include "corvane_dispatch.h"

class SimplePlayback final
    : public EngineObject<ISimplePlayback, SupportsErrorInfo<ISimplePlayback>,
                          IConnectionPointContainer>,
      public GraphHost
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

    // GraphHost
    void OnGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    void OnTimerTick() override;
    HRESULT ReportError(const char* text, REFIID iid, HRESULT hr) override;

    // The 1..100 volume scale (steps of one decibel) against the renderer's hundredths of a
    // decibel, -10000 being silence.
    static LONG VolumeFromHundredthsOfDecibel(LONG hundredths);
    static LONG HundredthsOfDecibelFromVolume(LONG volume);

private:
    HRESULT Fail(const char* text, HRESULT hr);
    HRESULT GetBasicAudio(IBasicAudio** audio);

    Bstr renderedPath; // the last file rendered with success; survives Reset
    VARIANT_BOOL initialized = VARIANT_FALSE;

    ConnectionPoint sinks{static_cast<IConnectionPointContainer*>(this),
                          DIID__ISimplePlaybackEvents};
    ConnectionPoint* points[1] = {&sinks};
};
