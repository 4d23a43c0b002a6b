#include "WavFile.h"

#include "dshow/Errors.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
// The header and the chunks before the data rarely come near this; LoadFormat reads no further.
constexpr size_t FormatReadLimit = 1 << 20;

uint16_t ReadU16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

HRESULT Invalid(std::string* error, const std::string& why)
{
    if (error)
        *error = "WAV: " + why;
    return VFW_E_INVALID_FILE_FORMAT;
}

HRESULT ReadFile(const std::filesystem::path& path, size_t limit, std::vector<uint8_t>& bytes,
                 uint64_t& fileSize, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::error_code sizeError;
    fileSize = std::filesystem::file_size(path, sizeError);
    if (!in || sizeError) {
        if (error)
            *error = "WAV: cannot open '" + path.string() + "'";
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    try {
        bytes.resize(size_t(std::min<uint64_t>(fileSize, limit)));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (size_t(in.gcount()) != bytes.size()) {
        if (error)
            *error = "WAV: cannot read '" + path.string() + "'";
        return E_FAIL;
    }
    return S_OK;
}

} // namespace

HRESULT WavFile::Load(const std::filesystem::path& path, WavFile& wav, std::string* error)
{
    std::vector<uint8_t> bytes;
    uint64_t fileSize = 0;
    HRESULT hr = ReadFile(path, SIZE_MAX, bytes, fileSize, error);
    if (FAILED(hr))
        return hr;
    hr = ParseImage(bytes, true, wav, error);
    if (FAILED(hr) && error)
        *error += " in '" + path.string() + "'";
    return hr;
}

HRESULT WavFile::LoadFormat(const std::filesystem::path& path, WavFile& wav, std::string* error)
{
    std::vector<uint8_t> bytes;
    uint64_t fileSize = 0;
    HRESULT hr = ReadFile(path, FormatReadLimit, bytes, fileSize, error);
    if (FAILED(hr))
        return hr;
    hr = ParseImage(bytes, false, wav, error);
    if (FAILED(hr) && error)
        *error += " in '" + path.string() + "'";
    return hr;
}

HRESULT WavFile::Parse(std::span<const uint8_t> bytes, WavFile& wav, std::string* error)
{
    return ParseImage(bytes, true, wav, error);
}

HRESULT WavFile::ParseImage(std::span<const uint8_t> bytes, bool withSamples, WavFile& wav,
                            std::string* error)
{
    // "RIFF", u32 size of what follows, "WAVE", then chunks: 4-byte id, u32 size, data padded
    // to an even length.
    if (bytes.size() < 12 || !std::equal(bytes.begin(), bytes.begin() + 4, "RIFF") ||
        !std::equal(bytes.begin() + 8, bytes.begin() + 12, "WAVE"))
        return Invalid(error, "not a RIFF WAVE file");

    WavFile parsed;
    bool haveFormat = false;
    size_t offset = 12;
    while (offset + 8 <= bytes.size()) {
        const uint8_t* header = bytes.data() + offset;
        uint32_t size = ReadU32(header + 4);
        size_t body = offset + 8;
        size_t available = bytes.size() - body;

        if (std::equal(header, header + 4, "fmt ")) {
            if (size < 16 || size > available)
                return Invalid(error, "the format chunk is truncated");
            const uint8_t* fmt = bytes.data() + body;
            uint16_t tag = ReadU16(fmt);          // wFormatTag
            uint16_t channels = ReadU16(fmt + 2); // nChannels
            uint32_t rate = ReadU32(fmt + 4);     // nSamplesPerSec
            uint16_t blockAlign = ReadU16(fmt + 12);
            uint16_t bits = ReadU16(fmt + 14); // wBitsPerSample
            if (tag == WAVE_FORMAT_EXTENSIBLE) {
                // cbSize, wValidBitsPerSample, dwChannelMask, then the subtype GUID whose first
                // two bytes carry the format tag.
                if (size < 40)
                    return Invalid(error, "the extensible format chunk is truncated");
                tag = ReadU16(fmt + 24);
            }
            if (tag != WAVE_FORMAT_PCM)
                return Invalid(error, "format tag " + std::to_string(tag) + " is not PCM");
            if (bits != 16)
                return Invalid(error, std::to_string(bits) + "-bit samples; only 16-bit is read");
            if (channels == 0 || rate == 0 || blockAlign != channels * 2)
                return Invalid(error, "inconsistent format: " + std::to_string(channels) +
                                          " channels at " + std::to_string(rate) + " Hz");
            parsed.rate = rate;
            parsed.channels = channels;
            haveFormat = true;
        } else if (std::equal(header, header + 4, "data")) {
            if (!haveFormat)
                return Invalid(error, "the data chunk comes before the format chunk");
            const size_t frameBytes = size_t(parsed.channels) * 2;
            // Writers that were killed leave a size of 0 or too large; take what is there.
            uint64_t dataBytes = size;
            if (size == 0 || (withSamples && size > available))
                dataBytes = available;
            parsed.frames = dataBytes / frameBytes;
            if (withSamples) {
                try {
                    parsed.samples.resize(size_t(parsed.frames) * parsed.channels);
                } catch (const std::bad_alloc&) {
                    return E_OUTOFMEMORY;
                }
                const uint8_t* data = bytes.data() + body;
                for (size_t i = 0; i < parsed.samples.size(); ++i)
                    parsed.samples[i] = int16_t(ReadU16(data + 2 * i));
            }
            wav = std::move(parsed);
            return S_OK;
        }
        offset = body + size + (size & 1);
    }
    return Invalid(error, haveFormat ? "no data chunk" : "no format chunk");
}
