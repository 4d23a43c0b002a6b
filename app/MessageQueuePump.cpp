#include "MessageQueuePump.h"

#include <QSocketNotifier>

#include "user/User.h"

MessageQueuePump::MessageQueuePump(QObject* parent)
    : QObject(parent), notifier(new QSocketNotifier(GetQueueFd(), QSocketNotifier::Read, this))
{
    connect(notifier, &QSocketNotifier::activated, this, [this] { Drain(); });
}

int MessageQueuePump::Drain()
{
    // The descriptor stays readable while anything is queued or due, so what is left after a
    // round comes with the next one; the bound keeps a window that posts to itself from
    // starving Qt's own events.
    constexpr int kMostPerRound = 256;
    int dispatched = 0;
    MSG msg;
    while (dispatched < kMostPerRound && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
        ++dispatched;
    }
    return dispatched;
}
