#include "ProcedureCalls.h"

#include "WindowTable.h"
#include "com/DebugLog.h"

#include <cxxabi.h>
#include <exception>

namespace quillet::user {

LRESULT CallProcedure(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return proc(hwnd, message, wParam, lParam);
    } catch (abi::__forced_unwind&) {
        // Thread cancellation unwinds by exception; swallowing it would abort the process.
        throw;
    } catch (const std::exception& e) {
        QUILLET_LOG("user", "window %p: procedure threw on message 0x%04x: %s",
                    static_cast<void*>(hwnd), message, e.what());
    } catch (...) {
        QUILLET_LOG("user", "window %p: procedure threw on message 0x%04x",
                    static_cast<void*>(hwnd), message);
    }
    return 0;
}

void CallTimerProcedure(TIMERPROC proc, HWND hwnd, UINT_PTR id, DWORD time)
{
    try {
        proc(hwnd, WM_TIMER, id, time);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        QUILLET_LOG("user", "window %p: timer procedure %lu threw", static_cast<void*>(hwnd),
                    static_cast<unsigned long>(id));
    }
}

LRESULT SendToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::optional<WindowRef> window = WindowTable::Instance().Find(hwnd);
    if (!window)
        return 0;
    return CallProcedure(window->proc, hwnd, message, wParam, lParam);
}

} // namespace quillet::user
