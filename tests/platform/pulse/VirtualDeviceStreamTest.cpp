#include "VirtualDeviceStream.h"
#include "CaptureRecorder.h"
#include "TempFolder.h"
#include "WavBytes.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace audio_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

VirtualDevice ToneDevice(double frequency, uint32_t rate, uint32_t channels, double level = 1.0)
{
    VirtualDevice device;
    device.name = "Tone";
    device.signal = VirtualSignal::Tone;
    device.frequency = frequency;
    device.rate = rate;
    device.channels = channels;
    device.level = level;
    return device;
}

std::unique_ptr<VirtualDeviceStream> Open(const VirtualDevice& device, CaptureRecorder& recorder)
{
    std::unique_ptr<VirtualDeviceStream> stream;
    std::string error;
    EXPECT_EQ(VirtualDeviceStream::Create(device, recorder.Callbacks(), stream, &error), S_OK)
        << error;
    return stream;
}

TEST(VirtualDeviceStreamTest, PacesTwentyMillisecondChunksOfTheTone)
{
    CaptureRecorder recorder(2);
    auto stream = Open(ToneDevice(1000, 48000, 2, 0.5), recorder);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Format(), (PulseCaptureFormat{48000, 2}));
    ASSERT_EQ(stream->Start(), S_OK);
    EXPECT_EQ(stream->Start(), S_FALSE);
    Clock::time_point started = Clock::now();
    std::this_thread::sleep_for(1s);
    stream->Stop();
    double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

    std::vector<ChunkRecord> chunks = recorder.Chunks();
    EXPECT_TRUE(PositionsAreContiguous(chunks));
    for (const ChunkRecord& chunk : chunks)
        EXPECT_EQ(chunk.frames, 960u);
    EXPECT_NEAR(MedianIntervalMs(chunks), 20.0, 5.0);
    // Paced by the clock: the frames delivered follow the time spent running.
    EXPECT_NEAR(double(recorder.TotalFrames()) / 48000, elapsed, 0.06);

    std::vector<int16_t> samples = recorder.Channel0();
    EXPECT_NEAR(ToneFrequency(samples, 48000), 1000.0, 0.5);
    EXPECT_NEAR(Peak(samples), 0.5 * 32767, 2);
}

TEST(VirtualDeviceStreamTest, RatesThatFiftyDoesNotDivideLoseNoFrames)
{
    CaptureRecorder recorder(1);
    auto stream = Open(ToneDevice(100, 11025, 1), recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(3s, [](const CaptureRecorder& r) { return r.chunks.size() >= 50; }));
    stream->Stop();
    std::vector<ChunkRecord> chunks = recorder.Chunks();
    EXPECT_EQ(chunks[49].position + chunks[49].frames, 11025u); // one second in 50 chunks
    for (const ChunkRecord& chunk : chunks)
        EXPECT_TRUE(chunk.frames == 220 || chunk.frames == 221) << chunk.frames;
}

TEST(VirtualDeviceStreamTest, LevelScalesTheSignalAndSilenceIsSilent)
{
    CaptureRecorder recorder(1);
    auto stream = Open(ToneDevice(500, 8000, 1, 1.0), recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(2s, [](const CaptureRecorder& r) { return r.chunks.size() >= 5; }));
    stream->SetLevel(0.25);
    size_t before = recorder.Channel0().size();
    ASSERT_TRUE(
        recorder.WaitFor(2s, [](const CaptureRecorder& r) { return r.chunks.size() >= 15; }));
    stream->Stop();
    std::vector<int16_t> samples = recorder.Channel0();
    EXPECT_NEAR(Peak({samples.begin(), samples.begin() + long(before)}), 32767, 2);
    // The chunk being generated when the level changed may still be loud; the later ones not.
    EXPECT_NEAR(Peak({samples.begin() + long(before) + 160, samples.end()}), 0.25 * 32767, 2);

    VirtualDevice quiet;
    quiet.signal = VirtualSignal::Silence;
    CaptureRecorder silence(2);
    auto silent = Open(quiet, silence);
    ASSERT_TRUE(silent);
    ASSERT_EQ(silent->Start(), S_OK);
    ASSERT_TRUE(silence.WaitFor(2s, [](const CaptureRecorder& r) { return r.chunks.size() >= 3; }));
    silent->Stop();
    EXPECT_EQ(Peak(silence.Channel0()), 0);
    EXPECT_EQ(silence.Chunks()[0].frames, 882u);
}

TEST(VirtualDeviceStreamTest, PlaysAWavFileBitForBitAndLoopsIt)
{
    TempFolder folder;
    // 0.1 s of stereo frames that differ from each other, shorter than the recording.
    std::vector<int16_t> samples;
    for (int i = 0; i < 800; ++i) {
        samples.push_back(int16_t(i * 40 - 16000));
        samples.push_back(int16_t(-i * 7 + 3));
    }
    WriteFile(folder / "ramp.wav", WavImage(samples, {8000, 2}));
    VirtualDevice device;
    device.signal = VirtualSignal::WavFile;
    device.wavPath = folder.Path() / "ramp.wav";
    device.rate = 44100; // the file's own format wins
    device.channels = 1;

    CaptureRecorder recorder(2, true);
    auto stream = Open(device, recorder);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Format(), (PulseCaptureFormat{8000, 2}));
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(3s, [](const CaptureRecorder& r) { return r.bytes.size() >= 2000 * 4; }));
    stream->Stop();

    std::vector<uint8_t> bytes = recorder.Bytes();
    ASSERT_GE(bytes.size(), 2000u * 4);
    for (size_t frame = 0; frame < 2000; ++frame) {
        for (size_t channel = 0; channel < 2; ++channel) {
            size_t at = (frame * 2 + channel) * 2;
            auto got = int16_t(uint16_t(bytes[at] | (bytes[at + 1] << 8)));
            ASSERT_EQ(got, samples[(frame % 800) * 2 + channel]) << "frame " << frame;
        }
    }
}

TEST(VirtualDeviceStreamTest, PausedTimeAddsNoFrames)
{
    CaptureRecorder recorder(1);
    auto stream = Open(ToneDevice(440, 8000, 1), recorder);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Pause(), VFW_E_WRONG_STATE);
    ASSERT_EQ(stream->Start(), S_OK);
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(stream->Pause(), S_OK);
    size_t atPause = recorder.ChunkCount();
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(recorder.ChunkCount(), atPause + 1);
    ASSERT_EQ(stream->Resume(), S_OK);
    std::this_thread::sleep_for(500ms);
    stream->Stop();
    EXPECT_TRUE(PositionsAreContiguous(recorder.Chunks()));
    EXPECT_NEAR(double(recorder.TotalFrames()) / 8000, 1.0, 0.08);
    // The tone carries on across the pause without a jump in phase.
    EXPECT_NEAR(ToneFrequency(recorder.Channel0(), 8000), 440.0, 0.5);
}

TEST(VirtualDeviceStreamTest, StopsFromInsideItsCallbackAndStartsAgain)
{
    CaptureRecorder recorder(1);
    std::unique_ptr<VirtualDeviceStream> stream;
    std::atomic<int> calls = 0;
    recorder.onChunk = [&](const PulseCaptureChunk&) {
        if (++calls == 3)
            stream->Stop();
    };
    stream = Open(ToneDevice(440, 8000, 1), recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(2s, [](const CaptureRecorder& r) { return r.chunks.size() >= 3; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(calls, 3);

    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(2s, [](const CaptureRecorder& r) { return r.chunks.size() >= 4; }));
    EXPECT_EQ(recorder.Chunks()[3].position, 0u);
    Clock::time_point before = Clock::now();
    stream.reset();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - before).count(), 0.5);
}

TEST(VirtualDeviceStreamTest, ADeviceWithoutCaptureOutputOrFileCannotStream)
{
    CaptureRecorder recorder;
    std::unique_ptr<VirtualDeviceStream> stream;
    VirtualDevice noOutput = ToneDevice(440, 8000, 1);
    noOutput.name = "Lines only";
    noOutput.hasCaptureOutput = false;
    std::string error;
    EXPECT_EQ(VirtualDeviceStream::Create(noOutput, recorder.Callbacks(), stream, &error),
              VFW_E_NOT_FOUND);
    EXPECT_NE(error.find("'Lines only' has no capture output"), std::string::npos) << error;
    EXPECT_EQ(stream, nullptr);

    VirtualDevice gone;
    gone.signal = VirtualSignal::WavFile;
    gone.wavPath = "/nonexistent/quillet.wav";
    EXPECT_EQ(VirtualDeviceStream::Create(gone, recorder.Callbacks(), stream, &error),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(stream, nullptr);
}

} // namespace
