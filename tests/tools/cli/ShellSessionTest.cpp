// A whole session at the shell, as the README walks through it: find a source, record three
// seconds, check the clip, measure it, play it, and give it attributes.
#include <gtest/gtest.h>

#include "AudioServer.h"
#include "CliProcess.h"
#include "MediaFiles.h"
#include "TempFolder.h"

TEST(ShellSessionTest, RecordMeasurePlayAndLabelAClip)
{
    QUILLET_REQUIRE_AUDIO_SERVER();
    TempFolder folder;

    CliResult sources = RunCli({"sources"});
    ASSERT_EQ(sources.status, 0) << sources.err;
    ASSERT_GE(sources.Records().size(), 2u);
    const std::string source = sources.Records()[1].at(0);

    std::string clip = folder / "memo.wma";
    CliResult recorded = RunCli({"record", "--source", source, "--seconds", "3", clip});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    const Record last = recorded.Records().back();
    ASSERT_EQ(last.at(0), "recorded");
    std::string probed = Probe(clip, "stream=codec_name,channels:format=duration");
    EXPECT_NE(probed.find("codec_name=wmav2"), std::string::npos) << probed;
    EXPECT_NEAR(ProbeNumber(probed, "duration"), 3.0, 0.3) << probed;

    CliResult length = RunCli({"length", clip});
    ASSERT_EQ(length.status, 0) << length.err;
    EXPECT_NEAR(std::atof(length.Records().at(1).at(2).c_str()),
                1000 * ProbeNumber(probed, "duration"), 1.0);

    CliResult played = RunCli({"play", clip});
    ASSERT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(played.Records().back().at(0), "played");
    EXPECT_NEAR(std::atof(played.Records().back().at(2).c_str()), ProbeNumber(probed, "duration"),
                0.25);

    CliResult labelled = RunCli({"attrs", clip, "--title", "Memo", "--author", "Quillet"});
    ASSERT_EQ(labelled.status, 0) << labelled.err;
    std::string tags = Probe(clip, "format_tags");
    EXPECT_NE(tags.find("TAG:title=Memo"), std::string::npos) << tags;
    EXPECT_NE(tags.find("TAG:artist=Quillet"), std::string::npos) << tags;
    EXPECT_EQ(DecodeErrors(clip), "");
}
