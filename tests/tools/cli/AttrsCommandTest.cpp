// attrs: the five header attributes of real clips that the ffmpeg tool makes, written by one
// run of the program and read back by ffprobe and by another run. The engine needs no audio
// server for it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "CliProcess.h"
#include "MediaFiles.h"
#include "SmallFileSystem.h"
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

TEST_F(AttrsCommandTest, PipesAndFullDisksAreRefusedInWords)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CliResult piped = CliProcess({"attrs", fifo}).Finish(std::chrono::seconds(20));
    EXPECT_EQ(piped.status, 1) << "the program did not end by itself";
    EXPECT_EQ(piped.err, "quillet-cli attrs: ClipAttributesEditor.FilePath: Not a regular file "
                         "(\"" +
                             fifo + "\") (code 0x80070057)\n");

    std::ifstream in(clip, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    const size_t pages = (before.size() + 4095) / 4096;
    SmallFileSystem disk((2 * pages + 3) * 4096);
    std::unique_ptr<ProcessFileSizeLimit> limit;
    std::string path = clip;
    std::string words = "There is not enough space on the disk (code 0x80070070)";
    if (disk.Mounted()) {
        path = disk / "tone.wma";
        std::filesystem::copy_file(clip, path);
    } else {
        limit = std::make_unique<ProcessFileSizeLimit>(before.size() + 3 * 4096);
        if (!limit->Active())
            GTEST_SKIP() << "this process may neither mount a small tmpfs nor lower its file "
                            "size limit, so a full disk cannot be made";
        words = "The file is too large for the file system (code 0x80070027)";
    }
    CliResult full = RunCli({"attrs", path, "--title", std::string(30000, 'x')});
    limit.reset();
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "quillet-cli attrs: ClipAttributesEditor.Title: " + words + "\n");
    std::ifstream after(path, std::ios::binary);
    EXPECT_TRUE(std::string((std::istreambuf_iterator<char>(after)), {}) == before)
        << "the clip changed";
}
