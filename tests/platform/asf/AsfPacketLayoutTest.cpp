// The packet layouts the writer gives the muxer, over every frame size FFmpeg's WMA encoders make
// for the targets they accept.
#include "AsfPacketLayout.h"
#include "dshow/FileSizeLimit.h"

#include <gtest/gtest.h>

TEST(AsfPacketLayout, PacketsHoldWholeFramesWithinTheMuxerLimitsAndHalfASecond)
{
    // Frame lengths: 512 samples up to 16 kHz, 1,024 to 22.05 kHz (32 kHz for version 1),
    // 2,048 above.
    const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    const int frameLengths[] = {512, 1024, 2048};
    for (int rate : rates) {
        for (int frameSamples : frameLengths) {
            for (int bitRate = 24000; bitRate <= 320000; bitRate += 8000) {
                const int frameBytes = int(int64_t(bitRate) * frameSamples / (rate * 8));
                AsfPacketLayout layout;
                ASSERT_EQ(S_OK, AsfPacketLayout::Choose(frameBytes, frameSamples, rate, layout));
                const int frames = layout.FramesPerPacket();
                ASSERT_GE(frames, 1);
                EXPECT_EQ(frames * frameBytes + AsfPacketLayout::PacketOverhead,
                          layout.PacketSize())
                    << rate << " Hz " << bitRate << " bit/s";
                EXPECT_GE(layout.PacketSize(), AsfPacketLayout::MinPacketSize);
                EXPECT_LE(layout.PacketSize(), AsfPacketLayout::MaxPacketSize);
                if (frameSamples * 2 <= rate) {
                    EXPECT_LE(double(frames) * frameSamples / rate, 0.5)
                        << rate << " Hz " << bitRate << " bit/s";
                }
                // Headers never cost more than a frame's worth of a 10-second file.
                EXPECT_LT(double(AsfPacketLayout::PacketOverhead) / layout.PacketSize(), 0.1);
            }
        }
    }
}

TEST(AsfPacketLayout, FramesTooLargeForAnyPacketAreRefused)
{
    AsfPacketLayout layout;
    EXPECT_EQ(E_INVALIDARG, AsfPacketLayout::Choose(70000, 2048, 48000, layout));
    EXPECT_EQ(E_INVALIDARG, AsfPacketLayout::Choose(0, 2048, 48000, layout));
    EXPECT_EQ(S_OK, AsfPacketLayout::Choose(65536 - 26, 2048, 48000, layout));
    EXPECT_EQ(1, layout.FramesPerPacket());
}

TEST(AsfPacketLayout, PacketsStayWithinWhatTheSizeLimitReckonsWith)
{
    // The clients' size limit stops early enough for three packets of FileSizeLimit::PacketBytes;
    // a layout that grew past it would let recordings end over their limit.
    const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    for (int rate : rates) {
        // The frame lengths of FFmpeg's WMA encoders at this rate, version 1 and 2.
        for (int frameSamples : {rate <= 16000   ? 512
                                 : rate <= 22050 ? 1024
                                                 : 2048,
                                 rate <= 16000   ? 512
                                 : rate <= 32000 ? 1024
                                                 : 2048}) {
            for (uint32_t bitRate = 32000; bitRate <= 320000; bitRate += 8000) {
                const int frameBytes = int(int64_t(bitRate) * frameSamples / (rate * 8));
                AsfPacketLayout layout;
                ASSERT_EQ(S_OK, AsfPacketLayout::Choose(frameBytes, frameSamples, rate, layout));
                EXPECT_LE(layout.PacketSize(), FileSizeLimit::PacketBytes(bitRate))
                    << rate << " Hz, " << frameSamples << " samples, " << bitRate << " bit/s";
            }
        }
    }
}
