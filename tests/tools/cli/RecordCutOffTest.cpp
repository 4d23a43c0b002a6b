// record, cut short and held to a size: recordings killed at any moment, stopped by a full disk
// and stopped by the size limit on every profile of the catalogue. quillet-cli records from the
// private test server as a child process; the files are checked from their bytes, with ffprobe
// and with a full decode by ffmpeg.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "AsfHeaderFields.h"
#include "AudioServer.h"
#include "CliProcess.h"
#include "MediaFiles.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"

using namespace std::chrono_literals;
using asftest::AsfHeaderFields;
using asftest::ReadHeaderFields;

namespace {

struct Profile
{
    std::string id;
    long bitRate = 0;
};

// Every audio profile of the catalogue, as quillet-cli profiles lists them, once each.
std::vector<Profile> AudioProfiles()
{
    std::vector<Profile> profiles;
    for (const char* version : {"4", "7", "8"}) {
        CliResult result = RunCli({"profiles", version});
        std::vector<Record> records = result.Records();
        for (size_t i = 1; i < records.size(); ++i) {
            if (records[i].size() < 3)
                continue;
            Profile profile{records[i][1], std::atol(records[i][2].c_str())};
            if (std::none_of(profiles.begin(), profiles.end(),
                             [&](const Profile& p) { return p.id == profile.id; }))
                profiles.push_back(profile);
        }
    }
    return profiles;
}

// The profile of the lowest, a middle and the highest rate, and one of version 4 (wmav1).
std::vector<Profile> SpreadOfProfiles(const std::vector<Profile>& all)
{
    std::vector<Profile> sorted = all;
    std::sort(sorted.begin(), sorted.end(),
              [](const Profile& a, const Profile& b) { return a.bitRate < b.bitRate; });
    if (sorted.empty())
        return sorted;
    return {sorted.front(), sorted[sorted.size() / 2], sorted.back()};
}

// The length of what decodes from the file, in seconds, counted from ffmpeg's raw output.
double DecodedSeconds(const std::string& path)
{
    const std::string count = audio_test::Shell("ffmpeg -nostdin -v quiet -i '" + path +
                                                "' -ac 1 -ar 8000 -f s16le - | wc -c");
    return std::atof(count.c_str()) / (2 * 8000);
}

// Checks a file that a recording cut short left: it decodes cleanly, its header counts the whole
// packets in it, and the length the header gives is within a second of what decodes. A kill that
// falls between a packet's write and the header's update leaves that one packet beyond the size
// the header gives, outside the Data object, where players skip it: `killed` allows for it.
void CheckFinishedFile(const std::string& path, double atLeastSeconds, bool killed)
{
    const AsfHeaderFields header = ReadHeaderFields(path);
    ASSERT_TRUE(header.valid) << path;
    EXPECT_EQ(DecodeErrors(path), "");
    if (killed) {
        EXPECT_GE(uint64_t(header.actualSize), header.fileSize);
        EXPECT_LE(uint64_t(header.actualSize), header.fileSize + header.packetSize);
    } else {
        EXPECT_EQ(header.fileSize, uint64_t(header.actualSize));
    }
    EXPECT_EQ(header.packets, header.dataPackets);
    EXPECT_EQ(header.DataEnd(),
              header.DataStart() + int64_t(header.packets) * int64_t(header.packetSize));
    const double decoded = DecodedSeconds(path);
    EXPECT_NEAR(header.Seconds(), decoded, 1.0);
    std::string probed = Probe(path, "format=duration");
    EXPECT_NEAR(ProbeNumber(probed, "duration"), decoded, 1.0) << probed;
    EXPECT_GE(decoded, atLeastSeconds);
}

class RecordCutOffTest : public ::testing::Test
{
protected:
    void SetUp() override { QUILLET_REQUIRE_AUDIO_SERVER(); }
    TempFolder folder;
};

} // namespace

TEST_F(RecordCutOffTest, AKilledRecordingLeavesAFinishedFileAtAnyMoment)
{
    const std::vector<Profile> profiles = SpreadOfProfiles(AudioProfiles());
    ASSERT_EQ(profiles.size(), 3u);
    // Moments after the recording started, from before the first packet to a few seconds in;
    // all recordings run side by side.
    const double moments[] = {0.05, 0.3, 0.75, 1.2, 1.9, 2.6, 3.3};
    struct Run
    {
        std::string clip;
        double at;
        std::unique_ptr<CliProcess> process;
        std::chrono::steady_clock::time_point started;
    };
    std::vector<Run> runs;
    for (const Profile& profile : profiles)
        for (double at : moments) {
            std::string clip = folder / ("killed-" + std::to_string(profile.bitRate) + "-" +
                                         std::to_string(int(at * 1000)) + ".wma");
            runs.push_back({clip,
                            at,
                            std::make_unique<CliProcess>(
                                std::vector<std::string>{"record", "--profile", profile.id, clip}),
                            {}});
        }
    // The moments count from the first captured buffer, which the writer gets as well.
    for (Run& run : runs) {
        if (!run.process->WaitForLine("SampleData\t", 20s)) {
            CliResult result = run.process->Finish(0ms);
            FAIL() << run.clip << " records nothing:\n" << result.out << result.err;
        }
        run.started = std::chrono::steady_clock::now();
    }
    std::vector<Run*> order;
    for (Run& run : runs)
        order.push_back(&run);
    std::sort(order.begin(), order.end(), [](const Run* a, const Run* b) {
        return a->started + std::chrono::duration<double>(a->at) <
               b->started + std::chrono::duration<double>(b->at);
    });
    for (Run* run : order) {
        std::this_thread::sleep_until(
            run->started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(run->at)));
        run->process->Signal(SIGKILL);
    }
    for (Run& run : runs) {
        SCOPED_TRACE(run.clip);
        run.process->Finish(10s);
        CheckFinishedFile(run.clip, 0.0, true);
        // Recording was under way that long; a packet or two may not have reached the disk.
        EXPECT_GT(DecodedSeconds(run.clip), run.at - 1.0);
    }
}

TEST_F(RecordCutOffTest, AFullDiskStopsWithItsErrorAndAFinishedFile)
{
    // A tmpfs of 96 KB where the test may mount one; else a file size limit of the same size on
    // the program alone, with SIGXFSZ ignored so that the write fails instead of killing it. The
    // audio server, a process of its own, is not affected by either.
    constexpr uint64_t DiskKb = 96;
    SmallFileSystem disk(DiskKb * 1024);
    const std::string clip = disk.Mounted() ? disk / "full.wma" : folder / "full.wma";
    const char* expectedCode = disk.Mounted() ? "0x80070070" : "0x80070027";
    if (!disk.Mounted())
        std::fprintf(stderr, "%s; using a file size limit instead\n", disk.Why().c_str());

    const std::vector<Profile> profiles = SpreadOfProfiles(AudioProfiles());
    ASSERT_FALSE(profiles.empty());
    std::vector<std::string> arguments{"record",    "--seconds",        "60",
                                       "--profile", profiles.back().id, clip};
    std::unique_ptr<CliProcess> recording;
    if (disk.Mounted()) {
        recording = std::make_unique<CliProcess>(arguments);
    } else {
        // Only the child keeps the limit; the test takes its own back at once.
        ProcessFileSizeLimit limit(DiskKb * 1024);
        recording = std::make_unique<CliProcess>(arguments);
    }
    CliResult result = recording->Finish(30s);
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_TRUE(Contains(result.err, "the capture graph failed: ")) << result.err;
    EXPECT_TRUE(Contains(result.err, std::string("(") + expectedCode + ")")) << result.err;
    EXPECT_TRUE(Contains(result.out, std::string("GraphError\t3\t") + expectedCode)) << result.out;
    // The last line tells the clip that the program finished.
    std::vector<Record> records = result.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().at(0), "recorded");

    // The disk held a couple of seconds at 192 kbit/s; all of it is in a finished file.
    const AsfHeaderFields header = ReadHeaderFields(clip);
    CheckFinishedFile(clip, 1.5, false);
    EXPECT_LE(header.actualSize, int64_t(DiskKb * 1024));
    if (disk.Mounted()) {
        EXPECT_GT(header.actualSize, header.DataEnd()) << "the index fits in the reserve";
        EXPECT_LE(disk.UsedBytes(), (uint64_t(header.actualSize) + 4095) / 4096 * 4096)
            << "the reserve is given back";
    }
}

TEST_F(RecordCutOffTest, TheSizeLimitHoldsOnEveryProfile)
{
    const std::vector<Profile> profiles = AudioProfiles();
    ASSERT_GE(profiles.size(), 10u);
    struct Run
    {
        Profile profile;
        long limitKb;
        std::string clip;
        std::unique_ptr<CliProcess> process;
    };
    std::vector<Run> runs;
    auto add = [&](const Profile& profile, long limitKb) {
        std::string clip =
            folder / ("limit-" + std::to_string(runs.size()) + "-" +
                      std::to_string(profile.bitRate) + "-" + std::to_string(limitKb) + ".wma");
        runs.push_back({profile, limitKb, clip, nullptr});
    };
    // The largest limit at the highest rate comes first: over forty seconds, recorded beside all
    // the others.
    add(*std::max_element(profiles.begin(), profiles.end(),
                          [](const Profile& a, const Profile& b) { return a.bitRate < b.bitRate; }),
        1000);
    // Per profile: tiny limits, some either side of its margin, and about three seconds of it.
    for (const Profile& profile : profiles)
        for (long limitKb : {1L, 3L, 7L, 12L, 20L, profile.bitRate * 3 / 8 / 1024})
            add(profile, limitKb);

    // A dozen recordings at a time keep the run short without crowding the audio server.
    constexpr size_t Parallel = 12;
    const auto deadline = std::chrono::steady_clock::now() + 240s;
    std::vector<Run*> running;
    size_t next = 0, done = 0;
    while (done < runs.size() && std::chrono::steady_clock::now() < deadline) {
        while (running.size() < Parallel && next < runs.size()) {
            Run& run = runs[next++];
            run.process = std::make_unique<CliProcess>(std::vector<std::string>{
                "record", "--limit-kb", std::to_string(run.limitKb), "--seconds", "120",
                "--profile", run.profile.id, run.clip});
            running.push_back(&run);
        }
        std::this_thread::sleep_for(100ms);
        for (auto it = running.begin(); it != running.end();) {
            Run& run = **it;
            if (!Contains(run.process->Output(), "\nrecorded\t")) {
                ++it;
                continue;
            }
            SCOPED_TRACE(std::to_string(run.profile.bitRate) + " bit/s, limit " +
                         std::to_string(run.limitKb) + " KB");
            CliResult result = run.process->Finish(10s);
            EXPECT_EQ(result.status, 0) << result.err;
            std::error_code error;
            const uintmax_t bytes = std::filesystem::file_size(run.clip, error);
            EXPECT_FALSE(error) << run.clip;
            EXPECT_LE(bytes, uintmax_t(run.limitKb) * 1024) << run.clip;
            EXPECT_EQ(DecodeErrors(run.clip), "") << run.clip;
            it = running.erase(it);
            ++done;
        }
    }
    EXPECT_EQ(done, runs.size()) << "recordings that the limit did not stop in time";
    for (Run* run : running)
        ADD_FAILURE() << run->clip << " still records:\n" << run->process->Finish(0ms).err;
}
