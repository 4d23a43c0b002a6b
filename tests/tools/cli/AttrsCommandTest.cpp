// attrs: the five header attributes of real clips that the ffmpeg tool makes, written by one
// run of the program and read back by ffprobe and by another run. The engine needs no audio
// server for it.
#include <gtest/gtest.h>

#include "CliProcess.h"
#include "MediaFiles.h"
#include "TempFolder.h"

namespace {

class AttrsCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(MakeToneClip(clip, 3).empty()); }

    // The five attributes that `attrs FILE` prints, without its header.
    std::vector<Record> Attributes(const std::vector<std::string>& options = {})
    {
        std::vector<std::string> words{"attrs", clip};
        words.insert(words.end(), options.begin(), options.end());
        CliResult result = RunCli(words);
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<Record> records = result.Records();
        EXPECT_FALSE(records.empty());
        if (records.empty())
            return {};
        EXPECT_EQ(records[0], (Record{"attribute", "value"}));
        records.erase(records.begin());
        return records;
    }

    TempFolder folder;
    std::string clip = folder / "tone.wma";
};

} // namespace

TEST_F(AttrsCommandTest, AttributesAreSetReadBackAndCleared)
{
    std::vector<Record> none = Attributes();
    EXPECT_EQ(none, (std::vector<Record>{{"Title", ""},
                                         {"Author", ""},
                                         {"Rating", ""},
                                         {"Copyright", ""},
                                         {"Description", ""}}));

    // Text beyond ASCII, and a tab and a line break that the output escapes.
    std::vector<Record> set =
        Attributes({"--title", "Grüße\tam Morgen", "--author", "Ann Ö", "--rating", "5 ★",
                    "--copyright", "(c) 2024 Ann", "--description", "first\nsecond"});
    EXPECT_EQ(set, (std::vector<Record>{{"Title", "Grüße\\tam Morgen"},
                                        {"Author", "Ann Ö"},
                                        {"Rating", "5 ★"},
                                        {"Copyright", "(c) 2024 Ann"},
                                        {"Description", "first\\nsecond"}}));
    // Saved in the file: a fresh run and ffprobe (which does not show the rating) read them.
    EXPECT_EQ(Attributes(), set);
    std::string tags = Probe(clip, "format_tags");
    EXPECT_TRUE(Contains(tags, "TAG:title=Grüße\tam Morgen")) << tags;
    EXPECT_TRUE(Contains(tags, "TAG:artist=Ann Ö")) << tags;
    EXPECT_TRUE(Contains(tags, "TAG:copyright=(c) 2024 Ann")) << tags;
    EXPECT_TRUE(Contains(tags, "TAG:comment=first\nsecond")) << tags;

    std::vector<Record> cleared = Attributes({"--clear", "AUTHOR", "--clear", "rating"});
    EXPECT_EQ(cleared, (std::vector<Record>{{"Title", "Grüße\\tam Morgen"},
                                            {"Author", ""},
                                            {"Rating", ""},
                                            {"Copyright", "(c) 2024 Ann"},
                                            {"Description", "first\\nsecond"}}));
    tags = Probe(clip, "format_tags");
    EXPECT_FALSE(Contains(tags, "TAG:artist")) << tags;
    EXPECT_TRUE(Contains(tags, "TAG:title")) << tags;
    // The clip still plays after its header was rewritten.
    EXPECT_EQ(DecodeErrors(clip), "");
}

TEST_F(AttrsCommandTest, ChangesApplyInTheOrderGiven)
{
    std::vector<Record> records =
        Attributes({"--title", "first", "--clear", "title", "--author", "a", "--author", "b"});
    EXPECT_EQ(records.at(0), (Record{"Title", ""}));
    EXPECT_EQ(records.at(1), (Record{"Author", "b"}));
}

TEST_F(AttrsCommandTest, AttributeFailuresCarryTheEnginesOwnWords)
{
    CliResult missing = RunCli({"attrs", folder / "gone.wma"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "quillet-cli attrs: ClipAttributesEditor.FilePath: File nor found (\"" +
                               folder / "gone.wma" + "\") (code 0x80070057)\n");
    EXPECT_EQ(missing.out, "");

    Attributes({"--title", "kept"});
    CliResult empty = RunCli({"attrs", clip, "--title", ""});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "quillet-cli attrs: ClipAttributesEditor.Title: Attribute value cannot "
                         "be set to an empty string\n Use NULL to clear the attribute (code "
                         "0x80004005)\n");
    EXPECT_EQ(Attributes().at(0), (Record{"Title", "kept"}));

    // Not a media file: the editor cannot open it.
    std::string text = folder / "notes.wma";
    audio_test::Shell("echo hello > '" + text + "'");
    CliResult notMedia = RunCli({"attrs", text});
    EXPECT_EQ(notMedia.status, 1);
    EXPECT_TRUE(Contains(notMedia.err, "Could not open file (\"" + text + "\")")) << notMedia.err;
}
