#include "PulseSources.h"

#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <pulse/introspect.h>
#include <pulse/volume.h>

#include <cmath>

namespace {

PulsePortAvailability Availability(int available)
{
    switch (available) {
    case PA_PORT_AVAILABLE_NO:
        return PulsePortAvailability::No;
    case PA_PORT_AVAILABLE_YES:
        return PulsePortAvailability::Yes;
    default:
        return PulsePortAvailability::Unknown;
    }
}

PulseSourceInfo CopySourceInfo(const pa_source_info& source)
{
    PulseSourceInfo info;
    info.index = source.index;
    info.name = source.name ? source.name : "";
    info.description = source.description ? source.description : info.name;
    info.rate = source.sample_spec.rate;
    info.channels = source.sample_spec.channels;
    info.sampleFormat = pa_sample_format_to_string(source.sample_spec.format)
                            ? pa_sample_format_to_string(source.sample_spec.format)
                            : "";
    for (uint32_t i = 0; i < source.n_ports; ++i) {
        const pa_source_port_info* port = source.ports[i];
        info.ports.push_back({port->name ? port->name : "",
                              port->description ? port->description : "",
                              Availability(port->available)});
    }
    if (source.active_port && source.active_port->name)
        info.activePort = source.active_port->name;
    info.volume = double(pa_cvolume_avg(&source.volume)) / PA_VOLUME_NORM;
    info.muted = source.mute != 0;
    info.isMonitor = source.monitor_of_sink != PA_INVALID_INDEX;
    return info;
}

// Collects the answers of a source info request; libpulse calls once per source, then with eol.
struct SourceCollector
{
    std::vector<PulseSourceInfo> sources;
    bool failed = false; // eol < 0: the server refused, for example no such source

    static void OnSource(pa_context*, const pa_source_info* source, int eol, void* userdata)
    {
        auto* collector = static_cast<SourceCollector*>(userdata);
        try {
            if (eol < 0)
                collector->failed = true;
            else if (!eol && source)
                collector->sources.push_back(CopySourceInfo(*source));
        } catch (...) {
            // Out of memory inside a libpulse callback: report the request as failed.
            collector->failed = true;
        }
    }
};

void OnSuccess(pa_context*, int success, void* userdata)
{
    *static_cast<int*>(userdata) = success;
}

} // namespace

HRESULT PulseSources::Open(const std::string& server, std::unique_ptr<PulseSources>& sources,
                           std::string* error)
{
    sources.reset();
    std::unique_ptr<PulseConnection> connection;
    HRESULT hr = PulseConnection::Open("Quillet device list", server, connection, error);
    if (FAILED(hr))
        return hr;
    sources.reset(new (std::nothrow) PulseSources(std::move(connection)));
    return sources ? S_OK : E_OUTOFMEMORY;
}

PulseSources::PulseSources(std::unique_ptr<PulseConnection> connection)
    : connection(std::move(connection))
{
}

HRESULT PulseSources::NotConnected(std::string* error) const
{
    if (error)
        *error = "PulseAudio: the connection to " + connection->ServerName() +
                 " is lost: " + connection->LastErrorText();
    return PULSE_E_SERVER_UNAVAILABLE;
}

HRESULT PulseSources::List(std::vector<PulseSourceInfo>& sources, std::string* error)
{
    sources.clear();
    PulseConnection::Lock lock(*connection);
    if (!connection->IsReady())
        return NotConnected(error);
    SourceCollector collector;
    pa_operation* operation = pa_context_get_source_info_list(
        connection->Context(), SourceCollector::OnSource, &collector);
    if (!connection->Complete(operation, "listing the sources", error))
        return connection->IsReady() ? E_FAIL : PULSE_E_SERVER_UNAVAILABLE;
    if (collector.failed) {
        if (error)
            *error = "PulseAudio: listing the sources: " + connection->LastErrorText();
        return E_FAIL;
    }
    sources = std::move(collector.sources);
    QUILLET_LOG("pulse", "listed %zu sources", sources.size());
    return S_OK;
}

HRESULT PulseSources::Find(const std::string& source, PulseSourceInfo& info, std::string* error)
{
    PulseConnection::Lock lock(*connection);
    if (!connection->IsReady())
        return NotConnected(error);
    SourceCollector collector;
    pa_operation* operation = pa_context_get_source_info_by_name(
        connection->Context(), source.c_str(), SourceCollector::OnSource, &collector);
    if (!connection->Complete(operation, "looking up a source", error))
        return connection->IsReady() ? E_FAIL : PULSE_E_SERVER_UNAVAILABLE;
    if (collector.failed || collector.sources.empty()) {
        if (error)
            *error = "PulseAudio: no source named '" + source + "'";
        return VFW_E_NOT_FOUND;
    }
    info = std::move(collector.sources.front());
    return S_OK;
}

HRESULT PulseSources::SetActivePort(const std::string& source, const std::string& port,
                                    std::string* error)
{
    PulseSourceInfo info;
    HRESULT hr = Find(source, info, error);
    if (FAILED(hr))
        return hr;
    bool known = false;
    for (const PulsePortInfo& candidate : info.ports)
        known = known || candidate.name == port;
    if (!known) {
        if (error)
            *error = "PulseAudio: source '" + source + "' has no port named '" + port + "'";
        return VFW_E_NOT_FOUND;
    }

    PulseConnection::Lock lock(*connection);
    int success = 0;
    pa_operation* operation = pa_context_set_source_port_by_name(
        connection->Context(), source.c_str(), port.c_str(), OnSuccess, &success);
    if (!connection->Complete(operation, "selecting a port", error))
        return connection->IsReady() ? E_FAIL : PULSE_E_SERVER_UNAVAILABLE;
    if (!success) {
        if (error)
            *error = "PulseAudio: selecting port '" + port + "' of '" + source +
                     "': " + connection->LastErrorText();
        return E_FAIL;
    }
    QUILLET_LOG("pulse", "source %s: port %s selected", source.c_str(), port.c_str());
    return S_OK;
}

HRESULT PulseSources::GetVolume(const std::string& source, double& level, std::string* error)
{
    PulseSourceInfo info;
    HRESULT hr = Find(source, info, error);
    if (FAILED(hr))
        return hr;
    level = info.volume;
    return S_OK;
}

HRESULT PulseSources::SetVolume(const std::string& source, double level, std::string* error)
{
    if (!std::isfinite(level) || level < 0.0 || level > 1.0) {
        if (error)
            *error = "PulseAudio: volume " + std::to_string(level) + " is outside 0.0 to 1.0";
        return E_INVALIDARG;
    }
    PulseSourceInfo info;
    HRESULT hr = Find(source, info, error);
    if (FAILED(hr))
        return hr;

    pa_cvolume volume;
    pa_cvolume_set(&volume, info.channels,
                   static_cast<pa_volume_t>(std::lround(level * PA_VOLUME_NORM)));
    PulseConnection::Lock lock(*connection);
    int success = 0;
    pa_operation* operation = pa_context_set_source_volume_by_name(
        connection->Context(), source.c_str(), &volume, OnSuccess, &success);
    if (!connection->Complete(operation, "setting a volume", error))
        return connection->IsReady() ? E_FAIL : PULSE_E_SERVER_UNAVAILABLE;
    if (!success) {
        if (error)
            *error = "PulseAudio: setting the volume of '" + source +
                     "': " + connection->LastErrorText();
        return E_FAIL;
    }
    QUILLET_LOG("pulse", "source %s: volume %.4f", source.c_str(), level);
    return S_OK;
}
