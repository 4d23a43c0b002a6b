// The header of a recording in progress: whatever moment the recording is cut off at, the file on
// disk is a finished file of the packets in it. Each case records into a real file, keeps a copy
// of the file after every write (what a kill at that moment leaves) and checks each copy the way
// a player would read it: the header's counts against the bytes, its duration against a decode.
#include "AsfLiveHeader.h"
#include "AsfEncoder.h"
#include "AsfHeaderFields.h"
#include "AsfTestSupport.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using namespace asftest;
using Codec = AsfEncoder::Codec;

namespace {

struct Target
{
    Codec codec;
    uint32_t rate, channels, bitRate;
};

// The catalogue's extremes: the smallest packets in time, the largest in bytes, version 1 and 2.
const Target Targets[] = {
    {Codec::Wmav2, 8000, 1, 32000},
    {Codec::Wmav1, 16000, 1, 32000},
    {Codec::Wmav2, 44100, 2, 128000},
    {Codec::Wmav2, 48000, 2, 192000},
};

std::string Describe(const Target& t)
{
    return std::string(t.codec == Codec::Wmav1 ? "wmav1 " : "wmav2 ") + std::to_string(t.rate) +
           " Hz " + std::to_string(t.channels) + " ch " + std::to_string(t.bitRate) + " bit/s";
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t count)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(count));
}

// Records `seconds` of music in capture-sized buffers and keeps a copy of the file after every
// write that changed it.
std::vector<std::vector<uint8_t>> RecordAndCopy(const std::string& path, const Target& t,
                                                double seconds, bool liveHeader = true)
{
    AsfEncoder::Config config = MakeConfig(path, 48000, 2, t.codec, t.rate, t.channels, t.bitRate);
    config.liveHeader = liveHeader;
    AsfEncoder encoder;
    std::vector<std::vector<uint8_t>> copies;
    if (FAILED(encoder.Open(config)))
        return copies;
    const auto pcm = MakePcm(seconds, 48000, 2, Music());
    const size_t step = 960 * 2; // 20 ms
    int64_t lastSize = -1;
    for (size_t at = 0; at < pcm.size(); at += step) {
        EXPECT_EQ(S_OK, encoder.Write(pcm.data() + at,
                                      std::min(step, pcm.size() - at) * sizeof(int16_t), 0));
        const int64_t size = FileSize(path);
        if (size != lastSize) {
            copies.push_back(ReadBytes(path));
            lastSize = size;
        }
    }
    EXPECT_EQ(S_OK, encoder.Finish());
    return copies;
}

} // namespace

TEST(AsfLiveHeader, ACopyTakenAfterAnyPacketIsAFinishedFile)
{
    for (const Target& t : Targets) {
        SCOPED_TRACE(Describe(t));
        TempFolder folder;
        const auto copies = RecordAndCopy(folder / "live.wma", t, 4.0);
        ASSERT_GT(copies.size(), 6u);
        size_t index = 0;
        for (const auto& bytes : copies) {
            SCOPED_TRACE("copy " + std::to_string(index++) + " of " + std::to_string(bytes.size()) +
                         " bytes");
            const AsfHeaderFields header = ReadHeaderFields(bytes);
            ASSERT_TRUE(header.valid);
            ASSERT_GT(header.packetSize, 0u);
            // The file ends after whole packets, and the header counts exactly those.
            const int64_t packets = header.WholePacketsOnDisk();
            EXPECT_EQ(header.DataStart() + packets * header.packetSize, header.actualSize);
            EXPECT_EQ(uint64_t(packets), header.packets);
            EXPECT_EQ(uint64_t(packets), header.dataPackets);
            EXPECT_EQ(header.DataEnd(), header.actualSize);
            EXPECT_EQ(header.fileSize, uint64_t(header.actualSize));
            EXPECT_EQ(header.playDuration, header.sendDuration + header.prerollMs * 10'000);

            const std::string copy = folder / "copy.wma";
            WriteBytes(copy, bytes, bytes.size());
            const Decoded decoded = DecodeFile(copy);
            ASSERT_TRUE(decoded.error.empty()) << decoded.error;
            // The header's duration is that of the packets: within a frame or two of the decode.
            EXPECT_NEAR(header.Seconds(), decoded.Seconds(), 0.2);
        }
        // One clean decode through the ffmpeg tool, as a user would check, of a copy mid-way.
        const std::string copy = folder / "middle.wma";
        WriteBytes(copy, copies[copies.size() / 2], copies[copies.size() / 2].size());
        EXPECT_EQ("", FfmpegErrors(copy));
    }
}

TEST(AsfLiveHeader, APacketTornByTheKillIsLeftOutOfTheFile)
{
    // A kill in the middle of write(2) leaves part of a packet behind the last whole one; the
    // header's Data Object ends before it, so a player stops there instead of decoding garbage.
    for (const Target& t : {Targets[0], Targets[3]}) {
        SCOPED_TRACE(Describe(t));
        TempFolder folder;
        const auto copies = RecordAndCopy(folder / "live.wma", t, 3.0);
        ASSERT_GT(copies.size(), 4u);
        const auto& before = copies[copies.size() / 2];
        const auto& after = copies[copies.size() / 2 + 1];
        const AsfHeaderFields whole = ReadHeaderFields(before);
        for (size_t torn :
             {size_t(1), size_t(whole.packetSize / 2), size_t(whole.packetSize - 1)}) {
            SCOPED_TRACE(torn);
            ASSERT_GT(after.size(), before.size() + torn);
            std::vector<uint8_t> bytes = before;
            bytes.insert(bytes.end(), after.begin() + long(before.size()),
                         after.begin() + long(before.size() + torn));
            const std::string copy = folder / "torn.wma";
            WriteBytes(copy, bytes, bytes.size());
            EXPECT_EQ("", FfmpegErrors(copy));
            const Decoded decoded = DecodeFile(copy);
            ASSERT_TRUE(decoded.error.empty()) << decoded.error;
            EXPECT_NEAR(ReadHeaderFields(bytes).Seconds(), decoded.Seconds(), 0.2);
        }
    }
}

TEST(AsfLiveHeader, UpdatesTheFieldsThatTheTrailerWrites)
{
    // The finished header and the one a cut-off file carries come from different code. Replaying
    // the trailer's own values through an update must leave its header byte for byte as it was.
    for (const Target& t : Targets) {
        SCOPED_TRACE(Describe(t));
        TempFolder folder;
        const std::string path = folder / "finished.wma";
        AsfEncoder::Config config =
            MakeConfig(path, 48000, 2, t.codec, t.rate, t.channels, t.bitRate);
        config.index = false;
        config.liveHeader = false;
        AsfEncoder encoder;
        ASSERT_EQ(S_OK, encoder.Open(config));
        const auto pcm = MakePcm(2.0, 48000, 2, Music());
        ASSERT_EQ(S_OK, encoder.Write(pcm.data(), pcm.size() * sizeof(int16_t), 0));
        ASSERT_EQ(S_OK, encoder.Finish());
        const auto finished = ReadBytes(path);
        const AsfHeaderFields trailer = ReadHeaderFields(finished);
        ASSERT_TRUE(trailer.valid);
        ASSERT_GT(trailer.packets, 0u);

        // The same file with every count the update writes scrambled.
        const std::string copy = folder / "copy.wma";
        WriteBytes(copy, finished, finished.size());
        const int fd = open(copy.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        AsfLiveHeader header;
        ASSERT_EQ(S_OK, header.Attach(fd));
        EXPECT_EQ(trailer.DataStart(), header.DataStart());
        EXPECT_EQ(int64_t(trailer.prerollMs), header.PrerollMs());
        ASSERT_EQ(S_OK, header.Update(12345, 678, 9'990'000));
        EXPECT_NE(finished, ReadBytes(copy));
        ASSERT_EQ(S_OK, header.Update(trailer.actualSize, trailer.packets,
                                      int64_t(trailer.sendDuration) + 9'999));
        close(fd);
        EXPECT_EQ(finished, ReadBytes(copy));
    }
}
