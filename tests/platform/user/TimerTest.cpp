#include "TestWindow.h"
#include "user/User.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr DWORD Sentinel = 0xdeadbeef;

class TimerTest : public ::testing::Test
{
protected:
    void TearDown() override { DrainQueue(); }
};

TEST_F(TimerTest, HundredMillisecondTimerTicksAboutTenTimesASecond)
{
    constexpr UINT_PTR Tick = 1;
    constexpr UINT_PTR Stop = 2;
    size_t ticks = 0;
    TestWindow window([&](HWND, UINT message, WPARAM id, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_TIMER && id == Tick)
            ++ticks;
        if (message == WM_TIMER && id == Stop)
            PostQuitMessage(0);
        return std::nullopt;
    });
    ASSERT_EQ(SetTimer(window.hwnd, Tick, 100, nullptr), Tick);
    ASSERT_EQ(SetTimer(window.hwnd, Stop, 1500, nullptr), Stop);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    // About fifteen ticks in 1.5 s; the band only rules out a dead timer or a runaway one.
    EXPECT_GE(ticks, 10u);
    EXPECT_LE(ticks, 25u);
}

TEST_F(TimerTest, ASlowReaderGetsOneTickNotABurst)
{
    TestWindow window;
    ASSERT_EQ(SetTimer(window.hwnd, 5, 10, nullptr), 5u);
    std::this_thread::sleep_for(150ms);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window.hwnd);
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_EQ(msg.lParam, 0);
    // The next tick is counted from the one just taken, so nothing else is due yet.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(TimerTest, PostedMessagesComeBeforeADueTimerAndNoRemoveLeavesItDue)
{
    TestWindow window;
    ASSERT_TRUE(SetTimer(window.hwnd, 1, 10, nullptr));
    std::this_thread::sleep_for(30ms);
    ASSERT_TRUE(PostMessageA(window.hwnd, WM_APP, 0, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    ASSERT_TRUE(PeekMessageA(&msg, window.hwnd, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // A range that leaves WM_TIMER out never produces it.
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

std::vector<std::pair<HWND, UINT_PTR>> timerProcCalls;

void RecordingTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD)
{
    EXPECT_EQ(message, UINT(WM_TIMER));
    timerProcCalls.emplace_back(hwnd, id);
}

void UnregisteredTimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD)
{
    ADD_FAILURE() << "a forged WM_TIMER reached a timer procedure";
    timerProcCalls.emplace_back(hwnd, id);
}

TEST_F(TimerTest, TimerProcedureReceivesTheTickInsteadOfTheWindow)
{
    timerProcCalls.clear();
    TestWindow window;
    ASSERT_TRUE(SetTimer(window.hwnd, 3, 10, &RecordingTimerProc));
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(&RecordingTimerProc));
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    ASSERT_EQ(timerProcCalls.size(), 1u);
    EXPECT_EQ(timerProcCalls[0].first, window.hwnd);
    EXPECT_EQ(timerProcCalls[0].second, 3u);
    EXPECT_EQ(window.Count(WM_TIMER), 0u);

    // Anyone can post a WM_TIMER; only a procedure of a live timer is ever called.
    ASSERT_TRUE(
        PostMessageA(window.hwnd, WM_TIMER, 3, reinterpret_cast<LPARAM>(&UnregisteredTimerProc)));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_EQ(timerProcCalls.size(), 1u);
}

TEST_F(TimerTest, SetTimerReplacesAndKillTimerStops)
{
    TestWindow window;
    ASSERT_EQ(SetTimer(window.hwnd, 7, 60000, nullptr), 7u);
    // Setting the same id again replaces the interval rather than adding a second timer.
    ASSERT_EQ(SetTimer(window.hwnd, 7, 10, nullptr), 7u);
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_EQ(msg.wParam, 7u);

    EXPECT_TRUE(KillTimer(window.hwnd, 7));
    SetLastError(Sentinel);
    EXPECT_FALSE(KillTimer(window.hwnd, 7));
    EXPECT_FALSE(KillTimer(window.hwnd, 8));
    EXPECT_NE(GetLastError(), Sentinel);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    // Id 0 is a real timer, but SetTimer must still report success with a non-zero value.
    EXPECT_NE(SetTimer(window.hwnd, 0, 10, nullptr), 0u);
    EXPECT_TRUE(KillTimer(window.hwnd, 0));
}

TEST_F(TimerTest, TimersOfADestroyedWindowStop)
{
    TestWindow doomed;
    TestWindow survivor;
    ASSERT_TRUE(SetTimer(doomed.hwnd, 1, 10, nullptr));
    ASSERT_TRUE(SetTimer(survivor.hwnd, 1, 10, nullptr));
    ASSERT_TRUE(DestroyWindow(doomed.hwnd));
    std::this_thread::sleep_for(30ms);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, survivor.hwnd);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(KillTimer(doomed.hwnd, 1));
}

TEST_F(TimerTest, AProcedureMayDestroyItsWindowFromItsOwnTick)
{
    TestWindow window([](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_TIMER)
            DestroyWindow(hwnd);
        return std::nullopt;
    });
    ASSERT_TRUE(SetTimer(window.hwnd, 1, 10, nullptr));
    MSG msg;
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(window.hwnd));
    EXPECT_EQ(window.Count(WM_TIMER), 1u);
    EXPECT_EQ(window.Count(WM_DESTROY), 1u);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

} // namespace
