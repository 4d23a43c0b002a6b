// Posting, reading and dispatching messages, and the window timers.
#include "MessageQueue.h"
#include "ProcedureCalls.h"
#include "ThreadState.h"
#include "WindowTable.h"
#include "com/DebugLog.h"
#include "user/User.h"

#include <new>

using namespace quillet::user;

namespace {

const HWND ThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

// The window a GetMessageA or PeekMessageA filter names must be one this thread can read
// messages for. Waiting on another thread's window could only block for ever, so that fails
// too. ERROR_SUCCESS when the filter is usable.
LONG CheckFilterWindow(HWND hwnd)
{
    if (!hwnd || hwnd == ThreadMessagesOnly)
        return ERROR_SUCCESS;
    std::optional<WindowRef> window = WindowTable::Instance().Find(hwnd);
    if (!window)
        return ERROR_INVALID_WINDOW_HANDLE;
    if (window->threadId != GetCurrentThreadId())
        return ERROR_WINDOW_OF_OTHER_THREAD;
    return ERROR_SUCCESS;
}

// The calling thread's window hwnd, for the functions that work on the caller's own queue.
// ERROR_SUCCESS with *window filled in, or the error to report.
LONG FindOwnWindow(HWND hwnd, std::optional<WindowRef>* window)
{
    *window = WindowTable::Instance().Find(hwnd);
    if (!*window)
        return ERROR_INVALID_WINDOW_HANDLE;
    if ((*window)->threadId != GetCurrentThreadId())
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

} // namespace

extern "C" BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    MSG msg{hWnd, Msg, wParam, lParam, TickCount(), {0, 0}};
    try {
        if (!hWnd) {
            // As on Windows, a null window posts a thread message to the caller's own queue.
            const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue();
            if (!queue) {
                SetLastError(ERROR_OUTOFMEMORY);
                return FALSE;
            }
            queue->Post(msg);
            return TRUE;
        }
        if (!WindowTable::Instance().Post(hWnd, msg)) {
            QUILLET_LOG("user", "PostMessageA(%p, 0x%04x): no such window",
                        static_cast<void*>(hWnd), Msg);
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

extern "C" void PostQuitMessage(int nExitCode)
{
    try {
        if (const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue())
            queue->PostQuit(nExitCode);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
    }
}

extern "C" BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return -1;
    }
    LONG error = CheckFilterWindow(hWnd);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return -1;
    }
    try {
        const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue();
        if (!queue) {
            SetLastError(ERROR_OUTOFMEMORY);
            return -1;
        }
        MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
        for (;;) {
            // The wait is on a descriptor of its own rather than the public one: the public one
            // stays readable while messages this filter refuses are queued, and waiting on it
            // would spin. Clearing it before looking means a post after the look still wakes us.
            queue->ClearWake();
            std::optional<Clock::time_point> nextDue;
            if (queue->Peek(*lpMsg, filter, true, &nextDue))
                return lpMsg->message == WM_QUIT ? 0 : TRUE;
            queue->Wait(nextDue);
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return -1;
    }
}

extern "C" BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                             UINT wRemoveMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    LONG error = CheckFilterWindow(hWnd);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    try {
        const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue();
        if (!queue) {
            SetLastError(ERROR_OUTOFMEMORY);
            return FALSE;
        }
        MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
        return queue->Peek(*lpMsg, filter, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

extern "C" LRESULT DispatchMessageA(const MSG* lpMsg)
{
    if (!lpMsg) {
        SetLastError(ERROR_NOACCESS);
        return 0;
    }
    // A thread message has no procedure to go to.
    if (!lpMsg->hwnd)
        return 0;
    std::optional<WindowRef> window = WindowTable::Instance().Find(lpMsg->hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (window->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (window->queue->HasTimerProc(lpMsg->hwnd, lpMsg->wParam, proc))
            CallTimerProcedure(proc, lpMsg->hwnd, lpMsg->wParam, TickCount());
        return 0;
    }
    return CallProcedure(window->proc, lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

extern "C" BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

extern "C" UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    std::optional<WindowRef> window;
    LONG error = FindOwnWindow(hWnd, &window);
    if (error != ERROR_SUCCESS) {
        QUILLET_LOG("user", "SetTimer(%p, %lu): %s", static_cast<void*>(hWnd),
                    static_cast<unsigned long>(nIDEvent),
                    error == ERROR_ACCESS_DENIED ? "window of another thread" : "no such window");
        SetLastError(error);
        return 0;
    }
    try {
        window->queue->SetTimer(hWnd, nIDEvent, uElapse, lpTimerFunc);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    // A window timer with id 0 is legal, but 0 is the failure value.
    return nIDEvent ? nIDEvent : 1;
}

extern "C" BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    std::optional<WindowRef> window;
    LONG error = FindOwnWindow(hWnd, &window);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    if (!window->queue->KillTimer(hWnd, uIDEvent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

extern "C" int GetQueueFd()
{
    try {
        const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue();
        if (!queue) {
            SetLastError(ERROR_OUTOFMEMORY);
            return -1;
        }
        return queue->Fd();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return -1;
    }
}
