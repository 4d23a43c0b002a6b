#include "TestWindow.h"
#include "user/User.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

class QueueFdTest : public ::testing::Test
{
protected:
    void TearDown() override { DrainQueue(); }
};

bool Readable(int fd, int timeoutMs = 0)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
}

TEST_F(QueueFdTest, EachThreadHasItsOwnStableDescriptor)
{
    int fd = GetQueueFd();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(GetQueueFd(), fd);
    int otherFd = -1;
    std::thread other([&] { otherFd = GetQueueFd(); });
    other.join();
    EXPECT_GE(otherFd, 0);
    EXPECT_NE(otherFd, fd);
}

TEST_F(QueueFdTest, PostFromAnotherThreadWakesAPollLoop)
{
    TestWindow window;
    int fd = GetQueueFd();
    ASSERT_FALSE(Readable(fd));
    std::thread poster([hwnd = window.hwnd] {
        std::this_thread::sleep_for(50ms);
        PostMessageA(hwnd, WM_APP, 1, 0);
        PostMessageA(hwnd, WM_APP, 2, 0);
    });
    EXPECT_TRUE(Readable(fd, 5000));
    poster.join();

    // Looking without removing leaves the descriptor readable; draining clears it.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(Readable(fd));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(Readable(fd));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(Readable(fd));
}

TEST_F(QueueFdTest, QuitMakesTheDescriptorReadableUntilItIsRead)
{
    int fd = GetQueueFd();
    ASSERT_FALSE(Readable(fd));
    PostQuitMessage(0);
    EXPECT_TRUE(Readable(fd));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_FALSE(Readable(fd));
}

TEST_F(QueueFdTest, DueTimerMakesTheDescriptorReadableUntilTheTickIsTaken)
{
    TestWindow window;
    int fd = GetQueueFd();
    ASSERT_TRUE(SetTimer(window.hwnd, 1, 50, nullptr));
    EXPECT_FALSE(Readable(fd));
    ASSERT_TRUE(Readable(fd, 5000));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(Readable(fd));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_FALSE(Readable(fd));
    // Killing the timer disarms it for good.
    ASSERT_TRUE(KillTimer(window.hwnd, 1));
    EXPECT_FALSE(Readable(fd, 150));
}

TEST_F(QueueFdTest, ALevelTriggeredWatcherWakesOncePerEvent)
{
    // The way the window program watches the queue: wait for readable, drain, repeat.
    TestWindow window;
    int fd = GetQueueFd();
    ASSERT_TRUE(SetTimer(window.hwnd, 1, 100, nullptr));
    std::atomic<bool> stop{false};
    std::thread poster([&, hwnd = window.hwnd] {
        for (WPARAM i = 0; i < 20 && !stop; ++i) {
            PostMessageA(hwnd, WM_APP, i, 0);
            std::this_thread::sleep_for(25ms);
        }
    });
    size_t wakeUps = 0;
    size_t ticks = 0;
    size_t posts = 0;
    auto end = std::chrono::steady_clock::now() + 700ms;
    while (std::chrono::steady_clock::now() < end) {
        if (!Readable(fd, 50))
            continue;
        ++wakeUps;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ++(msg.message == WM_TIMER ? ticks : posts);
    }
    stop = true;
    poster.join();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ++(msg.message == WM_TIMER ? ticks : posts);
    EXPECT_EQ(posts, 20u);
    EXPECT_GE(ticks, 3u);
    // Each wake-up found work; a spinning descriptor would wake thousands of times.
    EXPECT_LE(wakeUps, posts + ticks);
}

} // namespace
