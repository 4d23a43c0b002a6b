#include "PlaybackClient.h"

#include "EventTable.h"
#include "FormatComError.h"
#include "com/ComApi.h"

PlaybackClient::PlaybackClient(PlaybackListener* listener) : listener(listener) {}

PlaybackClient::~PlaybackClient()
{
    // The last reference is gone, so the engine no longer holds the sink; it may still hold
    // an object that was never subscribed or never closed.
    Teardown();
}

HRESULT PlaybackClient::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG PlaybackClient::AddRef()
{
    return ++refCount;
}

ULONG PlaybackClient::Release()
{
    ULONG count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT PlaybackClient::EventSink::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == DIID__ISimplePlaybackEvents || riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT PlaybackClient::EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                          VARIANT*, EXCEPINFO*, UINT* argErr)
{
    static constexpr EventEntry table[] = {
        {1, 1, {VT_R8}, &PlaybackClient::HandlePositionProgress},
        {2, 3, {VT_I4, VT_I4, VT_I4}, &PlaybackClient::HandleGraphError},
        {3, 1, {VT_I4}, &PlaybackClient::HandleGraphStateChange},
    };
    return InvokeEventTable(table, client, dispid, params, argErr);
}

void PlaybackClient::HandlePositionProgress(void* owner, VARIANT* const* args)
{
    if (PlaybackListener* listener = static_cast<PlaybackClient*>(owner)->listener)
        listener->OnPositionProgress(args[0]->dblVal);
}

void PlaybackClient::HandleGraphError(void* owner, VARIANT* const* args)
{
    if (PlaybackListener* listener = static_cast<PlaybackClient*>(owner)->listener)
        listener->OnGraphError(args[0]->lVal, args[1]->lVal, args[2]->lVal);
}

void PlaybackClient::HandleGraphStateChange(void* owner, VARIANT* const* args)
{
    if (PlaybackListener* listener = static_cast<PlaybackClient*>(owner)->listener)
        listener->OnGraphStateChange(static_cast<DSGraphStates>(args[0]->lVal));
}

ComPtr<IConnectionPoint> PlaybackClient::FindEventPoint() const
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (FAILED(engine.Get()->QueryInterface(IID_PPV_ARGS(&container))) ||
        FAILED(container->FindConnectionPoint(DIID__ISimplePlaybackEvents, &point)))
        return {};
    return point;
}

template <class Call> void PlaybackClient::CallOrThrow(const char* context, Call call)
{
    if (!engine)
        return;
    try {
        call();
    } catch (const ComError& error) {
        throw FormatComError(QString::fromUtf8(context), error);
    }
}

void PlaybackClient::Initialize(BSTR path)
{
    if (engine)
        return;
    ComPtr<ISimplePlayback> created;
    if (FAILED(CoCreateInstance(CLSID_SimplePlayback, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&created))))
        throw QStringLiteral("Failed to create a Playback object instance");
    engine = ISimplePlaybackClient(created);

    // The object stays held on the failures below; the form's Close releases it.
    ComPtr<IConnectionPoint> point = FindEventPoint();
    DWORD advised = 0;
    if (!point || FAILED(point->Advise(&sink, &advised)))
        throw QStringLiteral("Failed to set the playback event sink");
    cookie = advised;

    try {
        engine.Initialize(path);
    } catch (const ComError& error) {
        throw FormatComError(QStringLiteral("Could not intialize the playback object"), error);
    }
}

void PlaybackClient::Run()
{
    CallOrThrow("Error while starting playback", [&] { engine.Run(); });
}

void PlaybackClient::TogglePause()
{
    CallOrThrow("Error while pausing playback", [&] {
        DSGraphStates state = engine.GetState();
        if (state == dsg_running)
            engine.Pause();
        else if (state == dsg_paused)
            engine.Run();
    });
}

void PlaybackClient::Stop()
{
    CallOrThrow("Error while stopping playback", [&] { engine.Stop(); });
}

void PlaybackClient::Close()
{
    // Unadvising drops the engine's reference on the sink, which may be the last one.
    AddRef();
    Teardown();
    Release();
}

void PlaybackClient::Teardown()
{
    // The Stop below reports its state change from inside the call; with the listener gone
    // first, none of the teardown reaches the form.
    listener = nullptr;
    if (!engine)
        return;
    try {
        engine.Stop();
    } catch (const ComError&) {
        // The playback ends here either way; the object is released below.
    }
    if (cookie != kNotAdvised) {
        if (ComPtr<IConnectionPoint> point = FindEventPoint())
            point->Unadvise(cookie);
        cookie = kNotAdvised;
    }
    engine = ISimplePlaybackClient();
}

BYTE PlaybackClient::GetVolume() const
{
    if (!engine)
        return 255;
    try {
        return BYTE(engine.GetVolume() & 0xFF);
    } catch (const ComError&) {
        return 255;
    }
}

bool PlaybackClient::SetVolume(BYTE volume)
{
    if (!engine)
        return false;
    try {
        engine.PutVolume(LONG(volume));
        return true;
    } catch (const ComError&) {
        return false;
    }
}
