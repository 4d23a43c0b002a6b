#include "CaptureClient.h"

#include <sys/stat.h>

#include <cstring>

#include "EventTable.h"
#include "FormatComError.h"
#include "com/ComApi.h"
#include "dshow/MediaTypes.h"

namespace {

// The media type record of a SampleFormat payload keeps its 32-bit layout: cbFormat at
// offset 64, and the format block right after the 72-byte record. The record's own pbFormat
// field holds only the low half of an address on a 64-bit machine, so it is never read.
constexpr size_t kMediaTypeRecordSize = 72;
constexpr size_t kFormatSizeOffset = 64;

// The bytes of a one-dimensional byte array, or null.
const BYTE* ByteArrayData(const VARIANT& value, uint32_t* count)
{
    *count = 0;
    if (value.vt != (VT_ARRAY | VT_UI1) || !value.parray || value.parray->cDims != 1 ||
        !value.parray->pvData)
        return nullptr;
    *count = value.parray->rgsabound[0].cElements;
    return static_cast<const BYTE*>(value.parray->pvData);
}

const WAVEFORMATEX* DecodeSampleFormat(const VARIANT& payload)
{
    uint32_t count = 0;
    const BYTE* data = ByteArrayData(payload, &count);
    if (!data || count < kMediaTypeRecordSize + sizeof(WAVEFORMATEX))
        return nullptr;
    uint32_t formatSize =
        uint32_t(data[kFormatSizeOffset]) | uint32_t(data[kFormatSizeOffset + 1]) << 8 |
        uint32_t(data[kFormatSizeOffset + 2]) << 16 | uint32_t(data[kFormatSizeOffset + 3]) << 24;
    if (formatSize < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(data + kMediaTypeRecordSize);
}

Bstr NullWhenEmpty(Bstr value)
{
    if (value.Empty())
        value.Reset();
    return value;
}

} // namespace

CaptureClient::CaptureClient(CaptureListener* listener) : listener(listener) {}

CaptureClient::~CaptureClient()
{
    Release();
}

HRESULT CaptureClient::EventSink::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == DIID__IWMACaptureEvents || riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CaptureClient::EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params,
                                         VARIANT*, EXCEPINFO*, UINT* argErr)
{
    static constexpr EventEntry table[] = {
        {1, 2, {VT_VARIANT, VT_BYREF | VT_BOOL}, &CaptureClient::HandleSampleFormat},
        {2, 1, {VT_BSTR}, &CaptureClient::HandleSampleError},
        {3, 2, {VT_VARIANT, VT_R8}, &CaptureClient::HandleSampleData},
        {4, 1, {VT_R8}, &CaptureClient::HandlePositionProgress},
        {5, 2, {VT_I4, VT_I4}, &CaptureClient::HandleFileSizeProgress},
        {6, 3, {VT_I4, VT_I4, VT_I4}, &CaptureClient::HandleGraphError},
        {7, 1, {VT_I4}, &CaptureClient::HandleGraphStateChange},
    };
    return InvokeEventTable(table, client, dispid, params, argErr);
}

void CaptureClient::HandleSampleFormat(void* owner, VARIANT* const* args)
{
    static_cast<CaptureClient*>(owner)->listener->OnSampleFormat(DecodeSampleFormat(*args[0]),
                                                                 args[1]->pboolVal);
}

void CaptureClient::HandleSampleError(void* owner, VARIANT* const* args)
{
    static_cast<CaptureClient*>(owner)->listener->OnSampleError(args[0]->bstrVal);
}

void CaptureClient::HandleSampleData(void* owner, VARIANT* const* args)
{
    uint32_t count = 0;
    const BYTE* data = ByteArrayData(*args[0], &count);
    if (data && count > 0)
        static_cast<CaptureClient*>(owner)->listener->OnSampleData(data, count, args[1]->dblVal);
}

void CaptureClient::HandlePositionProgress(void* owner, VARIANT* const* args)
{
    static_cast<CaptureClient*>(owner)->listener->OnPositionProgress(args[0]->dblVal);
}

void CaptureClient::HandleFileSizeProgress(void* owner, VARIANT* const* args)
{
    // The event carries the high half first; the listener takes the low half first.
    static_cast<CaptureClient*>(owner)->listener->OnFileSizeProgress(uint32_t(args[1]->lVal),
                                                                     uint32_t(args[0]->lVal));
}

void CaptureClient::HandleGraphError(void* owner, VARIANT* const* args)
{
    static_cast<CaptureClient*>(owner)->listener->OnGraphError(args[0]->lVal, args[1]->lVal,
                                                               args[2]->lVal);
}

void CaptureClient::HandleGraphStateChange(void* owner, VARIANT* const* args)
{
    static_cast<CaptureClient*>(owner)->listener->OnGraphStateChange(
        static_cast<DSGraphStates>(args[0]->lVal));
}

void CaptureClient::EnsureCreated() const
{
    if (!engine)
        throw QStringLiteral("IWMACapture interface instance has not been (successfully) created");
}

ComPtr<IConnectionPoint> CaptureClient::FindEventPoint() const
{
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (FAILED(engine.Get()->QueryInterface(IID_PPV_ARGS(&container))) ||
        FAILED(container->FindConnectionPoint(DIID__IWMACaptureEvents, &point)))
        return {};
    return point;
}

template <class Call> void CaptureClient::CallOrThrow(const char* context, Call call)
{
    EnsureCreated();
    try {
        call();
    } catch (const ComError& error) {
        throw FormatComError(QString::fromUtf8(context), error);
    }
}

void CaptureClient::Create(BSTR source, BSTR pin, BSTR profile)
{
    if (engine)
        throw QStringLiteral("Capture has already been created");
    ComPtr<IWMACapture> created;
    if (FAILED(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&created))))
        throw QStringLiteral("Failed to create an IWMACapture interface instance");
    engine = IWMACaptureClient(created);

    ComPtr<IConnectionPoint> point = FindEventPoint();
    DWORD advised = 0;
    if (!point || FAILED(point->Advise(&sink, &advised))) {
        Release();
        throw QStringLiteral("Failed to set the IWMACapture event sink");
    }
    cookie = advised;

    try {
        engine.Prepare();
        // A value the engine refuses leaves its own choice in place, so these results do not
        // count; the error information they leave is dropped with them.
        if (SysStringLen(source) > 0)
            engine.Get()->put_SourceId(source);
        if (SysStringLen(pin) > 0)
            engine.Get()->put_InputPin(pin);
        if (SysStringLen(profile) > 0)
            engine.Get()->put_ProfileId(profile);
        SetErrorInfo(0, nullptr);
        engine.Build();
    } catch (const ComError& error) {
        Release();
        throw FormatComError(QStringLiteral("Error while initializing capture"), error);
    }
}

void CaptureClient::Release()
{
    if (!engine)
        return;
    if (cookie != kNotAdvised) {
        if (ComPtr<IConnectionPoint> point = FindEventPoint())
            point->Unadvise(cookie);
        cookie = kNotAdvised;
    }
    engine.Get()->Reset();
    SetErrorInfo(0, nullptr);
    engine = IWMACaptureClient();
}

void CaptureClient::SetInputPin(BSTR pin)
{
    CallOrThrow("Error while setting capture pin", [&] { engine.PutInputPin(pin); });
}

void CaptureClient::SetProfile(BSTR profile)
{
    CallOrThrow("Error while setting encoding profile", [&] { engine.PutProfileId(profile); });
}

void CaptureClient::SetOutputPath(BSTR path)
{
    CallOrThrow("Error while setting capture output", [&] { engine.PutOutputPath(path); });
}

void CaptureClient::Run()
{
    CallOrThrow("Error while starting capture", [&] { engine.Run(); });
}

void CaptureClient::TogglePause()
{
    CallOrThrow("Error while pausing capture", [&] {
        DSGraphStates state = engine.GetState();
        if (state == dsg_running)
            engine.Pause();
        else if (state == dsg_paused)
            engine.Run();
    });
}

void CaptureClient::PauseFromStopped()
{
    CallOrThrow("Error while starting capture", [&] { engine.Pause(); });
}

void CaptureClient::Stop()
{
    CallOrThrow("Error while stopping capture", [&] { engine.Stop(); });
}

void CaptureClient::RecreateWithSource(BSTR source)
{
    EnsureCreated();
    Bstr pin = GetInputPin();
    Bstr profile = GetProfileId();
    Bstr path = GetOutputPath();
    Release();
    Create(source, pin.Get(), profile.Get());
    if (!path.Empty())
        SetOutputPath(path.Get());
}

template <class T, class Call> T CaptureClient::Quietly(T fallback, Call call) const
{
    if (!engine)
        return fallback;
    try {
        return call();
    } catch (const ComError&) {
        return fallback;
    }
}

Bstr CaptureClient::GetSourceId() const
{
    return Quietly(Bstr(), [&] { return NullWhenEmpty(engine.GetSourceId()); });
}

Bstr CaptureClient::GetInputPin() const
{
    return Quietly(Bstr(), [&] { return NullWhenEmpty(engine.GetInputPin()); });
}

Bstr CaptureClient::GetProfileId() const
{
    return Quietly(Bstr(), [&] { return NullWhenEmpty(engine.GetProfileId()); });
}

Bstr CaptureClient::GetOutputPath() const
{
    return Quietly(Bstr(), [&] { return NullWhenEmpty(engine.GetOutputPath()); });
}

DSGraphStates CaptureClient::GetState() const
{
    return Quietly(dsg_error, [&] { return engine.GetState(); });
}

wm_profile_version CaptureClient::GetProfileVersion() const
{
    return Quietly(wm_profile_ver_invalid, [&] { return engine.GetProfileVersion(); });
}

bool CaptureClient::HasRecordedFile() const
{
    return Quietly(false, [&] {
        if (engine.GetState() != dsg_stopped)
            return false;
        Bstr path = engine.GetOutputPath();
        struct stat info;
        return !path.Empty() && stat(path.Utf8().c_str(), &info) == 0;
    });
}

uint64_t CaptureClient::GetOutputFileSize() const
{
    Bstr path = GetOutputPath();
    if (path.Empty())
        return 0;
    // The writer keeps the file open while recording, so the directory entry is the size to
    // report; a folder found there has none.
    struct stat info;
    if (stat(path.Utf8().c_str(), &info) != 0)
        return UINT64_MAX;
    return S_ISDIR(info.st_mode) ? 0 : uint64_t(info.st_size);
}

BYTE CaptureClient::GetRecordLevel() const
{
    if (!engine)
        return 255;
    LONG level = 0;
    if (FAILED(engine.Get()->get_RecordLevel(&level))) {
        SetErrorInfo(0, nullptr);
        return 255;
    }
    return BYTE(level & 0xFF);
}

bool CaptureClient::SetRecordLevel(BYTE level)
{
    if (!engine)
        return false;
    if (FAILED(engine.Get()->put_RecordLevel(LONG(level)))) {
        SetErrorInfo(0, nullptr);
        return false;
    }
    return true;
}
