// Window classes and hidden windows: creation, destruction and the window longs.
#include "ProcedureCalls.h"
#include "ThreadState.h"
#include "WindowClassTable.h"
#include "WindowTable.h"
#include "com/DebugLog.h"
#include "user/User.h"

#include <new>

using namespace quillet::user;

namespace {

// The last steps of every destruction: WM_NCDESTROY is the final message a procedure sees, and
// once the window has left the table no post can reach it, so the purge leaves nothing behind.
void FinishDestroy(HWND hwnd)
{
    SendToWindow(hwnd, WM_NCDESTROY, 0, 0);
    MESSAGEDISPOSER disposer = nullptr;
    if (std::shared_ptr<MessageQueue> queue = WindowTable::Instance().Remove(hwnd, &disposer)) {
        std::vector<MSG> undelivered = queue->Purge(hwnd);
        if (disposer)
            for (const MSG& msg : undelivered)
                disposer(hwnd, msg.message, msg.wParam, msg.lParam);
    }
    QUILLET_LOG("user", "window %p: destroyed", static_cast<void*>(hwnd));
}

const char* ClassNameForLog(LPCSTR name)
{
    if (!name)
        return "(null)";
    return IS_INTRESOURCE(name) ? "(atom)" : name;
}

} // namespace

extern "C" ATOM RegisterClassA(const WNDCLASSA* lpWndClass)
{
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        LONG error = ERROR_SUCCESS;
        ATOM atom = WindowClassTable::Instance().Register(*lpWndClass, &error);
        if (!atom)
            SetLastError(error);
        return atom;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
}

extern "C" BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE)
{
    try {
        LONG error = WindowClassTable::Instance().Unregister(lpClassName);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

extern "C" HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    HWND hwnd = nullptr;
    try {
        std::optional<WindowClass> windowClass = WindowClassTable::Instance().Find(lpClassName);
        if (!windowClass) {
            QUILLET_LOG("user", "CreateWindowExA(\"%s\"): no such class",
                        ClassNameForLog(lpClassName));
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        const std::shared_ptr<MessageQueue>& queue = ThreadState::Current().Queue();
        if (!queue) {
            SetLastError(ERROR_OUTOFMEMORY);
            return nullptr;
        }
        WindowRecord record;
        record.threadId = queue->ThreadId();
        record.queue = queue;
        record.proc = windowClass->proc;
        record.instance = hInstance;
        record.id = reinterpret_cast<LONG_PTR>(hMenu);
        record.classAtom = windowClass->atom;
        record.extraBytes.assign(size_t(windowClass->windowExtraBytes), 0);
        hwnd = WindowTable::Instance().Add(std::move(record));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    QUILLET_LOG("user", "CreateWindowExA(\"%s\"): window %p on thread %u",
                ClassNameForLog(lpClassName), static_cast<void*>(hwnd), GetCurrentThreadId());

    CREATESTRUCTA create{};
    create.lpCreateParams = lpParam;
    create.hInstance = hInstance;
    create.hMenu = hMenu;
    create.hwndParent = hWndParent;
    create.cy = nHeight;
    create.cx = nWidth;
    create.y = Y;
    create.x = X;
    create.style = LONG(dwStyle);
    create.lpszName = lpWindowName;
    create.lpszClass = lpClassName;
    create.dwExStyle = dwExStyle;
    LPARAM createParam = reinterpret_cast<LPARAM>(&create);

    // The procedure may destroy its own window while it is being created; that, too, fails
    // the creation.
    LRESULT accepted = SendToWindow(hwnd, WM_NCCREATE, 0, createParam);
    if (!IsWindow(hwnd))
        return nullptr;
    if (!accepted) {
        QUILLET_LOG("user", "window %p: WM_NCCREATE refused the window", static_cast<void*>(hwnd));
        bool already = false;
        WindowTable::Instance().BeginDestroy(hwnd, GetCurrentThreadId(), &already);
        FinishDestroy(hwnd);
        return nullptr;
    }
    if (SendToWindow(hwnd, WM_CREATE, 0, createParam) == -1) {
        QUILLET_LOG("user", "window %p: WM_CREATE refused the window", static_cast<void*>(hwnd));
        DestroyWindow(hwnd);
        return nullptr;
    }
    return IsWindow(hwnd) ? hwnd : nullptr;
}

extern "C" BOOL DestroyWindow(HWND hWnd)
{
    bool already = false;
    LONG error = WindowTable::Instance().BeginDestroy(hWnd, GetCurrentThreadId(), &already);
    if (error != ERROR_SUCCESS) {
        QUILLET_LOG("user", "DestroyWindow(%p): %s", static_cast<void*>(hWnd),
                    error == ERROR_ACCESS_DENIED ? "window of another thread" : "no such window");
        SetLastError(error);
        return FALSE;
    }
    // A procedure that calls DestroyWindow again from WM_DESTROY must not get a second
    // WM_DESTROY; the outer call finishes the job.
    if (already)
        return TRUE;
    SendToWindow(hWnd, WM_DESTROY, 0, 0);
    FinishDestroy(hWnd);
    return TRUE;
}

extern "C" BOOL IsWindow(HWND hWnd)
{
    return hWnd && WindowTable::Instance().Find(hWnd) ? TRUE : FALSE;
}

extern "C" LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    // As on Windows, success leaves the last error alone: a caller who must tell a previous 0
    // from a failure clears it first.
    LONG error = ERROR_SUCCESS;
    LONG_PTR previous = WindowTable::Instance().SetLong(hWnd, nIndex, dwNewLong, &error);
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    return previous;
}

extern "C" LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    LONG error = ERROR_SUCCESS;
    LONG_PTR value = WindowTable::Instance().GetLong(hWnd, nIndex, &error);
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    return value;
}

extern "C" LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM)
{
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}

extern "C" LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                   LPARAM lParam)
{
    if (!lpPrevWndFunc)
        return 0;
    return CallProcedure(lpPrevWndFunc, hWnd, Msg, wParam, lParam);
}

extern "C" LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    std::optional<WindowRef> window = WindowTable::Instance().Find(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // Sending across threads would need the receiver to pump inside the sender's wait; nothing
    // here relies on it, so it is refused rather than half done.
    if (window->threadId != GetCurrentThreadId()) {
        QUILLET_LOG("user", "SendMessageA(%p, 0x%04x): window of another thread",
                    static_cast<void*>(hWnd), Msg);
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return CallProcedure(window->proc, hWnd, Msg, wParam, lParam);
}

extern "C" BOOL SetWindowMessageDisposer(HWND hWnd, MESSAGEDISPOSER disposer)
{
    LONG error = WindowTable::Instance().SetDisposer(hWnd, GetCurrentThreadId(), disposer);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
