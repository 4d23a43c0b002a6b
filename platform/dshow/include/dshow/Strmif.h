// The filter graph interfaces: filters, pins, samples, the graph manager and its control,
// event and seeking interfaces, device enumeration, mixers, the sample grabber, the file
// writer and the media detector. Objects are used on the thread that made them, except where
// an interface says otherwise (samples travel on streaming threads).
#pragma once

#include "com/OleAuto.h"
#include "dshow/Errors.h"
#include "dshow/MediaTypes.h"

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IReferenceClock;
struct IMediaSample;
struct IEnumMediaTypes;
struct IEnumPins;
struct IEnumFilters;
struct IEnumMoniker;
struct IMoniker;
struct IBindCtx;
struct IErrorLog;
struct IWMProfile;
struct ISampleGrabber;

enum FILTER_STATE
{
    State_Stopped = 0,
    State_Paused = 1,
    State_Running = 2
};
enum PIN_DIRECTION
{
    PINDIR_INPUT = 0,
    PINDIR_OUTPUT = 1
};

inline constexpr int MAX_PIN_NAME = 128;
inline constexpr int MAX_FILTER_NAME = 128;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

struct PIN_INFO
{
    IBaseFilter* pFilter; // a reference the caller releases
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO
{
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph; // a reference the caller releases, or null
};

using OAFilterState = LONG;
using OAHWND = LONG_PTR;
using OAEVENT = LONG_PTR;

struct IPersist : IUnknown
{
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;

protected:
    ~IPersist() = default;
};
QUILLET_DECLARE_IID(IPersist, "0000010C-0000-0000-C000-000000000046");

struct IMediaFilter : IPersist
{
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* pClock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** pClock) = 0;

protected:
    ~IMediaFilter() = default;
};
QUILLET_DECLARE_IID(IMediaFilter, "56A86899-0AD4-11CE-B03A-0020AF0BA770");

struct IBaseFilter : IMediaFilter
{
    virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
    virtual HRESULT FindPin(LPCWSTR Id, IPin** ppPin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* pInfo) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) = 0;
    virtual HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) = 0;

protected:
    ~IBaseFilter() = default;
};
QUILLET_DECLARE_IID(IBaseFilter, "56A86895-0AD4-11CE-B03A-0020AF0BA770");

struct IPin : IUnknown
{
    virtual HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pPin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* pInfo) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
    virtual HRESULT QueryId(LPWSTR* Id) = 0; // CoTaskMemAlloc'ed
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
    virtual HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) = 0;

protected:
    ~IPin() = default;
};
QUILLET_DECLARE_IID(IPin, "56A86891-0AD4-11CE-B03A-0020AF0BA770");

struct IEnumPins : IUnknown
{
    virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cPins) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** ppEnum) = 0;

protected:
    ~IEnumPins() = default;
};
QUILLET_DECLARE_IID(IEnumPins, "56A86892-0AD4-11CE-B03A-0020AF0BA770");

struct IEnumMediaTypes : IUnknown
{
    // Each type is CoTaskMemAlloc'ed; free it with DeleteMediaType.
    virtual HRESULT Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cMediaTypes) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;

protected:
    ~IEnumMediaTypes() = default;
};
QUILLET_DECLARE_IID(IEnumMediaTypes, "89C31040-846B-11CE-97D3-00AA0055595A");

struct IEnumFilters : IUnknown
{
    virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cFilters) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** ppEnum) = 0;

protected:
    ~IEnumFilters() = default;
};
QUILLET_DECLARE_IID(IEnumFilters, "56A86893-0AD4-11CE-B03A-0020AF0BA770");

// One buffer of media data. A sample may be used on any thread, one at a time.
struct IMediaSample : IUnknown
{
    virtual HRESULT GetPointer(BYTE** ppBuffer) = 0;
    virtual LONG GetSize() = 0;
    virtual HRESULT GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) = 0;
    virtual HRESULT IsSyncPoint() = 0;
    virtual HRESULT SetSyncPoint(BOOL bIsSyncPoint) = 0;
    virtual HRESULT IsPreroll() = 0;
    virtual HRESULT SetPreroll(BOOL bIsPreroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppMediaType) = 0;
    virtual HRESULT SetMediaType(AM_MEDIA_TYPE* pMediaType) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL bDiscontinuity) = 0;
    virtual HRESULT GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;
    virtual HRESULT SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) = 0;

protected:
    ~IMediaSample() = default;
};
QUILLET_DECLARE_IID(IMediaSample, "56A8689A-0AD4-11CE-B03A-0020AF0BA770");

struct ALLOCATOR_PROPERTIES
{
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
};

struct IMemAllocator : IUnknown
{
    virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                  ALLOCATOR_PROPERTIES* pActual) = 0;
    virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Commit() = 0;
    virtual HRESULT Decommit() = 0;
    virtual HRESULT GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                              REFERENCE_TIME* pEndTime, DWORD dwFlags) = 0;
    virtual HRESULT ReleaseBuffer(IMediaSample* pBuffer) = 0;

protected:
    ~IMemAllocator() = default;
};
QUILLET_DECLARE_IID(IMemAllocator, "56A8689C-0AD4-11CE-B03A-0020AF0BA770");

// The transport of an input pin: Receive runs on the upstream filter's streaming thread.
struct IMemInputPin : IUnknown
{
    virtual HRESULT GetAllocator(IMemAllocator** ppAllocator) = 0;
    virtual HRESULT NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) = 0;
    virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) = 0;
    virtual HRESULT Receive(IMediaSample* pSample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                    LONG* nSamplesProcessed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;

protected:
    ~IMemInputPin() = default;
};
QUILLET_DECLARE_IID(IMemInputPin, "56A8689D-0AD4-11CE-B03A-0020AF0BA770");

// A clock in 100-nanosecond units. Any thread.
struct IReferenceClock : IUnknown
{
    virtual HRESULT GetTime(REFERENCE_TIME* pTime) = 0;
    virtual HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, ULONG_PTR hEvent,
                               DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                   ULONG_PTR hSemaphore, DWORD_PTR* pdwAdviseCookie) = 0;
    virtual HRESULT Unadvise(DWORD_PTR dwAdviseCookie) = 0;

protected:
    ~IReferenceClock() = default;
};
QUILLET_DECLARE_IID(IReferenceClock, "56A86897-0AD4-11CE-B03A-0020AF0BA770");

struct IFilterGraph : IUnknown
{
    virtual HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) = 0;
    virtual HRESULT ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT Reconnect(IPin* ppin) = 0;
    virtual HRESULT Disconnect(IPin* ppin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;

protected:
    ~IFilterGraph() = default;
};
QUILLET_DECLARE_IID(IFilterGraph, "56A8689F-0AD4-11CE-B03A-0020AF0BA770");

struct IGraphBuilder : IFilterGraph
{
    virtual HRESULT Connect(IPin* ppinOut, IPin* ppinIn) = 0;
    virtual HRESULT Render(IPin* ppinOut) = 0;
    virtual HRESULT RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                    IBaseFilter** ppFilter) = 0;
    virtual HRESULT SetLogFile(DWORD_PTR hFile) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;

protected:
    ~IGraphBuilder() = default;
};
QUILLET_DECLARE_IID(IGraphBuilder, "56A868A9-0AD4-11CE-B03A-0020AF0BA770");

struct IMediaControl : IDispatch
{
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
    virtual HRESULT RenderFile(BSTR strFilename) = 0;
    virtual HRESULT AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) = 0;
    virtual HRESULT get_FilterCollection(IDispatch** ppUnk) = 0;
    virtual HRESULT get_RegFilterCollection(IDispatch** ppUnk) = 0;
    virtual HRESULT StopWhenReady() = 0;

protected:
    ~IMediaControl() = default;
};
QUILLET_DECLARE_IID(IMediaControl, "56A868B1-0AD4-11CE-B03A-0020AF0BA770");

struct IMediaEvent : IDispatch
{
    virtual HRESULT GetEventHandle(OAEVENT* hEvent) = 0;
    virtual HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                             LONG msTimeout) = 0;
    virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* pEvCode) = 0;
    virtual HRESULT CancelDefaultHandling(LONG lEvCode) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG lEvCode) = 0;
    virtual HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;

protected:
    ~IMediaEvent() = default;
};
QUILLET_DECLARE_IID(IMediaEvent, "56A868B6-0AD4-11CE-B03A-0020AF0BA770");

struct IMediaEventEx : IMediaEvent
{
    // Posts lMsg (wParam 0, lParam lInstanceData) to hwnd whenever events are pending.
    virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
    virtual HRESULT SetNotifyFlags(LONG lNoNotifyFlags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) = 0;

protected:
    ~IMediaEventEx() = default;
};
QUILLET_DECLARE_IID(IMediaEventEx, "56A868C0-0AD4-11CE-B03A-0020AF0BA770");

// A filter's (or the graph's) sink for events that it raises toward the application.
struct IMediaEventSink : IUnknown
{
    // Any thread.
    virtual HRESULT Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) = 0;

protected:
    ~IMediaEventSink() = default;
};
QUILLET_DECLARE_IID(IMediaEventSink, "56A868A2-0AD4-11CE-B03A-0020AF0BA770");

inline constexpr DWORD AM_SEEKING_NoPositioning = 0x0;
inline constexpr DWORD AM_SEEKING_AbsolutePositioning = 0x1;
inline constexpr DWORD AM_SEEKING_RelativePositioning = 0x2;
inline constexpr DWORD AM_SEEKING_PositioningBitsMask = 0x3;
inline constexpr DWORD AM_SEEKING_CanSeekAbsolute = 0x1;
inline constexpr DWORD AM_SEEKING_CanSeekForwards = 0x2;
inline constexpr DWORD AM_SEEKING_CanSeekBackwards = 0x4;
inline constexpr DWORD AM_SEEKING_CanGetCurrentPos = 0x8;
inline constexpr DWORD AM_SEEKING_CanGetStopPos = 0x10;
inline constexpr DWORD AM_SEEKING_CanGetDuration = 0x20;
inline constexpr GUID TIME_FORMAT_MEDIA_TIME = MakeGuid("7B785574-8C82-11CF-BC0C-00AA00AC74F6");

struct IMediaSeeking : IUnknown
{
    virtual HRESULT GetCapabilities(DWORD* pCapabilities) = 0;
    virtual HRESULT CheckCapabilities(DWORD* pCapabilities) = 0;
    virtual HRESULT IsFormatSupported(const GUID* pFormat) = 0;
    virtual HRESULT QueryPreferredFormat(GUID* pFormat) = 0;
    virtual HRESULT GetTimeFormat(GUID* pFormat) = 0;
    virtual HRESULT IsUsingTimeFormat(const GUID* pFormat) = 0;
    virtual HRESULT SetTimeFormat(const GUID* pFormat) = 0;
    virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
    virtual HRESULT GetStopPosition(LONGLONG* pStop) = 0;
    virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;
    virtual HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                      const GUID* pSourceFormat) = 0;
    virtual HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                 DWORD dwStopFlags) = 0;
    virtual HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) = 0;
    virtual HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) = 0;
    virtual HRESULT SetRate(double dRate) = 0;
    virtual HRESULT GetRate(double* pdRate) = 0;
    virtual HRESULT GetPreroll(LONGLONG* pllPreroll) = 0;

protected:
    ~IMediaSeeking() = default;
};
QUILLET_DECLARE_IID(IMediaSeeking, "36B73880-C2C8-11CF-8B46-00805F6CEF60");

struct IBasicAudio : IDispatch
{
    // Hundredths of a decibel: -10000 is silence, 0 full volume.
    virtual HRESULT put_Volume(LONG lVolume) = 0;
    virtual HRESULT get_Volume(LONG* plVolume) = 0;
    virtual HRESULT put_Balance(LONG lBalance) = 0;
    virtual HRESULT get_Balance(LONG* plBalance) = 0;

protected:
    ~IBasicAudio() = default;
};
QUILLET_DECLARE_IID(IBasicAudio, "56A868B3-0AD4-11CE-B03A-0020AF0BA770");

struct IPropertyBag : IUnknown
{
    virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) = 0;

protected:
    ~IPropertyBag() = default;
};
QUILLET_DECLARE_IID(IPropertyBag, "55272A00-42CB-11CE-8135-00AA004BB851");

// The device monikers need only binding and their display name.
struct IMoniker : IUnknown
{
    virtual HRESULT BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult,
                                 void** ppvResult) = 0;
    virtual HRESULT BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid,
                                  void** ppvObj) = 0;
    virtual HRESULT GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft,
                                   LPOLESTR* ppszDisplayName) = 0;

protected:
    ~IMoniker() = default;
};
QUILLET_DECLARE_IID(IMoniker, "0000000F-0000-0000-C000-000000000046");

struct IEnumMoniker : IUnknown
{
    virtual HRESULT Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** ppenum) = 0;

protected:
    ~IEnumMoniker() = default;
};
QUILLET_DECLARE_IID(IEnumMoniker, "00000102-0000-0000-C000-000000000046");

struct ICreateDevEnum : IUnknown
{
    // S_FALSE and a null enumerator when the category is empty.
    virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                          DWORD dwFlags) = 0;

protected:
    ~ICreateDevEnum() = default;
};
QUILLET_DECLARE_IID(ICreateDevEnum, "29840822-5B84-11D0-BD3B-00A0C911CE86");

struct IKsPropertySet : IUnknown
{
    virtual HRESULT Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                        DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData) = 0;
    virtual HRESULT Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                        DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                        DWORD* pcbReturned) = 0;
    virtual HRESULT QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) = 0;

protected:
    ~IKsPropertySet() = default;
};
QUILLET_DECLARE_IID(IKsPropertySet, "31EFAC30-515C-11D0-A9AA-00AA0061BE93");

inline constexpr GUID AMPROPSETID_Pin = MakeGuid("9B00F101-1567-11D1-B3F1-00AA003761C5");
inline constexpr DWORD AMPROPERTY_PIN_CATEGORY = 0;
inline constexpr GUID PIN_CATEGORY_CAPTURE = MakeGuid("FB6C4281-0353-11D1-905F-0000C0CC16BA");
inline constexpr DWORD KSPROPERTY_SUPPORT_GET = 1;
inline constexpr DWORD KSPROPERTY_SUPPORT_SET = 2;
inline constexpr GUID PIN_CATEGORY_PREVIEW = MakeGuid("FB6C4282-0353-11D1-905F-0000C0CC16BA");

// The recording controls of one input line of a capture device.
struct IAMAudioInputMixer : IUnknown
{
    virtual HRESULT put_Enable(BOOL fEnable) = 0;
    virtual HRESULT get_Enable(BOOL* pfEnable) = 0;
    virtual HRESULT put_Mono(BOOL fMono) = 0;
    virtual HRESULT get_Mono(BOOL* pfMono) = 0;
    virtual HRESULT put_MixLevel(double Level) = 0; // 0.0 to 1.0
    virtual HRESULT get_MixLevel(double* pLevel) = 0;
    virtual HRESULT put_Pan(double Pan) = 0;
    virtual HRESULT get_Pan(double* pPan) = 0;
    virtual HRESULT put_Loudness(BOOL fLoudness) = 0;
    virtual HRESULT get_Loudness(BOOL* pfLoudness) = 0;
    virtual HRESULT put_Treble(double Treble) = 0;
    virtual HRESULT get_Treble(double* pTreble) = 0;
    virtual HRESULT get_TrebleRange(double* pRange) = 0;
    virtual HRESULT put_Bass(double Bass) = 0;
    virtual HRESULT get_Bass(double* pBass) = 0;
    virtual HRESULT get_BassRange(double* pRange) = 0;

protected:
    ~IAMAudioInputMixer() = default;
};
QUILLET_DECLARE_IID(IAMAudioInputMixer, "54C39221-8380-11D0-B3F0-00AA003761C5");

// A live source's own account of what it has delivered: the stream time at the end of the audio
// it has passed downstream since it was last started, 0 before its first buffer. A graph without
// a seeking renderer reports this as its position, so that the elapsed time of a recording is
// the length of what was captured even when a device starts late. Any thread.
struct ICaptureProgress : IUnknown
{
    virtual HRESULT GetCapturedTime(REFERENCE_TIME* pTime) = 0;

protected:
    ~ICaptureProgress() = default;
};
QUILLET_DECLARE_IID(ICaptureProgress, "B14784A1-30DE-4CC8-A667-AEFD486C1276");

// Called on the graph's streaming thread.
struct ISampleGrabberCB : IUnknown
{
    virtual HRESULT SampleCB(double SampleTime, IMediaSample* pSample) = 0;
    virtual HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) = 0;

protected:
    ~ISampleGrabberCB() = default;
};
QUILLET_DECLARE_IID(ISampleGrabberCB, "0579154A-2B53-4994-B0D0-E773148EFF85");

struct ISampleGrabber : IUnknown
{
    virtual HRESULT SetOneShot(BOOL OneShot) = 0;
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) = 0;
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pType) = 0;
    virtual HRESULT SetBufferSamples(BOOL BufferThem) = 0;
    virtual HRESULT GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) = 0;
    virtual HRESULT GetCurrentSample(IMediaSample** ppSample) = 0;
    // WhichMethodToCallback: 0 = SampleCB, 1 = BufferCB.
    virtual HRESULT SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) = 0;

protected:
    ~ISampleGrabber() = default;
};
QUILLET_DECLARE_IID(ISampleGrabber, "6B652FFF-11FE-4FCE-92AD-0266B5D7C78F");

struct IConfigAsfWriter : IUnknown
{
    virtual HRESULT ConfigureFilterUsingProfileId(DWORD dwProfileId) = 0;
    virtual HRESULT GetCurrentProfileId(DWORD* pdwProfileId) = 0;
    virtual HRESULT ConfigureFilterUsingProfileGuid(REFGUID guidProfile) = 0;
    virtual HRESULT GetCurrentProfileGuid(GUID* pProfileGuid) = 0;
    virtual HRESULT ConfigureFilterUsingProfile(IWMProfile* pProfile) = 0;
    virtual HRESULT GetCurrentProfile(IWMProfile** ppProfile) = 0;
    virtual HRESULT SetIndexMode(BOOL bIndexFile) = 0;
    virtual HRESULT GetIndexMode(BOOL* pbIndexFile) = 0;

protected:
    ~IConfigAsfWriter() = default;
};
QUILLET_DECLARE_IID(IConfigAsfWriter, "45086030-F7E4-486A-B504-826BB5792A3B");

struct IFileSinkFilter : IUnknown
{
    virtual HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    // The name is CoTaskMemAlloc'ed; null when none was set.
    virtual HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;

protected:
    ~IFileSinkFilter() = default;
};
QUILLET_DECLARE_IID(IFileSinkFilter, "A2104830-7C70-11CF-8BCE-00AA00A3F1A6");

inline constexpr DWORD AM_FILE_OVERWRITE = 0x1;

struct IFileSinkFilter2 : IFileSinkFilter
{
    virtual HRESULT SetMode(DWORD dwFlags) = 0;
    virtual HRESULT GetMode(DWORD* pdwFlags) = 0;

protected:
    ~IFileSinkFilter2() = default;
};
QUILLET_DECLARE_IID(IFileSinkFilter2, "00855B90-CE1B-11D0-BD4F-00A0C911CE86");

// A source filter's file: Load names it (UTF-16; UTF-8 to the file system) and opens it.
struct IFileSourceFilter : IUnknown
{
    virtual HRESULT Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    // The name is CoTaskMemAlloc'ed; pmt, when given, receives a copy the caller frees.
    virtual HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;

protected:
    ~IFileSourceFilter() = default;
};
QUILLET_DECLARE_IID(IFileSourceFilter, "56A868A6-0AD4-11CE-B03A-0020AF0BA770");

struct IMediaDet : IUnknown
{
    virtual HRESULT get_Filter(IUnknown** pVal) = 0;
    virtual HRESULT put_Filter(IUnknown* newVal) = 0;
    virtual HRESULT get_OutputStreams(LONG* pVal) = 0;
    virtual HRESULT get_CurrentStream(LONG* pVal) = 0;
    virtual HRESULT put_CurrentStream(LONG newVal) = 0;
    virtual HRESULT get_StreamType(GUID* pVal) = 0;
    virtual HRESULT get_StreamTypeB(BSTR* pVal) = 0;
    virtual HRESULT get_StreamLength(double* pVal) = 0; // seconds
    virtual HRESULT get_Filename(BSTR* pVal) = 0;
    virtual HRESULT put_Filename(BSTR newVal) = 0;
    virtual HRESULT GetBitmapBits(double StreamTime, LONG* pBufferSize, char* pBuffer, LONG Width,
                                  LONG Height) = 0;
    virtual HRESULT WriteBitmapBits(double StreamTime, LONG Width, LONG Height, BSTR Filename) = 0;
    virtual HRESULT get_StreamMediaType(AM_MEDIA_TYPE* pVal) = 0;
    virtual HRESULT GetSampleGrabber(ISampleGrabber** ppVal) = 0;
    virtual HRESULT get_FrameRate(double* pVal) = 0;
    virtual HRESULT EnterBitmapGrabMode(double SeekTime) = 0;

protected:
    ~IMediaDet() = default;
};
QUILLET_DECLARE_IID(IMediaDet, "65BD0710-24D2-4FF7-9324-ED2E5D3ABAFA");

inline constexpr CLSID CLSID_FilterGraph = MakeGuid("E436EBB3-524F-11CE-9F53-0020AF0BA770");
inline constexpr CLSID CLSID_SystemDeviceEnum = MakeGuid("62BE5D10-60EB-11D0-BD3B-00A0C911CE86");
inline constexpr CLSID CLSID_AudioInputDeviceCategory =
    MakeGuid("33D9A762-90C8-11D0-BD43-00A0C911CE86");
inline constexpr CLSID CLSID_SampleGrabber = MakeGuid("C1F400A0-3F08-11D3-9F0B-006008039E37");
inline constexpr CLSID CLSID_NullRenderer = MakeGuid("C1F400A4-3F08-11D3-9F0B-006008039E37");
inline constexpr CLSID CLSID_WMAsfWriter = MakeGuid("7C23220E-55BB-11D3-8B16-00C04FB6BD3D");
inline constexpr CLSID CLSID_MediaDet = MakeGuid("65BD0711-24D2-4FF7-9324-ED2E5D3ABAFA");
// The audio capture filter of a device; made only by binding the device's moniker.
inline constexpr CLSID CLSID_AudioRecord = MakeGuid("E30629D2-27E5-11CE-875D-00608CB78066");
// The audio renderer: plays PCM on a PulseAudio playback stream.
inline constexpr CLSID CLSID_AudioRender = MakeGuid("E30629D1-27E5-11CE-875D-00608CB78066");
// Quillet's file source: demultiplexes and decodes a file with FFmpeg into PCM, one output pin per
// audio stream. A class of our own, so its CLSID is too.
inline constexpr CLSID CLSID_FileSource = MakeGuid("721FD0DF-74D6-40C7-BA06-C4BDEE3678CD");
inline constexpr CLSID CLSID_SystemClock = MakeGuid("E436EBB1-524F-11CE-9F53-0020AF0BA770");
