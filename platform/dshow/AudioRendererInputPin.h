// The audio renderer's input pin: a BaseInputPin that also hands the start of each new segment
// (NewSegment, the media time that the samples' zero stands for) to the renderer, so that the
// renderer can tell the playback position in the file's time.
// Threads: as BaseInputPin; NewSegment arrives on the upstream streaming thread.
#pragma once

#include "BaseInputPin.h"

class AudioRenderer;

class AudioRendererInputPin final : public BaseInputPin
{
public:
    explicit AudioRendererInputPin(AudioRenderer* renderer);

    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

private:
    AudioRenderer* renderer;
};
