// Messages that carry heap memory and are never delivered: the window's disposer frees them.
#include "TestWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<int> disposed{0};

// The payload that a streaming thread hands to a window: a heap block per message.
void DisposePayload(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_USER + 1) {
        delete reinterpret_cast<std::vector<char>*>(wParam);
        ++disposed;
    }
}

} // namespace

TEST(MessageDisposerTest, UndeliveredMessagesAreDisposedWhenTheWindowIsDestroyed)
{
    disposed = 0;
    auto* window = new TestWindow;
    ASSERT_TRUE(SetWindowMessageDisposer(window->hwnd, &DisposePayload));
    HWND hwnd = window->hwnd;
    std::thread streaming([hwnd] {
        for (int i = 0; i < 50; ++i) {
            auto* payload = new std::vector<char>(1024);
            if (!PostMessageA(hwnd, WM_USER + 1, reinterpret_cast<WPARAM>(payload), 0))
                delete payload; // the poster keeps what it could not hand over
        }
    });
    streaming.join();
    delete window; // destroys the window with all 50 messages still queued
    EXPECT_EQ(disposed, 50);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageDisposerTest, UndeliveredMessagesAreDisposedWhenTheThreadEnds)
{
    disposed = 0;
    std::thread owner([] {
        auto* window = new TestWindow;
        SetWindowMessageDisposer(window->hwnd, &DisposePayload);
        for (int i = 0; i < 3; ++i)
            PostMessageA(window->hwnd, WM_USER + 1,
                         reinterpret_cast<WPARAM>(new std::vector<char>(16)), 0);
        window->hwnd = nullptr; // leave the window to the end of the thread
        delete window;
    });
    owner.join();
    EXPECT_EQ(disposed, 3);
}

TEST(MessageDisposerTest, OnlyTheOwningThreadSetsADisposer)
{
    TestWindow window;
    BOOL fromOther = TRUE;
    std::thread other([&] { fromOther = SetWindowMessageDisposer(window.hwnd, &DisposePayload); });
    other.join();
    EXPECT_FALSE(fromOther);
    EXPECT_FALSE(SetWindowMessageDisposer(nullptr, &DisposePayload));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}
