// The WM ASF writer: records the PCM that reaches its audio input pin into a Windows Media
// Audio file, as the profile it was configured with says (codec, rate, channels, bit rate).
// The input pin exists once a one-stream audio profile configured the filter.
//
// Threads: the configuration interfaces and the state changes run on the graph's thread;
// samples arrive on the upstream streaming thread. The encoder is shared by both and guarded
// by a lock that only the start and the end of a recording contend for.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "AsfEncoder.h"
#include "BaseFilter.h"
#include "BaseInputPin.h"
#include "ExtendInterfaces.h"
#include "wmf/ProfileFormat.h"
#include "wmf/Wmf.h"

class WMAsfWriter final : public ExtendInterfaces<BaseFilter, IConfigAsfWriter, IFileSinkFilter2>
{
public:
    WMAsfWriter(IUnknown* outer, ModuleLock* module);
    ~WMAsfWriter() override;

    // IConfigAsfWriter
    HRESULT ConfigureFilterUsingProfileId(DWORD dwProfileId) override;
    HRESULT GetCurrentProfileId(DWORD* pdwProfileId) override;
    HRESULT ConfigureFilterUsingProfileGuid(REFGUID guidProfile) override;
    HRESULT GetCurrentProfileGuid(GUID* pProfileGuid) override;
    HRESULT ConfigureFilterUsingProfile(IWMProfile* pProfile) override;
    HRESULT GetCurrentProfile(IWMProfile** ppProfile) override;
    HRESULT SetIndexMode(BOOL bIndexFile) override;
    HRESULT GetIndexMode(BOOL* pbIndexFile) override;

    // IFileSinkFilter2
    HRESULT SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;
    HRESULT SetMode(DWORD dwFlags) override;
    HRESULT GetMode(DWORD* pdwFlags) override;

    // BaseFilter
    size_t PinCount() override { return configured ? 1 : 0; }
    BasePin* PinAt(size_t) override { return &input; }
    HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType) override;
    HRESULT GetPinMediaType(BasePin* pin, int index, AM_MEDIA_TYPE* mediaType) override;
    HRESULT ReceiveSample(BaseInputPin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(BaseInputPin* pin) override;

protected:
    HRESULT OnPause(FILTER_STATE previous) override;
    void OnStop() override;
    void* FindInterface(REFIID riid) override;

private:
    // Finishes the file, under the encoder lock.
    void FinishRecording();

    BaseInputPin input{this, u"Audio Input 01"};
    bool configured = false;
    ComPtr<IWMProfile> profile;
    AudioStreamFormat format{};
    BOOL indexFile = TRUE;
    std::u16string fileName; // empty: none set
    DWORD mode = 0;

    std::mutex encoderMutex; // guards what follows
    std::optional<AsfEncoder> encoder;
    bool recording = false;
    bool failureReported = false;
};
