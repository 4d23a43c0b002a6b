// The user-interface thread's message queue drained from Qt's event loop, nested loops
// included.
#include "MessageQueuePump.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "user/User.h"

namespace {

constexpr UINT kPing = WM_APP + 1;
int pings = 0;
int ticks = 0;
QMessageBox* openBox = nullptr;

LRESULT PingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        ++ticks;
        return 0;
    }
    if (message != kPing)
        return DefWindowProcA(window, message, wParam, lParam);
    // The box is still open: the message came through its nested loop.
    if (++pings == 3 && openBox && openBox->isVisible())
        openBox->done(QMessageBox::Ok);
    return 0;
}

class MessageQueuePumpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = PingProcedure;
        windowClass.lpszClassName = "QuilletPumpTest";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "QuilletPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(window);
        UnregisterClassA("QuilletPumpTest", nullptr);
    }

    HWND window = nullptr;
    MessageQueuePump pump;
};

} // namespace

TEST_F(MessageQueuePumpTest, MessagesPostedFromAnotherThreadArriveInsideAModalBox)
{

    QMessageBox box(QMessageBox::Information, "Quillet", "Waiting for pings");
    openBox = &box;
    std::thread poster;
    HWND target = window;
    QTimer::singleShot(0, &box, [&] {
        poster = std::thread([target] {
            for (int i = 0; i < 3; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                PostMessageA(target, kPing, 0, 0);
            }
        });
    });
    // Should the messages never come, the box does not wait for ever.
    QTimer::singleShot(10000, &box, [&] { box.done(QMessageBox::Cancel); });
    int answer = box.exec();
    poster.join();
    openBox = nullptr;
    EXPECT_EQ(answer, QMessageBox::Ok);
    EXPECT_EQ(pings, 3);
}

TEST_F(MessageQueuePumpTest, TimersOfTheThreadFireFromQtsLoop)
{
    ASSERT_NE(SetTimer(window, 7, 20, nullptr), 0u);
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    KillTimer(window, 7);
    EXPECT_GE(ticks, 5);
    // Nothing is left queued once the pump has run.
    EXPECT_EQ(pump.Drain(), 0);
}
