// The capture sources of a PulseAudio server: listing them, selecting a source's port and
// reading or setting its volume. Sources are named by their server name, which stays valid while
// the source exists, unlike a position in a list.
//
// Threads: any thread may call any method; calls are serialised on the connection's lock. Each
// call waits for the server's answer (at most PulseConnection::DefaultTimeoutUsec). Not for use
// from a PulseAudio callback.
#pragma once

#include "PulseConnection.h"
#include "PulseSourceInfo.h"
#include "com/Types.h"

#include <memory>
#include <string>
#include <vector>

class PulseSources
{
public:
    // Connects to `server` (empty: libpulse's default). A missing server answers
    // PULSE_E_SERVER_UNAVAILABLE with the reason in `error`.
    static HRESULT Open(const std::string& server, std::unique_ptr<PulseSources>& sources,
                        std::string* error = nullptr);

    // Lists every source, monitors of outputs included, in the server's order. An empty list is
    // a valid answer (S_OK).
    HRESULT List(std::vector<PulseSourceInfo>& sources, std::string* error = nullptr);
    // One source by name; VFW_E_NOT_FOUND when there is none.
    HRESULT Find(const std::string& source, PulseSourceInfo& info, std::string* error = nullptr);
    // Makes `port` the source's active port; VFW_E_NOT_FOUND for an unknown source or port.
    HRESULT SetActivePort(const std::string& source, const std::string& port,
                          std::string* error = nullptr);
    // The source's volume as a fraction of PA_VOLUME_NORM, averaged over its channels.
    HRESULT GetVolume(const std::string& source, double& level, std::string* error = nullptr);
    // Sets every channel of the source to `level` (0.0 to 1.0) of PA_VOLUME_NORM; E_INVALIDARG
    // outside that range.
    HRESULT SetVolume(const std::string& source, double level, std::string* error = nullptr);

private:
    explicit PulseSources(std::unique_ptr<PulseConnection> connection);
    HRESULT NotConnected(std::string* error) const;

    std::unique_ptr<PulseConnection> connection;
};
