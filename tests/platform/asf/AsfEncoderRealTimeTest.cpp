// The ASF writer while a recording runs in real time: the file grows as it records, survives a
// killed process with a header that knows its length, and stops cleanly at a file size limit. The
// last two run the writer in a child process so the test can kill it or limit its file size.
#include "AsfEncoder.h"
#include "AsfHeaderFields.h"
#include "AsfTestSupport.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace asftest;
using Clock = std::chrono::steady_clock;
using Codec = AsfEncoder::Codec;

namespace {

// Capture delivers about 20 ms per buffer; the recording is fed the same way.
constexpr double BufferSeconds = 0.02;

// Feeds `seconds` of the signal in capture-sized buffers, each at its wall-clock time, calling
// `tick` after every buffer. Stops early and returns the failure when a Write fails.
template <class Tick>
HRESULT FeedInRealTime(AsfEncoder& encoder, uint32_t rate, uint32_t channels, double seconds,
                       Tick tick)
{
    const auto pcm = MakePcm(seconds, rate, channels, Music());
    const size_t bufferFrames = size_t(rate * BufferSeconds);
    const auto start = Clock::now();
    for (size_t frame = 0, n = 0; frame < pcm.size() / channels; frame += bufferFrames, ++n) {
        std::this_thread::sleep_until(start + std::chrono::duration<double>(BufferSeconds * n));
        const size_t frames = std::min(bufferFrames, pcm.size() / channels - frame);
        const HRESULT hr =
            encoder.Write(pcm.data() + frame * channels, frames * channels * sizeof(int16_t),
                          int64_t(frame) * 10'000'000 / rate);
        if (FAILED(hr))
            return hr;
        tick(double(frame + frames) / rate);
    }
    return S_OK;
}

// Runs `child` in a forked process that never returns into the test framework.
template <class Child> pid_t Spawn(Child child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(0);
    }
    return pid;
}

} // namespace

TEST(AsfEncoderRealTime, FileGrowsAtLeastOnceASecond)
{
    struct Case
    {
        Codec codec;
        uint32_t rate, channels, bitRate;
    };
    // The slowest-growing targets at 32 kbit/s and above: small frames, long packets.
    for (const Case& c : {Case{Codec::Wmav2, 22050, 1, 32000}, Case{Codec::Wmav1, 16000, 1, 32000},
                          Case{Codec::Wmav2, 48000, 2, 32000}}) {
        TempFolder folder;
        const std::string path = folder / "live.wma";
        AsfEncoder encoder;
        ASSERT_EQ(S_OK,
                  encoder.Open(MakeConfig(path, 44100, 2, c.codec, c.rate, c.channels, c.bitRate)));
        int64_t lastSize = FileSize(path);
        const auto start = Clock::now();
        auto lastGrowth = start;
        double longestWait = 0;
        ASSERT_EQ(S_OK, FeedInRealTime(encoder, 44100, 2, 3.0, [&](double) {
                      const int64_t size = FileSize(path);
                      const auto now = Clock::now();
                      if (size > lastSize) {
                          longestWait = std::max(
                              longestWait, std::chrono::duration<double>(now - lastGrowth).count());
                          lastSize = size;
                          lastGrowth = now;
                      }
                  }));
        longestWait =
            std::max(longestWait, std::chrono::duration<double>(Clock::now() - lastGrowth).count());
        EXPECT_LT(longestWait, 1.0) << c.rate << " Hz " << c.bitRate << " bit/s";
        EXPECT_EQ(S_OK, encoder.Finish());
    }
}

TEST(AsfEncoderRealTime, KilledRecordingKeepsWhatItWrote)
{
    TempFolder folder;
    const std::string path = folder / "killed.wma";
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    const pid_t child = Spawn([&] {
        close(ready[0]);
        AsfEncoder encoder;
        if (FAILED(encoder.Open(MakeConfig(path, 44100, 2, Codec::Wmav2, 44100, 2, 64000))))
            _exit(2);
        bool told = false;
        // Records far longer than the test waits; the parent kills it after 5 s of audio.
        FeedInRealTime(encoder, 44100, 2, 30.0, [&](double seconds) {
            if (seconds >= 5.0 && !told) {
                told = write(ready[1], "k", 1) == 1;
            }
        });
        _exit(3);
    });
    ASSERT_GT(child, 0);
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(1, read(ready[0], &byte, 1)) << "the recording child died early";
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const Decoded decoded = DecodeFile(path);
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    EXPECT_EQ("wmav2", decoded.codec);
    EXPECT_GE(decoded.Seconds(), 4.0);
    EXPECT_LE(decoded.Seconds(), 5.5);
    // The header knows it: a player shows the length without scanning the file.
    const AsfHeaderFields header = ReadHeaderFields(path);
    EXPECT_NEAR(header.Seconds(), decoded.Seconds(), 0.2);
    EXPECT_EQ(header.fileSize, uint64_t(header.actualSize));
}

TEST(AsfEncoderRealTime, FileSizeLimitFailsTheWriteAndKeepsTheFileDecodable)
{
    TempFolder folder;
    const std::string path = folder / "limited.wma";
    constexpr rlim_t Limit = 48 * 1024;
    constexpr uint32_t BitRate = 64000;
    struct Report
    {
        HRESULT open, failedWrite, laterWrite, finish, secondFinish;
        double failedAt, laterWriteSeconds;
    };
    int results[2];
    ASSERT_EQ(0, pipe(results));
    const pid_t child = Spawn([&] {
        close(results[0]);
        // EFBIG from write(2) instead of a SIGXFSZ that would kill the process.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{Limit, Limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        Report report{};
        AsfEncoder encoder;
        report.open = encoder.Open(MakeConfig(path, 44100, 2, Codec::Wmav2, 44100, 2, BitRate));
        const auto pcm = MakePcm(20.0, 44100, 2, Music());
        const size_t step = 4410 * 2; // 0.1 s
        for (size_t done = 0; done < pcm.size() && SUCCEEDED(report.open); done += step) {
            const HRESULT hr = encoder.Write(
                pcm.data() + done, std::min(step, pcm.size() - done) * sizeof(int16_t), 0);
            if (FAILED(hr)) {
                report.failedWrite = hr;
                report.failedAt = double(done + step) / (44100 * 2);
                break;
            }
        }
        const auto before = Clock::now();
        report.laterWrite = encoder.Write(pcm.data(), pcm.size() * sizeof(int16_t), 0);
        report.laterWriteSeconds = std::chrono::duration<double>(Clock::now() - before).count();
        report.finish = encoder.Finish();
        report.secondFinish = encoder.Finish();
        (void)!write(results[1], &report, sizeof(report));
    });
    ASSERT_GT(child, 0);
    close(results[1]);
    Report report{};
    ASSERT_EQ(ssize_t(sizeof(report)), read(results[0], &report, sizeof(report)));
    close(results[0]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const HRESULT fileTooLarge = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
    ASSERT_EQ(S_OK, report.open);
    EXPECT_EQ(fileTooLarge, report.failedWrite);
    EXPECT_EQ(fileTooLarge, report.laterWrite);
    EXPECT_LT(report.laterWriteSeconds, 0.05) << "a dead recording must not encode any more";
    EXPECT_EQ(fileTooLarge, report.finish);
    EXPECT_EQ(fileTooLarge, report.secondFinish);

    // The packet that hit the limit is cut off; the header declares the whole ones before it.
    const AsfHeaderFields header = ReadHeaderFields(path);
    ASSERT_TRUE(header.valid);
    EXPECT_LE(header.actualSize, int64_t(Limit));
    EXPECT_GT(header.actualSize, int64_t(Limit) - 2 * int64_t(header.packetSize) - 1024);
    EXPECT_EQ(header.DataEnd(), header.DataStart() + int64_t(header.packets * header.packetSize));
    EXPECT_EQ(header.fileSize, uint64_t(header.actualSize));
    const Decoded decoded = DecodeFile(path);
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    EXPECT_NEAR(header.Seconds(), decoded.Seconds(), 0.2);
    // Everything but the packet that hit the limit decodes: the header is under a kilobyte and a
    // packet under half a second.
    const double expected = double(Limit - 1024) * 8 / BitRate;
    EXPECT_GE(decoded.Seconds(), expected - 0.5) << "failed after " << report.failedAt << " s";
    EXPECT_LE(decoded.Seconds(), report.failedAt);
}
