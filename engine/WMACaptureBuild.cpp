// WMACapture: preparing the writer, choosing the profile, and building the capture graph.
#include <cstring>
#include <vector>

#include "AudioInputDevices.h"
#include "IsAudioOnlyProfile.h"
#include "PinCollector.h"
#include "WMACapture.h"

#include "com/ComApi.h"
#include "com/InterfaceGuard.h"
#include "com/Variant.h"

namespace {

// The media type of the connection as a 72-byte record followed by its format block. The
// record keeps the 32-bit layout that receivers rely on; where a 64-bit address does not fit
// its 4-byte field, the low half is written, and readers take the format block from offset 72.
void PutU32(std::vector<BYTE>& out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + size_t(i)] = BYTE(value >> (8 * i));
}

void PutGuid(std::vector<BYTE>& out, size_t offset, const GUID& guid)
{
    PutU32(out, offset, guid.Data1);
    out[offset + 4] = BYTE(guid.Data2);
    out[offset + 5] = BYTE(guid.Data2 >> 8);
    out[offset + 6] = BYTE(guid.Data3);
    out[offset + 7] = BYTE(guid.Data3 >> 8);
    std::memcpy(&out[offset + 8], guid.Data4, 8);
}

constexpr size_t kRecordSize = 72;

void WriteSampleFormat(BYTE* target, const AM_MEDIA_TYPE& type)
{
    std::vector<BYTE> record(kRecordSize, 0);
    PutGuid(record, 0, type.majortype);
    PutGuid(record, 16, type.subtype);
    PutU32(record, 32, uint32_t(type.bFixedSizeSamples));
    PutU32(record, 36, uint32_t(type.bTemporalCompression));
    PutU32(record, 40, type.lSampleSize);
    PutGuid(record, 44, type.formattype);
    PutU32(record, 60, uint32_t(reinterpret_cast<uintptr_t>(type.pUnk))); // sender's pointer
    PutU32(record, 64, type.cbFormat);                                    // format block size
    PutU32(record, 68, uint32_t(reinterpret_cast<uintptr_t>(target + kRecordSize)));
    std::memcpy(target, record.data(), kRecordSize);
    if (type.cbFormat && type.pbFormat)
        std::memcpy(target + kRecordSize, type.pbFormat, type.cbFormat);
}

Bstr ProfileIdString(IWMProfile* profile)
{
    ComPtr<IWMProfile2> profile2;
    GUID id{};
    if (!profile || FAILED(profile->QueryInterface(IID_PPV_ARGS(&profile2))) ||
        FAILED(profile2->GetProfileID(&id)))
        return {};
    OLECHAR text[39];
    if (StringFromGUID2(id, text, 39) == 0)
        return {};
    return Bstr(text);
}

} // namespace

// Hands the grabber's buffers to the capture object while it is attached.
class WMACapture::SampleForwarder final : public ComObject<ISampleGrabberCB>
{
public:
    SampleForwarder(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

    static HRESULT Create(WMACapture* owner, ISampleGrabberCB** forwarder)
    {
        HRESULT hr = CreateComObject<SampleForwarder>(nullptr, nullptr, IID_ISampleGrabberCB,
                                                      reinterpret_cast<void**>(forwarder));
        if (SUCCEEDED(hr)) {
            static_cast<SampleForwarder*>(*forwarder)->owner.store(owner);
            owner->forwarder = static_cast<SampleForwarder*>(*forwarder);
        }
        return hr;
    }
    void Detach() { owner.store(nullptr, std::memory_order_release); }

    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) override
    {
        WMACapture* target = owner.load(std::memory_order_acquire);
        return target ? target->BufferCB(SampleTime, pBuffer, BufferLen) : S_FALSE;
    }

private:
    std::atomic<WMACapture*> owner{nullptr};
};

void WMACapture::DetachForwarder()
{
    if (forwarder) {
        forwarder->Detach();
        forwarder = nullptr;
    }
}

HRESULT WMACapture::GetWriterConfig(IConfigAsfWriter** config)
{
    *config = nullptr;
    if (!writerFilter)
        return Fail("Object has not been (properly) initialized", E_FAIL);
    return writerFilter->QueryInterface(IID_PPV_ARGS(config));
}

HRESULT WMACapture::GetCurrentProfile(IWMProfile** profile)
{
    *profile = nullptr;
    ComPtr<IConfigAsfWriter> config;
    HRESULT hr = GetWriterConfig(&config);
    if (FAILED(hr))
        return hr;
    return config->GetCurrentProfile(profile);
}

HRESULT WMACapture::get_ProfileId(BSTR* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    ComPtr<IWMProfile> profile;
    HRESULT hr = GetCurrentProfile(&profile);
    if (FAILED(hr))
        return hr;
    Bstr text = ProfileIdString(profile.Get());
    if (text.Empty())
        return E_FAIL;
    *pVal = text.Detach();
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::get_ProfileId");
}

HRESULT WMACapture::put_ProfileId(BSTR newVal)
try {
    ComPtr<IWMProfile> profile;
    HRESULT hr = LoadProfileById(newVal, &profile);
    if (FAILED(hr))
        return hr;
    return ApplyProfile(profile.Get());
} catch (...) {
    return GuardedResult("WMACapture::put_ProfileId");
}

HRESULT WMACapture::get_ProfileVersion(wm_profile_version* pVal)
try {
    if (!pVal)
        return E_POINTER;
    ComPtr<IWMProfile> profile;
    HRESULT hr = GetCurrentProfile(&profile);
    if (FAILED(hr))
        return hr;
    if (!profile)
        return E_FAIL;
    WMT_VERSION version{};
    hr = profile->GetVersion(&version);
    if (SUCCEEDED(hr))
        *pVal = wm_profile_version(version);
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::get_ProfileVersion");
}

HRESULT WMACapture::LoadDefaultProfile(IWMProfile** profile)
{
    ComPtr<IWMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr))
        return Fail("Failed to create profile manager", hr);
    hr = manager->LoadProfileByID(DefaultCaptureProfileId, profile);
    if (FAILED(hr))
        return Fail("Failed to create default capture profile", hr);
    return S_OK;
}

HRESULT WMACapture::LoadProfileById(BSTR text, IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    *profile = nullptr;
    if (SysStringLen(text) == 0)
        return E_INVALIDARG;
    GUID id{};
    HRESULT hr = IIDFromString(text, &id);
    if (FAILED(hr)) {
        std::string message =
            "Could not convert string value \"" + Bstr(text).Utf8() + "\" to a GUID";
        return Fail(message.c_str(), hr);
    }
    ComPtr<IWMProfileManager> manager;
    hr = WMCreateProfileManager(&manager);
    if (FAILED(hr))
        return Fail("WMCreateProfileManager failed", hr);
    hr = manager->LoadProfileByID(id, profile);
    if (FAILED(hr)) {
        std::string message = "Failed to load profile (ID is \"" + Bstr(text).Utf8() + "\")";
        return Fail(message.c_str(), hr);
    }
    return S_OK;
}

HRESULT WMACapture::ApplyProfile(IWMProfile* profile)
{
    if (!profile)
        return E_INVALIDARG;
    if (!IsAudioOnlyProfile(profile))
        return Fail("The profile specified cannot be used for audio capture", E_FAIL);
    ComPtr<IConfigAsfWriter> config;
    HRESULT hr = GetWriterConfig(&config);
    if (FAILED(hr))
        return hr;
    hr = config->ConfigureFilterUsingProfile(profile);
    if (FAILED(hr))
        return Fail("ConfigureFilterUsingProfile failure", hr);
    return S_OK;
}

HRESULT WMACapture::Prepare()
try {
    if (HasGraph())
        return Fail("The object has already been prepared", E_FAIL);
    HRESULT hr = CreateGraph();
    if (FAILED(hr))
        return hr;
    samplesWindow.store(WindowHandle(), std::memory_order_release);
    hr = CreateWriter();
    if (FAILED(hr)) {
        // Reset clears the error information of nothing; the writer's message stays.
        Reset();
        return hr;
    }
    return S_OK;
} catch (...) {
    return GuardedResult("WMACapture::Prepare");
}

HRESULT WMACapture::CreateWriter()
{
    HRESULT hr = CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&writerFilter));
    if (FAILED(hr))
        return Fail("Failed to create the WMAsfWriter instance - is Windows Media runtime "
                    "istalled?",
                    hr);
    hr = graph->AddFilter(writerFilter.Get(), u"WM_ASF_WRITER");
    if (FAILED(hr))
        return Fail("Failed to add the WMAsfWriter filter to the graph - is up-to-date version "
                    "of Windows Media runtime istalled?",
                    hr);
    ComPtr<IWMProfile> profile;
    hr = LoadDefaultProfile(&profile);
    if (FAILED(hr))
        return Fail("Failed to create the default profile", hr);
    hr = ApplyProfile(profile.Get());
    if (FAILED(hr))
        return Fail("Failed to set the default profile", hr);
    if (ComPtr<IConfigAsfWriter> config = writerFilter.As<IConfigAsfWriter>())
        config->SetIndexMode(TRUE);
    if (ComPtr<IFileSinkFilter2> sink = writerFilter.As<IFileSinkFilter2>()) {
        DWORD mode = 0;
        if (SUCCEEDED(sink->GetMode(&mode)) && !(mode & AM_FILE_OVERWRITE))
            sink->SetMode(mode | AM_FILE_OVERWRITE);
    }
    return S_OK;
}

HRESULT WMACapture::FindSourceFilter()
{
    sourceFilter.Reset();
    ComPtr<IEnumMoniker> monikers;
    const char* failure = nullptr;
    HRESULT hr = OpenAudioInputDevices(&monikers, &failure);
    if (FAILED(hr))
        return Fail(failure, hr);
    bool sawNamedDevice = false;
    ComPtr<IMoniker> moniker;
    Variant name;
    while (!sourceFilter && NextNamedDevice(monikers.Get(), moniker, name)) {
        if (sourceId.Empty())
            sourceId = Bstr(std::u16string_view(name.bstrVal, SysStringLen(name.bstrVal)));
        if (EqualFoldingAsciiCase(name.bstrVal, sourceId.Get()))
            moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&sourceFilter));
        sawNamedDevice = true;
    }
    if (sourceFilter)
        return S_OK;
    return sawNamedDevice ? S_FALSE : E_FAIL;
}

HRESULT WMACapture::ApplyInputPin()
{
    if (!sourceFilter)
        return Fail("Source filter is not available", E_FAIL);
    AcceptCaptureSourcePin pins;
    HRESULT hr = pins.Fill(sourceFilter.Get());
    if (FAILED(hr))
        return Fail("Failed to enumerate source filter pins", hr);
    if (pins.inputs.empty())
        return Fail("No input pins were found on the source filter", E_FAIL);
    bool replaced = false;
    int chosen = inputPinId.Empty() ? -1 : FindPinById(pins.inputs, inputPinId.Get());
    if (chosen < 0) {
        replaced = !inputPinId.Empty();
        chosen = 0;
        inputPinId.Reset();
        LPWSTR id = nullptr;
        if (SUCCEEDED(pins.inputs[0]->QueryId(&id)) && id) {
            inputPinId = Bstr(id);
            CoTaskMemFree(id);
        }
    }
    inputMixer.Reset();
    for (const ComPtr<IPin>& pin : pins.inputs)
        if (ComPtr<IAMAudioInputMixer> mixer = pin.As<IAMAudioInputMixer>())
            mixer->put_Enable(FALSE);
    if (ComPtr<IAMAudioInputMixer> mixer = pins.inputs[size_t(chosen)].As<IAMAudioInputMixer>()) {
        mixer->put_Enable(TRUE);
        inputMixer = mixer;
    }
    return replaced ? S_FALSE : S_OK;
}

HRESULT WMACapture::Build()
try {
    if (!HasGraph())
        return Fail("The object has not been prepared", E_FAIL);
    HRESULT hr = FindSourceFilter();
    if (hr == S_FALSE) {
        // Named devices exist but none matches: the first one is taken and names SourceId.
        sourceId.Reset();
        hr = FindSourceFilter();
    }
    if (FAILED(hr))
        return Fail("No audio capture source filter was found or it could not be created", hr);
    hr = ApplyInputPin();
    if (FAILED(hr))
        return hr;

    AcceptCaptureSourcePin sourcePins;
    hr = sourcePins.Fill(sourceFilter.Get());
    if (FAILED(hr))
        return Fail("Failed to enumerate source filter pins", hr);
    if (sourcePins.outputs.empty())
        return Fail("No output pins were found on the source filter", E_FAIL);
    ComPtr<IPin> sourceOutput;
    if (!outputPinId.Empty()) {
        int found = FindPinById(sourcePins.outputs, outputPinId.Get());
        if (found < 0) {
            std::string message = "Output pin with the name matching \"" + outputPinId.Utf8() +
                                  "\" was not found on the source filter";
            return Fail(message.c_str(), E_INVALIDARG);
        }
        sourceOutput = sourcePins.outputs[size_t(found)];
    } else {
        sourceOutput = sourcePins.outputs[0];
        LPWSTR id = nullptr;
        if (SUCCEEDED(sourceOutput->QueryId(&id)) && id) {
            outputPinId = Bstr(id);
            CoTaskMemFree(id);
        }
    }
    hr = graph->AddFilter(sourceFilter.Get(), u"CAPTURE_SOURCE");
    if (FAILED(hr))
        return Fail("Failed to add the source filter to the graph", hr);

    AcceptAudioInputPin writerPins;
    writerPins.Fill(writerFilter.Get());
    if (writerPins.inputs.empty()) {
        Fail("Could not find the audio input pin on the writer", E_FAIL);
        Reset();
        return E_FAIL;
    }
    ComPtr<IPin> writerInput = writerPins.inputs[0];

    bool fatal = false;
    hr = InsertSampleGrabber(sourceOutput.Get(), writerInput.Get(), &fatal);
    if (fatal) {
        Fail("fatal error while setting up the sample grabber", E_FAIL);
        hr = E_FAIL;
    } else if (FAILED(hr)) {
        hr = sourceOutput->Connect(writerInput.Get(), nullptr);
    }
    if (FAILED(hr))
        Reset();
    return hr;
} catch (...) {
    return GuardedResult("WMACapture::Build");
}

HRESULT WMACapture::InsertSampleGrabber(IPin* sourceOutput, IPin* writerInput, bool* fatal)
{
    *fatal = false;
    ComPtr<ISampleGrabber> grabber;
    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&grabber));
    if (FAILED(hr)) {
        FireSampleError("Failed to create the sample grabber");
        return hr;
    }
    ComPtr<IBaseFilter> grabberFilter;
    hr = grabber.As(&grabberFilter);
    if (FAILED(hr)) {
        FireSampleError("Failed get the IBaseFilter interface pointer from the sample grabber");
        return hr;
    }
    hr = graph->AddFilter(grabberFilter.Get(), u"SAMPLE_GRABBER");
    if (FAILED(hr)) {
        FireSampleError("Failed to add the sample grabber to the graph");
        return hr;
    }
    AcceptAnyPin pins;
    hr = pins.Fill(grabberFilter.Get());
    if (FAILED(hr)) {
        FireSampleError("Failed to enumerate pins on sample grabber");
        return hr;
    }
    if (pins.inputs.empty() || pins.outputs.empty()) {
        FireSampleError("Could not get the sample grabber's pins needed");
        return E_FAIL;
    }
    hr = sourceOutput->Connect(pins.inputs[0].Get(), nullptr);
    if (FAILED(hr)) {
        FireSampleError("Failed to connect grabber's input with source's output");
        graph->RemoveFilter(grabberFilter.Get());
        return hr;
    }
    hr = pins.outputs[0]->Connect(writerInput, nullptr);
    if (FAILED(hr)) {
        FireSampleError("Failed to connect grabber's output with writer's input");
        if (FAILED(pins.outputs[0]->Disconnect())) {
            *fatal = true;
            return hr;
        }
        graph->RemoveFilter(grabberFilter.Get());
        return hr;
    }
    AM_MEDIA_TYPE type{};
    hr = sourceOutput->ConnectionMediaType(&type);
    if (FAILED(hr)) {
        FireSampleError("Failed to get the samples type");
        return hr;
    }
    SAFEARRAY* payload = SafeArrayCreateVector(VT_UI1, 0, ULONG(kRecordSize + type.cbFormat));
    if (!payload) {
        FreeMediaType(type);
        FireSampleError("Failed to allocate a SAFEARRAY");
        return E_OUTOFMEMORY;
    }
    WriteSampleFormat(static_cast<BYTE*>(payload->pvData), type);
    FreeMediaType(type);
    VARIANT format;
    VariantInit(&format);
    format.vt = VT_ARRAY | VT_UI1;
    format.parray = payload;
    VARIANT_BOOL accept = VARIANT_FALSE;
    _IWMACaptureEventsFire::FireSampleFormat(events, format, &accept);
    SafeArrayDestroy(payload);

    if (accept) {
        // The grabber holds a forwarder rather than this object: a reference from the grabber
        // to its own owner would keep an object that a client released without Reset alive,
        // and recording, for ever.
        ComPtr<ISampleGrabberCB> forwarder;
        hr = SampleForwarder::Create(this, &forwarder);
        if (SUCCEEDED(hr))
            hr = grabber->SetCallback(forwarder.Get(), 1);
        if (FAILED(hr))
            FireSampleError("Failed to set grabber's callback");
    }
    sampleGrabber = grabber;
    grabberSet.store(true, std::memory_order_release);
    return S_OK;
}
