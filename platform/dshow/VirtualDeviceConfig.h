// Reads the virtual capture devices from the file named by QUILLET_VIRTUAL_DEVICES.
//
// The file is UTF-8 text in sections, one per device, in the order the devices are listed:
//
//   # Lines starting with '#' or ';' are comments; blank lines are skipped.
//   [device]               begins a device; the keys below it describe it
//   name = USB Headset     required: the friendly name, any UTF-8, names may repeat
//   line = Microphone      zero or more: one recording line (input pin) each, in order
//   line = Line In
//   level = 0.75           the mix level, 0.0 to 1.0 (default 1.0)
//   mixer = no             whether the lines have a mixer: yes/no, true/false, 1/0 (default yes)
//   capture = yes          whether the device has a capture output (default yes)
//   signal = tone 440      tone <Hz> | silence | wav <path> (default silence); a relative path
//                          is taken from the file's folder
//   rate = 48000           frames per second (default 44100; a WAV file's own rate otherwise)
//   channels = 1           1 to 8 (default 2; a WAV file's own count otherwise)
//
// Keys are case-insensitive; each but `line` appears at most once per device. A value is the
// rest of the line with surrounding blanks removed; wrapped in double quotes it is taken as
// written, blanks included, with \" and \\ for a quote and a backslash. A '#' inside a value is
// part of it. A WAV file is opened while reading, so its format is known before streaming.
//
// Anything else is malformed: the whole file is refused with VFW_E_INVALID_FILE_FORMAT and a
// message "<file>:<line>: <what is wrong>", and no device is returned.
//
// Threads: any thread; the functions keep no state.
#pragma once

#include "VirtualDevice.h"
#include "com/Types.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class VirtualDeviceConfig
{
public:
    // The environment variable that names the file.
    static constexpr const char* EnvironmentVariable = "QUILLET_VIRTUAL_DEVICES";

    // Parses file text; `baseFolder` resolves relative WAV paths, `sourceName` names the text in
    // messages.
    static HRESULT Parse(std::string_view text, const std::filesystem::path& baseFolder,
                         const std::string& sourceName, std::vector<VirtualDevice>& devices,
                         std::string* error = nullptr);
    // Reads and parses a file; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when it cannot be read.
    static HRESULT Load(const std::filesystem::path& file, std::vector<VirtualDevice>& devices,
                        std::string* error = nullptr);
    // Loads the file named by QUILLET_VIRTUAL_DEVICES; S_FALSE and no devices when it is unset
    // or empty.
    static HRESULT LoadFromEnvironment(std::vector<VirtualDevice>& devices,
                                       std::string* error = nullptr);
};
