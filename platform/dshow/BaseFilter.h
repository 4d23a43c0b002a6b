// The machinery every filter shares: its state (stopped, paused, running) with transitions that
// may finish later, its place in a graph (name, event sink), its clock, and its pins. A concrete
// filter supplies its pins and the hooks below; the pins call the hooks.
//
// Threads: the IBaseFilter methods and the pin/state hooks run on the graph's thread.
// State(), NotifyEvent() and CompleteTransition() may be called from any thread; ReceiveSample,
// PinEndOfStream and PinFlush run on the upstream streaming thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class BasePin;
class BaseInputPin;

class BaseFilter : public ComObject<IBaseFilter>
{
public:
    BaseFilter(IUnknown* outer, ModuleLock* module, const CLSID& clsid);
    ~BaseFilter() override;

    HRESULT GetClassID(CLSID* pClassID) override;

    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    HRESULT SetSyncSource(IReferenceClock* pClock) override;
    HRESULT GetSyncSource(IReferenceClock** pClock) override;

    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(LPCWSTR Id, IPin** ppPin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* pInfo) override;
    HRESULT JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    HRESULT QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // The pins, in a fixed order.
    virtual size_t PinCount() = 0;
    virtual BasePin* PinAt(size_t index) = 0;

    // Pin hooks. S_OK accepts a media type for a pin.
    virtual HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType);
    // The pin's index-th proposal into an uninitialised record, or VFW_S_NO_MORE_ITEMS.
    virtual HRESULT GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType);
    // After a pin connected; a failure undoes the connection.
    virtual HRESULT PinConnected(BasePin* pin);
    virtual void PinDisconnected(BasePin* pin);
    // Streaming thread: a sample arrived on an input pin while not stopped.
    virtual HRESULT ReceiveSample(BaseInputPin* pin, IMediaSample* sample);
    virtual HRESULT PinEndOfStream(BaseInputPin* pin);
    virtual void PinFlush(BaseInputPin* pin, bool begin);

    // Any thread.
    FILTER_STATE State() const { return state.load(std::memory_order_acquire); }
    // Any thread: raises an event through the graph's IMediaEventSink. E_UNEXPECTED outside a
    // graph.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    // The filter's identity (what QueryInterface gives for IUnknown), as events that name it
    // carry.
    IUnknown* Identity() { return ControllingUnknown(); }

protected:
    // State hooks, called on the graph's thread without a lock held. OnPause may answer S_FALSE:
    // the filter counts as paused only once it calls CompleteTransition (from any thread).
    virtual HRESULT OnPause(FILTER_STATE previous);
    virtual HRESULT OnRun(REFERENCE_TIME start);
    // Streaming has ended when it returns.
    virtual void OnStop();
    // Any thread: the pending transition is done (GetState stops waiting).
    void CompleteTransition();
    // The clock set by the graph, or null.
    ComPtr<IReferenceClock> Clock();

    void* FindInterface(REFIID riid) override;

private:
    HRESULT PauseFrom(FILTER_STATE previous);

    const CLSID clsid;
    std::atomic<FILTER_STATE> state{State_Stopped};
    std::mutex stateMutex;
    std::condition_variable transitionDone;
    bool transitionPending = false;

    std::mutex graphMutex;                // guards what follows: events may come from any thread
    IFilterGraph* graph = nullptr;        // not counted: the graph owns us
    IMediaEventSink* eventSink = nullptr; // not counted, as the graph
    std::u16string name;
    ComPtr<IReferenceClock> clock;
};
