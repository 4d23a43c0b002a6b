// The window program's handle on one SimplePlayback engine object while one clip plays: wraps
// each call the recorder form needs, turns a failure into one message text, and passes the
// engine's events on to a PlaybackListener. A client is made for one clip and never reused.
// User-interface thread only; the engine's events arrive on it through the engine's hidden
// window, so Close can drop the listener without a lock.
#pragma once

#include <QString>

#include "PlaybackListener.h"
#include "com/ComError.h"
#include "com/ConnectionPoints.h"
#include "corvane_client.h"

class PlaybackClient final : public IUnknown
{
public:
    // The listener is not owned; it must stay alive until Close. The count starts at 0, so the
    // creator takes the first reference.
    explicit PlaybackClient(PlaybackListener* listener);
    PlaybackClient(const PlaybackClient&) = delete;
    PlaybackClient& operator=(const PlaybackClient&) = delete;

    // Answers IUnknown only: the client is shared by reference, not used as an interface.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    // Adds a reference and answers the new count.
    ULONG AddRef() override;
    // Drops a reference; at none the client deletes itself. The engine's subscription holds one
    // until Close, so a client that is never closed stays alive with its engine object.
    ULONG Release() override;

    // Creates the engine object, advises the sink and loads the clip at path; does nothing
    // when an engine object already exists. Throws the message text (QString) of a failure.
    void Initialize(BSTR path);
    // Starts or resumes playback; does nothing without an engine object. Throws QString.
    void Run();
    // Pauses a running playback and resumes a paused one; does nothing otherwise. Throws
    // QString.
    void TogglePause();
    // Stops playback; does nothing without an engine object. Throws QString.
    void Stop();
    // Drops the listener, then stops, unadvises and releases the engine object. Never throws.
    // The caller must hold a reference: ending the subscription drops the engine's one.
    void Close();
    // The engine's volume (1..100) as a byte, or 255 without an engine object or on failure.
    BYTE GetVolume() const;
    // Whether the engine took the volume.
    bool SetVolume(BYTE volume);

    // The event sink that is advised on the engine's connection point.
    IDispatch* Sink() { return &sink; }

private:
    class EventSink final : public IDispatch
    {
    public:
        explicit EventSink(PlaybackClient* client) : client(client) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override;
        // The sink is part of the client and counts on the client's behalf: while the engine
        // holds the sink, and while it fires an event to it, the client stays alive, even when
        // the listener drops its own reference from inside the event.
        ULONG AddRef() override { return client->AddRef(); }
        ULONG Release() override { return client->Release(); }
        HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    private:
        PlaybackClient* client;
    };

    static constexpr DWORD kNotAdvised = 0xFEFEFEFE;

    // Deleted only through Release.
    ~PlaybackClient();

    // Close's work, without the reference that keeps the client alive through it.
    void Teardown();
    ComPtr<IConnectionPoint> FindEventPoint() const;
    template <class Call> void CallOrThrow(const char* context, Call call);

    static void HandlePositionProgress(void* owner, VARIANT* const* args);
    static void HandleGraphError(void* owner, VARIANT* const* args);
    static void HandleGraphStateChange(void* owner, VARIANT* const* args);

    ULONG refCount = 0;
    PlaybackListener* listener;
    ISimplePlaybackClient engine;
    EventSink sink{this};
    DWORD cookie = kNotAdvised;
};
