// The media type helpers: building PCM types, deep copies and freeing.
#include <gtest/gtest.h>

#include "com/ComApi.h"
#include "dshow/MediaTypes.h"

TEST(MediaTypes, AudioTypeDescribesPcm)
{
    AM_MEDIA_TYPE type;
    ASSERT_EQ(S_OK, CreateAudioMediaType(&type, 48000, 2, 16));
    EXPECT_EQ(MEDIATYPE_Audio, type.majortype);
    EXPECT_EQ(MEDIASUBTYPE_PCM, type.subtype);
    EXPECT_EQ(FORMAT_WaveFormatEx, type.formattype);
    EXPECT_EQ(TRUE, type.bFixedSizeSamples);
    EXPECT_EQ(4u, type.lSampleSize);
    const WAVEFORMATEX* format = WaveFormatOf(type);
    ASSERT_NE(nullptr, format);
    EXPECT_EQ(WAVE_FORMAT_PCM, format->wFormatTag);
    EXPECT_EQ(2, format->nChannels);
    EXPECT_EQ(48000u, format->nSamplesPerSec);
    EXPECT_EQ(192000u, format->nAvgBytesPerSec);
    EXPECT_EQ(4, format->nBlockAlign);
    EXPECT_EQ(16, format->wBitsPerSample);
    EXPECT_EQ(0, format->cbSize);
    FreeMediaType(type);
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_EQ(0u, type.cbFormat);
}

TEST(MediaTypes, BadArgumentsAreRefused)
{
    AM_MEDIA_TYPE type;
    EXPECT_EQ(E_POINTER, CreateAudioMediaType(nullptr, 48000, 2, 16));
    EXPECT_EQ(E_INVALIDARG, CreateAudioMediaType(&type, 0, 2, 16));
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_EQ(E_INVALIDARG, CreateAudioMediaType(&type, 48000, 2, 12));
    EXPECT_EQ(E_POINTER, CopyMediaType(nullptr, &type));
    EXPECT_EQ(nullptr, CreateMediaType(nullptr));
    DeleteMediaType(nullptr); // harmless
}

TEST(MediaTypes, CopiesAreDeepAndIndependent)
{
    AM_MEDIA_TYPE original;
    ASSERT_EQ(S_OK, CreateAudioMediaType(&original, 44100, 1, 16));
    AM_MEDIA_TYPE copy;
    ASSERT_EQ(S_OK, CopyMediaType(&copy, &original));
    ASSERT_NE(original.pbFormat, copy.pbFormat);
    EXPECT_EQ(0, memcmp(original.pbFormat, copy.pbFormat, original.cbFormat));
    FreeMediaType(original);
    EXPECT_EQ(44100u, WaveFormatOf(copy)->nSamplesPerSec); // still readable

    AM_MEDIA_TYPE* heap = CreateMediaType(&copy);
    ASSERT_NE(nullptr, heap);
    EXPECT_NE(copy.pbFormat, heap->pbFormat);
    DeleteMediaType(heap);
    FreeMediaType(copy);
}

TEST(MediaTypes, WaveFormatNeedsAWaveBlock)
{
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.formattype = FORMAT_None;
    EXPECT_EQ(nullptr, WaveFormatOf(type));
    BYTE shortBlock[10] = {};
    type.formattype = FORMAT_WaveFormatEx;
    type.pbFormat = shortBlock;
    type.cbFormat = sizeof shortBlock;
    EXPECT_EQ(nullptr, WaveFormatOf(type));
}
