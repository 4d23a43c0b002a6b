// The state machine of a filter graph: the state the application asked for, the order in which
// filters change state, and the stream time that IMediaSeeking reports. A filter may reach a
// state later than asked (a capture source counts as paused once its first data can flow);
// GetState waits for that with a time-out.
//
// The stream time is the graph clock's time since Run, with paused stretches left out; it is
// frozen while paused or stopped and starts again from zero when the graph runs after a stop.
//
// Threads: the graph's thread only.
#pragma once

#include <span>

#include "com/ComPtr.h"
#include "dshow/Strmif.h"

class GraphState
{
public:
    // `filters` lists every filter of the graph, sinks first; `now` is the graph clock's time.
    HRESULT Pause(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now);
    HRESULT Run(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now);
    HRESULT Stop(std::span<const ComPtr<IBaseFilter>> filters, REFERENCE_TIME now);
    // The asked-for state; VFW_S_STATE_INTERMEDIATE while a filter has not reached it within
    // the time-out (INFINITE waits).
    HRESULT GetState(std::span<const ComPtr<IBaseFilter>> filters, DWORD msTimeout,
                     FILTER_STATE* state) const;

    FILTER_STATE Target() const { return target; }
    // The stream time so far, in 100-nanosecond units.
    REFERENCE_TIME Position(REFERENCE_TIME now) const;

private:
    FILTER_STATE target = State_Stopped;
    REFERENCE_TIME streamStart = 0;  // clock time of stream time zero while running
    REFERENCE_TIME heldPosition = 0; // the stream time while paused or stopped
};
