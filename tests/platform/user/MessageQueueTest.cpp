#include "TestWindow.h"
#include "user/User.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr DWORD Sentinel = 0xdeadbeef;
const HWND ThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

class MessageQueueTest : public ::testing::Test
{
protected:
    void TearDown() override { DrainQueue(); }
};

TEST_F(MessageQueueTest, PostsFromManyThreadsArriveInEachSendersOrder)
{
    constexpr int Senders = 4;
    constexpr WPARAM PerSender = 10000;
    TestWindow window;
    std::vector<std::thread> senders;
    for (int sender = 0; sender < Senders; ++sender)
        senders.emplace_back([hwnd = window.hwnd, sender] {
            for (WPARAM sequence = 0; sequence < PerSender; ++sequence)
                ASSERT_TRUE(PostMessageA(hwnd, WM_APP + UINT(sender), sequence, sender));
        });

    std::vector<WPARAM> expected(Senders, 0);
    MSG msg;
    for (WPARAM received = 0; received < Senders * PerSender; ++received) {
        ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
        ASSERT_EQ(msg.hwnd, window.hwnd);
        int sender = int(msg.message - WM_APP);
        ASSERT_GE(sender, 0);
        ASSERT_LT(sender, Senders);
        ASSERT_EQ(msg.lParam, sender);
        ASSERT_EQ(msg.wParam, expected[size_t(sender)]) << "sender " << sender;
        ++expected[size_t(sender)];
    }
    for (std::thread& sender : senders)
        sender.join();
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueueTest, MessagesForADestroyedWindowAreNeverDelivered)
{
    TestWindow doomed([](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        // Posts made during destruction are dropped with the rest.
        if (message == WM_DESTROY) {
            EXPECT_TRUE(PostMessageA(hwnd, WM_APP, 99, 0));
        }
        return std::nullopt;
    });
    TestWindow survivor;
    HWND hwnd = doomed.hwnd;
    for (WPARAM i = 0; i < 3; ++i) {
        ASSERT_TRUE(PostMessageA(hwnd, WM_APP, i, 0));
        ASSERT_TRUE(PostMessageA(survivor.hwnd, WM_APP, i, 0));
    }
    ASSERT_TRUE(SetTimer(hwnd, 1, 10, nullptr));
    MSG early;
    ASSERT_TRUE(PeekMessageA(&early, hwnd, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(DestroyWindow(hwnd));

    SetLastError(Sentinel);
    EXPECT_FALSE(PostMessageA(hwnd, WM_APP, 3, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));

    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    MSG msg;
    std::vector<WPARAM> survivorMessages;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ASSERT_EQ(msg.hwnd, survivor.hwnd);
        survivorMessages.push_back(msg.wParam);
    }
    EXPECT_EQ(survivorMessages, (std::vector<WPARAM>{0, 1, 2}));

    // A message taken out before the window died reaches nobody when it is dispatched late.
    size_t seen = doomed.messages.size();
    SetLastError(Sentinel);
    EXPECT_EQ(DispatchMessageA(&early), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(doomed.messages.size(), seen);
    EXPECT_EQ(doomed.Count(WM_APP), 0u);
}

TEST_F(MessageQueueTest, PostsRacingWithDestructionNeverOutliveTheWindow)
{
    for (int round = 0; round < 20; ++round) {
        TestWindow window;
        HWND hwnd = window.hwnd;
        std::atomic<bool> started{false};
        std::atomic<int> accepted{0};
        std::thread poster([&] {
            started = true;
            while (PostMessageA(hwnd, WM_APP, 0, 0))
                ++accepted;
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        });
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ASSERT_TRUE(DestroyWindow(hwnd));
        poster.join();
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            << "round " << round << ": a message for the destroyed window survived";
    }
}

TEST_F(MessageQueueTest, PeekFiltersByWindowAndRangeAndKeepsOrder)
{
    TestWindow a;
    TestWindow b;
    ASSERT_TRUE(PostMessageA(a.hwnd, WM_APP + 1, 1, 0));
    ASSERT_TRUE(PostMessageA(b.hwnd, WM_APP + 2, 2, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_APP + 3, 3, 0)); // a thread message
    ASSERT_TRUE(PostMessageA(a.hwnd, WM_USER, 4, 0));
    ASSERT_TRUE(PostMessageA(b.hwnd, WM_APP + 1, 5, 0));

    MSG msg;
    msg.wParam = Sentinel;
    // Nothing matches: the MSG is left alone.
    EXPECT_FALSE(PeekMessageA(&msg, a.hwnd, WM_APP + 2, WM_APP + 3, PM_REMOVE));
    EXPECT_EQ(msg.wParam, Sentinel);

    // PM_NOREMOVE shows the same message again and again.
    ASSERT_TRUE(PeekMessageA(&msg, b.hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&msg, b.hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 2u);

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.hwnd, b.hwnd);

    // A window filter never yields thread messages; (HWND)-1 yields nothing else.
    ASSERT_TRUE(PeekMessageA(&msg, ThreadMessagesOnly, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, ThreadMessagesOnly, 0, 0, PM_REMOVE));

    ASSERT_TRUE(PeekMessageA(&msg, a.hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    EXPECT_FALSE(PeekMessageA(&msg, a.hwnd, 0, 0, PM_REMOVE));

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueueTest, DispatchCallsTheProcedureOfTheMessagesWindow)
{
    TestWindow window([](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_APP)
            return LRESULT(wParam * 2);
        return std::nullopt;
    });
    ASSERT_TRUE(PostMessageA(window.hwnd, WM_APP, 21, 7));
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, window.hwnd, 0, 0), TRUE);
    EXPECT_EQ(DispatchMessageA(&msg), 42);
    EXPECT_EQ(window.Count(WM_APP), 1u);
    EXPECT_EQ(window.messages.back().lParam, 7);
    EXPECT_FALSE(TranslateMessage(&msg));

    // A thread message has no procedure to reach.
    msg = MSG{nullptr, WM_APP, 1, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(window.Count(WM_APP), 1u);
}

TEST_F(MessageQueueTest, QuitEndsGetMessageAfterTheMessagesPostedBeforeIt)
{
    TestWindow window;
    ASSERT_TRUE(PostMessageA(window.hwnd, WM_APP, 1, 0));
    PostQuitMessage(7);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, UINT(WM_APP));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueueTest, AWindowProcedureCanEndItsThreadsMessageLoop)
{
    std::atomic<HWND> hwnd{nullptr};
    int exitCode = -1;
    size_t dispatched = 0;
    std::thread pump([&] {
        TestWindow window([](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
            if (message == WM_APP)
                PostQuitMessage(int(wParam));
            return std::nullopt;
        });
        hwnd = window.hwnd;
        MSG msg;
        BOOL result;
        while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
            DispatchMessageA(&msg);
            ++dispatched;
        }
        EXPECT_EQ(result, FALSE);
        exitCode = int(msg.wParam);
    });
    while (!hwnd)
        std::this_thread::yield();
    // The pump is (or soon will be) blocked in GetMessageA; the post must wake it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(PostMessageA(hwnd, WM_APP, 3, 0));
    pump.join();
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(dispatched, 1u);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MessageQueueTest, BadArgumentsFailWithoutTouchingTheQueue)
{
    TestWindow window;
    ASSERT_TRUE(PostMessageA(window.hwnd, WM_APP, 1, 0));

    SetLastError(Sentinel);
    EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    SetLastError(Sentinel);
    EXPECT_FALSE(PeekMessageA(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOACCESS));
    EXPECT_EQ(DispatchMessageA(nullptr), 0);

    TestWindow gone;
    HWND stale = gone.hwnd;
    DestroyWindow(stale);
    MSG msg;
    msg.wParam = Sentinel;
    SetLastError(Sentinel);
    EXPECT_EQ(GetMessageA(&msg, stale, 0, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(Sentinel);
    EXPECT_FALSE(PeekMessageA(&msg, stale, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(msg.wParam, Sentinel);

    SetLastError(Sentinel);
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0xffff), WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));

    // The message posted first is still there.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

TEST_F(MessageQueueTest, FilteredGetMessageSleepsWhileOtherMessagesWait)
{
    TestWindow waitedFor;
    TestWindow other;
    ASSERT_TRUE(PostMessageA(other.hwnd, WM_APP, 0, 0));
    std::thread poster([hwnd = waitedFor.hwnd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        PostMessageA(hwnd, WM_APP, 1, 0);
    });
    double cpuBefore = ThreadCpuSeconds();
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, waitedFor.hwnd, 0, 0), TRUE);
    double cpuUsed = ThreadCpuSeconds() - cpuBefore;
    poster.join();
    EXPECT_EQ(msg.hwnd, waitedFor.hwnd);
    // A wait that spun on the unmatched message would burn the whole 300 ms.
    EXPECT_LT(cpuUsed, 0.1);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, other.hwnd);
}

} // namespace
