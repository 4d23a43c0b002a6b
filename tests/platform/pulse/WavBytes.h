// Builds WAV file images byte by byte, independently of the reader under test.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace audio_test {

inline void PutU16(std::vector<uint8_t>& out, uint16_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

inline void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    PutU16(out, uint16_t(value));
    PutU16(out, uint16_t(value >> 16));
}

inline void PutTag(std::vector<uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(tag[i]));
}

struct WavLayout
{
    uint32_t rate = 8000;
    uint16_t channels = 1;
    uint16_t bits = 16;
    uint16_t formatTag = 1;      // WAVE_FORMAT_PCM
    bool extensible = false;     // WAVE_FORMAT_EXTENSIBLE carrying formatTag as its subtype
    bool listChunkFirst = false; // an odd-sized LIST chunk before the data, with its pad byte
};

inline std::vector<uint8_t> WavImage(const std::vector<int16_t>& samples,
                                     const WavLayout& layout = {})
{
    std::vector<uint8_t> fmt;
    uint16_t blockAlign = uint16_t(layout.channels * layout.bits / 8);
    PutU16(fmt, layout.extensible ? 0xFFFE : layout.formatTag);
    PutU16(fmt, layout.channels);
    PutU32(fmt, layout.rate);
    PutU32(fmt, layout.rate * blockAlign); // nAvgBytesPerSec
    PutU16(fmt, blockAlign);
    PutU16(fmt, layout.bits);
    if (layout.extensible) {
        PutU16(fmt, 22);          // cbSize
        PutU16(fmt, layout.bits); // wValidBitsPerSample
        PutU32(fmt, 0);           // dwChannelMask
        PutU16(fmt, layout.formatTag);
        const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), rest, rest + 14);
    }

    std::vector<uint8_t> body;
    PutTag(body, "WAVE");
    PutTag(body, "fmt ");
    PutU32(body, uint32_t(fmt.size()));
    body.insert(body.end(), fmt.begin(), fmt.end());
    if (layout.listChunkFirst) {
        PutTag(body, "LIST");
        PutU32(body, 5);
        PutTag(body, "INFO");
        body.push_back('x');
        body.push_back(0); // pad to an even length
    }
    PutTag(body, "data");
    PutU32(body, uint32_t(samples.size() * 2));
    for (int16_t sample : samples)
        PutU16(body, uint16_t(sample));

    std::vector<uint8_t> image;
    PutTag(image, "RIFF");
    PutU32(image, uint32_t(body.size()));
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace audio_test
