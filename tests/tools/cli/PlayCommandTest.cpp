// play: clips played to their end through the private test server's output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

#include "AudioServer.h"
#include "CliProcess.h"
#include "MediaFiles.h"
#include "TempFolder.h"

using namespace std::chrono_literals;

namespace {

class PlayCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { QUILLET_REQUIRE_AUDIO_SERVER(); }

    // Checks the events of one playback from start to stop; answers the seconds played, which
    // are where the last position report left off or later.
    double CheckPlayed(const CliResult& result, const std::string& clip)
    {
        std::vector<Record> records = result.Records();
        EXPECT_GE(records.size(), 4u) << result.out;
        if (records.size() < 4)
            return -1;
        EXPECT_EQ(records[0], (Record{"event", "arguments"}));
        EXPECT_EQ(records[1], (Record{"GraphStateChange", "3", "running"}));
        EXPECT_EQ(records[records.size() - 2], (Record{"GraphStateChange", "1", "stopped"}));
        double lastPosition = -1;
        for (size_t i = 2; i + 2 < records.size(); ++i) {
            EXPECT_EQ(records[i].at(0), "PositionProgress");
            EXPECT_GE(std::atof(records[i].at(1).c_str()), lastPosition);
            lastPosition = std::atof(records[i].at(1).c_str());
        }
        const Record& last = records.back();
        EXPECT_EQ(last.size(), 3u);
        EXPECT_EQ(last.at(0), "played");
        EXPECT_EQ(last.at(1), clip);
        const double played = std::atof(last.at(2).c_str());
        EXPECT_GE(played * 1e7 + 1, lastPosition);
        return played;
    }

    TempFolder folder;
};

} // namespace

TEST_F(PlayCommandTest, PlaysAClipToItsEnd)
{
    std::string clip = MakeToneClip(folder / "tone.wma", 2);
    ASSERT_FALSE(clip.empty());
    auto start = std::chrono::steady_clock::now();
    CliResult result = RunCli({"play", clip, "--volume", "50"});
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // The engine's position lags the clip's start by a little, so the end reads a little short.
    EXPECT_NEAR(CheckPlayed(result, clip), 2.0, 0.25);
    // Played in real time, not merely opened.
    EXPECT_GE(elapsed, 1800ms);
    EXPECT_GE(std::count(result.out.begin(), result.out.end(), '\n'), 2 + 10 + 2);
}

TEST_F(PlayCommandTest, SigintStopsPlayingWhereItIs)
{
    std::string clip = MakeToneClip(folder / "long.wma", 20);
    ASSERT_FALSE(clip.empty());
    CliProcess playing({"play", clip});
    ASSERT_TRUE(playing.WaitForLine("PositionProgress", 10s)) << playing.Output();
    std::this_thread::sleep_for(500ms);
    playing.Signal(SIGINT);
    CliResult result = playing.Finish(10s);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "quillet-cli play: stopping on signal 2\n");
    double played = CheckPlayed(result, clip);
    EXPECT_GT(played, 0.0);
    EXPECT_LT(played, 5.0) << "not stopped where it was";
}

TEST_F(PlayCommandTest, FilesThatCannotPlayCarryTheEnginesOwnWords)
{
    std::string missing = folder / "gone.wma";
    CliResult gone = RunCli({"play", missing});
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.err, "quillet-cli play: SimplePlayback.Initialize: File \"" + missing +
                            "\" was not found or not accessible (code 0x80070057)\n");

    std::string text = folder / "notes.wma";
    audio_test::Shell("echo hello > '" + text + "'");
    CliResult notMedia = RunCli({"play", text});
    EXPECT_EQ(notMedia.status, 1);
    EXPECT_TRUE(Contains(notMedia.err,
                         "SimplePlayback.Initialize: Could not render file (\"" + text + "\")"))
        << notMedia.err;
    // Nothing played: only the header came out.
    EXPECT_EQ(notMedia.out, "event\targuments\n");
}

TEST_F(PlayCommandTest, APipeIsRefusedAtOnce)
{
    TempFolder folder;
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CliResult result = CliProcess({"play", fifo}).Finish(20s);
    EXPECT_EQ(result.status, 1) << "the program did not end by itself";
    EXPECT_TRUE(Contains(result.err, "quillet-cli play: SimplePlayback.Initialize: Not a regular "
                                     "file (\"" +
                                         fifo + "\") (code 0x80070057)"))
        << result.err;
}
