// Runs the calling thread's message queue for a command that waits on the engine: the engine's
// objects fire their events from messages of a hidden window on the thread that created them,
// so nothing arrives unless this thread dispatches. Between messages the thread sleeps in
// poll() on the queue's descriptor and the stop-signal pipe.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

class StopSignals;

// Why PumpMessages returned.
enum class PumpEnd
{
    Done,      // done() held
    TimedOut,  // the deadline passed
    Signalled, // a stop signal came; StopSignals::Take tells which
};

using PumpDeadline = std::optional<std::chrono::steady_clock::time_point>;

// Dispatches messages until done() holds, the deadline (if any) passes or a signal comes.
// done() is asked again after every message.
PumpEnd PumpMessages(const std::function<bool()>& done, PumpDeadline deadline,
                     StopSignals* signals);

// Dispatches the messages that are queued already, without waiting for more.
void DrainMessages();
