// Prints every system profile of every catalogue version, one per line, tab-separated:
// version, index, GUID, name, then per stream its type, codec, rate, channels and bit rate.
#include <cstdio>
#include <string>

#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/ComPtr.h"
#include "wmf/ProfileFormat.h"
#include "wmf/Wmf.h"

namespace {

std::string VersionText(WMT_VERSION version)
{
    return std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
}

std::string NameOf(IWMProfile* profile)
{
    DWORD length = 0;
    if (FAILED(profile->GetName(nullptr, &length)))
        return {};
    std::u16string name(length, u'\0');
    if (FAILED(profile->GetName(name.data(), &length)))
        return {};
    name.resize(length - 1);
    return quillet::Utf16ToUtf8(name);
}

std::string StreamsOf(IWMProfile* profile)
{
    AudioStreamFormat audio{};
    const bool hasAudio = SUCCEEDED(GetAudioStreamFormat(profile, &audio));
    DWORD count = 0;
    profile->GetStreamCount(&count);
    std::string text;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> stream;
        GUID type{};
        DWORD bitrate = 0;
        if (FAILED(profile->GetStream(i, &stream)) || FAILED(stream->GetStreamType(&type)) ||
            FAILED(stream->GetBitrate(&bitrate)))
            return text + "\t(unreadable stream)";
        if (type == WMMEDIATYPE_Audio && hasAudio && audio.streamNumber == i + 1)
            text += "\taudio " + std::string(audio.encoderName) + " " +
                    std::to_string(audio.samplesPerSecond) + " Hz " +
                    std::to_string(audio.channels) + " ch " + std::to_string(bitrate) + " bit/s";
        else
            text += "\tvideo " + std::to_string(bitrate) + " bit/s";
    }
    return text;
}

} // namespace

int main()
{
    ComPtr<IWMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    ComPtr<IWMProfileManager2> manager2 = manager.As<IWMProfileManager2>();
    if (FAILED(hr) || !manager2) {
        std::fprintf(stderr, "profiles: cannot create the profile manager (0x%08X)\n",
                     unsigned(hr));
        return 1;
    }
    for (WMT_VERSION version : {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0, WMT_VER_9_0}) {
        DWORD count = 0;
        if (FAILED(manager2->SetSystemProfileVersion(version)) ||
            FAILED(manager2->GetSystemProfileCount(&count)))
            return 1;
        for (DWORD i = 0; i < count; ++i) {
            ComPtr<IWMProfile> profile;
            ComPtr<IWMProfile2> profile2;
            GUID id{};
            OLECHAR idText[39] = {};
            if (FAILED(manager2->LoadSystemProfile(i, &profile)) || FAILED(profile.As(&profile2)) ||
                FAILED(profile2->GetProfileID(&id)))
                return 1;
            StringFromGUID2(id, idText, 39);
            std::printf("%s\t%u\t%s\t%s%s\n", VersionText(version).c_str(), unsigned(i),
                        quillet::Utf16ToUtf8(idText).c_str(), NameOf(profile.Get()).c_str(),
                        StreamsOf(profile.Get()).c_str());
        }
    }
    return 0;
}
