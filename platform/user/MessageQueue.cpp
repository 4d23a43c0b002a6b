#include "MessageQueue.h"

#include "com/DebugLog.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace quillet::user {

namespace {

// The same floor Windows puts under timer intervals, so a zero interval cannot spin a thread.
constexpr UINT MinimumTimerElapse = 10;

timespec ToTimespec(Clock::duration d)
{
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    if (ns < 0)
        ns = 0;
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void CloseIfOpen(int fd)
{
    if (fd >= 0)
        close(fd);
}

} // namespace

bool MessageFilter::Accepts(HWND target, UINT message) const
{
    if (hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (target)
            return false;
    } else if (hwnd && target != hwnd) {
        return false;
    }
    // A reversed range filters nothing, which also covers the usual (0, 0).
    if (first > last || (first == 0 && last == 0))
        return true;
    return message >= first && message <= last;
}

DWORD TickCount()
{
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<DWORD>(ms.count());
}

std::shared_ptr<MessageQueue> MessageQueue::Create(DWORD threadId)
{
    int epollFd = epoll_create1(EPOLL_CLOEXEC);
    int signalFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    bool ok = epollFd >= 0 && signalFd >= 0 && timerFd >= 0 && wakeFd >= 0;
    if (ok) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = signalFd;
        ok = epoll_ctl(epollFd, EPOLL_CTL_ADD, signalFd, &event) == 0;
        event.data.fd = timerFd;
        ok = ok && epoll_ctl(epollFd, EPOLL_CTL_ADD, timerFd, &event) == 0;
    }
    if (!ok) {
        QUILLET_LOG("user", "queue of thread %u: cannot open its descriptors (errno %d)", threadId,
                    errno);
        CloseIfOpen(epollFd);
        CloseIfOpen(signalFd);
        CloseIfOpen(timerFd);
        CloseIfOpen(wakeFd);
        return nullptr;
    }
    return std::shared_ptr<MessageQueue>(
        new MessageQueue(threadId, epollFd, signalFd, timerFd, wakeFd));
}

MessageQueue::MessageQueue(DWORD threadId, int epollFd, int signalFd, int timerFd, int wakeFd)
    : threadId(threadId), epollFd(epollFd), signalFd(signalFd), timerFd(timerFd), wakeFd(wakeFd)
{
    QUILLET_LOG("user", "queue of thread %u: descriptor %d", threadId, epollFd);
}

MessageQueue::~MessageQueue()
{
    QUILLET_LOG("user", "queue of thread %u: closed with %zu messages unread", threadId,
                posted.size());
    close(epollFd);
    close(signalFd);
    close(timerFd);
    close(wakeFd);
}

void MessageQueue::Post(const MSG& msg)
{
    bool wake = false;
    {
        std::lock_guard lock(mutex);
        posted.push_back(msg);
        UpdateSignalLocked();
        wake = !wakePending;
        wakePending = true;
    }
    if (wake) {
        uint64_t one = 1;
        (void)!write(wakeFd, &one, sizeof one);
    }
}

void MessageQueue::PostQuit(int exitCode)
{
    std::lock_guard lock(mutex);
    quitPending = true;
    quitCode = exitCode;
    UpdateSignalLocked();
}

bool MessageQueue::Peek(MSG& msg, const MessageFilter& filter, bool remove,
                        std::optional<Clock::time_point>* nextDue)
{
    std::lock_guard lock(mutex);
    auto found = std::find_if(posted.begin(), posted.end(), [&](const MSG& candidate) {
        return filter.Accepts(candidate.hwnd, candidate.message);
    });
    if (found != posted.end()) {
        msg = *found;
        if (remove) {
            posted.erase(found);
            UpdateSignalLocked();
        }
        return true;
    }

    if (quitPending && filter.Accepts(nullptr, WM_QUIT)) {
        msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, TickCount(), {0, 0}};
        if (remove) {
            quitPending = false;
            UpdateSignalLocked();
        }
        return true;
    }

    // Timers are read lazily, as on Windows: a due timer yields one WM_TIMER however late the
    // reader is, and the next one is counted from the moment this one was taken.
    Timer* earliest = nullptr;
    for (Timer& timer : timers)
        if (filter.Accepts(timer.hwnd, WM_TIMER) && (!earliest || timer.due < earliest->due))
            earliest = &timer;
    Clock::time_point now = Clock::now();
    if (earliest && earliest->due <= now) {
        msg = MSG{earliest->hwnd, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc),
                  TickCount(),    {0, 0}};
        if (remove) {
            earliest->due = now + earliest->interval;
            ArmTimerLocked();
        }
        return true;
    }
    if (nextDue) {
        if (earliest)
            *nextDue = earliest->due;
        else
            nextDue->reset();
    }
    return false;
}

void MessageQueue::ClearWake()
{
    std::lock_guard lock(mutex);
    if (wakePending) {
        uint64_t value = 0;
        (void)!read(wakeFd, &value, sizeof value);
        wakePending = false;
    }
}

void MessageQueue::Wait(std::optional<Clock::time_point> deadline)
{
    pollfd fd{wakeFd, POLLIN, 0};
    if (!deadline) {
        (void)ppoll(&fd, 1, nullptr, nullptr);
        return;
    }
    // Rounding up by a microsecond keeps an early wake-up from finding the timer not yet due
    // and going straight back to sleep for nothing.
    timespec timeout = ToTimespec(*deadline - Clock::now() + std::chrono::microseconds(1));
    (void)ppoll(&fd, 1, &timeout, nullptr);
}

void MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    Clock::duration interval = std::chrono::milliseconds(std::max(elapse, MinimumTimerElapse));
    std::lock_guard lock(mutex);
    auto existing = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.hwnd == hwnd && timer.id == id;
    });
    Timer timer{hwnd, id, interval, proc, Clock::now() + interval};
    if (existing != timers.end())
        *existing = timer;
    else
        timers.push_back(timer);
    ArmTimerLocked();
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id)
{
    std::lock_guard lock(mutex);
    auto removed = std::remove_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.hwnd == hwnd && timer.id == id;
    });
    if (removed == timers.end())
        return false;
    timers.erase(removed, timers.end());
    ArmTimerLocked();
    return true;
}

bool MessageQueue::HasTimerProc(HWND hwnd, UINT_PTR id, TIMERPROC proc)
{
    std::lock_guard lock(mutex);
    return std::any_of(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.hwnd == hwnd && timer.id == id && timer.proc == proc;
    });
}

std::vector<MSG> MessageQueue::Purge(HWND hwnd)
{
    std::lock_guard lock(mutex);
    size_t before = posted.size();
    std::vector<MSG> removed;
    for (const MSG& msg : posted)
        if (msg.hwnd == hwnd)
            removed.push_back(msg);
    std::erase_if(posted, [&](const MSG& msg) { return msg.hwnd == hwnd; });
    std::erase_if(timers, [&](const Timer& timer) { return timer.hwnd == hwnd; });
    if (before != posted.size())
        QUILLET_LOG("user", "window %p: dropped %zu queued messages", static_cast<void*>(hwnd),
                    before - posted.size());
    UpdateSignalLocked();
    ArmTimerLocked();
    return removed;
}

void MessageQueue::UpdateSignalLocked()
{
    bool wanted = !posted.empty() || quitPending;
    if (wanted == signalled)
        return;
    uint64_t value = 1;
    // Reading an eventfd returns its counter to zero, which is what makes the queue descriptor
    // stop reporting POLLIN once the last message is gone.
    if (wanted)
        (void)!write(signalFd, &value, sizeof value);
    else
        (void)!read(signalFd, &value, sizeof value);
    signalled = wanted;
}

void MessageQueue::ArmTimerLocked()
{
    itimerspec timerSetting{};
    auto earliest = std::min_element(timers.begin(), timers.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (earliest != timers.end()) {
        // steady_clock is CLOCK_MONOTONIC, so its time points are the timerfd's absolute times.
        // A time already past fires at once; a zero value would disarm, hence the floor.
        timerSetting.it_value = ToTimespec(earliest->due.time_since_epoch());
        if (timerSetting.it_value.tv_sec == 0 && timerSetting.it_value.tv_nsec == 0)
            timerSetting.it_value.tv_nsec = 1;
    }
    // Setting the timer also clears an expiry nobody read, so a drained queue stops polling
    // readable even though the timerfd itself is never read.
    timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &timerSetting, nullptr);
}

} // namespace quillet::user
