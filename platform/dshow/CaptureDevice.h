// One audio capture device as the device enumerator found it: a PulseAudio source or a virtual
// device, with its recording lines. Plain data; any thread may read a copy.
#pragma once

#include <string>
#include <vector>

#include "PulseSourceInfo.h"
#include "VirtualDevice.h"
#include "com/Types.h"

struct CaptureLine
{
    std::string id;   // stable: the port's server name, or the source's name
    std::string name; // for people
};

struct CaptureDevice
{
    bool isVirtual = false;
    std::string sourceName;   // the PulseAudio source; unused for a virtual device
    std::string friendlyName; // the source's description or the virtual device's name
    std::vector<CaptureLine> lines;
    bool linesArePorts = false; // each line selects a port of the source
    bool hasMixer = true;
    bool hasCaptureOutput = true;
    uint32_t rate = 0;
    uint32_t channels = 0;
    VirtualDevice virtualDevice; // for a virtual device
};

// A device for a PulseAudio source: its ports are its lines, else one line named after it.
CaptureDevice CaptureDeviceFromSource(const PulseSourceInfo& source);
// A device for a virtual device: its lines, else one line named after it.
CaptureDevice CaptureDeviceFromVirtual(const VirtualDevice& device);
// Every capture device: the PulseAudio sources in the server's order, then the virtual devices.
// A missing server or a malformed device file lists what is left, and logs why.
std::vector<CaptureDevice> ListCaptureDevices();
