// One PulseAudio context on a main loop thread of its own (pa_threaded_mainloop).
//
// Every PulseSources and every PulseRecordStream owns its own connection: a stream whose server
// dies takes nothing else with it, and tearing one down never waits on another's callbacks. The
// cost is one socket and one thread per object, which a recorder with one capture stream affords.
//
// Threads: Open and the destructor from any thread except this connection's main loop thread.
// Everything else is called with the main loop locked (a Lock in scope, or from a callback,
// which PulseAudio runs with the lock held).
#pragma once

#include "PulseCaptureStream.h"
#include "com/Types.h"

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include <functional>
#include <memory>
#include <string>

class PulseConnection
{
public:
    // Holds the main loop lock for a scope. On the main loop thread the lock is already held
    // (callbacks run under it) and libpulse forbids taking it again, so there it does nothing.
    class Lock
    {
    public:
        explicit Lock(const PulseConnection& connection)
            : mainLoop(connection.mainLoop), held(!pa_threaded_mainloop_in_thread(mainLoop))
        {
            if (held)
                pa_threaded_mainloop_lock(mainLoop);
        }
        ~Lock()
        {
            if (held)
                pa_threaded_mainloop_unlock(mainLoop);
        }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainLoop;
        bool held;
    };

    // True on this connection's main loop thread, that is inside a callback.
    bool InMainLoopThread() const { return pa_threaded_mainloop_in_thread(mainLoop) != 0; }

    // How long a connect or a request may take before the server is deemed hung.
    static constexpr uint64_t DefaultTimeoutUsec = 5'000'000;

    // Connects to `server` ("unix:/path", ...) or, when empty, to the server libpulse finds
    // (PULSE_SERVER, the client configuration, the session's socket). Never spawns a server.
    // A missing server answers PULSE_E_SERVER_UNAVAILABLE with libpulse's reason in `error`.
    // A server too busy to take the connection is tried again for up to DefaultTimeoutUsec.
    static HRESULT Open(const std::string& clientName, const std::string& server,
                        std::unique_ptr<PulseConnection>& connection, std::string* error);

    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* MainLoop() const { return mainLoop; }
    pa_context* Context() const { return context; }
    // The server this connection talks to, as libpulse names it.
    std::string ServerName() const;

    // True while the context can carry requests.
    bool IsReady() const;
    // libpulse's text for the context's last error.
    std::string LastErrorText() const;

    // Wakes the waiter in WaitUntil; for callbacks.
    void Signal() { pa_threaded_mainloop_signal(mainLoop, 0); }

    // Waits until `done` holds, the context fails or `timeoutUsec` passes; true when `done` held.
    // Callbacks that change what `done` reads must call Signal.
    bool WaitUntil(const std::function<bool()>& done, uint64_t timeoutUsec = DefaultTimeoutUsec);

    // Waits for an operation to finish and releases it; false when it was cancelled (the
    // context failed) or timed out, and then `error` says why. A null operation failed at once.
    bool Complete(pa_operation* operation, const char* what, std::string* error);

private:
    PulseConnection() = default;

    // One attempt to connect, with a new context; with the main loop locked. E_OUTOFMEMORY when
    // no context could be made, else E_FAIL with libpulse's reason in `failure`.
    HRESULT ConnectOnce(const std::string& clientName, const char* serverName,
                        std::string& failure);

    pa_threaded_mainloop* mainLoop = nullptr;
    pa_context* context = nullptr;
};
