// What the PulseAudio server says about a capture source, copied out of libpulse's callbacks.
// Plain values: any thread may read a copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether a port has something plugged in, where the hardware can tell.
enum class PulsePortAvailability
{
    Unknown,
    No,
    Yes,
};

// One input port of a source (microphone, line in, ...): the recording lines of a capture device.
struct PulsePortInfo
{
    std::string name;        // the server's identifier, used to select the port
    std::string description; // the text for people
    PulsePortAvailability availability = PulsePortAvailability::Unknown;
};

struct PulseSourceInfo
{
    uint32_t index = 0;      // the server's index; sources are listed in its order
    std::string name;        // the server's identifier, stable while the source exists
    std::string description; // the text for people, the device's friendly name
    uint32_t rate = 0;       // native sample rate
    uint32_t channels = 0;
    std::string sampleFormat; // native sample format as libpulse names it ("s16le", "float32le")
    std::vector<PulsePortInfo> ports;
    std::string activePort; // empty when the source has no ports
    // Average of the channel volumes as a fraction of PA_VOLUME_NORM: 1.0 is 100 %, and a source
    // boosted past 100 % reads above 1.0.
    double volume = 0.0;
    bool muted = false;
    bool isMonitor = false; // the monitor of an output (sink)
};
