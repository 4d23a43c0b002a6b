// The seek index of a finished recording, read the way players read it: each second's entry must
// name the data packet that plays that second, and FFmpeg's demuxer must take the index as its
// own.
#include "AsfTestSupport.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

using namespace asftest;
using Codec = AsfEncoder::Codec;

namespace {

std::string Output(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

template <typename T> T Read(const std::vector<uint8_t>& bytes, size_t at)
{
    T value{};
    if (at + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

const uint8_t kSimpleIndexGuid[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                      0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

// What the file says about itself, read with the ASF layout alone.
struct AsfFile
{
    std::vector<uint8_t> bytes;
    uint64_t headerSize = 0;
    uint64_t fileSizeField = 0;
    uint64_t prerollMs = 0;
    uint32_t packetSize = 0;
    uint64_t packetsStart = 0;
    uint64_t dataEnd = 0;

    explicit AsfFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        headerSize = Read<uint64_t>(bytes, 16);
        // FFmpeg writes the File Properties Object first.
        const size_t properties = 30;
        fileSizeField = Read<uint64_t>(bytes, properties + 40);
        prerollMs = Read<uint64_t>(bytes, properties + 80);
        packetSize = Read<uint32_t>(bytes, properties + 92);
        packetsStart = headerSize + 50;
        dataEnd = headerSize + Read<uint64_t>(bytes, headerSize + 16);
    }
};

// ffprobe's packets: byte position → presentation time in seconds.
std::map<int64_t, double> PacketTimes(const std::string& path)
{
    std::map<int64_t, double> times;
    std::string text = Output("ffprobe -v error -show_entries packet=pos,pts_time -of csv=p=0 '" +
                              path + "' 2>/dev/null");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        size_t comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        // csv gives the fields in the order ffprobe knows them: pts_time, pos.
        times[std::atoll(line.c_str() + comma + 1)] = std::atof(line.c_str());
    }
    return times;
}

} // namespace

TEST(AsfIndex, EachSecondNamesThePacketThatPlaysIt)
{
    TempFolder folder;
    for (const auto& [name, config] :
         {std::pair{"music.wma",
                    MakeConfig(folder / "music.wma", 44100, 2, Codec::Wmav2, 44100, 2, 64000)},
          std::pair{"speech.wma",
                    MakeConfig(folder / "speech.wma", 44100, 2, Codec::Wmav1, 16000, 1, 32000)}}) {
        SCOPED_TRACE(name);
        const auto pcm = MakePcm(12.3, 44100, 2, Music());
        AsfEncoder encoder;
        ASSERT_EQ(S_OK, encoder.Open(config));
        ASSERT_EQ(S_OK, encoder.Write(pcm.data(), pcm.size() * sizeof(int16_t), 0));
        ASSERT_EQ(S_OK, encoder.Finish());

        AsfFile file(config.path);
        ASSERT_GT(file.packetSize, 0u);
        // The index follows the data, and the header counts it in the file's size.
        EXPECT_EQ(file.fileSizeField, file.bytes.size());
        ASSERT_LT(file.dataEnd + 56, file.bytes.size());
        EXPECT_EQ(0, std::memcmp(file.bytes.data() + file.dataEnd, kSimpleIndexGuid, 16));
        const size_t index = size_t(file.dataEnd);
        EXPECT_EQ(Read<uint64_t>(file.bytes, index + 16), file.bytes.size() - index);
        EXPECT_EQ(0, std::memcmp(file.bytes.data() + index + 24, file.bytes.data() + 30 + 24, 16))
            << "the index names another file";
        const uint64_t interval = Read<uint64_t>(file.bytes, index + 40);
        const uint32_t count = Read<uint32_t>(file.bytes, index + 52);
        EXPECT_EQ(interval, 10'000'000u);
        // One entry per second of presentation time: the preroll and the 12.3 s of audio.
        EXPECT_NEAR(double(count), double(file.prerollMs) / 1000 + 12.3, 1.5);
        ASSERT_EQ(file.bytes.size(), index + 56 + size_t(count) * 6);

        std::map<int64_t, double> times = PacketTimes(config.path);
        ASSERT_FALSE(times.empty());
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t packet = Read<uint32_t>(file.bytes, index + 56 + i * 6);
            EXPECT_EQ(Read<uint16_t>(file.bytes, index + 56 + i * 6 + 4), 1u);
            const int64_t position = int64_t(file.packetsStart) + int64_t(packet) * file.packetSize;
            auto found = times.find(position);
            ASSERT_NE(found, times.end()) << "entry " << i << " names packet " << packet;
            // The packet starts at or before the entry's time, and the next one after it.
            const double second = double(i) - double(file.prerollMs) / 1000;
            if (found != times.begin()) {
                EXPECT_LE(found->second, second + 1e-3) << "entry " << i;
            }
            auto next = std::next(found);
            if (next != times.end()) {
                EXPECT_GT(next->second, second) << "entry " << i;
            }
        }

        // FFmpeg's demuxer reads the index when it seeks, and the audio is all there.
        std::string seek =
            Output("ffprobe -v debug -read_intervals 8%+#1 -show_entries packet=pos '" +
                   config.path + "' 2>&1");
        EXPECT_NE(seek.find("itime:0x989680, pct:1, ict:" + std::to_string(count)),
                  std::string::npos)
            << seek.substr(0, 2000);
        EXPECT_NEAR(12.3, DecodeFile(config.path).Seconds(), 0.15);
    }
}

TEST(AsfIndex, WithoutIndexingTheFileEndsWithItsData)
{
    TempFolder folder;
    AsfEncoder::Config config =
        MakeConfig(folder / "plain.wma", 44100, 2, Codec::Wmav2, 44100, 2, 64000);
    config.index = false;
    const auto pcm = MakePcm(3.0, 44100, 2, Music());
    AsfEncoder encoder;
    ASSERT_EQ(S_OK, encoder.Open(config));
    ASSERT_EQ(S_OK, encoder.Write(pcm.data(), pcm.size() * sizeof(int16_t), 0));
    ASSERT_EQ(S_OK, encoder.Finish());
    AsfFile file(config.path);
    EXPECT_EQ(file.dataEnd, file.bytes.size());
    EXPECT_EQ(file.fileSizeField, file.bytes.size());
}
