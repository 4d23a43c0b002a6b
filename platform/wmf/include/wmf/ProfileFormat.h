// What an encoder needs to know about the audio stream of a catalogue profile. Any thread may
// call GetAudioStreamFormat on a profile it may use.
#pragma once

#include "wmf/Wmf.h"

// The audio codec generations of the catalogue.
enum class AudioCodec
{
    WmaV1, // version 4.0 profiles
    WmaV2, // version 7.0 and 8.0 profiles
};

struct AudioStreamFormat
{
    AudioCodec codec;
    const char* encoderName; // the FFmpeg encoder: "wmav1" or "wmav2" (static storage)
    WORD formatTag;          // the WAVEFORMATEX tag of the codec: 0x160 or 0x161
    DWORD samplesPerSecond;
    WORD channels;
    DWORD bitsPerSecond;
    WORD streamNumber; // the stream's number in the profile (from 1)
    DWORD streamCount; // streams in the whole profile: more than 1 means audio with video
};

// The format of the profile's audio stream. E_POINTER for null arguments, E_NOINTERFACE for a
// profile that did not come from our profile manager, E_INVALIDARG for one without audio.
// The output is cleared first.
HRESULT GetAudioStreamFormat(IWMProfile* profile, AudioStreamFormat* format);
