#include "PulseRecordStream.h"
#include "AudioServer.h"
#include "CaptureRecorder.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace audio_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t Rate = 48000; // every source of the private server runs at this rate

std::unique_ptr<PulseRecordStream> Open(const std::string& source, CaptureRecorder& recorder,
                                        const PulseRecordStream::Options& options = {})
{
    std::unique_ptr<PulseRecordStream> stream;
    std::string error;
    EXPECT_EQ(PulseRecordStream::Create(source, options, recorder.Callbacks(), stream, &error),
              S_OK)
        << error;
    return stream;
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

class PulseRecordStreamTest : public ::testing::Test
{
protected:
    void SetUp() override { QUILLET_REQUIRE_AUDIO_SERVER(); }
};

TEST_F(PulseRecordStreamTest, DeliversShortContiguousChunksOfTheMonitoredSine)
{
    CaptureRecorder recorder;
    auto stream = Open(NullMonitor, recorder);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Format(), (PulseCaptureFormat{Rate, 2}));

    std::string error;
    Clock::time_point started = Clock::now();
    ASSERT_EQ(stream->Start(&error), S_OK) << error;
    EXPECT_EQ(stream->Start(), S_FALSE);
    // The test server keeps its null sink at short latency, as a real device is: sound comes at
    // once. The timing is judged on the last three seconds, after five seconds of audio.
    ASSERT_TRUE(recorder.WaitFor(12s, [](const CaptureRecorder& r) {
        return !r.chunks.empty() && r.chunks.back().position + r.chunks.back().frames >= 5 * Rate;
    }));
    stream->Stop();

    std::vector<ChunkRecord> chunks = recorder.Chunks();
    EXPECT_TRUE(PositionsAreContiguous(chunks));
    EXPECT_LT(Milliseconds(chunks.front().arrival - started), 500.0);
    const Clock::time_point lastThree = chunks.back().arrival - std::chrono::seconds(3);
    std::vector<ChunkRecord> timed;
    for (const ChunkRecord& chunk : chunks)
        if (chunk.arrival >= lastThree)
            timed.push_back(chunk);
    ASSERT_GT(timed.size(), 10u);
    // Three seconds of arrivals bring three seconds of audio, about every 20 ms, never in the
    // 2-second bursts of the server's default fragment. A loaded machine makes the server catch
    // up in smaller pieces (a median of 6 ms at three times as many jobs as cores), never in
    // single frames.
    double audioMs = double(timed.back().position + timed.back().frames - timed.front().position) *
                     1000.0 / Rate;
    EXPECT_NEAR(audioMs, 3000.0, 150.0);
    double median = MedianIntervalMs(timed);
    RecordProperty("median_chunk_interval_ms", std::to_string(median));
    EXPECT_GT(median, 2.0);
    EXPECT_LT(median, 40.0);
    EXPECT_LT(LongestIntervalMs(timed), 500.0);

    // module-sine plays 440 Hz into the null sink.
    std::vector<int16_t> samples = recorder.Channel0();
    std::vector<int16_t> settled(samples.begin() + Rate / 2, samples.end());
    EXPECT_NEAR(ToneFrequency(settled, Rate), 440.0, 2.0);
    EXPECT_GT(Peak(settled), 1000);
}

// A null sink nobody listens to renders in blocks of its 2-second default latency: it wakes for
// short fragments only at the end of the block, hands that block over at once and keeps time from
// then on. A stream that starts there must take the burst whole and in order.
TEST_F(PulseRecordStreamTest, AnIdleNullSinkDeliversALateBurstThenKeepsTime)
{
    ThrowawayServer server;
    ASSERT_TRUE(server.Started());
    LoadedModule sink("module-null-sink sink_name=idle rate=48000 channels=2", server.Address());
    ASSERT_TRUE(sink.Loaded());
    LoadedModule sine("module-sine sink=idle frequency=440", server.Address());
    ASSERT_TRUE(sine.Loaded());
    CaptureRecorder recorder;
    auto stream = Open("idle.monitor", recorder, {server.Address(), {}, 20'000});
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(recorder.WaitFor(12s, [](const CaptureRecorder& r) {
        return !r.chunks.empty() && r.chunks.back().position + r.chunks.back().frames >= 4 * Rate;
    }));
    stream->Stop();

    std::vector<ChunkRecord> chunks = recorder.Chunks();
    EXPECT_TRUE(PositionsAreContiguous(chunks));
    const Clock::time_point lastTwo = chunks.back().arrival - std::chrono::seconds(2);
    std::vector<ChunkRecord> timed;
    for (const ChunkRecord& chunk : chunks)
        if (chunk.arrival >= lastTwo)
            timed.push_back(chunk);
    ASSERT_GT(timed.size(), 10u);
    EXPECT_LT(MedianIntervalMs(timed), 40.0);
    std::vector<int16_t> samples = recorder.Channel0();
    std::vector<int16_t> settled(samples.begin() + Rate / 2, samples.end());
    EXPECT_NEAR(ToneFrequency(settled, Rate), 440.0, 2.0);
}

TEST_F(PulseRecordStreamTest, PipeSourceDeliversExactlyTheBytesWritten)
{
    const char* fifoPath = std::getenv("QUILLET_TEST_PIPE_SOURCE");
    ASSERT_NE(fifoPath, nullptr);
    CaptureRecorder recorder(2, true);
    auto stream = Open(PipeSource, recorder, {{}, {Rate, 2}, 20'000});
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);

    // Half a second of frames that never repeat and are never zero, left and right apart.
    constexpr size_t Frames = Rate / 2;
    std::vector<uint8_t> pattern;
    for (size_t i = 0; i < Frames; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            auto value = uint16_t((i % 30000 + 1) * (channel ? 3 : 1) ^ (channel ? 0x8000 : 0));
            pattern.push_back(uint8_t(value & 0xFF));
            pattern.push_back(uint8_t(value >> 8));
        }
    }
    int fifo = open(fifoPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fifo, 0) << "cannot open " << fifoPath << ": " << strerror(errno);
    ASSERT_EQ(fcntl(fifo, F_SETFL, 0), 0);
    for (size_t written = 0; written < pattern.size();) {
        ssize_t n = write(fifo, pattern.data() + written, pattern.size() - written);
        ASSERT_GT(n, 0) << strerror(errno);
        written += size_t(n);
    }

    // The pipe source may add silence around what it read, never inside it.
    auto firstNonZero = [](const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); i += 4)
            if (bytes[i] || bytes[i + 1] || bytes[i + 2] || bytes[i + 3])
                return i;
        return bytes.size();
    };
    ASSERT_TRUE(recorder.WaitFor(5s,
                                 [&](const CaptureRecorder& r) {
                                     return r.bytes.size() >=
                                            firstNonZero(r.bytes) + pattern.size();
                                 }))
        << "received only " << recorder.Bytes().size() << " bytes";
    stream->Stop();
    close(fifo);

    std::vector<uint8_t> bytes = recorder.Bytes();
    size_t start = firstNonZero(bytes);
    std::vector<uint8_t> received(bytes.begin() + long(start),
                                  bytes.begin() + long(start + pattern.size()));
    EXPECT_TRUE(received == pattern) << "the PCM changed on its way through the pipe source";
    EXPECT_TRUE(PositionsAreContiguous(recorder.Chunks()));
}

TEST_F(PulseRecordStreamTest, PausedTimeAddsNoFrames)
{
    CaptureRecorder recorder;
    auto stream = Open(NullMonitor, recorder);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Pause(), VFW_E_WRONG_STATE);

    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(recorder.WaitFor(5s, [](const CaptureRecorder& r) { return !r.chunks.empty(); }));
    std::this_thread::sleep_for(1s);
    std::string error;
    ASSERT_EQ(stream->Pause(&error), S_OK) << error;
    Clock::time_point paused = Clock::now();
    uint64_t framesAtPause = recorder.TotalFrames();
    std::this_thread::sleep_for(1s);
    Clock::time_point resumed = Clock::now();
    ASSERT_EQ(stream->Resume(&error), S_OK) << error;
    ASSERT_TRUE(recorder.WaitFor(5s, [&](const CaptureRecorder& r) {
        return r.chunks.back().position + r.chunks.back().frames >= framesAtPause + Rate / 2;
    }));
    stream->Stop();

    std::vector<ChunkRecord> chunks = recorder.Chunks();
    EXPECT_TRUE(PositionsAreContiguous(chunks));
    // About the second before the pause, and nothing of the paused second: what was in flight
    // when the pause began may still arrive, nothing after that.
    EXPECT_NEAR(double(recorder.TotalFrames() - Rate / 2) / Rate, 1.0, 0.1);
    for (const ChunkRecord& chunk : chunks)
        EXPECT_FALSE(chunk.arrival > paused + 200ms && chunk.arrival < resumed)
            << "a chunk arrived " << Milliseconds(chunk.arrival - paused) << " ms into the pause";
}

TEST_F(PulseRecordStreamTest, RemovedSourceIsReportedOnceAndStopReturns)
{
    std::string sink = UniqueName("lost");
    LoadedModule module("module-null-sink sink_name=" + sink);
    ASSERT_TRUE(module.Loaded());
    CaptureRecorder recorder;
    auto stream = Open(sink + ".monitor", recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    // A fresh null sink first finishes its long default block (see the idle-sink test).
    ASSERT_TRUE(recorder.WaitFor(5s, [](const CaptureRecorder& r) { return r.chunks.size() > 3; }));

    ASSERT_TRUE(module.Unload());
    ASSERT_TRUE(recorder.WaitFor(5s, [](const CaptureRecorder& r) { return r.errorCount > 0; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder.ErrorCount(), 1);
    EXPECT_EQ(recorder.LastError(), PULSE_E_DEVICE_LOST);
    EXPECT_NE(recorder.LastMessage().find(sink + ".monitor"), std::string::npos)
        << recorder.LastMessage();
    EXPECT_EQ(stream->Pause(), PULSE_E_DEVICE_LOST);

    Clock::time_point before = Clock::now();
    stream->Stop();
    EXPECT_LT(Milliseconds(Clock::now() - before), 1000.0);
    EXPECT_EQ(recorder.ErrorCount(), 1);
    // A new start finds the source gone.
    std::string error;
    EXPECT_EQ(stream->Start(&error), VFW_E_NOT_FOUND) << error;
}

TEST_F(PulseRecordStreamTest, ServerDeathIsReportedOnceAndStopReturns)
{
    ThrowawayServer server;
    ASSERT_TRUE(server.Started());
    LoadedModule module("module-null-sink sink_name=doomed", server.Address());
    ASSERT_TRUE(module.Loaded());
    CaptureRecorder recorder;
    auto stream = Open("doomed.monitor", recorder, {server.Address(), {}, 20'000});
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    // A fresh null sink first finishes its long default block (see the idle-sink test).
    ASSERT_TRUE(recorder.WaitFor(5s, [](const CaptureRecorder& r) { return r.chunks.size() > 3; }));

    server.Stop();
    ASSERT_TRUE(recorder.WaitFor(5s, [](const CaptureRecorder& r) { return r.errorCount > 0; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.ErrorCount(), 1);
    EXPECT_EQ(recorder.LastError(), PULSE_E_DEVICE_LOST);

    Clock::time_point before = Clock::now();
    stream->Stop();
    stream->Stop();
    EXPECT_EQ(stream->Start(), PULSE_E_DEVICE_LOST);
    stream.reset();
    EXPECT_LT(Milliseconds(Clock::now() - before), 1000.0);
}

TEST_F(PulseRecordStreamTest, StopWaitsForARunningCallbackAndNoneFollows)
{
    CaptureRecorder recorder;
    std::atomic<bool> inSlowCallback = false;
    std::atomic<bool> slowDone = false;
    recorder.onChunk = [&](const PulseCaptureChunk&) {
        if (slowDone.exchange(true))
            return;
        inSlowCallback = true;
        std::this_thread::sleep_for(200ms);
        inSlowCallback = false;
    };
    auto stream = Open(NullMonitor, recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    while (!slowDone)
        std::this_thread::sleep_for(1ms);

    stream->Stop();
    EXPECT_FALSE(inSlowCallback);
    size_t count = recorder.ChunkCount();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.ChunkCount(), count);

    // The stream starts again from position 0.
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(5s, [&](const CaptureRecorder& r) { return r.chunks.size() > count; }));
    stream->Stop();
    EXPECT_EQ(recorder.Chunks()[count].position, 0u);
}

TEST_F(PulseRecordStreamTest, StopFromInsideTheCallbackEndsDelivery)
{
    CaptureRecorder recorder;
    std::unique_ptr<PulseRecordStream> stream;
    std::atomic<int> calls = 0;
    recorder.onChunk = [&](const PulseCaptureChunk&) {
        if (++calls == 5)
            stream->Stop();
    };
    stream = Open(NullMonitor, recorder);
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(
        recorder.WaitFor(3s, [](const CaptureRecorder& r) { return r.chunks.size() >= 5; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(calls, 5);
    stream.reset();
}

TEST_F(PulseRecordStreamTest, ConvertsToARequestedFormat)
{
    CaptureRecorder recorder(1);
    auto stream = Open(NullMonitor, recorder, {{}, {16000, 1}, 20'000});
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->Format(), (PulseCaptureFormat{16000, 1}));
    ASSERT_EQ(stream->Start(), S_OK);
    ASSERT_TRUE(recorder.WaitFor(8s, [](const CaptureRecorder& r) {
        return !r.chunks.empty() && r.chunks.back().position >= 16000;
    }));
    stream->Stop();
    std::vector<int16_t> samples = recorder.Channel0();
    ASSERT_EQ(samples.size(), recorder.TotalFrames());
    std::vector<int16_t> settled(samples.begin() + 4000, samples.end());
    EXPECT_NEAR(ToneFrequency(settled, 16000), 440.0, 3.0);
}

TEST_F(PulseRecordStreamTest, UnknownSourceIsNotFound)
{
    CaptureRecorder recorder;
    std::unique_ptr<PulseRecordStream> stream;
    std::string error;
    EXPECT_EQ(PulseRecordStream::Create("quillet_no_such_source", {}, recorder.Callbacks(), stream,
                                        &error),
              VFW_E_NOT_FOUND);
    EXPECT_EQ(stream, nullptr);
    EXPECT_NE(error.find("quillet_no_such_source"), std::string::npos) << error;
}

TEST(PulseRecordStreamServerTest, AMissingServerIsAClearError)
{
    CaptureRecorder recorder;
    std::unique_ptr<PulseRecordStream> stream;
    std::string error;
    PulseRecordStream::Options options;
    options.server = "unix:/nonexistent/quillet-no-server/native";
    EXPECT_EQ(PulseRecordStream::Create(NullMonitor, options, recorder.Callbacks(), stream, &error),
              PULSE_E_SERVER_UNAVAILABLE);
    EXPECT_EQ(stream, nullptr);
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
}

} // namespace
