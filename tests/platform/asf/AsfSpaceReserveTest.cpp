// A recording onto a disk that fills up: on a real tmpfs of a few dozen kilobytes the writer must
// see the end coming, stop with the disk-full code and still finish the file (whole packets, the
// final header, the index) in the space it held back, then give that space back.
#include "AsfEncoder.h"
#include "AsfHeaderFields.h"
#include "AsfTestSupport.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace asftest;
using Codec = AsfEncoder::Codec;

namespace {

} // namespace

TEST(AsfSpaceReserve, AFullDiskStopsTheRecordingWithAFinishedFile)
{
    struct Case
    {
        Codec codec;
        uint32_t rate, channels, bitRate;
        uint64_t diskKb;
    };
    for (const Case& c :
         {Case{Codec::Wmav2, 48000, 2, 192000, 64}, Case{Codec::Wmav1, 16000, 1, 32000, 24},
          Case{Codec::Wmav2, 44100, 2, 128000, 100}}) {
        SCOPED_TRACE(std::to_string(c.bitRate) + " bit/s on " + std::to_string(c.diskKb) + " KB");
        SmallFileSystem disk(c.diskKb * 1024);
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Why() << "; the file size limit case below still runs";
        const std::string path = disk / "full.wma";
        AsfEncoder encoder;
        ASSERT_EQ(S_OK,
                  encoder.Open(MakeConfig(path, 48000, 2, c.codec, c.rate, c.channels, c.bitRate)));
        const auto pcm = MakePcm(30.0, 48000, 2, Music());
        const size_t step = 960 * 2;
        HRESULT failed = S_OK;
        double failedAt = 0;
        for (size_t at = 0; at < pcm.size() && SUCCEEDED(failed); at += step) {
            failed = encoder.Write(pcm.data() + at,
                                   std::min(step, pcm.size() - at) * sizeof(int16_t), 0);
            failedAt = double(at + step) / (48000 * 2);
        }
        const HRESULT diskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        ASSERT_EQ(diskFull, failed) << "the disk never filled up";
        EXPECT_EQ(diskFull, encoder.Write(pcm.data(), step * sizeof(int16_t), 0));
        EXPECT_EQ(diskFull, encoder.Finish());

        const AsfHeaderFields header = ReadHeaderFields(path);
        ASSERT_TRUE(header.valid);
        // Whole packets, then the index: nothing torn, nothing missing.
        ASSERT_GT(header.packets, 0u);
        EXPECT_EQ(header.DataEnd(),
                  header.DataStart() + int64_t(header.packets * header.packetSize));
        EXPECT_EQ(header.dataPackets, header.packets);
        EXPECT_GT(header.actualSize, header.DataEnd()) << "no index";
        EXPECT_LT(header.actualSize - header.DataEnd(), 1024);
        EXPECT_EQ(header.fileSize, uint64_t(header.actualSize));
        EXPECT_EQ("", FfmpegErrors(path));
        const Decoded decoded = DecodeFile(path);
        ASSERT_TRUE(decoded.error.empty()) << decoded.error;
        EXPECT_NEAR(header.Seconds(), decoded.Seconds(), 0.2);
        // The disk held all but the reserve, and about what was fed when it filled up.
        EXPECT_GT(decoded.Seconds(), failedAt - 1.0);
        EXPECT_GT(double(header.actualSize), 0.5 * double(c.diskKb * 1024));
        // What finishing did not use is given back.
        EXPECT_LE(disk.UsedBytes(), (uint64_t(header.actualSize) + 4095) / 4096 * 4096);
    }
}
