// The event queue of a filter graph: filters raise events through IMediaEventSink::Notify on
// any thread; the application takes them with GetEvent and is told through a window message
// (PostMessageA) whenever events are pending. One message is posted per batch: after it, the
// next message comes once GetEvent has emptied the queue and another event arrives.
//
// Threads: Notify on any thread; the other methods on the graph's thread (GetEvent may wait).
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "dshow/Strmif.h"

class GraphEventQueue
{
public:
    GraphEventQueue() = default;
    ~GraphEventQueue();
    GraphEventQueue(const GraphEventQueue&) = delete;
    GraphEventQueue& operator=(const GraphEventQueue&) = delete;

    // Any thread. An interface pointer among the parameters is held until FreeEventParams.
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Waits up to msTimeout (INFINITE as -1) for an event; E_ABORT when none came.
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout);
    // Waits up to msTimeout for an event that ends the stream, leaving it queued.
    HRESULT WaitForCompletion(LONG msTimeout, LONG* code);
    // A null window stops the messages.
    HRESULT SetNotifyWindow(OAHWND hwnd, LONG message, LONG_PTR instanceData);
    HRESULT SetNotifyFlags(LONG flags);
    HRESULT GetNotifyFlags(LONG* flags);
    // Releases what GetEvent handed out with an event.
    static HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2);

private:
    struct Event
    {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    // With the lock held: posts the window message unless one is outstanding.
    void PostNotification();
    template <class Predicate>
    bool WaitFor(std::unique_lock<std::mutex>& lock, LONG msTimeout, Predicate predicate);

    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Event> events;
    OAHWND window = 0;
    LONG windowMessage = 0;
    LONG_PTR windowInstance = 0;
    LONG notifyFlags = 0;
    bool notificationPosted = false;
};
