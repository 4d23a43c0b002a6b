#include "WavFile.h"
#include "TempFolder.h"
#include "WavBytes.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

namespace {

using namespace audio_test;

const std::vector<int16_t> Stereo = {1, -1, 32767, -32768, 0, 256, -300, 12345};

TEST(WavFileTest, ReadsPlainAndExtensiblePcmPastUnknownChunks)
{
    for (WavLayout layout : {WavLayout{44100, 2}, WavLayout{48000, 2, 16, 1, true, false},
                             WavLayout{22050, 2, 16, 1, false, true}}) {
        SCOPED_TRACE(layout.rate);
        std::vector<uint8_t> image = WavImage(Stereo, layout);
        WavFile wav;
        std::string error;
        ASSERT_EQ(WavFile::Parse(image, wav, &error), S_OK) << error;
        EXPECT_EQ(wav.Rate(), layout.rate);
        EXPECT_EQ(wav.Channels(), 2u);
        EXPECT_EQ(wav.Frames(), 4u);
        EXPECT_EQ(wav.Samples(), Stereo);
    }
}

TEST(WavFileTest, ReadsFromDiskAndReadsTheFormatAlone)
{
    TempFolder folder;
    WriteFile(folder / "a.wav", WavImage(Stereo, {8000, 2}));
    WavFile wav;
    ASSERT_EQ(WavFile::Load(folder / "a.wav", wav), S_OK);
    EXPECT_EQ(wav.Samples(), Stereo);

    WavFile format;
    ASSERT_EQ(WavFile::LoadFormat(folder / "a.wav", format), S_OK);
    EXPECT_EQ(format.Rate(), 8000u);
    EXPECT_EQ(format.Channels(), 2u);
    EXPECT_EQ(format.Frames(), 4u);
    EXPECT_TRUE(format.Samples().empty());

    std::string error;
    EXPECT_EQ(WavFile::Load(folder / "missing.wav", wav, &error),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
}

TEST(WavFileTest, TakesWhatIsThereWhenTheDataSizeIsWrong)
{
    // A writer killed mid-recording leaves a data size of 0 or one larger than the file.
    std::vector<uint8_t> image = WavImage(Stereo, {8000, 2});
    std::vector<uint8_t> zeroSize = image;
    zeroSize[40] = zeroSize[41] = zeroSize[42] = zeroSize[43] = 0;
    std::vector<uint8_t> cut(image.begin(), image.end() - 5); // one whole frame and a torn one
    for (const auto& damaged : {zeroSize, cut}) {
        WavFile wav;
        ASSERT_EQ(WavFile::Parse(damaged, wav), S_OK);
        EXPECT_EQ(wav.Frames(), damaged.size() == image.size() ? 4u : 2u);
        EXPECT_TRUE(std::equal(wav.Samples().begin(), wav.Samples().end(), Stereo.begin()));
    }
}

TEST(WavFileTest, RefusesWhatIsNotSixteenBitPcm)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> image;
        const char* message;
    };
    std::vector<uint8_t> noData = WavImage({}, {});
    noData.resize(36); // RIFF header and format chunk only
    std::vector<uint8_t> truncated = WavImage({});
    truncated.resize(24); // the format chunk's header and half its body
    const Case cases[] = {
        {"empty", {}, "not a RIFF WAVE file"},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}, "not a RIFF"},
        {"8-bit", WavImage({1, 2}, {8000, 1, 8}), "8-bit samples"},
        {"float", WavImage({1, 2}, {8000, 1, 16, 3}), "format tag 3 is not PCM"},
        {"extensible float", WavImage({1, 2}, {8000, 1, 16, 3, true}), "not PCM"},
        {"no data", noData, "no data chunk"},
        {"truncated format", truncated, "format chunk is truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WavFile wav;
        std::string error;
        EXPECT_EQ(WavFile::Parse(c.image, wav, &error), VFW_E_INVALID_FILE_FORMAT);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(wav.Frames(), 0u);
    }
}

} // namespace
