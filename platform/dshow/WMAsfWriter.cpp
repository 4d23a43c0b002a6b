#include "WMAsfWriter.h"

#include <sys/stat.h>

#include <cstring>

#include "com/Bstr.h"
#include "com/DebugLog.h"

namespace {

bool FolderOf(const std::string& path, std::string* folder)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *folder = ".";
        return true;
    }
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    return true;
}

// What the encoder makes of a profile's audio stream.
AsfEncoder::Target TargetOf(const AudioStreamFormat& audio)
{
    return {audio.codec == AudioCodec::WmaV1 ? AsfEncoder::Codec::Wmav1 : AsfEncoder::Codec::Wmav2,
            audio.samplesPerSecond, audio.channels, audio.bitsPerSecond};
}

} // namespace

WMAsfWriter::WMAsfWriter(IUnknown* outer, ModuleLock* module)
    : ExtendInterfaces(outer, module, CLSID_WMAsfWriter)
{
}

WMAsfWriter::~WMAsfWriter()
{
    FinishRecording();
}

void* WMAsfWriter::FindInterface(REFIID riid)
{
    if (riid == IID_IFileSinkFilter)
        return static_cast<IFileSinkFilter*>(static_cast<IFileSinkFilter2*>(this));
    return ExtendInterfaces::FindInterface(riid);
}

// --- Configuration -------------------------------------------------------------------------

HRESULT WMAsfWriter::ConfigureFilterUsingProfile(IWMProfile* pProfile)
{
    if (!pProfile)
        return E_POINTER;
    if (State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    AudioStreamFormat audio{};
    HRESULT hr = GetAudioStreamFormat(pProfile, &audio);
    if (FAILED(hr))
        return hr;
    // Audio capture needs a profile of one audio stream; a video stream would need a video pin.
    if (audio.streamCount != 1)
        return E_INVALIDARG;
    AsfEncoder::Config check;
    check.path = "check";
    check.inputRate = 48000;
    check.inputChannels = 2;
    check.target = TargetOf(audio);
    hr = AsfEncoder::CheckConfig(check);
    if (FAILED(hr))
        return hr;
    profile = pProfile;
    format = audio;
    configured = true;
    QUILLET_LOG("asf", "writer %p: %s %u Hz, %u channels, %u bit/s", static_cast<void*>(this),
                audio.encoderName, unsigned(audio.samplesPerSecond), unsigned(audio.channels),
                unsigned(audio.bitsPerSecond));
    return S_OK;
}

HRESULT WMAsfWriter::GetCurrentProfile(IWMProfile** ppProfile)
{
    if (!ppProfile)
        return E_POINTER;
    *ppProfile = nullptr;
    if (!profile)
        return E_FAIL;
    profile.CopyTo(ppProfile);
    return S_OK;
}

HRESULT WMAsfWriter::ConfigureFilterUsingProfileId(DWORD)
{
    return E_NOTIMPL; // the numbered profiles of older runtimes are not part of the catalogue
}

HRESULT WMAsfWriter::GetCurrentProfileId(DWORD* pdwProfileId)
{
    if (!pdwProfileId)
        return E_POINTER;
    *pdwProfileId = 0;
    return E_NOTIMPL;
}

HRESULT WMAsfWriter::ConfigureFilterUsingProfileGuid(REFGUID guidProfile)
{
    ComPtr<IWMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr))
        return hr;
    ComPtr<IWMProfile> loaded;
    hr = manager->LoadProfileByID(guidProfile, &loaded);
    if (FAILED(hr))
        return hr;
    return ConfigureFilterUsingProfile(loaded.Get());
}

HRESULT WMAsfWriter::GetCurrentProfileGuid(GUID* pProfileGuid)
{
    if (!pProfileGuid)
        return E_POINTER;
    *pProfileGuid = GUID_NULL;
    ComPtr<IWMProfile2> profile2;
    if (!profile || FAILED(profile.As(&profile2)))
        return E_FAIL;
    return profile2->GetProfileID(pProfileGuid);
}

HRESULT WMAsfWriter::SetIndexMode(BOOL bIndexFile)
{
    indexFile = bIndexFile ? TRUE : FALSE;
    return S_OK;
}

HRESULT WMAsfWriter::GetIndexMode(BOOL* pbIndexFile)
{
    if (!pbIndexFile)
        return E_POINTER;
    *pbIndexFile = indexFile;
    return S_OK;
}

// --- File ----------------------------------------------------------------------------------

HRESULT WMAsfWriter::SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*)
{
    if (!pszFileName)
        return E_POINTER;
    if (!pszFileName[0])
        return E_INVALIDARG;
    if (State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    std::string path = quillet::Utf16ToUtf8(pszFileName);
    std::string folder;
    FolderOf(path, &folder);
    struct stat entry
    {
    };
    if (stat(folder.c_str(), &entry) != 0 || !S_ISDIR(entry.st_mode))
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    try {
        fileName = pszFileName;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT WMAsfWriter::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt)
{
    if (!ppszFileName)
        return E_POINTER;
    *ppszFileName = nullptr;
    if (pmt)
        *pmt = AM_MEDIA_TYPE{};
    if (fileName.empty())
        return S_OK;
    size_t bytes = (fileName.size() + 1) * sizeof(OLECHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!copy)
        return E_OUTOFMEMORY;
    std::memcpy(copy, fileName.c_str(), bytes);
    *ppszFileName = copy;
    return S_OK;
}

HRESULT WMAsfWriter::SetMode(DWORD dwFlags)
{
    if (dwFlags & ~AM_FILE_OVERWRITE)
        return E_INVALIDARG;
    mode = dwFlags;
    return S_OK;
}

HRESULT WMAsfWriter::GetMode(DWORD* pdwFlags)
{
    if (!pdwFlags)
        return E_POINTER;
    *pdwFlags = mode;
    return S_OK;
}

// --- Streaming -----------------------------------------------------------------------------

HRESULT WMAsfWriter::CheckPinMediaType(BasePin*, const AM_MEDIA_TYPE& mediaType)
{
    const WAVEFORMATEX* wave = WaveFormatOf(mediaType);
    if (mediaType.majortype != MEDIATYPE_Audio || mediaType.subtype != MEDIASUBTYPE_PCM || !wave)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (wave->wFormatTag != WAVE_FORMAT_PCM || wave->wBitsPerSample != 16 ||
        wave->nSamplesPerSec < AsfEncoder::MinInputRate ||
        wave->nSamplesPerSec > AsfEncoder::MaxInputRate || wave->nChannels == 0 ||
        wave->nChannels > AsfEncoder::MaxInputChannels)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT WMAsfWriter::GetPinMediaType(BasePin*, int index, AM_MEDIA_TYPE* mediaType)
{
    if (index != 0 || !configured)
        return VFW_S_NO_MORE_ITEMS;
    return CreateAudioMediaType(mediaType, format.samplesPerSecond, format.channels, 16);
}

HRESULT WMAsfWriter::OnPause(FILTER_STATE previous)
{
    if (previous != State_Stopped)
        return S_OK; // a pause within a recording continues the same file
    if (!configured || !input.IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (fileName.empty())
        return E_FAIL; // nowhere to write
    const WAVEFORMATEX* wave = WaveFormatOf(input.ConnectedType());
    if (!wave)
        return VFW_E_INVALIDMEDIATYPE;
    AsfEncoder::Config config;
    config.path = quillet::Utf16ToUtf8(fileName);
    config.overwrite = (mode & AM_FILE_OVERWRITE) != 0;
    config.index = indexFile != FALSE;
    config.inputRate = wave->nSamplesPerSec;
    config.inputChannels = wave->nChannels;
    config.target = TargetOf(format);
    std::lock_guard lock(encoderMutex);
    encoder.emplace(); // a fresh encoder per recording
    HRESULT hr = encoder->Open(config);
    if (FAILED(hr)) {
        QUILLET_LOG("asf", "writer %p: cannot open %s: 0x%08X", static_cast<void*>(this),
                    config.path.c_str(), unsigned(hr));
        return hr;
    }
    recording = true;
    failureReported = false;
    return S_OK;
}

HRESULT WMAsfWriter::ReceiveSample(BaseInputPin*, IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return S_OK;
    LONG length = sample->GetActualDataLength();
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    sample->GetTime(&start, &stop);
    HRESULT hr = S_OK;
    bool report = false;
    {
        std::lock_guard lock(encoderMutex);
        if (!recording || !encoder)
            return S_OK;
        hr = encoder->Write(data, size_t(length > 0 ? length : 0), start);
        if (FAILED(hr) && !failureReported) {
            failureReported = true;
            report = true;
        }
    }
    // The graph stops or not as its owner decides; the writer only says why it cannot go on.
    if (report)
        NotifyEvent(EC_ERRORABORT, hr, 0);
    return hr;
}

HRESULT WMAsfWriter::PinEndOfStream(BaseInputPin*)
{
    FinishRecording();
    return NotifyEvent(EC_COMPLETE, S_OK, 0);
}

void WMAsfWriter::OnStop()
{
    FinishRecording();
}

void WMAsfWriter::FinishRecording()
{
    std::lock_guard lock(encoderMutex);
    if (!recording || !encoder)
        return;
    recording = false;
    HRESULT hr = encoder->Finish();
    encoder.reset();
    QUILLET_LOG("asf", "writer %p: finished: 0x%08X", static_cast<void*>(this), unsigned(hr));
}
