// A recording line of a capture device: an input pin that never connects and, where the device
// has a mixer, answers IAMAudioInputMixer. Enabling the line selects it as the device's input;
// the mix level is the device's recording volume. Used on the graph's thread; the mixer calls
// may wait for the audio server.
#pragma once

#include "BasePin.h"
#include "ExtendInterfaces.h"

class AudioCaptureFilter;

class CaptureLinePin final : public ExtendInterfaces<BasePin, IAMAudioInputMixer>
{
public:
    CaptureLinePin(AudioCaptureFilter* owner, size_t index, std::u16string name, std::u16string id,
                   bool hasMixer);

    HRESULT put_Enable(BOOL fEnable) override;
    HRESULT get_Enable(BOOL* pfEnable) override;
    HRESULT put_Mono(BOOL fMono) override;
    HRESULT get_Mono(BOOL* pfMono) override;
    HRESULT put_MixLevel(double Level) override;
    HRESULT get_MixLevel(double* pLevel) override;
    HRESULT put_Pan(double Pan) override;
    HRESULT get_Pan(double* pPan) override;
    HRESULT put_Loudness(BOOL fLoudness) override;
    HRESULT get_Loudness(BOOL* pfLoudness) override;
    HRESULT put_Treble(double Treble) override;
    HRESULT get_Treble(double* pTreble) override;
    HRESULT get_TrebleRange(double* pRange) override;
    HRESULT put_Bass(double Bass) override;
    HRESULT get_Bass(double* pBass) override;
    HRESULT get_BassRange(double* pRange) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    AudioCaptureFilter* owner;
    size_t index;
    bool hasMixer;
};
