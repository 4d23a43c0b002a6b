#include "GraphEventQueue.h"

#include <chrono>
#include <new>

#include "com/DebugLog.h"
#include "user/User.h"

namespace {
// Events whose first parameter is an interface pointer that the queue holds a count on.
bool CarriesInterface(LONG code)
{
    return code == EC_DEVICE_LOST;
}

bool EndsStream(LONG code)
{
    return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT ||
           code == EC_DEVICE_LOST;
}
} // namespace

GraphEventQueue::~GraphEventQueue()
{
    for (const Event& event : events)
        FreeEventParams(event.code, event.param1, event.param2);
}

HRESULT GraphEventQueue::Notify(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (CarriesInterface(code) && param1)
        reinterpret_cast<IUnknown*>(param1)->AddRef();
    try {
        std::lock_guard lock(mutex);
        events.push_back(Event{code, param1, param2});
        PostNotification();
    } catch (const std::bad_alloc&) {
        FreeEventParams(code, param1, param2);
        return E_OUTOFMEMORY;
    }
    QUILLET_LOG("graph", "event 0x%X (%ld, %ld)", unsigned(code), long(param1), long(param2));
    arrived.notify_all();
    return S_OK;
}

void GraphEventQueue::PostNotification()
{
    if (!window || notificationPosted || (notifyFlags & AM_MEDIAEVENT_NONOTIFY))
        return;
    if (PostMessageA(reinterpret_cast<HWND>(window), UINT(windowMessage), 0, windowInstance))
        notificationPosted = true;
    else
        QUILLET_LOG("graph", "cannot post the event message: error %u", unsigned(GetLastError()));
}

template <class Predicate>
bool GraphEventQueue::WaitFor(std::unique_lock<std::mutex>& lock, LONG msTimeout,
                              Predicate predicate)
{
    if (msTimeout < 0) {
        arrived.wait(lock, predicate);
        return true;
    }
    return arrived.wait_for(lock, std::chrono::milliseconds(msTimeout), predicate);
}

HRESULT GraphEventQueue::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    *code = 0;
    *param1 = 0;
    *param2 = 0;
    std::unique_lock lock(mutex);
    if (!WaitFor(lock, msTimeout, [this] { return !events.empty(); })) {
        notificationPosted = false;
        return E_ABORT;
    }
    Event event = events.front();
    events.pop_front();
    // The application has read everything the last message announced; the next event needs a
    // message of its own.
    if (events.empty())
        notificationPosted = false;
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT GraphEventQueue::WaitForCompletion(LONG msTimeout, LONG* code)
{
    if (!code)
        return E_POINTER;
    *code = 0;
    std::unique_lock lock(mutex);
    const Event* found = nullptr;
    auto ended = [&] {
        for (const Event& event : events)
            if (EndsStream(event.code)) {
                found = &event;
                return true;
            }
        return false;
    };
    if (!WaitFor(lock, msTimeout, ended))
        return E_ABORT;
    *code = found->code;
    return S_OK;
}

HRESULT GraphEventQueue::SetNotifyWindow(OAHWND hwnd, LONG message, LONG_PTR instanceData)
{
    std::lock_guard lock(mutex);
    window = hwnd;
    windowMessage = message;
    windowInstance = instanceData;
    notificationPosted = false;
    if (!events.empty())
        PostNotification();
    return S_OK;
}

HRESULT GraphEventQueue::SetNotifyFlags(LONG flags)
{
    if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY)
        return E_INVALIDARG;
    std::lock_guard lock(mutex);
    notifyFlags = flags;
    if (flags == 0 && !events.empty())
        PostNotification();
    return S_OK;
}

HRESULT GraphEventQueue::GetNotifyFlags(LONG* flags)
{
    if (!flags)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *flags = notifyFlags;
    return S_OK;
}

HRESULT GraphEventQueue::FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR)
{
    if (CarriesInterface(code) && param1)
        reinterpret_cast<IUnknown*>(param1)->Release();
    return S_OK;
}
