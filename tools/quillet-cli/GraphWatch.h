// The events that a capture graph and a playback graph share (PositionProgress, GraphError,
// GraphStateChange): printed as they come, and remembered for the command's wait loop.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "EventSink.h"

class GraphWatch
{
public:
    // Handlers for the three shared events; the watch must outlive them.
    std::vector<std::pair<std::string, EventHandler>> Handlers();

    // The graph stopped after it had been running.
    bool Ended() const { return ended; }
    bool Failed() const { return failed; }
    // What the last GraphError means: "the disk is full (0x80070070)".
    std::string FailureText() const;

private:
    bool running = false;
    bool ended = false;
    bool failed = false;
    LONG failureCode = 0;
    LONG failureResult = 0;
};
