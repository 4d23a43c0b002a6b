#include "SystemProfileCatalogue.h"

namespace {

// Audio streams buffer three seconds, video streams five, as streaming players expect.
constexpr StreamRow Audio(AudioCodec codec, DWORD samplesPerSecond, WORD channels,
                          DWORD bitsPerSecond)
{
    return {.kind = StreamKind::Audio,
            .bitsPerSecond = bitsPerSecond,
            .bufferWindowMs = 3000,
            .audioCodec = codec,
            .samplesPerSecond = samplesPerSecond,
            .channels = channels};
}

constexpr StreamRow Video(VideoCodec codec, DWORD bitsPerSecond, WORD width, WORD height,
                          WORD framesPerSecond)
{
    return {.kind = StreamKind::Video,
            .bitsPerSecond = bitsPerSecond,
            .bufferWindowMs = 5000,
            .videoCodec = codec,
            .width = width,
            .height = height,
            .framesPerSecond = framesPerSecond};
}

constexpr AudioCodec V1 = AudioCodec::WmaV1;
constexpr AudioCodec V2 = AudioCodec::WmaV2;

// Every system profile. Each audio stream asks only for what FFmpeg's WMA encoders produce:
// at least 24,000 bit/s, at most 48 kHz and two channels; the bit rates were measured with
// the encoders at each rate and channel count. No audio profile goes below 32,000 bit/s: the
// writer spends a profile's rate on the whole file, and under that the container's share would
// leave the codec less than its 24,000 bit/s floor. The video and audio-with-video profiles sit
// among the audio ones on purpose, so that clients listing audio-only profiles must skip them.
constexpr ProfileRow kSystemProfiles[] = {
    // Version 4.0: the first audio codec generation.
    {WMT_VER_4_0,
     MakeGuid("7E2E1B80-F89E-4114-86B4-7B4E6C99671B"),
     u"Speech (32 kbps, 16 kHz, mono)",
     u"Clear spoken word in small files: interviews, lectures, dictation.",
     1,
     {Audio(V1, 16000, 1, 32000)}},
    {WMT_VER_4_0,
     MakeGuid("6E3239EC-84EB-481C-949F-8C83F822C8C2"),
     u"AM radio quality (32 kbps, 22 kHz, mono)",
     u"Speech and simple music at the quality of AM radio.",
     1,
     {Audio(V1, 22050, 1, 32000)}},
    {WMT_VER_4_0,
     MakeGuid("999C72DF-046B-43B0-809B-18A5D644E5E5"),
     u"Video for slow networks (100 kbps, 176 x 144, no sound)",
     u"Small silent video for slow network links. Not suitable for sound recordings.",
     1,
     {Video(VideoCodec::WmvV1, 100000, 176, 144, 15)}},
    {WMT_VER_4_0,
     MakeGuid("4FA7A635-0419-462D-AC35-7EECDF380D97"),
     u"FM radio quality (48 kbps, 32 kHz, stereo)",
     u"Music and speech in stereo at the quality of FM radio.",
     1,
     {Audio(V1, 32000, 2, 48000)}},
    {WMT_VER_4_0,
     MakeGuid("BECF11D8-3224-40D3-9BC4-685AA6524674"),
     u"Near CD quality (64 kbps, 44 kHz, stereo)",
     u"Music in stereo with little audible loss, in moderate files.",
     1,
     {Audio(V1, 44100, 2, 64000)}},
    {WMT_VER_4_0,
     MakeGuid("1932D01F-22E4-422A-9778-1EAB8B550406"),
     u"Video with voice (132 kbps: 32 kbps audio, 22 kHz, mono)",
     u"Small video with a spoken sound track for slow network links.",
     2,
     {Audio(V1, 22050, 1, 32000), Video(VideoCodec::WmvV1, 100000, 176, 144, 15)}},
    {WMT_VER_4_0,
     MakeGuid("ECAE8445-648E-4D5D-9B1D-A2B09A27201E"),
     u"CD quality (128 kbps, 44 kHz, stereo)",
     u"Music in stereo at the quality of an audio CD. Large files.",
     1,
     {Audio(V1, 44100, 2, 128000)}},

    // Version 7.0: the second audio codec generation.
    {WMT_VER_7_0,
     MakeGuid("D734B744-EA72-430C-A1AA-5E1C9717EFF8"),
     u"Telephone speech (32 kbps, 8 kHz, mono)",
     u"Speech at telephone quality in the smallest files: voice notes and phone calls.",
     1,
     {Audio(V2, 8000, 1, 32000)}},
    {WMT_VER_7_0,
     MakeGuid("6F7E9D26-085E-48BB-823F-678D1D8E7359"),
     u"Clear speech (32 kbps, 16 kHz, mono)",
     u"Spoken word with good clarity: interviews, lectures, audio books.",
     1,
     {Audio(V2, 16000, 1, 32000)}},
    {WMT_VER_7_0,
     MakeGuid("31A45296-2EE2-4F18-8F06-A34F167781C8"),
     u"AM radio quality (32 kbps, 22 kHz, stereo)",
     u"Speech and simple music in stereo at the quality of AM radio.",
     1,
     {Audio(V2, 22050, 2, 32000)}},
    {WMT_VER_7_0,
     MakeGuid("93153262-6D9C-4620-9D05-75767AEE03EB"),
     u"Video with music (348 kbps: 48 kbps audio, 32 kHz, stereo)",
     u"Video for broadband networks with a stereo sound track.",
     2,
     {Audio(V2, 32000, 2, 48000), Video(VideoCodec::WmvV1, 300000, 320, 240, 25)}},
    {WMT_VER_7_0,
     MakeGuid("D9399E48-376A-49B5-BBEF-3E6F3A049963"),
     u"FM radio quality (48 kbps, 32 kHz, stereo)",
     u"Music and speech in stereo at the quality of FM radio.",
     1,
     {Audio(V2, 32000, 2, 48000)}},
    {WMT_VER_7_0,
     MakeGuid("ADEAC56E-8F6B-48D7-A9D5-2C66AF1C7E71"),
     u"Near CD quality (96 kbps, 44 kHz, stereo)",
     u"Music in stereo with little audible loss.",
     1,
     {Audio(V2, 44100, 2, 96000)}},
    {WMT_VER_7_0,
     MakeGuid("0007F383-AB31-40DF-A0CE-40E0116617D3"),
     u"Video for broadband (300 kbps, 320 x 240, no sound)",
     u"Silent video for broadband networks. Not suitable for sound recordings.",
     1,
     {Video(VideoCodec::WmvV1, 300000, 320, 240, 25)}},
    {WMT_VER_7_0,
     MakeGuid("21F2B9AB-BED3-4669-B983-6E027ECB4F07"),
     u"CD quality (128 kbps, 44 kHz, stereo)",
     u"Music in stereo at the quality of an audio CD. Large files.",
     1,
     {Audio(V2, 44100, 2, 128000)}},

    // Version 8.0: the second audio codec generation, the widest choice.
    {WMT_VER_8_0,
     MakeGuid("5EC82107-CAAE-4863-BF46-E1B83E08827D"),
     u"Telephone speech (32 kbps, 8 kHz, mono)",
     u"Speech at telephone quality in the smallest files: voice notes and phone calls.",
     1,
     {Audio(V2, 8000, 1, 32000)}},
    {WMT_VER_8_0,
     MakeGuid("84241DFC-8361-4EE3-94CE-12B96D64B046"),
     u"Speech (32 kbps, 16 kHz, mono)",
     u"Clear spoken word in small files: interviews, lectures, dictation.",
     1,
     {Audio(V2, 16000, 1, 32000)}},
    {WMT_VER_8_0,
     MakeGuid("B94AC13E-6F39-4999-93DD-0DB8B19D6C0D"),
     u"AM radio quality (32 kbps, 22 kHz, mono)",
     u"Speech and simple music at the quality of AM radio.",
     1,
     {Audio(V2, 22050, 1, 32000)}},
    {WMT_VER_8_0,
     MakeGuid("36E2FDAF-4C19-4C8A-9C25-A668E8149669"),
     u"FM radio quality (48 kbps, 32 kHz, stereo)",
     u"Music and speech in stereo at the quality of FM radio.",
     1,
     {Audio(V2, 32000, 2, 48000)}},
    {WMT_VER_8_0,
     MakeGuid("01656FCC-D6AD-42E0-BACE-65C71E92C12A"),
     u"Video with music (364 kbps: 64 kbps audio, 44 kHz, stereo)",
     u"Video for broadband networks with a stereo music sound track.",
     2,
     {Audio(V2, 44100, 2, 64000), Video(VideoCodec::WmvV2, 300000, 320, 240, 25)}},
    {WMT_VER_8_0,
     MakeGuid("61AB5C60-6410-4274-A169-CB4C30057F21"),
     u"Music in mono (48 kbps, 44 kHz, mono)",
     u"Full-range music or a single microphone, in one channel.",
     1,
     {Audio(V2, 44100, 1, 48000)}},
    {WMT_VER_8_0,
     MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890"),
     u"Music (64 kbps, 44 kHz, stereo)",
     u"Good stereo sound for music and everything else, in moderate files. The recommended "
     u"choice.",
     1,
     {Audio(V2, 44100, 2, 64000)}},
    {WMT_VER_8_0,
     MakeGuid("A8D64209-E00E-445F-B8BC-88681558EB14"),
     u"Near CD quality (96 kbps, 44 kHz, stereo)",
     u"Music in stereo with little audible loss.",
     1,
     {Audio(V2, 44100, 2, 96000)}},
    {WMT_VER_8_0,
     MakeGuid("DB2EEC8D-2F7F-4606-B655-0461FFDC9210"),
     u"CD quality (128 kbps, 44 kHz, stereo)",
     u"Music in stereo at the quality of an audio CD. Large files.",
     1,
     {Audio(V2, 44100, 2, 128000)}},
    {WMT_VER_8_0,
     MakeGuid("53B0A380-CE1C-4413-805A-4308F78693A4"),
     u"Video for broadband (500 kbps, 640 x 480, no sound)",
     u"Silent video for fast networks. Not suitable for sound recordings.",
     1,
     {Video(VideoCodec::WmvV2, 500000, 640, 480, 30)}},
    {WMT_VER_8_0,
     MakeGuid("FD02E46B-AA9F-4A6C-AE97-A70C8A0FE98D"),
     u"Studio quality (192 kbps, 48 kHz, stereo)",
     u"Music in stereo with the highest fidelity, for archiving and editing. Large files.",
     1,
     {Audio(V2, 48000, 2, 192000)}},
};

// The catalogue's promises, checked when it is compiled.
constexpr bool CatalogueHolds()
{
    const size_t count = sizeof(kSystemProfiles) / sizeof(kSystemProfiles[0]);
    for (size_t i = 0; i < count; ++i) {
        const ProfileRow& row = kSystemProfiles[i];
        if (row.streamCount < 1 || row.streamCount > kMaxStreamsPerProfile)
            return false;
        if (row.version != WMT_VER_4_0 && row.version != WMT_VER_7_0 && row.version != WMT_VER_8_0)
            return false;
        for (DWORD s = 0; s < row.streamCount; ++s) {
            const StreamRow& stream = row.streams[s];
            if (stream.kind != StreamKind::Audio)
                continue;
            const AudioCodec expected = row.version == WMT_VER_4_0 ? V1 : V2;
            if (stream.audioCodec != expected || stream.bitsPerSecond < 24000 ||
                stream.samplesPerSecond > 48000 || stream.channels < 1 || stream.channels > 2)
                return false;
        }
        for (size_t j = i + 1; j < count; ++j)
            if (kSystemProfiles[j].id == row.id)
                return false;
    }
    return true;
}
static_assert(CatalogueHolds(), "a catalogue profile breaks the encoder limits or repeats a GUID");

} // namespace

bool IsKnownProfileVersion(WMT_VERSION version)
{
    return version == WMT_VER_4_0 || version == WMT_VER_7_0 || version == WMT_VER_8_0 ||
           version == WMT_VER_9_0;
}

std::span<const ProfileRow> AllSystemProfiles()
{
    return kSystemProfiles;
}

DWORD SystemProfileCount(WMT_VERSION version)
{
    DWORD count = 0;
    for (const ProfileRow& row : kSystemProfiles)
        if (row.version == version)
            ++count;
    return count;
}

const ProfileRow* FindSystemProfile(WMT_VERSION version, DWORD index)
{
    for (const ProfileRow& row : kSystemProfiles) {
        if (row.version != version)
            continue;
        if (index == 0)
            return &row;
        --index;
    }
    return nullptr;
}

const ProfileRow* FindSystemProfile(REFGUID id)
{
    for (const ProfileRow& row : kSystemProfiles)
        if (row.id == id)
            return &row;
    return nullptr;
}

const char* EncoderName(AudioCodec codec)
{
    return codec == AudioCodec::WmaV1 ? "wmav1" : "wmav2";
}

WORD FormatTag(AudioCodec codec)
{
    return codec == AudioCodec::WmaV1 ? 0x0160 : 0x0161;
}
