#include "FilterGraph.h"

#include "MediaTimeFormat.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <new>

#include "SystemClock.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComEnumerator.h"
#include "com/DebugLog.h"

namespace {
// Each filter connected downstream of an output pin of `filter`.
std::vector<IBaseFilter*> DownstreamOf(IBaseFilter* filter)
{
    std::vector<IBaseFilter*> result;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return result;
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        ComPtr<IPin> peer;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT ||
            FAILED(pin->ConnectedTo(&peer)) || !peer)
            continue;
        PIN_INFO info{};
        if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) {
            result.push_back(info.pFilter);
            info.pFilter->Release(); // the graph holds it
        }
    }
    return result;
}

// The first pin of a filter with this direction, or null.
ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return nullptr;
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK) {
        PIN_DIRECTION direction = PINDIR_INPUT;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            return pin;
    }
    return nullptr;
}

std::u16string NumberedName(const std::u16string& base, unsigned number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04u", number);
    std::u16string suffix = quillet::Utf8ToUtf16(digits);
    std::u16string prefix = base.empty() ? base : base + u" ";
    size_t room = size_t(MAX_FILTER_NAME - 1) - suffix.size();
    if (prefix.size() > room)
        prefix.resize(room);
    return prefix + suffix;
}
} // namespace

FilterGraph::FilterGraph(IUnknown* outer, ModuleLock* module) : ComObject(outer, module)
{
    clock = ComPtr<IReferenceClock>::Adopt(new SystemClock(nullptr, nullptr));
}

FilterGraph::~FilterGraph()
{
    // Streaming ends before the filters leave: their threads raise events into this graph.
    std::vector<ComPtr<IBaseFilter>> ordered = SinksFirst();
    state.Stop(ordered, Now());
    // Connections hold the peer filters; breaking them lets every filter go.
    for (const Entry& entry : filters) {
        ComPtr<IEnumPins> pins;
        if (FAILED(entry.filter->EnumPins(&pins)) || !pins)
            continue;
        ComPtr<IPin> pin;
        ULONG fetched = 0;
        while (pins->Next(1, &pin, &fetched) == S_OK) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
                peer->Disconnect();
                pin->Disconnect();
            }
        }
    }
    for (const Entry& entry : filters) {
        entry.filter->SetSyncSource(nullptr);
        entry.filter->JoinFilterGraph(nullptr, nullptr);
    }
}

void* FilterGraph::FindInterface(REFIID riid)
{
    if (riid == IID_IFilterGraph)
        return static_cast<IGraphBuilder*>(this);
    if (riid == IID_IDispatch)
        return static_cast<IMediaControl*>(this);
    if (riid == IID_IMediaEvent)
        return static_cast<IMediaEventEx*>(this);
    if (riid == IID_IPersist)
        return static_cast<IMediaFilter*>(this);
    return ComObject::FindInterface(riid);
}

REFERENCE_TIME FilterGraph::Now() const
{
    REFERENCE_TIME now = 0;
    if (clock && SUCCEEDED(clock->GetTime(&now)))
        return now;
    return SystemClock::Now();
}

std::vector<ComPtr<IBaseFilter>> FilterGraph::SinksFirst() const
{
    // A filter's depth is the longest chain of filters downstream of it; sinks have depth 0.
    std::map<IBaseFilter*, int> depth;
    std::function<int(IBaseFilter*, int)> depthOf = [&](IBaseFilter* filter, int guard) {
        auto known = depth.find(filter);
        if (known != depth.end())
            return known->second;
        int result = 0;
        if (guard < int(filters.size()))
            for (IBaseFilter* next : DownstreamOf(filter))
                result = std::max(result, depthOf(next, guard + 1) + 1);
        depth[filter] = result;
        return result;
    };
    std::vector<ComPtr<IBaseFilter>> ordered;
    for (const Entry& entry : filters) {
        depthOf(entry.filter.Get(), 0);
        ordered.push_back(entry.filter);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const ComPtr<IBaseFilter>& a, const ComPtr<IBaseFilter>& b) {
                         return depth[a.Get()] < depth[b.Get()];
                     });
    return ordered;
}

bool FilterGraph::Contains(IBaseFilter* filter) const
{
    return std::any_of(filters.begin(), filters.end(),
                       [&](const Entry& entry) { return entry.filter.Get() == filter; });
}

bool FilterGraph::NameTaken(const std::u16string& name) const
{
    return std::any_of(filters.begin(), filters.end(),
                       [&](const Entry& entry) { return entry.name == name; });
}

std::u16string FilterGraph::UniqueName(LPCWSTR asked, bool* renamed) const
{
    *renamed = false;
    std::u16string base = asked ? std::u16string(asked) : std::u16string();
    if (base.size() > size_t(MAX_FILTER_NAME - 1))
        base.resize(MAX_FILTER_NAME - 1);
    if (asked && !NameTaken(base))
        return base;
    *renamed = asked != nullptr;
    for (unsigned number = asked ? 1 : generatedNames + 1;; ++number) {
        std::u16string candidate = NumberedName(base, number);
        if (!NameTaken(candidate))
            return candidate;
    }
}

// ---- IFilterGraph, IGraphBuilder ----

HRESULT FilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName)
{
    if (!pFilter)
        return E_POINTER;
    if (Contains(pFilter))
        return E_INVALIDARG;
    try {
        bool renamed = false;
        std::u16string name = UniqueName(pName, &renamed);
        HRESULT hr = pFilter->JoinFilterGraph(this, name.c_str());
        if (FAILED(hr))
            return hr;
        filters.push_back(Entry{ComPtr<IBaseFilter>(pFilter), name});
        if (!pName)
            ++generatedNames;
        pFilter->SetSyncSource(clock.Get());
        QUILLET_LOG("graph", "added filter \"%s\"", quillet::Utf16ToUtf8(name).c_str());
        return renamed ? VFW_S_DUPLICATE_NAME : S_OK;
    } catch (const std::bad_alloc&) {
        pFilter->JoinFilterGraph(nullptr, nullptr);
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* pFilter)
{
    if (!pFilter)
        return E_POINTER;
    auto found = std::find_if(filters.begin(), filters.end(),
                              [&](const Entry& entry) { return entry.filter.Get() == pFilter; });
    if (found == filters.end())
        return VFW_E_NOT_FOUND;
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    ComPtr<IEnumPins> pins;
    if (SUCCEEDED(pFilter->EnumPins(&pins)) && pins) {
        ComPtr<IPin> pin;
        ULONG fetched = 0;
        while (pins->Next(1, &pin, &fetched) == S_OK) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
                peer->Disconnect();
                pin->Disconnect();
            }
        }
    }
    ComPtr<IBaseFilter> keep = found->filter; // alive until it has left the graph
    filters.erase(found);
    keep->SetSyncSource(nullptr);
    keep->JoinFilterGraph(nullptr, nullptr);
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    try {
        std::vector<ComPtr<IBaseFilter>> snapshot;
        for (const Entry& entry : filters)
            snapshot.push_back(entry.filter);
        return ComEnumerator<IEnumFilters, IBaseFilter>::Create(std::move(snapshot), ppEnum);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter)
{
    if (!pName || !ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    for (const Entry& entry : filters) {
        if (entry.name == pName) {
            entry.filter.CopyTo(ppFilter);
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::CheckPinInGraph(IPin* pin) const
{
    PIN_INFO info{};
    HRESULT hr = pin->QueryPinInfo(&info);
    if (FAILED(hr))
        return hr;
    bool inGraph = info.pFilter && Contains(info.pFilter);
    if (info.pFilter)
        info.pFilter->Release();
    return inGraph ? S_OK : VFW_E_NOT_IN_GRAPH;
}

HRESULT FilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt)
{
    if (!ppinOut || !ppinIn)
        return E_POINTER;
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckPinInGraph(ppinOut);
    if (SUCCEEDED(hr))
        hr = CheckPinInGraph(ppinIn);
    if (FAILED(hr))
        return hr;
    PIN_DIRECTION outDirection = PINDIR_INPUT;
    PIN_DIRECTION inDirection = PINDIR_OUTPUT;
    ppinOut->QueryDirection(&outDirection);
    ppinIn->QueryDirection(&inDirection);
    if (outDirection != PINDIR_OUTPUT || inDirection != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    hr = ppinOut->Connect(ppinIn, pmt);
    QUILLET_LOG("graph", "connect: 0x%08X", unsigned(hr));
    return hr;
}

HRESULT FilterGraph::Connect(IPin* ppinOut, IPin* ppinIn)
{
    // Only direct connections exist here: no converter is ever put between two pins.
    return ConnectDirect(ppinOut, ppinIn, nullptr);
}

HRESULT FilterGraph::Reconnect(IPin* ppin)
{
    if (!ppin)
        return E_POINTER;
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    ComPtr<IPin> peer;
    HRESULT hr = ppin->ConnectedTo(&peer);
    if (FAILED(hr))
        return hr;
    AM_MEDIA_TYPE current{};
    hr = ppin->ConnectionMediaType(&current);
    if (FAILED(hr))
        return hr;
    PIN_DIRECTION direction = PINDIR_INPUT;
    ppin->QueryDirection(&direction);
    IPin* out = direction == PINDIR_OUTPUT ? ppin : peer.Get();
    IPin* in = direction == PINDIR_OUTPUT ? peer.Get() : ppin;
    out->Disconnect();
    in->Disconnect();
    hr = out->Connect(in, &current);
    FreeMediaType(current);
    return hr;
}

HRESULT FilterGraph::Disconnect(IPin* ppin)
{
    if (!ppin)
        return E_POINTER;
    return ppin->Disconnect();
}

HRESULT FilterGraph::SetDefaultSyncSource()
{
    try {
        return SetSyncSource(
            ComPtr<IReferenceClock>::Adopt(new SystemClock(nullptr, nullptr)).Get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::Render(IPin* ppinOut)
{
    if (!ppinOut)
        return E_POINTER;
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckPinInGraph(ppinOut);
    if (FAILED(hr))
        return hr;
    PIN_DIRECTION direction = PINDIR_INPUT;
    ppinOut->QueryDirection(&direction);
    if (direction != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    ComPtr<IPin> peer;
    if (SUCCEEDED(ppinOut->ConnectedTo(&peer)) && peer)
        return VFW_E_ALREADY_CONNECTED;
    // Audio is all that plays here: the one renderer to try is the audio renderer.
    ComPtr<IBaseFilter> renderer;
    hr =
        CoCreateInstance(CLSID_AudioRender, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&renderer));
    if (FAILED(hr))
        return hr;
    hr = AddFilter(renderer.Get(), u"Audio Renderer");
    if (FAILED(hr))
        return hr;
    hr = ConnectDirect(ppinOut, FirstPin(renderer.Get(), PINDIR_INPUT).Get(), nullptr);
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "render: no renderer takes the pin (0x%08X)", unsigned(hr));
        RemoveFilter(renderer.Get());
        return VFW_E_CANNOT_RENDER;
    }
    return S_OK;
}

HRESULT FilterGraph::RenderFile(LPCWSTR lpcwstrFile, LPCWSTR)
{
    if (!lpcwstrFile)
        return E_POINTER;
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    ComPtr<IBaseFilter> source;
    HRESULT hr = AddSourceFilter(lpcwstrFile, lpcwstrFile, &source);
    if (FAILED(hr))
        return hr;
    // The first audio stream plays; the file's other streams stay unconnected.
    ComPtr<IPin> pin = FirstPin(source.Get(), PINDIR_OUTPUT);
    hr = pin ? Render(pin.Get()) : VFW_E_CANNOT_RENDER;
    if (FAILED(hr)) {
        RemoveFilter(source.Get());
        return hr;
    }
    return S_OK;
}

HRESULT FilterGraph::AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                     IBaseFilter** ppFilter)
{
    if (!lpcwstrFileName || !ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    ComPtr<IBaseFilter> source;
    HRESULT hr =
        CoCreateInstance(CLSID_FileSource, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&source));
    if (FAILED(hr))
        return hr;
    ComPtr<IFileSourceFilter> file = source.As<IFileSourceFilter>();
    if (!file)
        return E_NOINTERFACE;
    hr = file->Load(lpcwstrFileName, nullptr);
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "cannot load \"%s\": 0x%08X",
                    quillet::Utf16ToUtf8(lpcwstrFileName).c_str(), unsigned(hr));
        return hr;
    }
    hr = AddFilter(source.Get(), lpcwstrFilterName ? lpcwstrFilterName : lpcwstrFileName);
    if (FAILED(hr))
        return hr;
    *ppFilter = source.Detach();
    return hr;
}

HRESULT FilterGraph::SetLogFile(DWORD_PTR)
{
    return S_OK; // the "graph" debug channel is the log
}

HRESULT FilterGraph::Abort()
{
    return S_OK; // graph building is never long-running here
}

HRESULT FilterGraph::ShouldOperationContinue()
{
    return S_OK;
}

// ---- IDispatch ----

HRESULT FilterGraph::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT FilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT FilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

// ---- IMediaControl, IMediaFilter ----

HRESULT FilterGraph::Run()
{
    try {
        if (state.Target() == State_Stopped)
            ExpectCompletions();
        return state.Run(SinksFirst(), Now());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::Run(REFERENCE_TIME)
{
    return Run();
}

HRESULT FilterGraph::Pause()
{
    try {
        if (state.Target() == State_Stopped)
            ExpectCompletions();
        return state.Pause(SinksFirst(), Now());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::Stop()
{
    try {
        // Where playback stopped is where the next Run starts, as the application expects of a
        // player; the sources would otherwise begin again where they last began.
        std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
        std::vector<LONGLONG> positions;
        for (const ComPtr<IMediaSeeking>& renderer : renderers) {
            LONGLONG position = 0;
            renderer->GetCurrentPosition(&position);
            positions.push_back(position);
        }
        HRESULT hr = state.Stop(SinksFirst(), Now());
        for (size_t i = 0; i < renderers.size(); ++i)
            renderers[i]->SetPositions(&positions[i], AM_SEEKING_AbsolutePositioning, nullptr,
                                       AM_SEEKING_NoPositioning);
        std::lock_guard lock(completionMutex);
        completionsPending = -1;
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

std::vector<ComPtr<IMediaSeeking>> FilterGraph::SeekingRenderers() const
{
    std::vector<ComPtr<IMediaSeeking>> result;
    for (const Entry& entry : filters)
        if (ComPtr<IMediaSeeking> seeking = entry.filter.As<IMediaSeeking>())
            result.push_back(seeking);
    return result;
}

std::vector<ComPtr<IBasicAudio>> FilterGraph::AudioRenderers() const
{
    std::vector<ComPtr<IBasicAudio>> result;
    for (const Entry& entry : filters)
        if (ComPtr<IBasicAudio> audio = entry.filter.As<IBasicAudio>())
            result.push_back(audio);
    return result;
}

void FilterGraph::ExpectCompletions()
{
    int renderers = int(SeekingRenderers().size());
    std::lock_guard lock(completionMutex);
    completionsPending = renderers > 0 ? renderers : -1;
}

HRESULT FilterGraph::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    try {
        return state.GetState(SinksFirst(), dwMilliSecsTimeout, State);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FilterGraph::GetState(LONG msTimeout, OAFilterState* pfs)
{
    if (!pfs)
        return E_POINTER;
    FILTER_STATE current = state.Target();
    HRESULT hr = GetState(DWORD(msTimeout), &current);
    *pfs = current;
    return hr;
}

HRESULT FilterGraph::StopWhenReady()
{
    HRESULT hr = Pause();
    if (FAILED(hr))
        return hr;
    FILTER_STATE reached = State_Paused;
    hr = GetState(INFINITE, &reached);
    if (FAILED(hr))
        return hr;
    return Stop();
}

HRESULT FilterGraph::RenderFile(BSTR strFilename)
{
    return RenderFile(strFilename ? strFilename : u"", nullptr);
}

HRESULT FilterGraph::AddSourceFilter(BSTR, IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::get_FilterCollection(IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::get_RegFilterCollection(IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

HRESULT FilterGraph::SetSyncSource(IReferenceClock* pClock)
{
    if (state.Target() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    clock = pClock;
    for (const Entry& entry : filters)
        entry.filter->SetSyncSource(pClock);
    return S_OK;
}

HRESULT FilterGraph::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    clock.CopyTo(pClock);
    return S_OK;
}

// ---- IMediaEvent, IMediaEventEx, IMediaEventSink ----

HRESULT FilterGraph::GetEventHandle(OAEVENT* hEvent)
{
    if (!hEvent)
        return E_POINTER;
    *hEvent = 0;
    // There are no event handles here; SetNotifyWindow is the way to be told.
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                              LONG msTimeout)
{
    return events.GetEvent(lEventCode, lParam1, lParam2, msTimeout);
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode)
{
    return events.WaitForCompletion(msTimeout, pEvCode);
}

HRESULT FilterGraph::CancelDefaultHandling(LONG)
{
    return S_OK; // every event already reaches the application unchanged
}

HRESULT FilterGraph::RestoreDefaultHandling(LONG)
{
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2)
{
    return GraphEventQueue::FreeEventParams(lEvCode, lParam1, lParam2);
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData)
{
    return events.SetNotifyWindow(hwnd, lMsg, lInstanceData);
}

HRESULT FilterGraph::SetNotifyFlags(LONG lNoNotifyFlags)
{
    return events.SetNotifyFlags(lNoNotifyFlags);
}

HRESULT FilterGraph::GetNotifyFlags(LONG* lplNoNotifyFlags)
{
    return events.GetNotifyFlags(lplNoNotifyFlags);
}

HRESULT FilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    if (EventCode == EC_COMPLETE) {
        std::lock_guard lock(completionMutex);
        if (completionsPending == 0)
            return S_OK; // the stream's completion was announced already
        if (completionsPending > 0 && --completionsPending > 0)
            return S_OK; // another renderer is still playing
    }
    return events.Notify(EventCode, EventParam1, EventParam2);
}

// ---- IBasicAudio ----

HRESULT FilterGraph::put_Volume(LONG lVolume)
{
    return ForEachAudioRenderer(
        [&](IBasicAudio* renderer) { return renderer->put_Volume(lVolume); });
}

HRESULT FilterGraph::ForEachAudioRenderer(const std::function<HRESULT(IBasicAudio*)>& apply)
{
    std::vector<ComPtr<IBasicAudio>> renderers = AudioRenderers();
    if (renderers.empty())
        return VFW_E_NOT_CONNECTED;
    for (const ComPtr<IBasicAudio>& renderer : renderers) {
        HRESULT hr = apply(renderer.Get());
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT FilterGraph::get_Volume(LONG* plVolume)
{
    if (!plVolume)
        return E_POINTER;
    *plVolume = 0;
    std::vector<ComPtr<IBasicAudio>> renderers = AudioRenderers();
    return renderers.empty() ? VFW_E_NOT_CONNECTED : renderers.front()->get_Volume(plVolume);
}

HRESULT FilterGraph::put_Balance(LONG lBalance)
{
    return ForEachAudioRenderer(
        [&](IBasicAudio* renderer) { return renderer->put_Balance(lBalance); });
}

HRESULT FilterGraph::get_Balance(LONG* plBalance)
{
    if (!plBalance)
        return E_POINTER;
    *plBalance = 0;
    std::vector<ComPtr<IBasicAudio>> renderers = AudioRenderers();
    return renderers.empty() ? VFW_E_NOT_CONNECTED : renderers.front()->get_Balance(plBalance);
}

// ---- IMediaSeeking ----

HRESULT FilterGraph::GetCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    *pCapabilities = AM_SEEKING_CanGetCurrentPos;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (renderers.empty())
        return S_OK;
    // What every renderer can do, the graph can.
    DWORD common = ~DWORD(0);
    for (const ComPtr<IMediaSeeking>& renderer : renderers) {
        DWORD capabilities = 0;
        if (FAILED(renderer->GetCapabilities(&capabilities)))
            capabilities = 0;
        common &= capabilities;
    }
    *pCapabilities = common | AM_SEEKING_CanGetCurrentPos;
    return S_OK;
}

HRESULT FilterGraph::CheckCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    DWORD offered = 0;
    GetCapabilities(&offered);
    return media_time::CheckCapabilities(offered, pCapabilities);
}

HRESULT FilterGraph::IsFormatSupported(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT FilterGraph::QueryPreferredFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT FilterGraph::GetTimeFormat(GUID* pFormat)
{
    return media_time::QueryPreferredFormat(pFormat);
}

HRESULT FilterGraph::IsUsingTimeFormat(const GUID* pFormat)
{
    return media_time::IsFormatSupported(pFormat);
}

HRESULT FilterGraph::SetTimeFormat(const GUID* pFormat)
{
    return media_time::SetTimeFormat(pFormat);
}

HRESULT FilterGraph::GetDuration(LONGLONG* pDuration)
{
    if (!pDuration)
        return E_POINTER;
    *pDuration = 0;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (renderers.empty())
        return E_NOTIMPL; // a capture stream has no duration
    for (const ComPtr<IMediaSeeking>& renderer : renderers) {
        LONGLONG duration = 0;
        HRESULT hr = renderer->GetDuration(&duration);
        if (FAILED(hr))
            return hr;
        *pDuration = std::max(*pDuration, duration);
    }
    return S_OK;
}

HRESULT FilterGraph::GetStopPosition(LONGLONG* pStop)
{
    if (!pStop)
        return E_POINTER;
    *pStop = 0;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (renderers.empty())
        return E_NOTIMPL;
    for (const ComPtr<IMediaSeeking>& renderer : renderers) {
        LONGLONG stop = 0;
        HRESULT hr = renderer->GetStopPosition(&stop);
        if (FAILED(hr))
            return hr;
        *pStop = std::max(*pStop, stop);
    }
    return S_OK;
}

HRESULT FilterGraph::GetCurrentPosition(LONGLONG* pCurrent)
{
    if (!pCurrent)
        return E_POINTER;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (!renderers.empty())
        return renderers.front()->GetCurrentPosition(pCurrent);
    // A capture graph is as far as its sources have delivered; the clock would run ahead of the
    // file while a device has not yet sent its first sound.
    bool fromSources = false;
    REFERENCE_TIME captured = 0;
    for (const Entry& entry : filters)
        if (ComPtr<ICaptureProgress> progress = entry.filter.As<ICaptureProgress>()) {
            REFERENCE_TIME time = 0;
            if (SUCCEEDED(progress->GetCapturedTime(&time))) {
                captured = std::max(captured, time);
                fromSources = true;
            }
        }
    *pCurrent = fromSources ? captured : state.Position(Now());
    return S_OK;
}

HRESULT FilterGraph::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                       LONGLONG Source, const GUID* pSourceFormat)
{
    return media_time::ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat);
}

HRESULT FilterGraph::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                  DWORD dwStopFlags)
{
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (renderers.empty()) {
        // A capture stream cannot seek.
        QUILLET_LOG("graph", "SetPositions: nothing in the graph seeks");
        return E_NOTIMPL;
    }
    if (((dwCurrentFlags & AM_SEEKING_PositioningBitsMask) && !pCurrent) ||
        ((dwStopFlags & AM_SEEKING_PositioningBitsMask) && !pStop))
        return E_POINTER;
    // The renderers play a new stretch: each completes it anew.
    if (state.Target() != State_Stopped)
        ExpectCompletions();
    for (const ComPtr<IMediaSeeking>& renderer : renderers) {
        LONGLONG current = pCurrent ? *pCurrent : 0;
        LONGLONG stop = pStop ? *pStop : 0;
        HRESULT hr = renderer->SetPositions(pCurrent ? &current : nullptr, dwCurrentFlags,
                                            pStop ? &stop : nullptr, dwStopFlags);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT FilterGraph::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    if (!pCurrent && !pStop)
        return E_POINTER;
    if (pStop)
        *pStop = 0;
    if (pCurrent)
        *pCurrent = 0;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (!renderers.empty())
        return renderers.front()->GetPositions(pCurrent, pStop);
    if (pCurrent)
        *pCurrent = state.Position(Now());
    // A capture stream has no stop position.
    return pStop ? E_NOTIMPL : S_OK;
}

HRESULT FilterGraph::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    if (pEarliest)
        *pEarliest = 0;
    if (pLatest)
        *pLatest = 0;
    std::vector<ComPtr<IMediaSeeking>> renderers = SeekingRenderers();
    if (renderers.empty())
        return E_NOTIMPL;
    return renderers.front()->GetAvailable(pEarliest, pLatest);
}

HRESULT FilterGraph::SetRate(double dRate)
{
    if (dRate <= 0)
        return E_INVALIDARG;
    for (const ComPtr<IMediaSeeking>& renderer : SeekingRenderers()) {
        HRESULT hr = renderer->SetRate(dRate);
        if (FAILED(hr))
            return hr;
    }
    return dRate == 1.0 ? S_OK : E_NOTIMPL;
}

HRESULT FilterGraph::GetRate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    *pdRate = 1.0;
    return S_OK;
}

HRESULT FilterGraph::GetPreroll(LONGLONG* pllPreroll)
{
    if (!pllPreroll)
        return E_POINTER;
    *pllPreroll = 0;
    return S_OK;
}
