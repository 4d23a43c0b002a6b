// Building the capture device list from the PulseAudio server and the virtual device file.
#include "CaptureDevice.h"

#include <memory>

#include "PulseSources.h"
#include "VirtualDeviceConfig.h"
#include "com/DebugLog.h"

CaptureDevice CaptureDeviceFromSource(const PulseSourceInfo& source)
{
    CaptureDevice device;
    device.sourceName = source.name;
    device.friendlyName = source.description.empty() ? source.name : source.description;
    device.rate = source.rate;
    device.channels = source.channels;
    device.linesArePorts = !source.ports.empty();
    for (const PulsePortInfo& port : source.ports)
        device.lines.push_back(
            {port.name, port.description.empty() ? port.name : port.description});
    if (device.lines.empty())
        device.lines.push_back({source.name, device.friendlyName});
    return device;
}

CaptureDevice CaptureDeviceFromVirtual(const VirtualDevice& virtualDevice)
{
    CaptureDevice device;
    device.isVirtual = true;
    device.friendlyName = virtualDevice.name;
    device.hasMixer = virtualDevice.hasMixer;
    device.hasCaptureOutput = virtualDevice.hasCaptureOutput;
    device.rate = virtualDevice.rate;
    device.channels = virtualDevice.channels;
    device.virtualDevice = virtualDevice;
    for (const std::string& line : virtualDevice.lines)
        device.lines.push_back({line, line});
    if (device.lines.empty())
        device.lines.push_back({virtualDevice.name, virtualDevice.name});
    return device;
}

std::vector<CaptureDevice> ListCaptureDevices()
{
    std::vector<CaptureDevice> devices;
    std::string error;
    std::unique_ptr<PulseSources> sources;
    std::vector<PulseSourceInfo> found;
    if (SUCCEEDED(PulseSources::Open("", sources, &error)) &&
        SUCCEEDED(sources->List(found, &error))) {
        for (const PulseSourceInfo& source : found)
            devices.push_back(CaptureDeviceFromSource(source));
    } else {
        QUILLET_LOG("graph", "no PulseAudio sources: %s", error.c_str());
    }
    std::vector<VirtualDevice> virtualDevices;
    error.clear();
    if (FAILED(VirtualDeviceConfig::LoadFromEnvironment(virtualDevices, &error)))
        QUILLET_LOG("graph", "no virtual devices: %s", error.c_str());
    for (const VirtualDevice& virtualDevice : virtualDevices)
        devices.push_back(CaptureDeviceFromVirtual(virtualDevice));
    return devices;
}
