// Hidden message windows and per-thread message queues.
//
// A window belongs to the thread that created it; its procedure runs only on that thread,
// from DispatchMessageA (or synchronously inside CreateWindowExA, DestroyWindow and
// SendMessageA). PostMessageA, IsWindow and the window longs may be used from any thread;
// everything that reads or waits on a queue (GetMessageA, PeekMessageA, DispatchMessageA,
// SetTimer, KillTimer, PostQuitMessage, GetQueueFd) works on the calling thread's own queue,
// which is created on first use and torn down, with the thread's windows, when the thread ends.
// Each thread's queue exposes one file descriptor (GetQueueFd) that is readable while a
// message is posted or a timer is due, so a foreign event loop can wait on it and drain the
// queue with PeekMessageA.
//
// Window procedures are never called with an internal lock held, so they may post, create and
// destroy windows themselves.
#pragma once

#include "com/Types.h"

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HMENU = void*;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using HGDIOBJ = void*;
using ATOM = WORD;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using MESSAGEDISPOSER = void (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT
{
    LONG x;
    LONG y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct CREATESTRUCTA
{
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;

inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_HINSTANCE = -6;
inline constexpr int GWLP_ID = -12;
inline constexpr int GWLP_USERDATA = -21;
inline constexpr int GWL_USERDATA = GWLP_USERDATA;

inline constexpr UINT CS_CLASSDC = 0x0040;

inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int HOLLOW_BRUSH = NULL_BRUSH;

// The parent that makes a window message-only; every window here is one anyway.
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))

// Integer resource identifiers travel in the low word of a string pointer.
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif
#ifndef IS_INTRESOURCE
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#endif
#define MAKEINTATOM(i) MAKEINTRESOURCEA(i)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// Errors of this module that the shared list does not carry.
inline constexpr LONG ERROR_NOACCESS = 998;
inline constexpr LONG ERROR_WINDOW_OF_OTHER_THREAD = 1408;
inline constexpr LONG ERROR_CLASS_DOES_NOT_EXIST = 1411;
inline constexpr LONG ERROR_CLASS_HAS_WINDOWS = 1412;
inline constexpr LONG ERROR_INVALID_INDEX = 1413;
inline constexpr LONG ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

extern "C" {
// Adds a class to the process-wide table (names compare case-insensitively); any thread.
// 0 with ERROR_CLASS_ALREADY_EXISTS when the name is taken.
ATOM RegisterClassA(const WNDCLASSA* lpWndClass);
// Removes a class that no window uses any more; any thread.
BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
// Creates a hidden window owned by the calling thread, sending WM_NCCREATE and WM_CREATE
// (lParam points to a CREATESTRUCTA carrying lpParam) before it returns.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                     int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam);
// Sends WM_DESTROY and WM_NCDESTROY, stops the window's timers and drops every message still
// queued for it; only on the window's own thread (else ERROR_ACCESS_DENIED).
BOOL DestroyWindow(HWND hWnd);
// Whether the handle names a live window; any thread. Handles are never reused.
BOOL IsWindow(HWND hWnd);
// GWLP_USERDATA, GWLP_WNDPROC, GWLP_HINSTANCE, GWLP_ID or an offset into the class's window
// extra bytes; returns the previous value. Any thread.
LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
// Reads what SetWindowLongPtrA stores; any thread.
LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex);
// The default procedure: TRUE for WM_NCCREATE, DestroyWindow for WM_CLOSE, 0 otherwise.
LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls a procedure that a subclassing window procedure replaced; the window's own thread.
LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Queues a message for the window's thread; FALSE (ERROR_INVALID_WINDOW_HANDLE) when the
// window does not exist. A null hWnd posts a thread message to the calling thread. Any thread;
// each sender's messages arrive in the order it posted them.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure directly; only on the window's own thread (there is no
// cross-thread send: another thread gets 0 and ERROR_WINDOW_OF_OTHER_THREAD).
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Starts or replaces a timer of a window of the calling thread; WM_TIMER is produced when the
// queue is read and the timer is due. Returns nIDEvent (1 when it is 0) or 0 on failure.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
// Stops a timer of a window of the calling thread; FALSE when there is no such timer.
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);
// Waits on the calling thread's queue for the next matching message; 0 for WM_QUIT, -1 on
// error (null lpMsg, a filter window that does not exist or belongs to another thread).
BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
// Looks at the calling thread's queue without waiting; PM_REMOVE takes the message out.
// hWnd null matches every message of the thread, (HWND)-1 only thread messages.
BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// Calls the procedure of lpMsg->hwnd (or the TIMERPROC of a WM_TIMER); the window's thread.
// A message whose window is gone does nothing and returns 0.
LRESULT DispatchMessageA(const MSG* lpMsg);
// Hidden windows take no keyboard input, so there is never anything to translate.
BOOL TranslateMessage(const MSG* lpMsg);
// Makes the calling thread's GetMessageA return 0 once the posted messages before it are read.
void PostQuitMessage(int nExitCode);
// The calling thread's queue descriptor: readable while a message is posted or a timer is due,
// and no longer readable once PeekMessageA(PM_REMOVE) has drained it. -1 if the queue could not
// be created. The descriptor belongs to the queue: never read or close it.
int GetQueueFd();
// Gives a window a disposer for the messages that are still queued for it when it goes away
// (DestroyWindow, or the end of its thread): such messages are never delivered, and the
// disposer is how a message that carries heap memory in wParam or lParam frees it. Called on
// the destroying thread, with no lock held. Only on the window's own thread.
BOOL SetWindowMessageDisposer(HWND hWnd, MESSAGEDISPOSER disposer);
// An opaque handle for a stock brush (WHITE_BRUSH ... NULL_BRUSH); any thread.
HGDIOBJ GetStockObject(int i);
// An opaque handle for a system cursor such as IDC_ARROW (hInstance null); any thread.
HCURSOR LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
// The kernel's identifier of the calling thread.
DWORD GetCurrentThreadId();
}
