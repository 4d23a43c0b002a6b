#include "TestWindow.h"
#include "user/User.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD Sentinel = 0xdeadbeef;

LRESULT PlainProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

WNDCLASSA PlainClass(const char* name, int extraBytes = 0)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &PlainProcedure;
    wc.lpszClassName = name;
    wc.cbWndExtra = extraBytes;
    return wc;
}

HWND CreatePlain(LPCSTR className)
{
    return CreateWindowExA(0, className, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
}

class WindowTest : public ::testing::Test
{
protected:
    void TearDown() override { DrainQueue(); }
};

TEST_F(WindowTest, ClassNamesAreUniqueWithoutRegardToCase)
{
    WNDCLASSA wc = PlainClass("WindowTest.Unique");
    ATOM atom = RegisterClassA(&wc);
    ASSERT_NE(atom, 0);

    WNDCLASSA shouted = PlainClass("WINDOWTEST.UNIQUE");
    SetLastError(Sentinel);
    EXPECT_EQ(RegisterClassA(&shouted), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

    // The atom names the class as well as its name does, in either case.
    HWND byAtom = CreatePlain(MAKEINTATOM(atom));
    HWND byOtherCase = CreatePlain("windowtest.unique");
    EXPECT_TRUE(IsWindow(byAtom));
    EXPECT_TRUE(IsWindow(byOtherCase));

    SetLastError(Sentinel);
    EXPECT_FALSE(UnregisterClassA("WindowTest.Unique", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(byAtom);
    DestroyWindow(byOtherCase);

    EXPECT_TRUE(UnregisterClassA("WindowTest.UNIQUE", nullptr));
    SetLastError(Sentinel);
    EXPECT_FALSE(UnregisterClassA("WindowTest.Unique", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_DOES_NOT_EXIST));

    // The name is free again once unregistered.
    EXPECT_NE(RegisterClassA(&wc), 0);
    EXPECT_TRUE(UnregisterClassA("WindowTest.Unique", nullptr));
}

TEST_F(WindowTest, RegisterClassRefusesIncompleteClasses)
{
    SetLastError(Sentinel);
    EXPECT_EQ(RegisterClassA(nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    WNDCLASSA noName = PlainClass(nullptr);
    SetLastError(Sentinel);
    EXPECT_EQ(RegisterClassA(&noName), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    WNDCLASSA noProcedure = PlainClass("WindowTest.NoProcedure");
    noProcedure.lpfnWndProc = nullptr;
    SetLastError(Sentinel);
    EXPECT_EQ(RegisterClassA(&noProcedure), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    SetLastError(Sentinel);
    EXPECT_FALSE(UnregisterClassA(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST_F(WindowTest, CreateWindowFailsForAnUnknownClass)
{
    SetLastError(Sentinel);
    EXPECT_EQ(CreatePlain("WindowTest.NeverRegistered"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    SetLastError(Sentinel);
    EXPECT_EQ(CreatePlain(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

// What CreationProcedure saw, and how it answers.
struct CreationLog
{
    std::vector<UINT> messages;
    std::vector<CREATESTRUCTA> creates;
    std::vector<std::string> classNames;
    LRESULT ncCreateResult = TRUE;
    LRESULT createResult = 0;
};
thread_local CreationLog creationLog;

LRESULT CreationProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    creationLog.messages.push_back(message);
    if (message == WM_NCCREATE || message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        creationLog.creates.push_back(*create);
        creationLog.classNames.emplace_back(create->lpszClass);
        return message == WM_NCCREATE ? creationLog.ncCreateResult : creationLog.createResult;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class CreationTest : public WindowTest
{
protected:
    void SetUp() override
    {
        creationLog = CreationLog{};
        WNDCLASSA wc{};
        wc.lpfnWndProc = &CreationProcedure;
        wc.lpszClassName = "WindowTest.Creation";
        static const bool registered = RegisterClassA(&wc) != 0;
        ASSERT_TRUE(registered);
    }
    HWND Create(LPVOID parameter)
    {
        return CreateWindowExA(7, "WindowTest.Creation", "title", 3, 1, 2, 30, 40, HWND_MESSAGE,
                               nullptr, nullptr, parameter);
    }
};

TEST_F(CreationTest, CreateParametersReachNcCreateAndCreate)
{
    int parameter = 0;
    HWND hwnd = Create(&parameter);
    ASSERT_TRUE(IsWindow(hwnd));
    ASSERT_EQ(creationLog.messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    for (const CREATESTRUCTA& create : creationLog.creates) {
        EXPECT_EQ(create.lpCreateParams, &parameter);
        EXPECT_EQ(create.hwndParent, HWND_MESSAGE);
        EXPECT_STREQ(create.lpszName, "title");
        EXPECT_EQ(create.dwExStyle, 7u);
        EXPECT_EQ(create.style, 3);
        EXPECT_EQ(create.x, 1);
        EXPECT_EQ(create.y, 2);
        EXPECT_EQ(create.cx, 30);
        EXPECT_EQ(create.cy, 40);
    }
    EXPECT_EQ(creationLog.classNames[1], "WindowTest.Creation");
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_EQ(creationLog.messages,
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(CreationTest, RefusalInNcCreateFailsCreation)
{
    creationLog.ncCreateResult = FALSE;
    EXPECT_EQ(Create(nullptr), nullptr);
    // The procedure still hears WM_NCDESTROY, so whatever it set up in WM_NCCREATE is freed.
    EXPECT_EQ(creationLog.messages, (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
}

TEST_F(CreationTest, MinusOneFromCreateDestroysTheWindow)
{
    creationLog.createResult = -1;
    EXPECT_EQ(Create(nullptr), nullptr);
    EXPECT_EQ(creationLog.messages,
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    // Any other answer keeps the window.
    creationLog = CreationLog{};
    creationLog.createResult = 1;
    HWND hwnd = Create(nullptr);
    EXPECT_TRUE(IsWindow(hwnd));
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, ProcedureThatDestroysItsWindowDuringCreationFailsCreation)
{
    TestWindow window([](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_CREATE)
            DestroyWindow(hwnd);
        return std::nullopt;
    });
    EXPECT_EQ(window.hwnd, nullptr);
    EXPECT_EQ(window.Count(WM_DESTROY), 1u);
    EXPECT_EQ(window.Count(WM_NCDESTROY), 1u);
}

TEST_F(WindowTest, WindowLongsRoundTripAndReturnThePreviousValue)
{
    WNDCLASSA wc = PlainClass("WindowTest.Longs", 2 * sizeof(LONG_PTR));
    ASSERT_NE(RegisterClassA(&wc), 0);
    auto instance = reinterpret_cast<HINSTANCE>(0x1234);
    HWND hwnd = CreateWindowExA(0, "WindowTest.Longs", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                reinterpret_cast<HMENU>(9), instance, nullptr);
    ASSERT_TRUE(IsWindow(hwnd));

    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
    int data = 0;
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data)), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_USERDATA, -5), reinterpret_cast<LONG_PTR>(&data));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), -5);

    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(instance));
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_ID), 9);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&PlainProcedure));

    // The class's extra bytes are addressed by offset and start zeroed.
    EXPECT_EQ(GetWindowLongPtrA(hwnd, sizeof(LONG_PTR)), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, sizeof(LONG_PTR), 77), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, sizeof(LONG_PTR)), 77);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0);
    SetLastError(Sentinel);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 2 * sizeof(LONG_PTR)), 0);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, -100), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));

    // Success leaves the last error alone, as callers that must tell 0 from failure rely on.
    SetLastError(Sentinel);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, 0), 0);
    EXPECT_EQ(GetLastError(), Sentinel);

    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClassA("WindowTest.Longs", nullptr));
}

LRESULT SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        return 100 + CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, 0)), hwnd,
                                     message, wParam, lParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT BaseProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        return LRESULT(wParam);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, ReplacedProcedureReceivesMessagesAndCanCallTheOldOne)
{
    WNDCLASSA wc = PlainClass("WindowTest.Subclass", sizeof(LONG_PTR));
    wc.lpfnWndProc = &BaseProcedure;
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreatePlain("WindowTest.Subclass");
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(SendMessageA(hwnd, WM_APP, 5, 0), 5);

    LONG_PTR old =
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProcedure));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&BaseProcedure));
    SetWindowLongPtrA(hwnd, 0, old);
    EXPECT_EQ(SendMessageA(hwnd, WM_APP, 5, 0), 105);

    // Posted messages go through the procedure in place when they are dispatched.
    ASSERT_TRUE(PostMessageA(hwnd, WM_APP, 6, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(DispatchMessageA(&msg), 106);

    SetLastError(Sentinel);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClassA("WindowTest.Subclass", nullptr));
}

TEST_F(WindowTest, NullAndStaleHandlesFailCleanly)
{
    TestWindow first;
    HWND stale = first.hwnd;
    ASSERT_TRUE(DestroyWindow(stale));
    // Handles are never handed out twice, so the stale one stays dead after new windows come.
    TestWindow second;
    ASSERT_NE(second.hwnd, stale);

    for (HWND bad : {HWND(nullptr), stale, reinterpret_cast<HWND>(0x7)}) {
        EXPECT_FALSE(IsWindow(bad));
        SetLastError(Sentinel);
        EXPECT_EQ(GetWindowLongPtrA(bad, GWLP_USERDATA), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(Sentinel);
        EXPECT_EQ(SetWindowLongPtrA(bad, GWLP_USERDATA, 1), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(Sentinel);
        EXPECT_FALSE(DestroyWindow(bad));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(Sentinel);
        EXPECT_EQ(SendMessageA(bad, WM_APP, 0, 0), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(Sentinel);
        EXPECT_EQ(SetTimer(bad, 1, 10, nullptr), 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        SetLastError(Sentinel);
        EXPECT_FALSE(KillTimer(bad, 1));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    }
    EXPECT_EQ(first.Count(WM_DESTROY), 1u);
}

TEST_F(WindowTest, DestroySendsDestroyOnceAndNcDestroyLast)
{
    LONG_PTR userDataDuringNcDestroy = 0;
    TestWindow window([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        // A second DestroyWindow from inside the destruction must not repeat WM_DESTROY.
        if (message == WM_DESTROY) {
            EXPECT_TRUE(DestroyWindow(hwnd));
        }
        // The window is still whole while WM_NCDESTROY runs.
        if (message == WM_NCDESTROY)
            userDataDuringNcDestroy = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
        return std::nullopt;
    });
    HWND hwnd = window.hwnd;
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(window.Count(WM_DESTROY), 1u);
    EXPECT_EQ(window.Count(WM_NCDESTROY), 1u);
    EXPECT_EQ(window.messages.back().message, UINT(WM_NCDESTROY));
    EXPECT_EQ(userDataDuringNcDestroy, reinterpret_cast<LONG_PTR>(&window));
}

TEST_F(WindowTest, DefaultProcedureAnswers)
{
    TestWindow window;
    EXPECT_EQ(DefWindowProcA(window.hwnd, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcA(window.hwnd, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(DefWindowProcA(window.hwnd, WM_APP, 1, 2), 0);
    // WM_CLOSE left to the default procedure destroys the window.
    EXPECT_EQ(SendMessageA(window.hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window.hwnd));
    EXPECT_EQ(window.Count(WM_DESTROY), 1u);
}

TEST_F(WindowTest, OtherThreadsCannotDestroyOrSendButMayPostAndUseLongs)
{
    TestWindow window;
    HWND hwnd = window.hwnd;
    std::thread other([hwnd] {
        EXPECT_TRUE(IsWindow(hwnd));
        SetLastError(Sentinel);
        EXPECT_FALSE(DestroyWindow(hwnd));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        SetLastError(Sentinel);
        EXPECT_EQ(SendMessageA(hwnd, WM_APP, 0, 0), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_OF_OTHER_THREAD));
        SetLastError(Sentinel);
        EXPECT_EQ(SetTimer(hwnd, 1, 10, nullptr), 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        EXPECT_NE(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
        EXPECT_TRUE(PostMessageA(hwnd, WM_APP, 1, 0));
        // Reading the queue of another thread's window can never succeed.
        MSG msg;
        SetLastError(Sentinel);
        EXPECT_EQ(GetMessageA(&msg, hwnd, 0, 0), -1);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_OF_OTHER_THREAD));
        EXPECT_FALSE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
        msg = MSG{hwnd, WM_APP, 2, 0, 0, {0, 0}};
        SetLastError(Sentinel);
        EXPECT_EQ(DispatchMessageA(&msg), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_OF_OTHER_THREAD));
    });
    other.join();
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(window.Count(WM_APP), 0u);
    EXPECT_EQ(window.Count(WM_DESTROY), 0u);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_APP));
    EXPECT_EQ(msg.wParam, 1u);
}

TEST_F(WindowTest, WindowsOfAThreadThatEndsAreDroppedSilently)
{
    // The TestWindow outlives its thread, so that its log shows what happened at thread exit.
    std::unique_ptr<TestWindow> window;
    size_t messagesAtCreation = 0;
    std::thread worker([&] {
        window = std::make_unique<TestWindow>();
        messagesAtCreation = window->messages.size();
        EXPECT_TRUE(PostMessageA(window->hwnd, WM_APP, 0, 0));
        EXPECT_TRUE(SetTimer(window->hwnd, 1, 10, nullptr));
    });
    worker.join();
    HWND orphan = window->hwnd;
    EXPECT_FALSE(IsWindow(orphan));
    SetLastError(Sentinel);
    EXPECT_FALSE(PostMessageA(orphan, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    // No procedure ran on the way out: no WM_DESTROY, nothing after creation.
    EXPECT_EQ(window->messages.size(), messagesAtCreation);
}

TEST(StockObjectTest, StockBrushesAndSystemCursorsAreOpaqueHandles)
{
    EXPECT_NE(GetStockObject(NULL_BRUSH), nullptr);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetStockObject(NULL_BRUSH), GetStockObject(HOLLOW_BRUSH));
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(1000), nullptr);

    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), LoadCursorA(nullptr, IDC_ARROW));
    SetLastError(Sentinel);
    EXPECT_EQ(LoadCursorA(nullptr, "NoSuchCursor"), nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(ThreadStateTest, LastErrorAndThreadIdBelongToEachThread)
{
    SetLastError(1234);
    DWORD mainId = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), mainId);
    DWORD otherId = 0;
    DWORD otherErrorAtStart = Sentinel;
    std::thread other([&] {
        otherId = GetCurrentThreadId();
        otherErrorAtStart = GetLastError();
        SetLastError(99);
    });
    other.join();
    EXPECT_NE(otherId, mainId);
    EXPECT_EQ(otherErrorAtStart, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(ThreadStateTest, AForkedChildHasAThreadIdOfItsOwn)
{
    const DWORD parentId = GetCurrentThreadId();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's only thread is the process itself.
        const DWORD id = GetCurrentThreadId();
        _exit(id != parentId && id == DWORD(getpid()) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(GetCurrentThreadId(), parentId);
}

} // namespace
