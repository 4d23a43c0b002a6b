// A window for the user tests: its procedure records every message it receives and lets a
// test answer or act on any of them. Only the creating thread may touch a TestWindow.
#pragma once

#include "user/User.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

class TestWindow
{
public:
    // Returns a result to answer the message, or nothing to fall back to DefWindowProcA.
    using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

    static constexpr const char* ClassName = "QuilletTestWindow";

    explicit TestWindow(Handler handler = {}) : handler(std::move(handler))
    {
        RegisterTestClass();
        hwnd = CreateWindowExA(0, ClassName, "test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               this);
    }
    ~TestWindow()
    {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    size_t Count(UINT message) const
    {
        return size_t(std::count_if(messages.begin(), messages.end(),
                                    [&](const MSG& m) { return m.message == message; }));
    }

    HWND hwnd = nullptr;
    std::vector<MSG> messages; // every message the procedure saw, in order
    Handler handler;

private:
    static void RegisterTestClass()
    {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Procedure;
            wc.lpszClassName = ClassName;
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
    }

    static LRESULT Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self)
            return DefWindowProcA(hwnd, message, wParam, lParam);
        self->messages.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
        if (self->handler)
            if (std::optional<LRESULT> result = self->handler(hwnd, message, wParam, lParam))
                return *result;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
};

// Empties the calling thread's queue (WM_QUIT included), so that a test leaves nothing behind
// for the next one that runs on the same thread.
inline void DrainQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
