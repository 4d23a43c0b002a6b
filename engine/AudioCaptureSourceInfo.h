// A snapshot of one audio capture source and its pin ids, made only by the source catalogue.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "corvane_dispatch.h"

class AudioCaptureSourceInfo final : public EngineObject<IAudioCaptureSourceInfo>
{
public:
    AudioCaptureSourceInfo(IUnknown* outer, ModuleLock* module);
    ~AudioCaptureSourceInfo() override;

    // IAudioCaptureSourceInfo
    HRESULT get_FriendlyName(BSTR* pVal) override;
    HRESULT get_InputPinsCount(LONG* pVal) override;
    HRESULT get_InputPinId(LONG Index, BSTR* pVal) override;
    HRESULT get_OutputPinsCount(LONG* pVal) override;
    HRESULT get_OutputPinId(LONG Index, BSTR* pVal) override;

private:
    // FIXME: the members of this class come with its behaviour.
};
