#include "IsAudioOnlyProfile.h"

#include "com/ComPtr.h"
#include "dshow/MediaTypes.h"

bool IsAudioOnlyProfile(IWMProfile* profile)
{
    if (!profile)
        return false;
    DWORD count = 0;
    if (FAILED(profile->GetStreamCount(&count)) || count != 1)
        return false;
    ComPtr<IWMStreamConfig> stream;
    GUID type{};
    return SUCCEEDED(profile->GetStream(0, &stream)) && stream &&
           SUCCEEDED(stream->GetStreamType(&type)) && type == MEDIATYPE_Audio;
}
