// What the recorder form hears of a capture: the capture engine's events, passed on by the
// CaptureClient unchanged in meaning. Called on the user-interface thread, from inside the
// engine's event call.
#pragma once

#include "com/OleAuto.h"
#include "corvane.h"

struct WAVEFORMATEX;

class CaptureListener
{
public:
    // The format of the samples that will follow (null when the engine's record is too short
    // to hold one); the listener stores VARIANT_TRUE in *accept to receive them.
    virtual void OnSampleFormat(const WAVEFORMATEX* format, VARIANT_BOOL* accept) = 0;
    // The sample grabber could not be set up; the description may be null.
    virtual void OnSampleError(BSTR description) = 0;
    // One captured buffer: its bytes, valid only during the call, and its time in seconds.
    virtual void OnSampleData(const BYTE* data, uint32_t size, double time) = 0;
    // The capture position in 100-ns units.
    virtual void OnPositionProgress(double position) = 0;
    // The output file's size in bytes is high * 2^32 + low.
    virtual void OnFileSizeProgress(uint32_t low, uint32_t high) = 0;
    // A graph event that ended the capture: its code and two parameters.
    virtual void OnGraphError(LONG code, LONG param1, LONG param2) = 0;
    // The capture graph's new state.
    virtual void OnGraphStateChange(DSGraphStates state) = 0;

protected:
    ~CaptureListener() = default;
};
