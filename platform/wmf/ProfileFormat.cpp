#include "wmf/ProfileFormat.h"

#include "AudioFormatSource.h"
#include "com/ComPtr.h"

HRESULT GetAudioStreamFormat(IWMProfile* profile, AudioStreamFormat* format)
{
    if (!format)
        return E_POINTER;
    *format = {};
    if (!profile)
        return E_POINTER;
    ComPtr<IAudioFormatSource> source;
    HRESULT hr = profile->QueryInterface(IID_PPV_ARGS(&source));
    if (FAILED(hr))
        return hr;
    return source->GetAudioFormat(format);
}
