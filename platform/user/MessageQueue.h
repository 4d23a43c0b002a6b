// One thread's message queue: the posted messages, the quit flag and the window timers, and the
// descriptors that let a thread (or a foreign event loop) wait for them.
//
// Post may be called from any thread; everything else only from the owning thread, though the
// state is kept under one mutex because posting threads touch it too.
#pragma once

#include "user/User.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quillet::user {

using Clock = std::chrono::steady_clock;

// Which messages a GetMessageA or PeekMessageA call accepts.
struct MessageFilter
{
    HWND hwnd = nullptr; // null: all of the thread's messages; (HWND)-1: thread messages only
    UINT first = 0;
    UINT last = 0; // first == last == 0 accepts every message number

    bool Accepts(HWND target, UINT message) const;
};

// Milliseconds on the monotonic clock, wrapping as GetTickCount does.
DWORD TickCount();

class MessageQueue
{
public:
    // Opens the queue's descriptors; null when the system refuses them.
    static std::shared_ptr<MessageQueue> Create(DWORD threadId);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // The descriptor a foreign loop polls: readable while a message is posted or a timer is due.
    int Fd() const { return epollFd; }
    DWORD ThreadId() const { return threadId; }

    // Appends a message; any thread. Throws std::bad_alloc.
    void Post(const MSG& msg);
    // Raises the quit flag; WM_QUIT comes after the messages already posted.
    void PostQuit(int exitCode);

    // Finds the first message the filter accepts: posted messages in order, then WM_QUIT, then
    // a due timer. When nothing is found, *nextDue receives the time the earliest accepted timer
    // falls due (or nothing).
    bool Peek(MSG& msg, const MessageFilter& filter, bool remove,
              std::optional<Clock::time_point>* nextDue = nullptr);
    // Forgets that a post woke the queue; call before a Peek that may be followed by Wait.
    void ClearWake();
    // Blocks until a message is posted after the last ClearWake, or until the deadline.
    void Wait(std::optional<Clock::time_point> deadline);

    // Starts or replaces the timer (hwnd, id). Throws std::bad_alloc.
    void SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    // Whether the timer (hwnd, id) exists and calls proc, so that a WM_TIMER that anyone could
    // post never makes DispatchMessageA jump to an arbitrary address.
    bool HasTimerProc(HWND hwnd, UINT_PTR id, TIMERPROC proc);
    // Drops every queued message and timer of a window that is gone.
    // Removes the window's messages and timers and returns the messages removed.
    std::vector<MSG> Purge(HWND hwnd);

private:
    struct Timer
    {
        HWND hwnd;
        UINT_PTR id;
        Clock::duration interval;
        TIMERPROC proc;
        Clock::time_point due;
    };

    MessageQueue(DWORD threadId, int epollFd, int signalFd, int timerFd, int wakeFd);
    void UpdateSignalLocked();
    void ArmTimerLocked();

    const DWORD threadId;
    const int epollFd;  // what GetQueueFd hands out; watches the two below
    const int signalFd; // eventfd, non-zero while a posted message or the quit flag waits
    const int timerFd;  // timerfd, armed for the earliest timer of the thread
    const int wakeFd;   // eventfd, written by posts while the owner may be waiting in Wait

    std::mutex mutex;
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    bool quitPending = false;
    int quitCode = 0;
    bool signalled = false;
    bool wakePending = false;
};

} // namespace quillet::user
