// Calls into window procedures and timer procedures. Only on the thread that owns the window,
// and never with a lock of this module held.
#pragma once

#include "user/User.h"

namespace quillet::user {

// Calls a window procedure. An exception it throws stops here: it must not unwind through
// the C entry points that called it.
LRESULT CallProcedure(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls a timer procedure, with the same shield as CallProcedure.
void CallTimerProcedure(TIMERPROC proc, HWND hwnd, UINT_PTR id, DWORD time);
// Sends a message to a window of the calling thread through its current procedure (which a
// subclass may have replaced); 0 when the window is gone.
LRESULT SendToWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace quillet::user
