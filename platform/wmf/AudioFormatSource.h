// The private interface through which GetAudioStreamFormat reads a catalogue profile without
// knowing its class. Threads: those of the profile.
#pragma once

#include "wmf/ProfileFormat.h"

struct IAudioFormatSource : IUnknown
{
    // The format of the profile's first audio stream; E_INVALIDARG when it has none.
    virtual HRESULT GetAudioFormat(AudioStreamFormat* format) = 0;

protected:
    ~IAudioFormatSource() = default;
};
QUILLET_DECLARE_IID(IAudioFormatSource, "A8224C2A-530D-45D1-B490-D56BF2CE9CAD");
