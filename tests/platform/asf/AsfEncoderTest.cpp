// The ASF writer's FFmpeg side with real encoding into real files, checked with ffprobe and by
// decoding them with FFmpeg's libraries.
#include "AsfEncoder.h"
#include "AsfTestSupport.h"
#include "TempFolder.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

using namespace asftest;
using Codec = AsfEncoder::Codec;

namespace {

HRESULT Record(const AsfEncoder::Config& config, const std::vector<int16_t>& pcm)
{
    AsfEncoder encoder;
    HRESULT hr = encoder.Open(config);
    if (FAILED(hr))
        return hr;
    hr = encoder.Write(pcm.data(), pcm.size() * sizeof(int16_t), 0);
    if (FAILED(hr))
        return hr;
    return encoder.Finish();
}

double ProbeNumber(const std::map<std::string, std::string>& probe, const std::string& key)
{
    auto it = probe.find(key);
    return it == probe.end() ? -1.0 : std::stod(it->second);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// A tone recorded through every conversion the writer does (rate, channel count, codec version)
// comes out as an ASF file of the target format, 3 s long, still at 440 Hz.
struct ToneCase
{
    uint32_t inputRate, inputChannels;
    Codec codec;
    uint32_t rate, channels, bitRate;
};

class AsfEncoderTone : public testing::TestWithParam<ToneCase>
{
};

TEST_P(AsfEncoderTone, IsAsfOfTheTargetFormatAndKeepsThePitch)
{
    const ToneCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / "tone.wma";
    ASSERT_EQ(S_OK, Record(MakeConfig(path, c.inputRate, c.inputChannels, c.codec, c.rate,
                                      c.channels, c.bitRate),
                           MakePcm(3.0, c.inputRate, c.inputChannels, Sine(440))));

    const auto probe = Probe(path);
    EXPECT_EQ("asf", probe.at("format.format_name"));
    EXPECT_EQ(c.codec == Codec::Wmav1 ? "wmav1" : "wmav2", probe.at("streams.stream.0.codec_name"));
    EXPECT_EQ(std::to_string(c.rate), probe.at("streams.stream.0.sample_rate"));
    EXPECT_EQ(std::to_string(c.channels), probe.at("streams.stream.0.channels"));
    EXPECT_NEAR(3.0, ProbeNumber(probe, "format.duration"), 0.1);

    const Decoded decoded = DecodeFile(path);
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    EXPECT_NEAR(3.0, decoded.Seconds(), 0.15);
    // One second from the middle, clear of the codec's start-up.
    EXPECT_NEAR(440.0,
                PeakFrequency(decoded.mono, decoded.rate, size_t(decoded.rate),
                              size_t(decoded.rate), 300, 600),
                2.0);
}

INSTANTIATE_TEST_SUITE_P(Conversions, AsfEncoderTone,
                         testing::Values(ToneCase{44100, 2, Codec::Wmav2, 44100, 2, 128000},
                                         ToneCase{48000, 1, Codec::Wmav2, 22050, 2, 48000},
                                         ToneCase{44100, 2, Codec::Wmav1, 16000, 1, 24000},
                                         ToneCase{8000, 1, Codec::Wmav1, 32000, 2, 64000},
                                         ToneCase{192000, 8, Codec::Wmav2, 48000, 2, 192000}));

TEST(AsfEncoder, DecodedChirpMatchesTheInputAfterTheCodecDelay)
{
    TempFolder folder;
    const std::string path = folder / "chirp.wma";
    const uint32_t rate = 44100;
    const auto pcm = MakePcm(1.0, rate, 1, Chirp(100, 5000, 1.0));
    ASSERT_EQ(S_OK, Record(MakeConfig(path, rate, 1, Codec::Wmav2, rate, 1, 128000), pcm));

    const Decoded decoded = DecodeFile(path);
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    std::vector<float> reference(pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i)
        reference[i] = float(pcm[i]) / 32768.0f;
    long lag = 0;
    // FFmpeg's decoder starts one frame (2,048 samples at this rate) into the stream, so the
    // decoded signal leads the input by that much; allow two frames either way.
    const double correlation = BestCorrelation(reference, decoded.mono, 4096, &lag);
    EXPECT_GT(correlation, 0.9) << "best lag " << lag;
}

// A 10-second file (header, packets, index and all) averages the nominal bit rate, and a long one
// stays close to it too: the rate is what a size limit's duration estimate divides by.
struct RateCase
{
    Codec codec;
    uint32_t rate, channels, bitRate;
};

class AsfEncoderBitRate : public testing::TestWithParam<RateCase>
{
};

TEST_P(AsfEncoderBitRate, TenSecondFileAveragesTheNominalRate)
{
    const RateCase& c = GetParam();
    TempFolder folder;
    const std::string path = folder / "rate.wma";
    ASSERT_EQ(S_OK, Record(MakeConfig(path, 44100, 2, c.codec, c.rate, c.channels, c.bitRate),
                           MakePcm(10.0, 44100, 2, Music())));

    const double ratio = double(FileSize(path)) * 8 / 10.0 / c.bitRate;
    EXPECT_NEAR(1.0, ratio, 0.05) << "file size " << FileSize(path);
    const std::string minute = folder / "minute.wma";
    ASSERT_EQ(S_OK, Record(MakeConfig(minute, 44100, 2, c.codec, c.rate, c.channels, c.bitRate),
                           MakePcm(60.0, 44100, 2, Music())));
    EXPECT_NEAR(1.0, double(FileSize(minute)) * 8 / 60.0 / c.bitRate, 0.05);

    const auto probe = Probe(path);
    EXPECT_EQ(std::to_string(c.rate), probe.at("streams.stream.0.sample_rate"));
    EXPECT_EQ(std::to_string(c.channels), probe.at("streams.stream.0.channels"));
    EXPECT_NEAR(10.0, ProbeNumber(probe, "format.duration"), 0.1);
    const Decoded decoded = DecodeFile(path);
    EXPECT_NEAR(10.0, decoded.Seconds(), 0.15);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, AsfEncoderBitRate,
    testing::Values(
        RateCase{Codec::Wmav1, 8000, 1, 48000}, RateCase{Codec::Wmav1, 22050, 1, 32000},
        RateCase{Codec::Wmav1, 44100, 2, 64000}, RateCase{Codec::Wmav1, 32000, 2, 128000},
        RateCase{Codec::Wmav1, 48000, 2, 192000}, RateCase{Codec::Wmav2, 8000, 1, 32000},
        RateCase{Codec::Wmav2, 11025, 1, 32000}, RateCase{Codec::Wmav2, 16000, 1, 32000},
        RateCase{Codec::Wmav2, 22050, 2, 48000}, RateCase{Codec::Wmav2, 44100, 1, 96000},
        RateCase{Codec::Wmav2, 44100, 2, 128000}, RateCase{Codec::Wmav2, 48000, 2, 192000}));

TEST(AsfEncoder, PauseContinuesTheStreamWithoutAGap)
{
    TempFolder folder;
    const std::string path = folder / "pause.wma";
    const uint32_t rate = 22050;
    AsfEncoder encoder;
    ASSERT_EQ(S_OK, encoder.Open(MakeConfig(path, rate, 1, Codec::Wmav2, rate, 1, 32000)));
    const auto first = MakePcm(3.0, rate, 1, Sine(440));
    const auto second = MakePcm(2.0, rate, 1, Sine(440));
    ASSERT_EQ(S_OK, encoder.Write(first.data(), first.size() * 2, 0));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The time stamps after a pause run on by the wall-clock time of the pause.
    ASSERT_EQ(S_OK, encoder.Write(second.data(), second.size() * 2, 40'000'000));
    ASSERT_EQ(S_OK, encoder.Finish());

    EXPECT_NEAR(5.0, ProbeNumber(Probe(path), "format.duration"), 0.1);
    const Decoded decoded = DecodeFile(path);
    EXPECT_NEAR(5.0, decoded.Seconds(), 0.15);
    // Packets are evenly spaced (their times are whole milliseconds, each rounded on its own);
    // a gap for the pause would show as one step a second longer than the rest.
    ASSERT_GE(decoded.packetPts.size(), 3u);
    int64_t shortest = INT64_MAX, longest = 0;
    for (size_t i = 1; i < decoded.packetPts.size(); ++i) {
        shortest = std::min(shortest, decoded.packetPts[i] - decoded.packetPts[i - 1]);
        longest = std::max(longest, decoded.packetPts[i] - decoded.packetPts[i - 1]);
    }
    EXPECT_LE(longest - shortest, 2);
}

TEST(AsfEncoder, TornSampleFramesAcrossWritesGiveTheSameFile)
{
    TempFolder folder;
    const auto pcm = MakePcm(1.5, 44100, 2, Music());
    const auto whole = MakeConfig(folder / "whole.wma", 44100, 2, Codec::Wmav2, 44100, 2, 64000);
    ASSERT_EQ(S_OK, Record(whole, pcm));

    auto pieces = whole;
    pieces.path = folder / "pieces.wma";
    AsfEncoder encoder;
    ASSERT_EQ(S_OK, encoder.Open(pieces));
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    // 7 bytes at a time splits samples and sample frames of 4 bytes everywhere.
    for (size_t done = 0; done < total; done += 7)
        ASSERT_EQ(S_OK, encoder.Write(bytes + done, std::min<size_t>(7, total - done), 0));
    ASSERT_EQ(S_OK, encoder.Finish());

    EXPECT_TRUE(ReadAll(whole.path) == ReadAll(pieces.path));
}

TEST(AsfEncoder, ExistingFileIsKeptUnlessOverwriteIsOn)
{
    TempFolder folder;
    const std::string path = folder / "exists.wma";
    {
        std::ofstream(path) << "not audio";
    }
    auto config = MakeConfig(path, 44100, 2, Codec::Wmav2, 44100, 2, 128000);
    const auto pcm = MakePcm(1.0, 44100, 2, Sine(440));

    AsfEncoder refused;
    EXPECT_EQ(HRESULT_FROM_WIN32(80), refused.Open(config)); // ERROR_FILE_EXISTS
    EXPECT_EQ("not audio", ReadAll(path));
    EXPECT_EQ(VFW_E_WRONG_STATE, refused.Write(pcm.data(), pcm.size() * 2, 0));
    EXPECT_EQ(S_FALSE, refused.Finish());

    config.overwrite = true;
    ASSERT_EQ(S_OK, Record(config, pcm));
    EXPECT_EQ("asf", Probe(path).at("format.format_name"));
    EXPECT_NEAR(1.0, DecodeFile(path).Seconds(), 0.15);
}

TEST(AsfEncoder, MissingFolderFailsAndCreatesNothing)
{
    TempFolder folder;
    AsfEncoder encoder;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              encoder.Open(MakeConfig(folder / "missing/take.wma", 44100, 2, Codec::Wmav2, 44100, 2,
                                      128000)));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
    EXPECT_FALSE(encoder.IsOpen());
}

TEST(AsfEncoder, TargetsTheEncodersRefuseAreInvalidArguments)
{
    TempFolder folder;
    const std::string path = folder / "refused.wma";
    const auto good = MakeConfig(path, 44100, 2, Codec::Wmav2, 44100, 2, 128000);
    struct Bad
    {
        const char* what;
        void (*change)(AsfEncoder::Config&);
    };
    const Bad cases[] = {
        {"bit rate below 24000", [](AsfEncoder::Config& c) { c.target.bitRate = 23999; }},
        {"target above 48 kHz", [](AsfEncoder::Config& c) { c.target.sampleRate = 96000; }},
        {"target below 8 kHz", [](AsfEncoder::Config& c) { c.target.sampleRate = 7999; }},
        {"three target channels", [](AsfEncoder::Config& c) { c.target.channels = 3; }},
        {"no target channels", [](AsfEncoder::Config& c) { c.target.channels = 0; }},
        {"unknown codec", [](AsfEncoder::Config& c) { c.target.codec = Codec(7); }},
        {"input below 8 kHz", [](AsfEncoder::Config& c) { c.inputRate = 7999; }},
        {"input above 192 kHz", [](AsfEncoder::Config& c) { c.inputRate = 192001; }},
        {"nine input channels", [](AsfEncoder::Config& c) { c.inputChannels = 9; }},
        {"no input channels", [](AsfEncoder::Config& c) { c.inputChannels = 0; }},
        {"empty path", [](AsfEncoder::Config& c) { c.path.clear(); }},
    };
    for (const Bad& bad : cases) {
        auto config = good;
        bad.change(config);
        AsfEncoder encoder;
        EXPECT_EQ(E_INVALIDARG, AsfEncoder::CheckConfig(config)) << bad.what;
        EXPECT_EQ(E_INVALIDARG, encoder.Open(config)) << bad.what;
        EXPECT_FALSE(std::filesystem::exists(path)) << bad.what;
    }
    EXPECT_EQ(S_OK, AsfEncoder::CheckConfig(good));
}

TEST(AsfEncoder, FinishIsFinalAndTheDestructorFinishes)
{
    TempFolder folder;
    const auto pcm = MakePcm(2.0, 44100, 2, Sine(440));
    const std::string path = folder / "final.wma";
    {
        AsfEncoder encoder;
        ASSERT_EQ(S_OK, encoder.Open(MakeConfig(path, 44100, 2, Codec::Wmav1, 44100, 2, 64000)));
        ASSERT_EQ(S_OK, encoder.Write(pcm.data(), pcm.size() * 2, 0));
        ASSERT_EQ(S_OK, encoder.Finish());
        const int64_t size = FileSize(path);
        EXPECT_EQ(S_OK, encoder.Finish());
        EXPECT_EQ(VFW_E_WRONG_STATE, encoder.Write(pcm.data(), pcm.size() * 2, 0));
        EXPECT_EQ(VFW_E_WRONG_STATE,
                  encoder.Open(MakeConfig(path, 44100, 2, Codec::Wmav1, 44100, 2, 64000)));
        EXPECT_EQ(size, FileSize(path));
    }
    EXPECT_NEAR(2.0, ProbeNumber(Probe(path), "format.duration"), 0.1);

    const std::string abandoned = folder / "abandoned.wma";
    {
        AsfEncoder encoder;
        ASSERT_EQ(S_OK,
                  encoder.Open(MakeConfig(abandoned, 44100, 2, Codec::Wmav2, 44100, 2, 64000)));
        ASSERT_EQ(S_OK, encoder.Write(pcm.data(), pcm.size() * 2, 0));
    }
    // The trailer rewrote the header: ffprobe takes the duration from it.
    EXPECT_NEAR(2.0, ProbeNumber(Probe(abandoned), "format.duration"), 0.1);
    EXPECT_NEAR(2.0, DecodeFile(abandoned).Seconds(), 0.15);
}
