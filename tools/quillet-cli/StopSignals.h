// Ctrl+C and termination requests for a command that waits on the engine. While an object of
// this class lives, SIGINT and SIGTERM only write their number into a pipe (the one thing a
// handler may safely do); the message pump watches the pipe and the command stops its work on
// its own thread. A second signal of the same kind has its default effect and ends the
// program. Construct on the main thread; one at a time.
#pragma once

class StopSignals
{
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The descriptor that is readable once a signal came.
    int Fd() const;
    // The signal that came (consuming it from the pipe), or 0 when none did.
    int Take();
};
