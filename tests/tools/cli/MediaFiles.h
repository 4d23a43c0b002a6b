// Real media files around the program: clips made by the ffmpeg tool, and what ffprobe and
// ffmpeg read back from the files that the program writes.
#pragma once

#include <cstdlib>
#include <string>

#include "AudioServer.h"

// A WMA clip of a 440 Hz tone, made by ffmpeg; empty when ffmpeg failed.
inline std::string MakeToneClip(const std::string& path, double seconds)
{
    int status = 0;
    audio_test::Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=" +
                          std::to_string(seconds) + " -ac 2 -c:a wmav2 -b:a 64k '" + path + "'",
                      &status);
    return status == 0 ? path : std::string();
}

// ffprobe's "key=value" lines for the entries, such as "format=duration".
inline std::string Probe(const std::string& path, const std::string& entries)
{
    return audio_test::Shell("ffprobe -v error -show_entries " + entries +
                             " -of default=noprint_wrappers=1 '" + path + "'");
}

// The number after "key=" in ffprobe's output, or -1.
inline double ProbeNumber(const std::string& text, const std::string& key)
{
    size_t at = text.find(key + "=");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + key.size() + 1);
}

// What ffmpeg says while decoding the whole file; empty for a clean decode. A file that
// cannot be opened at all gives its message too.
inline std::string DecodeErrors(const std::string& path)
{
    int status = 0;
    std::string errors =
        audio_test::Shell("{ ffmpeg -v error -i '" + path + "' -f null - 2>&1; }", &status);
    return status == 0 ? errors : "ffmpeg failed: " + errors;
}
