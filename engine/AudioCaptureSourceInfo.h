// A snapshot of one audio capture source and its pin ids, made only by the source catalogue:
// the values that the capture engine's SourceId, InputPin and OutputPin take.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include <string>
#include <vector>

#include "EngineObject.h"
#include "corvane_dispatch.h"
#include "dshow/Strmif.h"

class AudioCaptureSourceInfo final : public EngineObject<IAudioCaptureSourceInfo>
{
public:
    AudioCaptureSourceInfo(IUnknown* outer, ModuleLock* module);
    ~AudioCaptureSourceInfo() override;

    // Fills a fresh object from an instantiated capture filter. E_FAIL when the filter has no
    // input pin or no audio capture output pin with a non-empty id.
    HRESULT InitFromFilter(IBaseFilter* filter, const OLECHAR* friendlyName);

    // IAudioCaptureSourceInfo
    HRESULT get_FriendlyName(BSTR* pVal) override;
    HRESULT get_InputPinsCount(LONG* pVal) override;
    HRESULT get_InputPinId(LONG Index, BSTR* pVal) override;
    HRESULT get_OutputPinsCount(LONG* pVal) override;
    HRESULT get_OutputPinId(LONG Index, BSTR* pVal) override;

private:
    std::u16string friendlyName;
    std::vector<std::u16string> inputPinIds;
    std::vector<std::u16string> outputPinIds;
};
