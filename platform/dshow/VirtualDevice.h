// The description of one virtual capture device, as read by VirtualDeviceConfig. Virtual devices
// exist for what a test server cannot offer: several recording lines, no mixer, odd names.
//
// Threads: a plain value; any thread may read a copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What a virtual device captures.
enum class VirtualSignal
{
    Silence,
    Tone,    // a sine at `frequency`
    WavFile, // `wavPath` played in real time, looping
};

struct VirtualDevice
{
    std::string name;               // any UTF-8; names may repeat across devices
    std::vector<std::string> lines; // recording lines (input pins), in file order; may be empty
    double level = 1.0;             // the mix level, 0.0 to 1.0; scales the signal
    bool hasMixer = true;           // whether the lines offer a mixer (level and selection)
    bool hasCaptureOutput = true;   // whether the device offers a capture output at all
    VirtualSignal signal = VirtualSignal::Silence;
    double frequency = 0.0;        // Hz, for VirtualSignal::Tone
    std::filesystem::path wavPath; // absolute, for VirtualSignal::WavFile
    uint32_t rate = 44100;         // frames per second of the capture output
    uint32_t channels = 2;         // the WAV file's own format when the signal is a file
};
