// The process-wide table of live windows. Any thread; the table's lock is never held while a
// window procedure runs, and it is taken before a queue's lock, never after.
#pragma once

#include "MessageQueue.h"
#include "user/User.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quillet::user {

// What CreateWindowExA records about a new window.
struct WindowRecord
{
    DWORD threadId = 0;
    std::shared_ptr<MessageQueue> queue; // the owning thread's queue
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    ATOM classAtom = 0;
    std::vector<BYTE> extraBytes;       // the class's cbWndExtra
    bool destroying = false;            // DestroyWindow has begun sending WM_DESTROY
    MESSAGEDISPOSER disposer = nullptr; // frees what undelivered messages carry
};

// A copy of what a caller needs to reach a window without holding the table's lock.
struct WindowRef
{
    DWORD threadId;
    WNDPROC proc;
    std::shared_ptr<MessageQueue> queue;
};

class WindowTable
{
public:
    // The one table of the process; it lives until the process ends.
    static WindowTable& Instance();

    // Stores a window under a handle never handed out before. Throws std::bad_alloc.
    HWND Add(WindowRecord record);
    std::optional<WindowRef> Find(HWND hwnd);
    // Queues a message for a live window, under the table's lock so that DestroyWindow's purge
    // cannot miss it. False when the window is gone. Throws std::bad_alloc.
    bool Post(HWND hwnd, const MSG& msg);

    // The window long at index; the Win32 error in *error when there is none.
    LONG_PTR GetLong(HWND hwnd, int index, LONG* error);
    // Replaces the window long at index and returns the previous value.
    LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR value, LONG* error);

    // Marks a window of the calling thread as being destroyed. ERROR_SUCCESS when the caller
    // should go on to send WM_DESTROY; *already tells a nested DestroyWindow apart.
    LONG BeginDestroy(HWND hwnd, DWORD threadId, bool* already);
    // Takes a window out of the table; returns its queue for the purge, or null, and its
    // message disposer.
    std::shared_ptr<MessageQueue> Remove(HWND hwnd, MESSAGEDISPOSER* disposer);
    // Forgets every window of a thread that is ending, without calling any procedure; returns
    // the windows that have a message disposer.
    std::vector<std::pair<HWND, MESSAGEDISPOSER>> RemoveThread(DWORD threadId);
    // Sets the disposer of a window of the calling thread.
    LONG SetDisposer(HWND hwnd, DWORD threadId, MESSAGEDISPOSER disposer);
    size_t CountOfClass(ATOM atom);

private:
    WindowTable() = default;

    std::mutex mutex;
    std::unordered_map<HWND, WindowRecord> windows;
    // Handles count up and are never reused, so a stale handle never names a newer window.
    ULONG_PTR nextHandle = 0x10000;
};

} // namespace quillet::user
