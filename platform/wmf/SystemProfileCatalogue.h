// The system profile catalogue: one constant table of every profile of every version. Any
// thread; the table never changes.
#pragma once

#include <span>

#include "wmf/ProfileFormat.h"

enum class StreamKind
{
    Audio,
    Video,
};

enum class VideoCodec
{
    None,
    WmvV1,
    WmvV2,
};

// One stream of a catalogue profile. Audio streams use the audio fields, video streams the
// video fields.
struct StreamRow
{
    StreamKind kind = StreamKind::Audio;
    DWORD bitsPerSecond = 0;
    DWORD bufferWindowMs = 0;
    AudioCodec audioCodec = AudioCodec::WmaV2;
    DWORD samplesPerSecond = 0;
    WORD channels = 0;
    VideoCodec videoCodec = VideoCodec::None;
    WORD width = 0;
    WORD height = 0;
    WORD framesPerSecond = 0;
};

inline constexpr DWORD kMaxStreamsPerProfile = 2;

struct ProfileRow
{
    WMT_VERSION version;
    GUID id;
    const WCHAR* name;
    const WCHAR* description;
    DWORD streamCount;
    StreamRow streams[kMaxStreamsPerProfile]; // stream i has the number i + 1
};

// The versions SetSystemProfileVersion accepts; 9.0 has no profiles of its own.
bool IsKnownProfileVersion(WMT_VERSION version);
// Every row, in catalogue order.
std::span<const ProfileRow> AllSystemProfiles();
// The number of rows of one version.
DWORD SystemProfileCount(WMT_VERSION version);
// Row `index` of one version, or null past the end.
const ProfileRow* FindSystemProfile(WMT_VERSION version, DWORD index);
// The row of any version with that GUID, or null.
const ProfileRow* FindSystemProfile(REFGUID id);
// The FFmpeg encoder and WAVEFORMATEX tag of an audio codec.
const char* EncoderName(AudioCodec codec);
WORD FormatTag(AudioCodec codec);
