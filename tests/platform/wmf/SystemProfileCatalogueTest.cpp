// The system profile catalogue: what each version offers, the stable GUIDs clients keep, and
// that every audio profile asks FFmpeg's encoders only for what they really produce.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "TempFolder.h"
#include "WmfTestSupport.h"
#include "com/ComPtr.h"
#include "wmf/ProfileFormat.h"
#include "wmf/Wmf.h"

using namespace wmftest;

namespace {

constexpr GUID kDefaultCaptureProfile = MakeGuid("D508978A-11A0-4D15-B0DA-ACDC99D4F890");

struct Stream
{
    GUID type;
    DWORD bitrate;
};

// What the public interfaces say about one catalogue profile.
struct Entry
{
    WMT_VERSION version;
    DWORD index;
    GUID id;
    std::u16string name;
    std::u16string description;
    std::vector<Stream> streams;
    bool hasAudio = false;
    AudioStreamFormat audio{};

    bool AudioOnly() const { return streams.size() == 1 && streams[0].type == WMMEDIATYPE_Audio; }
    bool VideoOnly() const { return streams.size() == 1 && streams[0].type == WMMEDIATYPE_Video; }
};

std::u16string ReadString(IWMProfile* profile, bool description)
{
    DWORD length = 0;
    auto get = [&](WCHAR* buffer) {
        return description ? profile->GetDescription(buffer, &length)
                           : profile->GetName(buffer, &length);
    };
    if (FAILED(get(nullptr)) || length == 0)
        return {};
    std::u16string text(length, u'\0');
    if (FAILED(get(text.data())))
        return {};
    text.resize(length - 1);
    return text;
}

Entry Describe(IWMProfile* profile, WMT_VERSION listedVersion, DWORD index)
{
    Entry entry{};
    entry.index = index;
    EXPECT_EQ(S_OK, profile->GetVersion(&entry.version));
    EXPECT_EQ(listedVersion, entry.version);
    ComPtr<IWMProfile2> profile2;
    EXPECT_EQ(S_OK, ComPtr<IWMProfile>(profile).As(&profile2));
    if (profile2) {
        EXPECT_EQ(S_OK, profile2->GetProfileID(&entry.id));
    }
    entry.name = ReadString(profile, false);
    entry.description = ReadString(profile, true);
    DWORD count = 0;
    EXPECT_EQ(S_OK, profile->GetStreamCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        Stream stream{};
        EXPECT_EQ(S_OK, profile->GetStream(i, &config));
        if (!config)
            continue;
        EXPECT_EQ(S_OK, config->GetStreamType(&stream.type));
        EXPECT_EQ(S_OK, config->GetBitrate(&stream.bitrate));
        entry.streams.push_back(stream);
    }
    entry.hasAudio = SUCCEEDED(GetAudioStreamFormat(profile, &entry.audio));
    return entry;
}

std::vector<Entry> LoadVersion(WMT_VERSION version)
{
    std::vector<Entry> entries;
    ComPtr<IWMProfileManager> manager;
    EXPECT_EQ(S_OK, WMCreateProfileManager(&manager));
    ComPtr<IWMProfileManager2> manager2 = manager.As<IWMProfileManager2>();
    EXPECT_TRUE(manager2);
    if (!manager2)
        return entries;
    EXPECT_EQ(S_OK, manager2->SetSystemProfileVersion(version));
    DWORD count = 0;
    EXPECT_EQ(S_OK, manager2->GetSystemProfileCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMProfile> profile;
        EXPECT_EQ(S_OK, manager2->LoadSystemProfile(i, &profile));
        if (profile)
            entries.push_back(Describe(profile.Get(), version, i));
    }
    return entries;
}

std::vector<Entry> LoadEverything()
{
    std::vector<Entry> all;
    for (WMT_VERSION version : {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0, WMT_VER_9_0})
        for (Entry& entry : LoadVersion(version))
            all.push_back(std::move(entry));
    return all;
}

// The GUIDs clients store in their settings: changing one breaks them, so they are pinned.
const std::vector<std::pair<WMT_VERSION, std::vector<std::string>>> kPinnedGuids = {
    {WMT_VER_4_0,
     {"{7E2E1B80-F89E-4114-86B4-7B4E6C99671B}", "{6E3239EC-84EB-481C-949F-8C83F822C8C2}",
      "{999C72DF-046B-43B0-809B-18A5D644E5E5}", "{4FA7A635-0419-462D-AC35-7EECDF380D97}",
      "{BECF11D8-3224-40D3-9BC4-685AA6524674}", "{1932D01F-22E4-422A-9778-1EAB8B550406}",
      "{ECAE8445-648E-4D5D-9B1D-A2B09A27201E}"}},
    {WMT_VER_7_0,
     {"{D734B744-EA72-430C-A1AA-5E1C9717EFF8}", "{6F7E9D26-085E-48BB-823F-678D1D8E7359}",
      "{31A45296-2EE2-4F18-8F06-A34F167781C8}", "{93153262-6D9C-4620-9D05-75767AEE03EB}",
      "{D9399E48-376A-49B5-BBEF-3E6F3A049963}", "{ADEAC56E-8F6B-48D7-A9D5-2C66AF1C7E71}",
      "{0007F383-AB31-40DF-A0CE-40E0116617D3}", "{21F2B9AB-BED3-4669-B983-6E027ECB4F07}"}},
    {WMT_VER_8_0,
     {"{5EC82107-CAAE-4863-BF46-E1B83E08827D}", "{84241DFC-8361-4EE3-94CE-12B96D64B046}",
      "{B94AC13E-6F39-4999-93DD-0DB8B19D6C0D}", "{36E2FDAF-4C19-4C8A-9C25-A668E8149669}",
      "{01656FCC-D6AD-42E0-BACE-65C71E92C12A}", "{61AB5C60-6410-4274-A169-CB4C30057F21}",
      "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}", "{A8D64209-E00E-445F-B8BC-88681558EB14}",
      "{DB2EEC8D-2F7F-4606-B655-0461FFDC9210}", "{53B0A380-CE1C-4413-805A-4308F78693A4}",
      "{FD02E46B-AA9F-4A6C-AE97-A70C8A0FE98D}"}},
    {WMT_VER_9_0, {}},
};

} // namespace

TEST(SystemProfileCatalogue, EachVersionListsItsPinnedProfilesInOrder)
{
    for (const auto& [version, guids] : kPinnedGuids) {
        SCOPED_TRACE(version);
        const std::vector<Entry> entries = LoadVersion(version);
        std::vector<std::string> listed;
        for (const Entry& entry : entries)
            listed.push_back(GuidText(entry.id));
        EXPECT_EQ(guids, listed);
    }
}

TEST(SystemProfileCatalogue, GuidsAreUniqueAcrossVersions)
{
    std::set<std::string> seen;
    for (const Entry& entry : LoadEverything())
        EXPECT_TRUE(seen.insert(GuidText(entry.id)).second) << GuidText(entry.id);
    EXPECT_EQ(26u, seen.size());
}

TEST(SystemProfileCatalogue, DefaultCaptureProfileIsSingleStreamMusicAudio)
{
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, WMCreateProfileManager(&manager));
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(S_OK, manager->LoadProfileByID(kDefaultCaptureProfile, &profile));
    const Entry entry = Describe(profile.Get(), WMT_VER_8_0, 0);
    EXPECT_TRUE(entry.AudioOnly());
    ASSERT_TRUE(entry.hasAudio);
    EXPECT_EQ(AudioCodec::WmaV2, entry.audio.codec);
    EXPECT_STREQ("wmav2", entry.audio.encoderName);
    EXPECT_EQ(0x0161, entry.audio.formatTag);
    EXPECT_EQ(44100u, entry.audio.samplesPerSecond);
    EXPECT_EQ(2, entry.audio.channels);
    EXPECT_EQ(64000u, entry.audio.bitsPerSecond);
    EXPECT_EQ(64000u, entry.streams[0].bitrate);
    EXPECT_EQ(1, entry.audio.streamNumber);
    EXPECT_EQ(1u, entry.audio.streamCount);
}

TEST(SystemProfileCatalogue, AudioStreamsStayWithinWhatTheEncodersAccept)
{
    for (const Entry& entry : LoadEverything()) {
        SCOPED_TRACE(U8(entry.name));
        for (const Stream& stream : entry.streams)
            EXPECT_TRUE(stream.type == WMMEDIATYPE_Audio || stream.type == WMMEDIATYPE_Video);
        if (!entry.hasAudio) {
            EXPECT_TRUE(entry.VideoOnly());
            continue;
        }
        // Version 4.0 profiles use the first WMA generation, later ones the second.
        const bool firstGeneration = entry.version == WMT_VER_4_0;
        EXPECT_EQ(firstGeneration ? AudioCodec::WmaV1 : AudioCodec::WmaV2, entry.audio.codec);
        EXPECT_STREQ(firstGeneration ? "wmav1" : "wmav2", entry.audio.encoderName);
        EXPECT_EQ(firstGeneration ? 0x0160 : 0x0161, entry.audio.formatTag);
        EXPECT_GE(entry.audio.bitsPerSecond, 32000u); // the file's share leaves the codec 24000
        EXPECT_LE(entry.audio.samplesPerSecond, 48000u);
        EXPECT_GE(entry.audio.samplesPerSecond, 8000u);
        EXPECT_GE(entry.audio.channels, 1);
        EXPECT_LE(entry.audio.channels, 2);
        ASSERT_GE(entry.audio.streamNumber, 1);
        ASSERT_LE(entry.audio.streamNumber, entry.streams.size());
        EXPECT_EQ(WMMEDIATYPE_Audio, entry.streams[entry.audio.streamNumber - 1].type);
        EXPECT_EQ(entry.audio.bitsPerSecond, entry.streams[entry.audio.streamNumber - 1].bitrate);
        EXPECT_EQ(entry.streams.size(), entry.audio.streamCount);
    }
}

TEST(SystemProfileCatalogue, EveryVersionMixesAudioVideoAndAudioWithVideo)
{
    for (WMT_VERSION version : {WMT_VER_4_0, WMT_VER_7_0, WMT_VER_8_0}) {
        SCOPED_TRACE(version);
        const std::vector<Entry> entries = LoadVersion(version);
        int audioOnly = 0, videoOnly = 0, mixed = 0;
        bool speech = false, music = false;
        std::set<std::u16string> names;
        for (const Entry& entry : entries) {
            audioOnly += entry.AudioOnly();
            videoOnly += entry.VideoOnly();
            mixed += entry.streams.size() == 2 && entry.hasAudio;
            if (entry.AudioOnly()) {
                speech |= entry.audio.channels == 1 && entry.audio.samplesPerSecond <= 16000;
                music |= entry.audio.channels == 2 && entry.audio.samplesPerSecond >= 44100;
            }
            EXPECT_FALSE(entry.name.empty());
            EXPECT_FALSE(entry.description.empty());
            EXPECT_TRUE(names.insert(entry.name).second) << U8(entry.name);
        }
        EXPECT_GE(audioOnly, 4);
        EXPECT_GE(videoOnly, 1);
        EXPECT_GE(mixed, 1);
        EXPECT_TRUE(speech);
        EXPECT_TRUE(music);
        // A client that filters for audio-only profiles must meet the others before the end.
        ASSERT_FALSE(entries.empty());
        EXPECT_TRUE(entries.back().AudioOnly());
    }
}

TEST(SystemProfileCatalogue, LoadProfileByIdFindsEveryProfileWhateverTheCurrentVersion)
{
    const std::vector<Entry> all = LoadEverything();
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(S_OK, WMCreateProfileManager(&manager));
    ComPtr<IWMProfileManager2> manager2 = manager.As<IWMProfileManager2>();
    ASSERT_TRUE(manager2);
    for (WMT_VERSION current : {WMT_VER_4_0, WMT_VER_9_0}) {
        ASSERT_EQ(S_OK, manager2->SetSystemProfileVersion(current));
        for (const Entry& expected : all) {
            SCOPED_TRACE(GuidText(expected.id));
            ComPtr<IWMProfile> profile;
            ASSERT_EQ(S_OK, manager->LoadProfileByID(expected.id, &profile));
            const Entry loaded = Describe(profile.Get(), expected.version, expected.index);
            EXPECT_EQ(expected.id, loaded.id);
            EXPECT_EQ(expected.name, loaded.name);
            EXPECT_EQ(expected.description, loaded.description);
            EXPECT_EQ(expected.streams.size(), loaded.streams.size());
        }
    }
}

// Encodes ten seconds at each distinct audio format of the catalogue and checks that the file
// holds what the profile promises: the codec, rate and channels, and the bit rate within 3%
// both as the stream header states it and as the packets measure it.
TEST(SystemProfileCatalogue, EveryAudioFormatRecordsWhatItPromises)
{
    TempFolder folder;
    std::set<std::tuple<std::string, DWORD, WORD, DWORD>> formats;
    for (const Entry& entry : LoadEverything())
        if (entry.hasAudio)
            formats.emplace(entry.audio.encoderName, entry.audio.samplesPerSecond,
                            entry.audio.channels, entry.audio.bitsPerSecond);
    ASSERT_GE(formats.size(), 10u);

    for (const auto& [codec, rate, channels, bitrate] : formats) {
        const std::string path =
            folder / (codec + "-" + std::to_string(rate) + "-" + std::to_string(channels) + "-" +
                      std::to_string(bitrate) + ".wma");
        SCOPED_TRACE(path);
        ASSERT_TRUE(MakeWmaClip(path, 10, int(rate), channels, codec, int(bitrate)));
        auto stream = Probe(path, "-select_streams a:0 -show_entries "
                                  "stream=codec_name,sample_rate,channels,bit_rate");
        EXPECT_EQ(codec, stream["codec_name"]);
        EXPECT_EQ(std::to_string(rate), stream["sample_rate"]);
        EXPECT_EQ(std::to_string(channels), stream["channels"]);
        EXPECT_NEAR(double(bitrate), std::stod("0" + stream["bit_rate"]), bitrate * 0.03);

        // Measured: bytes of all audio packets over their total duration.
        const std::string packets = RunCommand(
            "ffprobe -v error -select_streams a:0 -show_entries packet=size,duration_time "
            "-of csv=p=0 " +
            Quote(path));
        std::istringstream lines(packets);
        std::string line;
        double bytes = 0, seconds = 0;
        while (std::getline(lines, line)) {
            const size_t comma = line.find(',');
            if (comma == std::string::npos)
                continue;
            // ffprobe orders the fields as the section defines them: duration_time, size.
            seconds += std::stod(line.substr(0, comma));
            bytes += std::stod(line.substr(comma + 1));
        }
        ASSERT_GT(seconds, 9.0);
        EXPECT_NEAR(double(bitrate), bytes * 8 / seconds, bitrate * 0.03);
    }
}
