// The filter graph manager: holds filters by name, connects their pins directly, changes their
// state (sinks first, GraphState), queues their events for the application (GraphEventQueue),
// and reports the stream time.
//
// Playback: RenderFile adds a file source (FileSource) and connects its first audio pin to a new
// audio renderer (AudioRenderer). IMediaSeeking and IBasicAudio pass to the renderers in the
// graph, the filters that answer IMediaSeeking (for IBasicAudio, IBasicAudio): the position is
// the first renderer's played position, the duration the longest. Without such a renderer (a
// capture graph) the position is the stream time since Run, pauses left out, and nothing seeks.
// Stop keeps the position, so that Run carries on from where playback stopped; SetPositions
// moves it. While renderers play, EC_COMPLETE reaches the application once, after each of them
// has raised it; other graphs pass it on as it comes. IBasicAudio answers VFW_E_NOT_CONNECTED
// until the graph holds an audio renderer.
//
// Threads: every interface is used on the thread that created the graph, except
// IMediaEventSink::Notify, which filters call from any thread (their streaming threads).
#pragma once

#include <functional>

#include <mutex>
#include <string>
#include <vector>

#include "GraphEventQueue.h"
#include "GraphState.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class FilterGraph final
    : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaSeeking, IMediaFilter,
                       IMediaEventSink, IBasicAudio>
{
public:
    FilterGraph(IUnknown* outer, ModuleLock* module);
    ~FilterGraph() override;

    // IFilterGraph, IGraphBuilder
    HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    HRESULT RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Reconnect(IPin* ppin) override;
    HRESULT Disconnect(IPin* ppin) override;
    HRESULT SetDefaultSyncSource() override;
    HRESULT Connect(IPin* ppinOut, IPin* ppinIn) override;
    HRESULT Render(IPin* ppinOut) override;
    HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                            IBaseFilter** ppFilter) override;
    HRESULT SetLogFile(DWORD_PTR hFile) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;

    // IDispatch (of IMediaControl and IMediaEventEx): no type information is offered.
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // IMediaControl (Stop and Pause serve IMediaFilter too)
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;
    HRESULT RenderFile(BSTR strFilename) override;
    HRESULT AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
    HRESULT get_FilterCollection(IDispatch** ppUnk) override;
    HRESULT get_RegFilterCollection(IDispatch** ppUnk) override;
    HRESULT StopWhenReady() override;

    // IMediaEvent, IMediaEventEx
    HRESULT GetEventHandle(OAEVENT* hEvent) override;
    HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                     LONG msTimeout) override;
    HRESULT WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
    HRESULT CancelDefaultHandling(LONG lEvCode) override;
    HRESULT RestoreDefaultHandling(LONG lEvCode) override;
    HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
    HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;
    HRESULT SetNotifyFlags(LONG lNoNotifyFlags) override;
    HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) override;

    // IMediaSeeking
    HRESULT GetCapabilities(DWORD* pCapabilities) override;
    HRESULT CheckCapabilities(DWORD* pCapabilities) override;
    HRESULT IsFormatSupported(const GUID* pFormat) override;
    HRESULT QueryPreferredFormat(GUID* pFormat) override;
    HRESULT GetTimeFormat(GUID* pFormat) override;
    HRESULT IsUsingTimeFormat(const GUID* pFormat) override;
    HRESULT SetTimeFormat(const GUID* pFormat) override;
    HRESULT GetDuration(LONGLONG* pDuration) override;
    HRESULT GetStopPosition(LONGLONG* pStop) override;
    HRESULT GetCurrentPosition(LONGLONG* pCurrent) override;
    HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                              const GUID* pSourceFormat) override;
    HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                         DWORD dwStopFlags) override;
    HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    HRESULT SetRate(double dRate) override;
    HRESULT GetRate(double* pdRate) override;
    HRESULT GetPreroll(LONGLONG* pllPreroll) override;

    // IPersist, IMediaFilter
    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

    // IMediaEventSink: any thread.
    HRESULT Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    // IBasicAudio, passed to the audio renderers.
    HRESULT put_Volume(LONG lVolume) override;
    HRESULT get_Volume(LONG* plVolume) override;
    HRESULT put_Balance(LONG lBalance) override;
    HRESULT get_Balance(LONG* plBalance) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    struct Entry
    {
        ComPtr<IBaseFilter> filter;
        std::u16string name;
    };

    // The filters in the order of state changes: each after every filter downstream of it.
    std::vector<ComPtr<IBaseFilter>> SinksFirst() const;
    bool Contains(IBaseFilter* filter) const;
    bool NameTaken(const std::u16string& name) const;
    // A name for a new filter: the asked one, else the asked one with a number.
    std::u16string UniqueName(LPCWSTR asked, bool* renamed) const;
    HRESULT CheckPinInGraph(IPin* pin) const;
    REFERENCE_TIME Now() const;
    // The filters that answer for a position: the renderers that seek upstream.
    std::vector<ComPtr<IMediaSeeking>> SeekingRenderers() const;
    std::vector<ComPtr<IBasicAudio>> AudioRenderers() const;
    // Applies a change to every audio renderer, stopping at the first failure;
    // VFW_E_NOT_CONNECTED when there is none.
    HRESULT ForEachAudioRenderer(const std::function<HRESULT(IBasicAudio*)>& apply);
    // A new stream begins: every seeking renderer owes one EC_COMPLETE again.
    void ExpectCompletions();

    std::vector<Entry> filters; // in the order they were added
    ComPtr<IReferenceClock> clock;
    GraphState state;
    GraphEventQueue events;
    unsigned generatedNames = 0;

    std::mutex completionMutex;  // Notify comes from streaming threads
    int completionsPending = -1; // EC_COMPLETEs still to come; -1 passes each one on
};
