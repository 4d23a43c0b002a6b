// What the recorder form hears of a playback: the playback engine's events, passed on by the
// PlaybackClient unchanged in meaning. Called on the user-interface thread, from inside the
// engine's event call.
#pragma once

#include "com/OleAuto.h"
#include "corvane.h"

class PlaybackListener
{
public:
    // The playback position in 100-ns units.
    virtual void OnPositionProgress(double position) = 0;
    // A graph event that ended the playback: its code and two parameters.
    virtual void OnGraphError(LONG code, LONG param1, LONG param2) = 0;
    // The playback graph's new state.
    virtual void OnGraphStateChange(DSGraphStates state) = 0;

protected:
    ~PlaybackListener() = default;
};
