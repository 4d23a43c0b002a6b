// A RIFF WAVE file of 16-bit PCM, read whole into memory: the signal of a virtual capture device.
// Accepts WAVE_FORMAT_PCM and WAVE_FORMAT_EXTENSIBLE with the PCM subtype; skips chunks it does not
// know (LIST, fact, ...).
//
// Threads: a WavFile is a plain value; concurrent reads are safe, writes need one owner.
#pragma once

#include "com/Types.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

class WavFile
{
public:
    // Reads and checks a whole file. VFW_E_INVALID_FILE_FORMAT for anything but 16-bit PCM
    // WAVE, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when it cannot be opened; `error` says what.
    static HRESULT Load(const std::filesystem::path& path, WavFile& wav,
                        std::string* error = nullptr);
    // Reads only the header: the format and the frame count the header declares, no samples.
    static HRESULT LoadFormat(const std::filesystem::path& path, WavFile& wav,
                              std::string* error = nullptr);
    // Parses a file image already in memory.
    static HRESULT Parse(std::span<const uint8_t> bytes, WavFile& wav,
                         std::string* error = nullptr);

    uint32_t Rate() const { return rate; }
    uint32_t Channels() const { return channels; }
    // Interleaved samples, as many as the data chunk held (a torn last frame is dropped).
    const std::vector<int16_t>& Samples() const { return samples; }
    uint64_t Frames() const { return frames; }

private:
    static HRESULT ParseImage(std::span<const uint8_t> bytes, bool withSamples, WavFile& wav,
                              std::string* error);

    uint32_t rate = 0;
    uint32_t channels = 0;
    uint64_t frames = 0;
    std::vector<int16_t> samples;
};
