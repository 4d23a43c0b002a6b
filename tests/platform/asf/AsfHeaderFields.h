// What the header of an ASF file claims about its data, read straight from the bytes, so that a
// test can hold the claims against what the file holds and what decodes from it. Shared with the
// command-line tests, which include it by path.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace asftest {

struct AsfHeaderFields
{
    bool valid = false;
    int64_t actualSize = 0;    // of the file on disk
    uint64_t fileSize = 0;     // File Properties Object
    uint64_t packets = 0;      // File Properties Object: data packets count
    uint64_t playDuration = 0; // 100 ns, the preroll included
    uint64_t sendDuration = 0; // 100 ns
    uint64_t prerollMs = 0;
    uint32_t packetSize = 0;  // the maximum, which the writer also uses as the fixed size
    int64_t dataOffset = 0;   // where the Data Object starts
    uint64_t dataSize = 0;    // Data Object: its size field
    uint64_t dataPackets = 0; // Data Object: total data packets

    // The duration that FFmpeg's demuxer reads from the header, in seconds.
    double Seconds() const { return (double(playDuration) / 10'000 - double(prerollMs)) / 1000; }
    // Where the first packet starts and where the Data Object says the packets end.
    int64_t DataStart() const { return dataOffset + 50; }
    int64_t DataEnd() const { return dataOffset + int64_t(dataSize); }
    // Whole packets between the first packet and the end of the file, and the torn rest.
    int64_t WholePacketsOnDisk() const
    {
        return packetSize ? (actualSize - DataStart()) / packetSize : 0;
    }
};

inline AsfHeaderFields ReadHeaderFields(const std::vector<uint8_t>& bytes)
{
    auto u64 = [&](size_t at) {
        uint64_t value = 0;
        if (at + 8 <= bytes.size())
            std::memcpy(&value, bytes.data() + at, 8);
        return value;
    };
    auto u32 = [&](size_t at) {
        uint32_t value = 0;
        if (at + 4 <= bytes.size())
            std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    // {75B22630-668E-11CF-A6D9-00AA0062CE6C} and {8CABDCA1-A947-11CF-8EE4-00C00C205365} as stored.
    static const uint8_t headerGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    static const uint8_t filePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                   0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    AsfHeaderFields fields;
    fields.actualSize = int64_t(bytes.size());
    if (bytes.size() < 30 || std::memcmp(bytes.data(), headerGuid, 16) != 0)
        return fields;
    const uint64_t headerSize = u64(16);
    if (headerSize + 50 > bytes.size())
        return fields;
    for (uint64_t at = 30; at + 24 <= headerSize;) {
        const uint64_t size = u64(at + 16);
        if (size < 24)
            return fields;
        if (std::memcmp(bytes.data() + at, filePropertiesGuid, 16) == 0 && size >= 104) {
            fields.fileSize = u64(at + 40);
            fields.packets = u64(at + 56);
            fields.playDuration = u64(at + 64);
            fields.sendDuration = u64(at + 72);
            fields.prerollMs = u64(at + 80);
            fields.packetSize = u32(at + 96);
            fields.valid = true;
        }
        at += size;
    }
    fields.dataOffset = int64_t(headerSize);
    fields.dataSize = u64(headerSize + 16);
    fields.dataPackets = u64(headerSize + 40);
    return fields;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline AsfHeaderFields ReadHeaderFields(const std::string& path)
{
    return ReadHeaderFields(ReadBytes(path));
}

} // namespace asftest
