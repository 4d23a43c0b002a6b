// record: real recordings from the private test server (and virtual devices beside it) by the
// program as a child process, the files checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "AudioServer.h"
#include "CliProcess.h"
#include "MediaFiles.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"

using namespace std::chrono_literals;

namespace {

// The records of one event, in order.
std::vector<Record> EventsNamed(const std::vector<Record>& records, const std::string& name)
{
    std::vector<Record> events;
    for (const Record& record : records)
        if (!record.empty() && record[0] == name)
            events.push_back(record);
    return events;
}

uint64_t FileSizeOf(const Record& event)
{
    return (uint64_t(std::stoul(event.at(1))) << 32) | std::stoul(event.at(2));
}

// The mean volume of a file in dB, as ffmpeg's volumedetect measures it.
double MeanVolume(const std::string& path)
{
    std::string text =
        audio_test::Shell("{ ffmpeg -i '" + path + "' -af volumedetect -f null - 2>&1; }");
    size_t at = text.find("mean_volume: ");
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + 13);
}

class RecordCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { QUILLET_REQUIRE_AUDIO_SERVER(); }

    // Virtual capture devices beside the server's: a tone on a device with two lines, and a
    // device whose line has no mixer.
    std::string VirtualDevices()
    {
        std::string path = folder / "devices.conf";
        std::ofstream(path) << "[device]\nname = Desk Mic\nline = Microphone\nline = Line In\n"
                               "signal = tone 440\n"
                               "[device]\nname = Mute Box\nline = In\nmixer = no\n";
        return "QUILLET_VIRTUAL_DEVICES=" + path;
    }

    // Checks what every finished recording prints and leaves; answers the last record. A clip
    // whose size limit leaves no room for audio is begun paused instead of running.
    Record CheckFinished(const CliResult& result, const std::string& clip, bool begunPaused = false)
    {
        std::vector<Record> records = result.Records();
        EXPECT_GE(records.size(), 4u) << result.out;
        if (records.size() < 4)
            return {};
        EXPECT_EQ(records[0], (Record{"event", "arguments"}));
        // The format of the server's sources, samples asked for.
        EXPECT_EQ(records[1], (Record{"SampleFormat", "1", "2", "48000", "16", "-1"}));
        EXPECT_EQ(records[2], begunPaused ? (Record{"GraphStateChange", "2", "paused"})
                                          : (Record{"GraphStateChange", "3", "running"}));
        // Stopped once, at the end; buffers captured before the stop may still follow.
        std::vector<Record> states = EventsNamed(records, "GraphStateChange");
        EXPECT_EQ(states.back(), (Record{"GraphStateChange", "1", "stopped"}));
        EXPECT_EQ(states.size(), 2u);
        const Record& last = records.back();
        EXPECT_EQ(last.size(), 4u);
        EXPECT_EQ(last[0], "recorded");
        EXPECT_EQ(last[1], clip);
        std::error_code error;
        EXPECT_EQ(last.at(3), std::to_string(std::filesystem::file_size(clip, error)));
        // The length printed is the file's own.
        std::string probed = Probe(clip, "stream=codec_name:format=format_name,duration");
        EXPECT_TRUE(Contains(probed, "codec_name=wmav2")) << probed;
        EXPECT_TRUE(Contains(probed, "format_name=asf")) << probed;
        EXPECT_NEAR(ProbeNumber(probed, "duration"), std::atof(last[2].c_str()), 0.01) << probed;
        EXPECT_EQ(DecodeErrors(clip), "");
        return last;
    }

    TempFolder folder;
};

} // namespace

TEST_F(RecordCommandTest, ThreeSecondsFromTheDefaultSource)
{
    std::string clip = folder / "take.wma";
    CliResult result = RunCli({"record", "--seconds", "3", clip});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Record last = CheckFinished(result, clip);
    // The seconds count from the first captured sound, which this source sends late.
    EXPECT_NEAR(std::atof(last.at(2).c_str()), 3.0, 0.3);

    std::vector<Record> records = result.Records();
    size_t sampleBytes = 0;
    double lastTime = -1;
    for (const Record& data : EventsNamed(records, "SampleData")) {
        ASSERT_EQ(data.size(), 3u);
        sampleBytes += std::stoul(data[1]);
        EXPECT_GT(std::atof(data[2].c_str()), lastTime);
        lastTime = std::atof(data[2].c_str());
    }
    EXPECT_NEAR(double(sampleBytes) / (48000 * 4), 3.0, 0.3); // 16-bit stereo at 48 kHz
    double lastPosition = -1;
    std::vector<Record> positions = EventsNamed(records, "PositionProgress");
    EXPECT_GE(positions.size(), 15u); // every 100 ms, less what a busy machine loses
    for (const Record& position : positions) {
        EXPECT_GE(std::atof(position.at(1).c_str()), lastPosition);
        lastPosition = std::atof(position.at(1).c_str());
    }
    uint64_t lastSize = 0;
    std::vector<Record> sizes = EventsNamed(records, "FileSizeProgress");
    EXPECT_GE(sizes.size(), 5u); // every 300 ms
    for (const Record& size : sizes) {
        EXPECT_GE(FileSizeOf(size), lastSize);
        lastSize = FileSizeOf(size);
    }
}

TEST_F(RecordCommandTest, SigintAfterTwoSecondsLeavesAPlayableTwoSecondClip)
{
    std::string clip = folder / "interrupted.wma";
    CliProcess recording({"record", clip});
    ASSERT_TRUE(recording.WaitForLine("SampleData", 10s)) << recording.Output();
    std::this_thread::sleep_for(2s);
    recording.Signal(SIGINT);
    CliResult result = recording.Finish(20s);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "quillet-cli record: stopping on signal 2\n");
    Record last = CheckFinished(result, clip);
    EXPECT_NEAR(std::atof(last.at(2).c_str()), 2.0, 0.4);

    CliResult length = RunCli({"length", clip});
    ASSERT_EQ(length.status, 0) << length.err;
    EXPECT_NEAR(std::atof(length.Records().at(1).at(2).c_str()),
                1000 * std::atof(last.at(2).c_str()), 1.0);
}

TEST_F(RecordCommandTest, SigtermEndsTheRecordingAsProperly)
{
    std::string clip = folder / "terminated.wma";
    CliProcess recording({"record", clip});
    ASSERT_TRUE(recording.WaitForLine("SampleData", 10s)) << recording.Output();
    std::this_thread::sleep_for(1s);
    recording.Signal(SIGTERM);
    CliResult result = recording.Finish(20s);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "quillet-cli record: stopping on signal 15\n");
    CheckFinished(result, clip);
}

TEST_F(RecordCommandTest, StopsAtTheSizeLimitLessWhatTheBitRateStillAdds)
{
    // At 32 kbit/s the margin is 8 KB: a report, three packets of 1.5 KB and the index; at
    // 192 kbit/s it is 27 KB. A limit within its margin stops the recording as soon as it runs.
    const std::string rate32 = "{5EC82107-CAAE-4863-BF46-E1B83E08827D}";
    const std::string rate192 = "{FD02E46B-AA9F-4A6C-AE97-A70C8A0FE98D}";
    struct Case
    {
        std::string profile;
        const char* limitKb;
        uint64_t stopBytes; // the first size report at or above this ends the recording; 0: none
    };
    for (const Case& c : {Case{rate32, "12", 4 * 1024}, Case{rate192, "100", 73 * 1024},
                          Case{rate32, "3", 0}, Case{rate192, "20", 0}}) {
        SCOPED_TRACE(std::string(c.limitKb) + " KB with " + c.profile);
        std::string clip = folder / (std::string("limited-") + c.limitKb + ".wma");
        CliResult result = RunCli(
            {"record", "--limit-kb", c.limitKb, "--profile", c.profile, "--seconds", "30", clip});
        ASSERT_EQ(result.status, 0) << result.err;
        Record last = CheckFinished(result, clip, c.stopBytes == 0);
        EXPECT_LT(std::atof(last.at(2).c_str()), 10.0) << "the limit, not the time, stopped it";
        EXPECT_LE(std::stoul(last.at(3)), std::stoul(c.limitKb) * 1024);
        std::vector<Record> sizes = EventsNamed(result.Records(), "FileSizeProgress");
        if (c.stopBytes == 0) {
            EXPECT_TRUE(sizes.empty()) << "stopped before the first report";
            continue;
        }
        ASSERT_FALSE(sizes.empty());
        EXPECT_GE(FileSizeOf(sizes.back()), c.stopBytes);
        for (size_t i = 0; i + 1 < sizes.size(); ++i)
            EXPECT_LT(FileSizeOf(sizes[i]), c.stopBytes);
    }
}

TEST_F(RecordCommandTest, ChosenSourceLineLevelAndProfileAreApplied)
{
    std::string devices = VirtualDevices();
    std::string loud = folder / "loud.wma";
    std::string quiet = folder / "quiet.wma";
    // Names compare without regard to case, as the engine compares them. The profile is the
    // catalogue's 48 kbps mono music profile.
    for (auto [clip, level] : {std::pair{loud, "100"}, std::pair{quiet, "10"}}) {
        CliResult result =
            RunCli({"record", "--source", "desk mic", "--line", "LINE IN", "--level", level,
                    "--profile", "{61AB5C60-6410-4274-A169-CB4C30057F21}", "--seconds", "1", clip},
                   {devices});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.Records().at(1), (Record{"SampleFormat", "1", "2", "44100", "16", "-1"}));
        // The engine's default profile is in stereo; the mono one is 44.1 kHz mono.
        std::string probed = Probe(clip, "stream=channels,sample_rate");
        EXPECT_TRUE(Contains(probed, "channels=1")) << probed;
        EXPECT_TRUE(Contains(probed, "sample_rate=44100")) << probed;
    }
    // A tenth of the level is 20 dB less.
    EXPECT_NEAR(MeanVolume(loud) - MeanVolume(quiet), 20.0, 3.0);
}

TEST_F(RecordCommandTest, AnUnknownSourceOrLineIsNamedAndNothingIsRecorded)
{
    std::string devices = VirtualDevices();
    struct Case
    {
        std::vector<std::string> words;
        std::string message;
    };
    const Case cases[] = {
        {{"--source", "No Such Device"}, "there is no capture source \"No Such Device\""},
        {{"--source", "Desk Mic", "--line", "Headset"}, "there is no input line \"Headset\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::string clip = folder / "never.wma";
        std::vector<std::string> words{"record", "--seconds", "1"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        words.push_back(clip);
        CliResult result = RunCli(words, {devices});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
        EXPECT_TRUE(EventsNamed(result.Records(), "recorded").empty()) << result.out;
        EXPECT_FALSE(std::filesystem::exists(clip));
    }
}

TEST_F(RecordCommandTest, EngineRefusalsCarryTheEnginesOwnWords)
{
    std::string devices = VirtualDevices();
    struct Case
    {
        std::vector<std::string> words;
        std::string message;
    };
    const Case cases[] = {
        {{"--profile", "abc", folder / "a.wma"},
         "WMACapture.ProfileId: Could not convert string value \"abc\" to a GUID (code "
         "0x80070057)"},
        {{"--source", "Mute Box", "--level", "50", folder / "b.wma"},
         "WMACapture.RecordLevel: No input mixer is available (code 0x80004005)"},
        {{folder / "no folder/c.wma"},
         "WMACapture.OutputPath: IFileSinkFilter SetFileName() call failure (path specified was "
         "\"" +
             folder / "no folder/c.wma" + "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> words{"record", "--seconds", "1"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        CliResult result = RunCli(words, {devices});
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, "quillet-cli record: " + c.message)) << result.err;
        EXPECT_TRUE(EventsNamed(result.Records(), "recorded").empty()) << result.out;
    }
}

TEST_F(RecordCommandTest, AFullDiskEndsTheTakeAndSaysSoInWords)
{
    // A few pages: the header and about a second of packets.
    SmallFileSystem disk(12 * 1024);
    std::unique_ptr<ProcessFileSizeLimit> limit;
    std::string clip = disk / "take.wma";
    std::string words = "the disk is full (0x80070070)";
    Record event{"GraphError", "3", "0x80070070", "0", "the disk is full"};
    if (!disk.Mounted()) {
        // The limit passes to the program, and so does ignoring SIGXFSZ.
        clip = folder / "take.wma";
        limit = std::make_unique<ProcessFileSizeLimit>(12 * 1024);
        if (!limit->Active())
            GTEST_SKIP() << "this process may neither mount a small tmpfs nor lower its file "
                            "size limit, so a full disk cannot be made";
        words = "the file is too large for the file system (0x80070027)";
        event = {"GraphError", "3", "0x80070027", "0", "the file is too large for the file system"};
    }
    CliResult result = RunCli({"record", "--seconds", "20", clip});
    limit.reset();
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(Contains(result.err, "quillet-cli record: the capture graph failed: " + words))
        << result.err;
    EXPECT_FALSE(Contains(result.err, "event 3")) << result.err;
    std::vector<Record> errors = EventsNamed(result.Records(), "GraphError");
    ASSERT_FALSE(errors.empty()) << result.out;
    EXPECT_EQ(errors.front(), event);
    // The take stopped at the error, long before its 20 seconds, and was finished.
    std::vector<Record> recorded = EventsNamed(result.Records(), "recorded");
    ASSERT_EQ(recorded.size(), 1u) << result.out;
    EXPECT_LT(std::atof(recorded[0].at(2).c_str()), 10.0);
}

TEST_F(RecordCommandTest, APipeAsOutputIsRefusedAtOnce)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CliResult result = CliProcess({"record", "--seconds", "1", fifo}).Finish(20s);
    EXPECT_EQ(result.status, 1) << "the program did not end by itself";
    EXPECT_TRUE(Contains(result.err, "quillet-cli record: WMACapture.OutputPath: Not a regular "
                                     "file (\"" +
                                         fifo + "\") (code 0x80070057)"))
        << result.err;
    EXPECT_TRUE(EventsNamed(result.Records(), "recorded").empty()) << result.out;
}

TEST_F(RecordCommandTest, ALostDeviceIsNamedInWordsWithoutACode)
{
    const std::string name = audio_test::UniqueName("cli_lost");
    audio_test::LoadedModule module("module-null-sink sink_name=" + name +
                                    " sink_properties=device.description=" + name);
    ASSERT_TRUE(module.Loaded());
    const std::string clip = folder / "lost.wma";
    CliProcess recording({"record", "--source", "Monitor of " + name, "--seconds", "20", clip});
    // A new sink's monitor starts late; the device goes once it has recorded for a while.
    ASSERT_TRUE(recording.WaitForLine("SampleData", 10s)) << recording.Output();
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(module.Unload());
    CliResult result = recording.Finish(30s);
    EXPECT_EQ(result.status, 1) << result.err;
    std::vector<Record> errors = EventsNamed(result.Records(), "GraphError");
    ASSERT_FALSE(errors.empty()) << result.out;
    EXPECT_EQ(errors.front(),
              (Record{"GraphError", "31", "-", "0", "the capture device was removed"}));
    EXPECT_TRUE(Contains(result.err,
                         "quillet-cli record: the capture graph failed: the capture device was "
                         "removed\n"))
        << result.err;
    EXPECT_EQ(EventsNamed(result.Records(), "recorded").size(), 1u) << result.out;
}
