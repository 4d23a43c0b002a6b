#include "CaptureLinePin.h"

#include "AudioCaptureFilter.h"

namespace {
// The tone controls of a line: no audio server has them.
template <class T> HRESULT NoToneControl(T* out)
{
    if (!out)
        return E_POINTER;
    *out = T{};
    return E_NOTIMPL;
}
} // namespace

CaptureLinePin::CaptureLinePin(AudioCaptureFilter* owner, size_t index, std::u16string name,
                               std::u16string id, bool hasMixer)
    : ExtendInterfaces(owner, PINDIR_INPUT, std::move(name), std::move(id)), owner(owner),
      index(index), hasMixer(hasMixer)
{
}

void* CaptureLinePin::FindInterface(REFIID riid)
{
    if (riid == IID_IAMAudioInputMixer && !hasMixer)
        return nullptr;
    return ExtendInterfaces::FindInterface(riid);
}

HRESULT CaptureLinePin::put_Enable(BOOL fEnable)
{
    // A device always records from one line; disabling one leaves the choice as it is.
    return fEnable ? owner->SelectLine(index) : S_OK;
}

HRESULT CaptureLinePin::get_Enable(BOOL* pfEnable)
{
    if (!pfEnable)
        return E_POINTER;
    *pfEnable = FALSE;
    bool selected = false;
    HRESULT hr = owner->IsLineSelected(index, &selected);
    if (SUCCEEDED(hr))
        *pfEnable = selected ? TRUE : FALSE;
    return hr;
}

HRESULT CaptureLinePin::put_Mono(BOOL)
{
    return E_NOTIMPL;
}

HRESULT CaptureLinePin::get_Mono(BOOL* pfMono)
{
    return NoToneControl(pfMono);
}

HRESULT CaptureLinePin::put_MixLevel(double Level)
{
    if (!(Level >= 0.0 && Level <= 1.0))
        return E_INVALIDARG;
    return owner->SetLevel(Level);
}

HRESULT CaptureLinePin::get_MixLevel(double* pLevel)
{
    if (!pLevel)
        return E_POINTER;
    *pLevel = 0.0;
    return owner->GetLevel(pLevel);
}

HRESULT CaptureLinePin::put_Pan(double)
{
    return E_NOTIMPL;
}

HRESULT CaptureLinePin::get_Pan(double* pPan)
{
    return NoToneControl(pPan);
}

HRESULT CaptureLinePin::put_Loudness(BOOL)
{
    return E_NOTIMPL;
}

HRESULT CaptureLinePin::get_Loudness(BOOL* pfLoudness)
{
    return NoToneControl(pfLoudness);
}

HRESULT CaptureLinePin::put_Treble(double)
{
    return E_NOTIMPL;
}

HRESULT CaptureLinePin::get_Treble(double* pTreble)
{
    return NoToneControl(pTreble);
}

HRESULT CaptureLinePin::get_TrebleRange(double* pRange)
{
    return NoToneControl(pRange);
}

HRESULT CaptureLinePin::put_Bass(double)
{
    return E_NOTIMPL;
}

HRESULT CaptureLinePin::get_Bass(double* pBass)
{
    return NoToneControl(pBass);
}

HRESULT CaptureLinePin::get_BassRange(double* pRange)
{
    return NoToneControl(pRange);
}
