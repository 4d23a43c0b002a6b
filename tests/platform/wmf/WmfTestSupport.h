// Shared helpers of the Windows Media Format tests: running ffmpeg and ffprobe, and UTF-16
// conversions.
#pragma once

#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "com/Bstr.h"
#include "com/ComApi.h"

namespace wmftest {

// Runs a shell command and returns its standard output; *status gets its exit status.
inline std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return output;
    }
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int result = pclose(pipe);
    if (status)
        *status = result;
    return output;
}

inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Encodes `seconds` of a 440 Hz sine into an ASF file with one of FFmpeg's WMA encoders.
inline bool MakeWmaClip(const std::string& path, int seconds = 2, int rate = 44100,
                        int channels = 2, const std::string& codec = "wmav2",
                        int bitsPerSecond = 64000)
{
    int status = 0;
    RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=" +
                   std::to_string(seconds) + ":sample_rate=" + std::to_string(rate) + " -ac " +
                   std::to_string(channels) + " -ar " + std::to_string(rate) + " -c:a " + codec +
                   " -b:a " + std::to_string(bitsPerSecond) + " " + Quote(path) + " 2>&1",
               &status);
    return status == 0;
}

// "key=value" lines of an ffprobe section, as a map; tags keep their "TAG:" prefix.
inline std::map<std::string, std::string> Probe(const std::string& path,
                                                const std::string& arguments)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(RunCommand("ffprobe -v error " + arguments +
                                        " -of default=noprint_wrappers=1 " + Quote(path)));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// The number of bytes of 16-bit mono PCM that FFmpeg decodes from the file: a measure of its
// decoded duration that does not trust the header.
inline size_t DecodedBytes(const std::string& path)
{
    int status = 0;
    const std::string pcm =
        RunCommand("ffmpeg -nostdin -v error -i " + Quote(path) + " -ac 1 -f s16le -", &status);
    return status == 0 ? pcm.size() : 0;
}

inline std::u16string U16(const std::string& utf8)
{
    return quillet::Utf8ToUtf16(utf8);
}

inline std::string U8(std::u16string_view utf16)
{
    return quillet::Utf16ToUtf8(utf16);
}

inline std::string GuidText(const GUID& id)
{
    OLECHAR text[39] = {};
    StringFromGUID2(id, text, 39);
    return U8(text);
}

} // namespace wmftest
