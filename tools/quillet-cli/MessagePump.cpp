#include "MessagePump.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "StopSignals.h"
#include "user/User.h"

namespace {

// A queue without a descriptor is looked at this often instead.
constexpr int FallbackPollMilliseconds = 10;

bool DispatchOne()
{
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        return false;
    DispatchMessageA(&message);
    return true;
}

int MillisecondsUntil(PumpDeadline deadline)
{
    if (!deadline)
        return -1;
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

} // namespace

PumpEnd PumpMessages(const std::function<bool()>& done, PumpDeadline deadline, StopSignals* signals)
{
    const int queueFd = GetQueueFd();
    for (;;) {
        while (!done() && DispatchOne()) {
        }
        if (done())
            return PumpEnd::Done;
        if (deadline && std::chrono::steady_clock::now() >= *deadline)
            return PumpEnd::TimedOut;
        pollfd watched[2] = {{queueFd, POLLIN, 0}, {signals ? signals->Fd() : -1, POLLIN, 0}};
        int timeout = MillisecondsUntil(deadline);
        if (queueFd < 0 && (timeout < 0 || timeout > FallbackPollMilliseconds))
            timeout = FallbackPollMilliseconds;
        if (poll(watched, 2, timeout) < 0 && errno != EINTR)
            usleep(FallbackPollMilliseconds * 1000); // never spin, whatever poll has against us
        if (watched[1].revents & POLLIN)
            return PumpEnd::Signalled;
    }
}

void DrainMessages()
{
    while (DispatchOne()) {
    }
}
