#include "BaseFilter.h"

#include <chrono>
#include <new>
#include <vector>

#include "BaseInputPin.h"
#include "BasePin.h"
#include "com/Bstr.h"
#include "com/ComEnumerator.h"
#include "com/DebugLog.h"

BaseFilter::BaseFilter(IUnknown* outer, ModuleLock* module, const CLSID& clsid)
    : ComObject(outer, module), clsid(clsid)
{
}

BaseFilter::~BaseFilter() = default;

void* BaseFilter::FindInterface(REFIID riid)
{
    if (riid == IID_IMediaFilter || riid == IID_IPersist)
        return static_cast<IBaseFilter*>(this);
    return ComObject::FindInterface(riid);
}

HRESULT BaseFilter::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = clsid;
    return S_OK;
}

HRESULT BaseFilter::Stop()
{
    {
        std::lock_guard lock(stateMutex);
        state.store(State_Stopped, std::memory_order_release);
        transitionPending = false;
    }
    transitionDone.notify_all();
    OnStop();
    return S_OK;
}

HRESULT BaseFilter::Pause()
{
    FILTER_STATE previous = State();
    if (previous == State_Paused)
        return S_OK;
    return PauseFrom(previous);
}

HRESULT BaseFilter::PauseFrom(FILTER_STATE previous)
{
    {
        std::lock_guard lock(stateMutex);
        state.store(State_Paused, std::memory_order_release);
        // Pending before the hook runs: the hook may complete it at once from another thread.
        transitionPending = previous == State_Stopped;
    }
    HRESULT hr = S_OK;
    try {
        hr = OnPause(previous);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        QUILLET_LOG("graph", "filter %s: pause failed 0x%08X", quillet::Utf16ToUtf8(name).c_str(),
                    unsigned(hr));
        Stop();
        return hr;
    }
    if (hr != S_FALSE)
        CompleteTransition();
    return hr;
}

HRESULT BaseFilter::Run(REFERENCE_TIME tStart)
{
    HRESULT pauseResult = S_OK;
    if (State() == State_Stopped) {
        pauseResult = PauseFrom(State_Stopped);
        if (FAILED(pauseResult))
            return pauseResult;
    }
    state.store(State_Running, std::memory_order_release);
    HRESULT hr = S_OK;
    try {
        hr = OnRun(tStart);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        Stop();
        return hr;
    }
    std::lock_guard lock(stateMutex);
    return transitionPending ? S_FALSE : S_OK;
}

HRESULT BaseFilter::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    std::unique_lock lock(stateMutex);
    *State = state.load(std::memory_order_acquire);
    auto done = [this] { return !transitionPending; };
    if (dwMilliSecsTimeout == INFINITE)
        transitionDone.wait(lock, done);
    else
        transitionDone.wait_for(lock, std::chrono::milliseconds(dwMilliSecsTimeout), done);
    *State = state.load(std::memory_order_acquire);
    return transitionPending ? VFW_S_STATE_INTERMEDIATE : S_OK;
}

void BaseFilter::CompleteTransition()
{
    {
        std::lock_guard lock(stateMutex);
        transitionPending = false;
    }
    transitionDone.notify_all();
}

HRESULT BaseFilter::SetSyncSource(IReferenceClock* pClock)
{
    std::lock_guard lock(graphMutex);
    clock = pClock;
    return S_OK;
}

HRESULT BaseFilter::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    std::lock_guard lock(graphMutex);
    clock.CopyTo(pClock);
    return S_OK;
}

ComPtr<IReferenceClock> BaseFilter::Clock()
{
    std::lock_guard lock(graphMutex);
    return clock;
}

HRESULT BaseFilter::EnumPins(IEnumPins** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    try {
        std::vector<ComPtr<IPin>> pins;
        for (size_t i = 0; i < PinCount(); ++i)
            pins.emplace_back(static_cast<IPin*>(PinAt(i)));
        return ComEnumerator<IEnumPins, IPin>::Create(std::move(pins), ppEnum);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT BaseFilter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    if (!Id || !ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    for (size_t i = 0; i < PinCount(); ++i) {
        BasePin* pin = PinAt(i);
        if (pin->Id() == Id) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT BaseFilter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::lock_guard lock(graphMutex);
    CopyToFixed(name, pInfo->achName, MAX_FILTER_NAME);
    pInfo->pGraph = graph;
    if (graph)
        graph->AddRef();
    return S_OK;
}

HRESULT BaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName)
{
    ComPtr<IMediaEventSink> sink;
    if (pGraph)
        pGraph->QueryInterface(IID_PPV_ARGS(&sink));
    try {
        std::lock_guard lock(graphMutex);
        name = pGraph && pName ? std::u16string(pName) : std::u16string();
        graph = pGraph;
        // The graph outlives its filters' membership, so the sink is held without a count,
        // which would otherwise keep the graph alive through its own filters.
        eventSink = sink.Get();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT BaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo)
{
    if (!pVendorInfo)
        return E_POINTER;
    *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT BaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    std::lock_guard lock(graphMutex);
    if (!eventSink)
        return E_UNEXPECTED;
    return eventSink->Notify(code, param1, param2);
}

HRESULT BaseFilter::CheckPinMediaType(BasePin*, const AM_MEDIA_TYPE&)
{
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT BaseFilter::GetPinMediaType(BasePin*, int, AM_MEDIA_TYPE*)
{
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT BaseFilter::PinConnected(BasePin*)
{
    return S_OK;
}

void BaseFilter::PinDisconnected(BasePin*) {}

HRESULT BaseFilter::ReceiveSample(BaseInputPin*, IMediaSample*)
{
    return S_OK;
}

HRESULT BaseFilter::PinEndOfStream(BaseInputPin*)
{
    return S_OK;
}

void BaseFilter::PinFlush(BaseInputPin*, bool) {}

HRESULT BaseFilter::OnPause(FILTER_STATE)
{
    return S_OK;
}

HRESULT BaseFilter::OnRun(REFERENCE_TIME)
{
    return S_OK;
}

void BaseFilter::OnStop() {}
