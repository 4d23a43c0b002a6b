// Media types: AM_MEDIA_TYPE with its WAVEFORMATEX format block, the GUIDs that name them,
// and the helpers that copy and free them. Any thread; a media type is plain data.
#pragma once

#include "com/OleAuto.h"

#pragma pack(push, 1)
// The wave format as it travels in files and format blocks: 18 bytes, packed.
struct WAVEFORMATEX
{
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize; // bytes of extra format information that follow
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;

struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat; // CoTaskMemAlloc'ed, cbFormat bytes
};

inline constexpr GUID MEDIATYPE_Audio = MakeGuid("73647561-0000-0010-8000-00AA00389B71");
inline constexpr GUID MEDIATYPE_Video = MakeGuid("73646976-0000-0010-8000-00AA00389B71");
inline constexpr GUID MEDIATYPE_Stream = MakeGuid("E436EB83-524F-11CE-9F53-0020AF0BA770");
inline constexpr GUID MEDIASUBTYPE_PCM = MakeGuid("00000001-0000-0010-8000-00AA00389B71");
inline constexpr GUID MEDIASUBTYPE_IEEE_FLOAT = MakeGuid("00000003-0000-0010-8000-00AA00389B71");
inline constexpr GUID MEDIASUBTYPE_WMAUDIO2 = MakeGuid("00000161-0000-0010-8000-00AA00389B71");
inline constexpr GUID FORMAT_WaveFormatEx = MakeGuid("05589F81-C356-11CE-BF01-00AA0055595A");
inline constexpr GUID FORMAT_None = MakeGuid("0F6417D6-C318-11D0-A43F-00A0C9223196");

// Frees the format block and the pUnk reference, leaving the record itself.
void FreeMediaType(AM_MEDIA_TYPE& mediaType);
// FreeMediaType, then CoTaskMemFree of the record (for records handed out by enumerators).
void DeleteMediaType(AM_MEDIA_TYPE* mediaType);
// Deep copy into an uninitialised target; E_OUTOFMEMORY leaves the target empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A CoTaskMemAlloc'ed deep copy, or null.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
// A PCM audio media type with its WAVEFORMATEX block (integer samples of `bits` bits).
HRESULT CreateAudioMediaType(AM_MEDIA_TYPE* target, DWORD samplesPerSecond, WORD channels,
                             WORD bits);
// The WAVEFORMATEX of an audio media type, or null when the block is not one.
const WAVEFORMATEX* WaveFormatOf(const AM_MEDIA_TYPE& mediaType);
