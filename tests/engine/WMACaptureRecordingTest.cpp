// A recording as a client makes it: WMACapture created by CLSID, a sink advised, prepared,
// built and run on the private test server, events pumped on this thread, the file decoded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "CaptureEngineTest.h"
#include "dshow/MediaTypes.h"

using namespace std::chrono_literals;

namespace {

std::string Probe(const std::string& path, const std::string& entries)
{
    return audio_test::Shell("ffprobe -v error -show_entries " + entries +
                             " -of default=noprint_wrappers=1 '" + path + "'");
}

double ProbeNumber(const std::string& text, const std::string& key)
{
    size_t at = text.find(key + "=");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + key.size() + 1);
}

class WMACaptureRecordingTest : public CaptureEngineTest
{
};

} // namespace

TEST_F(WMACaptureRecordingTest, ThreeSecondsFromTheNullSinksMonitor)
{
    std::string path = folder / "take.wma";
    ASSERT_EQ(capture->Prepare(), S_OK);
    Bstr source = Bstr::FromUtf8("Monitor of Quillet Test Output");
    ASSERT_EQ(capture->put_SourceId(source.Get()), S_OK);
    Bstr output = Bstr::FromUtf8(path);
    ASSERT_EQ(capture->put_OutputPath(output.Get()), S_OK);
    ASSERT_EQ(capture->Build(), S_OK);

    // Exactly one SampleFormat during Build, carrying the capture format.
    ASSERT_EQ(sink->Count(1), 1u);
    const std::vector<BYTE>& payload = sink->events[0].bytes;
    ASSERT_GE(payload.size(), 72u + sizeof(WAVEFORMATEX));
    GUID major;
    std::memcpy(&major, payload.data(), 16);
    EXPECT_EQ(major, MEDIATYPE_Audio);
    uint32_t cbFormat = 0;
    std::memcpy(&cbFormat, payload.data() + 64, 4);
    ASSERT_EQ(payload.size(), 72u + cbFormat);
    WAVEFORMATEX wave;
    std::memcpy(&wave, payload.data() + 72, sizeof wave);
    EXPECT_EQ(wave.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wave.wBitsPerSample, 16);
    EXPECT_EQ(wave.nSamplesPerSec, 48000u);
    EXPECT_EQ(wave.nChannels, 2);

    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    ASSERT_EQ(sink->events.back().dispid, 7);
    EXPECT_EQ(sink->events.back().longs[0], dsg_running);
    // The test server's monitor starts late (its sink renders in long blocks); count from the
    // first buffer.
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(3) > 0; }, 5000ms));
    size_t before = sink->events.size();
    PumpFor(3000ms);
    ASSERT_EQ(capture->Stop(), S_OK);
    sink->events.erase(sink->events.begin(), sink->events.begin() + long(before));
    EXPECT_EQ(sink->events.back().longs[0], dsg_stopped);

    size_t positions = sink->Count(4);
    size_t sizes = sink->Count(5);
    EXPECT_GE(positions, 20u); // every 100 ms, some ticks lost to a busy machine
    EXPECT_LE(positions, 40u);
    EXPECT_GE(sizes, 6u);
    EXPECT_LE(sizes, 14u);
    double lastPosition = 0;
    size_t sampleBytes = 0;
    double lastTime = -1;
    for (const CaptureEvent& event : sink->events) {
        if (event.dispid == 4) {
            EXPECT_GE(event.number, lastPosition);
            lastPosition = event.number;
        }
        if (event.dispid == 3) {
            EXPECT_GT(event.number, lastTime);
            lastTime = event.number;
            sampleBytes += event.bytes.size();
        }
    }
    // The position is the audio captured since Run: three seconds and what came before them.
    EXPECT_GT(lastPosition, 25000000.0);
    EXPECT_NEAR(double(sampleBytes) / (48000 * 4), 3.0, 0.3); // about three seconds of PCM

    struct stat entry
    {
    };
    ASSERT_EQ(stat(path.c_str(), &entry), 0);
    std::string stream =
        Probe(path, "stream=codec_name,sample_rate,channels:format=format_name,duration");
    EXPECT_NE(stream.find("codec_name=wmav2"), std::string::npos) << stream;
    EXPECT_NE(stream.find("format_name=asf"), std::string::npos) << stream;
    EXPECT_GT(ProbeNumber(stream, "duration"), 1.0) << stream;
}

TEST_F(WMACaptureRecordingTest, OrderAndStateErrorsHaveTheirMessages)
{
    EXPECT_EQ(capture->Build(), E_FAIL);
    DSGraphStates state = dsg_running;
    EXPECT_EQ(capture->GetState(&state), S_FALSE);
    EXPECT_EQ(state, dsg_error);
    EXPECT_EQ(capture->Run(), E_FAIL);
    EXPECT_EQ(sink->Count(7), 0u);
    EXPECT_EQ(capture->Stop(), S_FALSE);
    ASSERT_EQ(sink->Count(7), 1u);
    EXPECT_EQ(sink->events.back().longs[0], dsg_stopped);

    ASSERT_EQ(capture->Prepare(), S_OK);
    EXPECT_EQ(capture->Prepare(), E_FAIL);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr text;
    info->GetDescription(text.Out());
    EXPECT_EQ(text.Utf8(), "The object has already been prepared");
    VARIANT_BOOL prepared = VARIANT_FALSE;
    EXPECT_EQ(capture->get_Prepared(&prepared), S_OK);
    EXPECT_EQ(prepared, VARIANT_TRUE);
    Bstr profile;
    EXPECT_EQ(capture->get_ProfileId(profile.Out()), S_OK);
    EXPECT_EQ(profile.Utf8(), "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    Bstr path;
    EXPECT_EQ(capture->get_OutputPath(path.Out()), S_FALSE);
    EXPECT_EQ(path.Get(), nullptr);
}

// A device that is there but silent must stall no one, and the elapsed time must follow what it
// delivers, not the clock: a clip that starts late is as long as the time shown.
TEST_F(WMACaptureRecordingTest, ASourceThatDeliversLateStallsNoOneAndThePositionFollowsItsSound)
{
    // A pipe source with a writer that never writes: the device is there and silent.
    TempFolder pipeFolder;
    std::string name = audio_test::UniqueName("silent_pipe");
    std::string fifo = pipeFolder / "pipe.fifo";
    audio_test::LoadedModule module("module-pipe-source source_name=" + name + " file=" + fifo +
                                    " format=s16le rate=48000 channels=2 "
                                    "source_properties=device.description=" +
                                    name);
    ASSERT_TRUE(module.Loaded());
    int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);

    ASSERT_EQ(capture->Prepare(), S_OK);
    ASSERT_EQ(capture->put_SourceId(Bstr::FromUtf8(name).Get()), S_OK);
    ASSERT_EQ(capture->put_OutputPath(Bstr::FromUtf8(folder / "silent.wma").Get()), S_OK);
    ASSERT_EQ(capture->Build(), S_OK);
    // Were the tick to wait for the device's first data, this thread would stop here; a
    // watchdog turns that into a failure instead of a hung suite.
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(50ms);
        if (!done) {
            std::fprintf(stderr, "the client's thread is stalled by a silent device\n");
            std::abort();
        }
    });
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    PumpFor(800ms);
    DSGraphStates state = dsg_error;
    EXPECT_EQ(capture->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_running);
    EXPECT_GE(sink->Count(4), 4u); // the ticks went on
    EXPECT_EQ(sink->Count(3), 0u);
    for (const CaptureEvent& event : sink->events) {
        if (event.dispid == 4) {
            EXPECT_EQ(event.number, 0.0) << "the position ran ahead of a silent device";
        }
    }

    // Then half a second of sound, written as the pipe takes it.
    ASSERT_EQ(fcntl(writer, F_SETFL, 0), 0);
    std::vector<BYTE> halfSecond(48000 / 2 * 4, 0x11);
    std::thread feeder([&] {
        for (size_t written = 0; written < halfSecond.size();) {
            ssize_t n = write(writer, halfSecond.data() + written, halfSecond.size() - written);
            if (n <= 0)
                break;
            written += size_t(n);
        }
    });
    PumpFor(1500ms);
    feeder.join();
    DOUBLE position = -1;
    ASSERT_EQ(capture->GetPosition(&position), S_OK);
    EXPECT_EQ(capture->Stop(), S_OK);
    done = true;
    watchdog.join();
    close(writer);
    EXPECT_NEAR(position / 1e7, 0.5, 0.05);
    std::string format = Probe(folder / "silent.wma", "format=duration");
    EXPECT_NEAR(ProbeNumber(format, "duration"), position / 1e7, 0.15) << format;
}

TEST_F(WMACaptureRecordingTest, EveryCapturedByteReachesTheSinkOnceAndInOrder)
{
    const char* fifoPath = std::getenv("QUILLET_TEST_PIPE_SOURCE");
    ASSERT_NE(fifoPath, nullptr);
    ASSERT_EQ(capture->Prepare(), S_OK);
    ASSERT_EQ(capture->put_SourceId(Bstr::FromUtf8("Quillet Test Pipe").Get()), S_OK);
    ASSERT_EQ(capture->put_OutputPath(Bstr::FromUtf8(folder / "pipe.wma").Get()), S_OK);
    ASSERT_EQ(capture->Build(), S_OK);
    ASSERT_TRUE(SUCCEEDED(capture->Run()));

    // A second of 48 kHz stereo frames that never repeat and are never zero.
    constexpr size_t kFrames = 48000;
    std::vector<BYTE> pattern;
    for (size_t i = 0; i < kFrames; ++i)
        for (int channel = 0; channel < 2; ++channel) {
            auto value = uint16_t((i % 30000 + 1) * (channel ? 3 : 1) ^ (channel ? 0x8000 : 0));
            pattern.push_back(BYTE(value & 0xFF));
            pattern.push_back(BYTE(value >> 8));
        }
    int fifo = open(fifoPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0) << strerror(errno);
    ASSERT_EQ(fcntl(fifo, F_SETFL, 0), 0);
    // The pipe source reads in real time, so the writing goes on beside the pumping.
    std::thread writer([&] {
        for (size_t written = 0; written < pattern.size();) {
            ssize_t n = write(fifo, pattern.data() + written, pattern.size() - written);
            if (n <= 0)
                break;
            written += size_t(n);
        }
    });
    std::vector<BYTE> received;
    size_t used = 0;
    auto gather = [&] {
        for (; used < sink->events.size(); ++used)
            if (sink->events[used].dispid == 3)
                received.insert(received.end(), sink->events[used].bytes.begin(),
                                sink->events[used].bytes.end());
    };
    auto firstNonZero = [&] {
        for (size_t i = 0; i + 3 < received.size(); i += 4)
            if (received[i] || received[i + 1] || received[i + 2] || received[i + 3])
                return i;
        return received.size();
    };
    bool complete = PumpUntil(
        [&] {
            gather();
            return received.size() >= firstNonZero() + pattern.size();
        },
        10000ms);
    writer.join();
    close(fifo);
    capture->Stop();
    ASSERT_TRUE(complete) << "received " << received.size() << " bytes";
    // The pipe source may add silence around what it read, never inside it.
    size_t start = firstNonZero();
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), received.begin() + long(start)))
        << "buffers were lost, repeated or reordered on their way to the sink";
    for (const CaptureEvent& event : sink->events) {
        if (event.dispid == 3) {
            EXPECT_EQ(event.bytes.size() % 4, 0u); // whole frames
        }
    }
}
