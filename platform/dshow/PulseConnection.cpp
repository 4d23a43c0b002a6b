#include "PulseConnection.h"

#include "com/DebugLog.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

struct WaitTimer
{
    PulseConnection* connection;
    bool expired = false;
};

void OnWaitTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata)
{
    auto* timer = static_cast<WaitTimer*>(userdata);
    timer->expired = true;
    timer->connection->Signal();
}

void OnContextState(pa_context*, void* userdata)
{
    static_cast<PulseConnection*>(userdata)->Signal();
}

void OnOperationState(pa_operation*, void* userdata)
{
    static_cast<PulseConnection*>(userdata)->Signal();
}

// The pauses between attempts to reach a busy server: short at first, for a queue that drains
// at once, then longer, for a server held up for a while.
constexpr pa_usec_t kFirstRetryPauseUsec = 10'000;
constexpr pa_usec_t kLastRetryPauseUsec = 250'000;

// libpulse reports a server whose queue of new connections is full exactly as it reports a
// server that is not there: "Connection refused". A server busy for a moment (a burst of clients
// at once, a loaded machine) is worth waiting for; a missing one is not. A socket of our own
// tells them apart: a full queue answers EAGAIN, a socket nobody listens on ECONNREFUSED and a
// missing one ENOENT. Returns the socket's path when the server behind it is busy.
std::string BusyUnixSocket(const char* server)
{
    if (!server)
        return {};
    std::string path = server;
    if (path.rfind("unix:", 0) == 0)
        path.erase(0, 5);
    if (path.empty() || path.front() != '/')
        return {};
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return {};
    int result = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // A probe that gets in finds the queue drained already: the next attempt may too.
    bool busy = result == 0 || errno == EAGAIN;
    close(probe);
    return busy ? path : std::string();
}

} // namespace

HRESULT PulseConnection::Open(const std::string& clientName, const std::string& server,
                              std::unique_ptr<PulseConnection>& connection, std::string* error)
{
    connection.reset();
    std::unique_ptr<PulseConnection> created(new (std::nothrow) PulseConnection());
    if (!created)
        return E_OUTOFMEMORY;
    created->mainLoop = pa_threaded_mainloop_new();
    if (!created->mainLoop)
        return E_OUTOFMEMORY;
    pa_threaded_mainloop_set_name(created->mainLoop, "quillet-pulse");
    if (pa_threaded_mainloop_start(created->mainLoop) < 0) {
        if (error)
            *error = "PulseAudio: cannot start the main loop thread";
        return E_FAIL;
    }

    const char* serverName = server.empty() ? nullptr : server.c_str();
    const pa_usec_t deadline = pa_rtclock_now() + DefaultTimeoutUsec;
    pa_usec_t pause = kFirstRetryPauseUsec;
    std::string failure;
    for (;;) {
        std::string busyServer;
        {
            Lock lock(*created);
            HRESULT hr = created->ConnectOnce(clientName, serverName, failure);
            if (hr == E_OUTOFMEMORY)
                return hr;
            if (SUCCEEDED(hr))
                break;
            if (pa_context_errno(created->context) == PA_ERR_CONNECTIONREFUSED)
                busyServer = BusyUnixSocket(pa_context_get_server(created->context));
        }
        if (busyServer.empty() || pa_rtclock_now() + pause > deadline)
            break;
        QUILLET_LOG("pulse", "%s is busy: connecting again in %llu ms", busyServer.c_str(),
                    static_cast<unsigned long long>(pause / 1000));
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
        pause = std::min<pa_usec_t>(pause * 2, kLastRetryPauseUsec);
    }
    if (!failure.empty()) {
        std::string message = "PulseAudio: cannot connect to " +
                              std::string(serverName ? serverName : "the default server") + ": " +
                              failure;
        QUILLET_LOG("pulse", "%s", message.c_str());
        if (error)
            *error = message;
        return PULSE_E_SERVER_UNAVAILABLE;
    }
    QUILLET_LOG("pulse", "connection %p: connected to %s", static_cast<void*>(created.get()),
                created->ServerName().c_str());
    connection = std::move(created);
    return S_OK;
}

HRESULT PulseConnection::ConnectOnce(const std::string& clientName, const char* serverName,
                                     std::string& failure)
{
    failure.clear();
    // A failed context cannot connect again; each attempt has a context of its own.
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(mainLoop), clientName.c_str());
    if (!context)
        return E_OUTOFMEMORY;
    pa_context_set_state_callback(context, OnContextState, this);
    // A recorder must not start a sound server behind the user's back.
    if (pa_context_connect(context, serverName, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        failure = LastErrorText();
        return E_FAIL;
    }
    pa_context* connecting = context;
    bool settled = WaitUntil([connecting] {
        pa_context_state_t state = pa_context_get_state(connecting);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled)
        failure = "no answer within 5 s";
    else if (pa_context_get_state(context) != PA_CONTEXT_READY)
        failure = LastErrorText();
    return failure.empty() ? S_OK : E_FAIL;
}

PulseConnection::~PulseConnection()
{
    if (mainLoop && InMainLoopThread()) {
        // The main loop cannot join its own thread. Destroying from a callback is a caller bug;
        // disconnecting and leaking the loop keeps the process running.
        QUILLET_LOG("pulse", "connection %p destroyed on its own main loop thread: leaked",
                    static_cast<void*>(this));
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        return;
    }
    if (context) {
        Lock lock(*this);
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
    }
    if (mainLoop)
        pa_threaded_mainloop_stop(mainLoop);
    if (context)
        pa_context_unref(context);
    if (mainLoop)
        pa_threaded_mainloop_free(mainLoop);
}

std::string PulseConnection::ServerName() const
{
    const char* name = pa_context_get_server(context);
    return name ? name : "";
}

bool PulseConnection::IsReady() const
{
    return pa_context_get_state(context) == PA_CONTEXT_READY;
}

std::string PulseConnection::LastErrorText() const
{
    return pa_strerror(pa_context_errno(context));
}

bool PulseConnection::WaitUntil(const std::function<bool()>& done, uint64_t timeoutUsec)
{
    if (done())
        return true;
    // Waiting on the main loop thread would wait for ourselves.
    if (InMainLoopThread())
        return false;
    WaitTimer timer{this};
    pa_time_event* event =
        pa_context_rttime_new(context, pa_rtclock_now() + timeoutUsec, OnWaitTimeout, &timer);
    while (!done() && !timer.expired && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        pa_threaded_mainloop_wait(mainLoop);
    if (event) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainLoop);
        api->time_free(event);
    }
    return done();
}

bool PulseConnection::Complete(pa_operation* operation, const char* what, std::string* error)
{
    if (!operation) {
        if (error)
            *error = std::string("PulseAudio: ") + what + ": " + LastErrorText();
        return false;
    }
    pa_operation_set_state_callback(operation, OnOperationState, this);
    bool finished = WaitUntil(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!finished)
        pa_operation_cancel(operation);
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    if (!done && error) {
        *error = std::string("PulseAudio: ") + what + ": " +
                 (finished ? "connection lost (" + LastErrorText() + ")"
                           : std::string("the server did not answer within 5 s"));
    }
    return done;
}
