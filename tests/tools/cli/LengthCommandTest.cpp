// length: stream lengths of real clips that the ffmpeg tool makes, held against ffprobe. The
// engine needs no audio server for it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "CliProcess.h"
#include "MediaFiles.h"
#include "TempFolder.h"

namespace {

class LengthCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(MakeToneClip(clip, 3).empty()); }

    TempFolder folder;
    std::string clip = folder / "tone.wma";
};

} // namespace

TEST_F(LengthCommandTest, LengthMeasuresTheFirstStream)
{
    CliResult result = RunCli({"length", clip});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Record> records = result.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (Record{"file", "stream", "milliseconds"}));
    EXPECT_EQ(records[1].at(0), clip);
    EXPECT_EQ(records[1].at(1), "0");
    const double probed = ProbeNumber(Probe(clip, "format=duration"), "duration");
    EXPECT_NEAR(std::atof(records[1].at(2).c_str()), probed * 1000, 1.0);

    CliResult explicitStream = RunCli({"length", clip, "0"});
    EXPECT_EQ(explicitStream.out, result.out);
}

TEST_F(LengthCommandTest, LengthOfAMissingFileOrStreamFails)
{
    CliResult missing = RunCli({"length", folder / "gone.wma"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "quillet-cli length: there is no file \"" + folder / "gone.wma" + "\"\n");
    EXPECT_EQ(missing.out, "");

    // The clip has one stream; the engine refuses the second.
    CliResult second = RunCli({"length", clip, "1"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err.rfind("quillet-cli length: WMAHelper.GetStreamLength: ", 0), 0u)
        << second.err;
    EXPECT_NE(second.err.find("(code 0x"), std::string::npos) << second.err;
    EXPECT_EQ(second.out, "");
}

TEST_F(LengthCommandTest, APipeIsRefusedAtOnce)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CliResult result = CliProcess({"length", fifo}).Finish(std::chrono::seconds(20));
    EXPECT_EQ(result.status, 1) << "the program did not end by itself";
    EXPECT_EQ(result.err, "quillet-cli length: WMAHelper.GetStreamLength: Not a regular file (\"" +
                              fifo + "\") (code 0x80070057)\n");
    EXPECT_EQ(result.out, "");
}
