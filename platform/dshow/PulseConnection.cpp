#include "PulseConnection.h"

#include "com/DebugLog.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>

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
    created->context =
        pa_context_new(pa_threaded_mainloop_get_api(created->mainLoop), clientName.c_str());
    if (!created->context)
        return E_OUTOFMEMORY;
    pa_context_set_state_callback(created->context, OnContextState, created.get());
    if (pa_threaded_mainloop_start(created->mainLoop) < 0) {
        if (error)
            *error = "PulseAudio: cannot start the main loop thread";
        return E_FAIL;
    }

    const char* serverName = server.empty() ? nullptr : server.c_str();
    std::string failure;
    {
        Lock lock(*created);
        // A recorder must not start a sound server behind the user's back.
        if (pa_context_connect(created->context, serverName, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            failure = created->LastErrorText();
        } else {
            pa_context* context = created->context;
            bool settled = created->WaitUntil([context] {
                pa_context_state_t state = pa_context_get_state(context);
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            });
            if (!settled)
                failure = "no answer within 5 s";
            else if (pa_context_get_state(context) != PA_CONTEXT_READY)
                failure = created->LastErrorText();
        }
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
