// Profiles and their stream configurations: interfaces, the string size protocol, stream
// access by index and number, copies, and the audio format accessor for the writer.
#include <gtest/gtest.h>

#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/ProfileFormat.h"
#include "wmf/Wmf.h"

namespace {

constexpr GUID kDefaultCaptureProfile = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");
// A video-only and an audio-with-video profile of version 8.0.
constexpr GUID kVideoProfile = MakeGuid("53B0A380-CE1C-4413-805A-4308F78693A4");
constexpr GUID kMixedProfile = MakeGuid("01656FCC-D6AD-42E0-BACE-65C71E92C12A");

template <class T> T* Sentinel()
{
    return reinterpret_cast<T*>(uintptr_t(0xdeadbeef));
}

ComPtr<IWMProfile> Load(const GUID& id)
{
    ComPtr<IWMProfileManager> manager;
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(S_OK, WMCreateProfileManager(&manager));
    if (manager) {
        EXPECT_EQ(S_OK, manager->LoadProfileByID(id, &profile));
    }
    return profile;
}

ComPtr<IWMStreamConfig> Stream(IWMProfile* profile, DWORD index)
{
    ComPtr<IWMStreamConfig> config;
    EXPECT_EQ(S_OK, profile->GetStream(index, &config));
    return config;
}

} // namespace

TEST(Profile, AnswersProfileInterfacesOnly)
{
    ComPtr<IWMProfile> profile = Load(kDefaultCaptureProfile);
    ASSERT_TRUE(profile);
    ComPtr<IWMProfile2> profile2;
    ASSERT_EQ(S_OK, profile.As(&profile2));
    ComPtr<IWMProfile> back;
    ASSERT_EQ(S_OK, profile2.As(&back));
    EXPECT_EQ(profile.Get(), back.Get());
    GUID id{};
    EXPECT_EQ(S_OK, profile2->GetProfileID(&id));
    EXPECT_EQ(kDefaultCaptureProfile, id);
    EXPECT_EQ(E_POINTER, profile2->GetProfileID(nullptr));

    for (const IID& refused : {IID_IWMStreamConfig, IID_IWMProfileManager, IID_IWMHeaderInfo}) {
        void* out = Sentinel<void>();
        EXPECT_EQ(E_NOINTERFACE, profile->QueryInterface(refused, &out));
        EXPECT_EQ(nullptr, out);
    }
    ComPtr<IWMStreamConfig> config = Stream(profile.Get(), 0);
    ASSERT_TRUE(config);
    void* out = Sentinel<void>();
    EXPECT_EQ(E_NOINTERFACE, config->QueryInterface(IID_IWMProfile, &out));
    EXPECT_EQ(nullptr, out);
}

TEST(Profile, NameAndDescriptionFollowTheTwoCallProtocol)
{
    ComPtr<IWMProfile> profile = Load(kDefaultCaptureProfile);
    ASSERT_TRUE(profile);
    using Getter = HRESULT (IWMProfile::*)(WCHAR*, DWORD*);
    for (Getter get : {Getter(&IWMProfile::GetName), Getter(&IWMProfile::GetDescription)}) {
        DWORD needed = 0xdeadbeef;
        ASSERT_EQ(S_OK, (profile.Get()->*get)(nullptr, &needed));
        ASSERT_GT(needed, 1u);

        // One character short: refused, the length needed reported, the buffer untouched.
        std::u16string buffer(needed, u'#');
        DWORD length = needed - 1;
        EXPECT_EQ(ASF_E_BUFFERTOOSMALL, (profile.Get()->*get)(buffer.data(), &length));
        EXPECT_EQ(needed, length);
        EXPECT_EQ(std::u16string(needed, u'#'), buffer);

        length = needed;
        ASSERT_EQ(S_OK, (profile.Get()->*get)(buffer.data(), &length));
        EXPECT_EQ(needed, length);
        EXPECT_EQ(u'\0', buffer[needed - 1]);
        EXPECT_EQ(needed - 1, std::char_traits<char16_t>::length(buffer.data()));

        EXPECT_EQ(E_POINTER, (profile.Get()->*get)(buffer.data(), nullptr));
    }
    DWORD length = 0;
    ASSERT_EQ(S_OK, profile->GetName(nullptr, &length));
    std::u16string name(length, u'\0');
    ASSERT_EQ(S_OK, profile->GetName(name.data(), &length));
    EXPECT_EQ(u"Music (64 kbps, 44 kHz, stereo)", name.substr(0, length - 1));
}

TEST(Profile, NameAndDescriptionChangeOnTheCopy)
{
    ComPtr<IWMProfile> profile = Load(kDefaultCaptureProfile);
    ASSERT_TRUE(profile);
    const std::u16string name = wmftest::U16("Mein Profil — 録音 🎙");
    ASSERT_EQ(S_OK, profile->SetName(name.c_str()));
    ASSERT_EQ(S_OK, profile->SetDescription(u""));
    WCHAR buffer[64] = {};
    DWORD length = 64;
    ASSERT_EQ(S_OK, profile->GetName(buffer, &length));
    EXPECT_EQ(name, buffer);
    EXPECT_EQ(name.size() + 1, length);
    length = 64;
    ASSERT_EQ(S_OK, profile->GetDescription(buffer, &length));
    EXPECT_EQ(1u, length);
    EXPECT_EQ(E_POINTER, profile->SetName(nullptr));
    EXPECT_EQ(E_POINTER, profile->SetDescription(nullptr));
}

TEST(Profile, StreamsByIndexAndByNumber)
{
    ComPtr<IWMProfile> mixed = Load(kMixedProfile);
    ASSERT_TRUE(mixed);
    DWORD count = 0;
    ASSERT_EQ(S_OK, mixed->GetStreamCount(&count));
    ASSERT_EQ(2u, count);
    const GUID expectedTypes[] = {WMMEDIATYPE_Audio, WMMEDIATYPE_Video};
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> byIndex = Stream(mixed.Get(), i);
        ComPtr<IWMStreamConfig> byNumber;
        ASSERT_EQ(S_OK, mixed->GetStreamByNumber(WORD(i + 1), &byNumber));
        ASSERT_TRUE(byIndex && byNumber);
        GUID type{}, typeByNumber{};
        WORD number = 0;
        DWORD bitrate = 0, bitrateByNumber = 0;
        EXPECT_EQ(S_OK, byIndex->GetStreamType(&type));
        EXPECT_EQ(S_OK, byNumber->GetStreamType(&typeByNumber));
        EXPECT_EQ(expectedTypes[i], type);
        EXPECT_EQ(type, typeByNumber);
        EXPECT_EQ(S_OK, byIndex->GetStreamNumber(&number));
        EXPECT_EQ(i + 1, number);
        EXPECT_EQ(S_OK, byIndex->GetBitrate(&bitrate));
        EXPECT_EQ(S_OK, byNumber->GetBitrate(&bitrateByNumber));
        EXPECT_EQ(bitrate, bitrateByNumber);
    }
    for (DWORD bad : {2u, 3u, 0xFFFFFFFFu}) {
        IWMStreamConfig* config = Sentinel<IWMStreamConfig>();
        EXPECT_EQ(E_INVALIDARG, mixed->GetStream(bad, &config));
        EXPECT_EQ(nullptr, config);
    }
    for (WORD bad : {WORD(0), WORD(3), WORD(0xFFFF)}) {
        IWMStreamConfig* config = Sentinel<IWMStreamConfig>();
        EXPECT_EQ(E_INVALIDARG, mixed->GetStreamByNumber(bad, &config));
        EXPECT_EQ(nullptr, config);
    }
    EXPECT_EQ(E_POINTER, mixed->GetStream(0, nullptr));
    EXPECT_EQ(E_POINTER, mixed->GetStreamByNumber(1, nullptr));
    EXPECT_EQ(E_POINTER, mixed->GetStreamCount(nullptr));
    EXPECT_EQ(E_POINTER, mixed->GetVersion(nullptr));
}

TEST(Profile, StreamConfigIsACopyWithItsOwnSettings)
{
    ComPtr<IWMProfile> profile = Load(kDefaultCaptureProfile);
    ASSERT_TRUE(profile);
    ComPtr<IWMStreamConfig> config = Stream(profile.Get(), 0);
    ASSERT_TRUE(config);
    DWORD window = 0;
    EXPECT_EQ(S_OK, config->GetBufferWindow(&window));
    EXPECT_GT(window, 0u);

    EXPECT_EQ(S_OK, config->SetBitrate(128000));
    EXPECT_EQ(S_OK, config->SetBufferWindow(1000));
    EXPECT_EQ(S_OK, config->SetStreamNumber(63));
    EXPECT_EQ(E_INVALIDARG, config->SetStreamNumber(0));
    EXPECT_EQ(E_INVALIDARG, config->SetStreamNumber(64));
    EXPECT_EQ(S_OK, config->SetStreamName(u"Voice"));
    EXPECT_EQ(S_OK, config->SetConnectionName(u"Line in"));
    DWORD bitrate = 0;
    WORD number = 0;
    EXPECT_EQ(S_OK, config->GetBitrate(&bitrate));
    EXPECT_EQ(128000u, bitrate);
    EXPECT_EQ(S_OK, config->GetStreamNumber(&number));
    EXPECT_EQ(63, number);

    // The profile, and the next copy of its stream, keep the catalogue's values.
    ComPtr<IWMStreamConfig> fresh = Stream(profile.Get(), 0);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(S_OK, fresh->GetBitrate(&bitrate));
    EXPECT_EQ(64000u, bitrate);
    EXPECT_EQ(S_OK, fresh->GetStreamNumber(&number));
    EXPECT_EQ(1, number);
    AudioStreamFormat format{};
    ASSERT_EQ(S_OK, GetAudioStreamFormat(profile.Get(), &format));
    EXPECT_EQ(64000u, format.bitsPerSecond);

    EXPECT_EQ(E_POINTER, config->GetStreamType(nullptr));
    EXPECT_EQ(E_POINTER, config->GetBitrate(nullptr));
    EXPECT_EQ(E_POINTER, config->GetBufferWindow(nullptr));
    EXPECT_EQ(E_POINTER, config->GetStreamNumber(nullptr));
    EXPECT_EQ(E_POINTER, config->SetStreamName(nullptr));
    EXPECT_EQ(E_POINTER, config->SetConnectionName(nullptr));
}

TEST(Profile, StreamNamesFollowTheTwoCallProtocolWithWordLengths)
{
    ComPtr<IWMProfile> profile = Load(kMixedProfile);
    ASSERT_TRUE(profile);
    ComPtr<IWMStreamConfig> video = Stream(profile.Get(), 1);
    ASSERT_TRUE(video);
    using Getter = HRESULT (IWMStreamConfig::*)(WCHAR*, WORD*);
    for (Getter get :
         {Getter(&IWMStreamConfig::GetStreamName), Getter(&IWMStreamConfig::GetConnectionName)}) {
        WORD needed = 0;
        ASSERT_EQ(S_OK, (video.Get()->*get)(nullptr, &needed));
        EXPECT_EQ(7, needed);
        WCHAR buffer[7] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
        WORD length = 6;
        EXPECT_EQ(ASF_E_BUFFERTOOSMALL, (video.Get()->*get)(buffer, &length));
        EXPECT_EQ(7, length);
        EXPECT_EQ(u'#', buffer[0]);
        ASSERT_EQ(S_OK, (video.Get()->*get)(buffer, &length));
        EXPECT_EQ(std::u16string(u"Video2"), buffer);
        EXPECT_EQ(E_POINTER, (video.Get()->*get)(buffer, nullptr));
    }
}

TEST(Profile, StreamListCannotBeEdited)
{
    ComPtr<IWMProfile> profile = Load(kDefaultCaptureProfile);
    ASSERT_TRUE(profile);
    ComPtr<IWMStreamConfig> config = Stream(profile.Get(), 0);
    EXPECT_EQ(E_NOTIMPL, profile->RemoveStream(config.Get()));
    EXPECT_EQ(E_NOTIMPL, profile->RemoveStreamByNumber(1));
    EXPECT_EQ(E_NOTIMPL, profile->AddStream(config.Get()));
    EXPECT_EQ(E_NOTIMPL, profile->ReconfigStream(config.Get()));
    IWMStreamConfig* created = Sentinel<IWMStreamConfig>();
    EXPECT_EQ(E_NOTIMPL, profile->CreateNewStream(WMMEDIATYPE_Audio, &created));
    EXPECT_EQ(nullptr, created);
    DWORD count = 0xdeadbeef;
    EXPECT_EQ(S_OK, profile->GetMutualExclusionCount(&count));
    EXPECT_EQ(0u, count);
    IWMMutualExclusion* exclusion = Sentinel<IWMMutualExclusion>();
    EXPECT_EQ(E_INVALIDARG, profile->GetMutualExclusion(0, &exclusion));
    EXPECT_EQ(nullptr, exclusion);
    exclusion = Sentinel<IWMMutualExclusion>();
    EXPECT_EQ(E_NOTIMPL, profile->CreateNewMutualExclusion(&exclusion));
    EXPECT_EQ(nullptr, exclusion);
    DWORD streams = 0;
    EXPECT_EQ(S_OK, profile->GetStreamCount(&streams));
    EXPECT_EQ(1u, streams);
}

TEST(Profile, AudioStreamFormatOfMixedAndVideoProfiles)
{
    AudioStreamFormat format{};
    format.bitsPerSecond = 0xdeadbeef;
    ComPtr<IWMProfile> video = Load(kVideoProfile);
    ASSERT_TRUE(video);
    EXPECT_EQ(E_INVALIDARG, GetAudioStreamFormat(video.Get(), &format));
    EXPECT_EQ(0u, format.bitsPerSecond);
    EXPECT_EQ(nullptr, format.encoderName);

    ComPtr<IWMProfile> mixed = Load(kMixedProfile);
    ASSERT_TRUE(mixed);
    ASSERT_EQ(S_OK, GetAudioStreamFormat(mixed.Get(), &format));
    EXPECT_EQ(1, format.streamNumber);
    EXPECT_EQ(2u, format.streamCount);
    EXPECT_STREQ("wmav2", format.encoderName);

    EXPECT_EQ(E_POINTER, GetAudioStreamFormat(mixed.Get(), nullptr));
    EXPECT_EQ(E_POINTER, GetAudioStreamFormat(nullptr, &format));
}
