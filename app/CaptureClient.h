// The window program's only door to the capture engine: owns one WMACapture, wraps each call
// the recorder form needs, turns a failure into one message text, and passes the engine's
// events on to a CaptureListener. User-interface thread only; the engine's events arrive on it
// through the engine's hidden window.
#pragma once

#include <QString>
#include <cstdint>

#include "CaptureListener.h"
#include "com/Bstr.h"
#include "com/ComError.h"
#include "com/ConnectionPoints.h"
#include "corvane_client.h"

class CaptureClient
{
public:
    // The listener is not owned and outlives the client.
    explicit CaptureClient(CaptureListener* listener);
    ~CaptureClient();
    CaptureClient(const CaptureClient&) = delete;
    CaptureClient& operator=(const CaptureClient&) = delete;

    // Creates the engine object, advises the sink, prepares, applies the non-empty settings
    // (the engine keeps its own choice for a value it refuses) and builds. Throws QString.
    void Create(BSTR source, BSTR pin, BSTR profile);
    // Unadvises, resets and releases the engine object; the client can be created again.
    void Release();
    // Each throws its message text (QString) when the engine refuses.
    void SetInputPin(BSTR pin);
    void SetProfile(BSTR profile);
    void SetOutputPath(BSTR path);
    void Run();
    // Pauses a running capture and resumes a paused one; does nothing otherwise.
    void TogglePause();
    // Opens the output and holds the graph paused, so that nothing captured reaches the file: a
    // recording whose size limit leaves no room for any audio.
    void PauseFromStopped();
    void Stop();
    // Builds again for another source, keeping the pin, the profile and the output path.
    void RecreateWithSource(BSTR source);

    // The engine's current values; null when not created, on failure or when empty.
    Bstr GetSourceId() const;
    Bstr GetInputPin() const;
    Bstr GetProfileId() const;
    Bstr GetOutputPath() const;
    // The capture graph's state; dsg_error when not created or on failure.
    DSGraphStates GetState() const;
    // wm_profile_ver_invalid when not created or on failure.
    wm_profile_version GetProfileVersion() const;
    // True when the capture is stopped and its output file exists.
    bool HasRecordedFile() const;
    // The output file's size on disk; 0 without an engine or a path, all ones when the file is
    // missing.
    uint64_t GetOutputFileSize() const;
    // The record level 0..100, or 255 when the source has no level or there is no engine.
    BYTE GetRecordLevel() const;
    // Whether the engine accepted the level.
    bool SetRecordLevel(BYTE level);

    // The event sink that is advised on the engine's connection point.
    IDispatch* Sink() { return &sink; }
    bool IsCreated() const { return bool(engine); }

private:
    class EventSink final : public IDispatch
    {
    public:
        explicit EventSink(CaptureClient* client) : client(client) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override;
        // The client's lifetime is the form's business: the sink counts no references.
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        HRESULT Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    private:
        CaptureClient* client;
    };

    static constexpr DWORD kNotAdvised = 0xFEFEFEFE;

    void EnsureCreated() const;
    ComPtr<IConnectionPoint> FindEventPoint() const;
    template <class Call> void CallOrThrow(const char* context, Call call);
    // What call answers, or fallback without an engine or when the engine refuses.
    template <class T, class Call> T Quietly(T fallback, Call call) const;

    static void HandleSampleFormat(void* owner, VARIANT* const* args);
    static void HandleSampleError(void* owner, VARIANT* const* args);
    static void HandleSampleData(void* owner, VARIANT* const* args);
    static void HandlePositionProgress(void* owner, VARIANT* const* args);
    static void HandleFileSizeProgress(void* owner, VARIANT* const* args);
    static void HandleGraphError(void* owner, VARIANT* const* args);
    static void HandleGraphStateChange(void* owner, VARIANT* const* args);

    EventSink sink{this};
    DWORD cookie = kNotAdvised;
    IWMACaptureClient engine;
    CaptureListener* listener;
};
