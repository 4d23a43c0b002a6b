// A virtual device file for one test: written to a temporary folder and named by
// QUILLET_VIRTUAL_DEVICES while the object lives. Test thread only.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include "TempFolder.h"

class VirtualDevices
{
public:
    explicit VirtualDevices(const std::string& text)
    {
        std::string path = folder / "devices.conf";
        std::ofstream(path) << text;
        const char* old = std::getenv("QUILLET_VIRTUAL_DEVICES");
        hadPrevious = old != nullptr;
        if (old)
            previous = old;
        setenv("QUILLET_VIRTUAL_DEVICES", path.c_str(), 1);
    }
    ~VirtualDevices()
    {
        if (hadPrevious)
            setenv("QUILLET_VIRTUAL_DEVICES", previous.c_str(), 1);
        else
            unsetenv("QUILLET_VIRTUAL_DEVICES");
    }
    VirtualDevices(const VirtualDevices&) = delete;
    VirtualDevices& operator=(const VirtualDevices&) = delete;

private:
    TempFolder folder;
    std::string previous;
    bool hadPrevious = false;
};

// Three lines with a mixer, a tone; and a device without a mixer.
inline constexpr const char* kVirtualDeviceText = R"(
[device]
name = Quillet Virtual Lines
line = Microphone
line = Line In
line = CD Audio
level = 0.5
signal = tone 1000
rate = 48000
channels = 2

[device]
name = Quillet Virtual Plain
mixer = no
signal = silence
rate = 44100
channels = 1
)";
