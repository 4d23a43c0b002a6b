// What every user meets first: the help, the exit statuses, and the words for a command line
// that the program cannot take. None of this needs the audio server.
#include <gtest/gtest.h>

#include "CliProcess.h"

TEST(CommandLineTest, EveryCommandExplainsItself)
{
    for (const char* command : {"sources", "profiles", "record", "play", "length", "attrs"}) {
        SCOPED_TRACE(command);
        CliResult result = RunCli({command, "--help"});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.rfind(std::string("Usage: quillet-cli ") + command, 0), 0u)
            << result.out;
        EXPECT_TRUE(Contains(result.out, "Output:")) << result.out;
        EXPECT_EQ(result.err, "");
    }
    CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"sources", "profiles", "record", "play", "length", "attrs"})
        EXPECT_TRUE(Contains(help.out, std::string("  ") + command)) << help.out;
}

TEST(CommandLineTest, NoOrAnUnknownCommandIsBadUsage)
{
    CliResult none = RunCli({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(Contains(none.err, "Usage: quillet-cli COMMAND")) << none.err;
    EXPECT_EQ(none.out, "");

    CliResult unknown = RunCli({"recrod", "take.wma"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "quillet-cli: unknown command \"recrod\"\nTry 'quillet-cli --help'.\n");
    EXPECT_EQ(unknown.out, "");
}

TEST(CommandLineTest, BadWordsAreNamedAndNothingIsDone)
{
    struct Case
    {
        std::vector<std::string> words;
        std::string message;
    };
    const Case cases[] = {
        {{"record"}, "quillet-cli record: missing OUTPUT"},
        {{"record", "--bogus", "take.wma"}, "quillet-cli record: unknown option --bogus"},
        {{"record", "-x", "take.wma"}, "quillet-cli record: unknown option -x"},
        {{"record", "take.wma", "--seconds"}, "--seconds needs a value (N)"},
        {{"record", "--seconds", "three", "take.wma"}, "--seconds must be a number, not \"three\""},
        {{"record", "--seconds=0", "take.wma"}, "--seconds must lie between 0.001 and"},
        {{"record", "--level", "150", "take.wma"}, "--level must lie between 0 and 100, not 150"},
        {{"record", "--limit-kb", "1.5", "take.wma"}, "--limit-kb must be a whole number"},
        {{"record", "a.wma", "b.wma"}, "unexpected argument \"b.wma\""},
        {{"sources", "now"}, "quillet-cli sources: unexpected argument \"now\""},
        {{"profiles", "5"}, "the profile version must be 4, 7, 8 or 9, not 5"},
        {{"profiles", "8", "9"}, "unexpected argument \"9\""},
        {{"play"}, "quillet-cli play: missing FILE"},
        {{"play", "--volume", "0", "clip.wma"}, "--volume must lie between 1 and 100, not 0"},
        {{"length", "clip.wma", "first"}, "STREAM must be a whole number, not \"first\""},
        {{"attrs", "clip.wma", "--clear", "album"}, "there is no attribute \"album\""},
        {{"attrs", "clip.wma", "--title"}, "--title needs a value (TEXT)"},
        {{"sources", "--seconds=1"}, "unknown option --seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        CliResult result = RunCli(c.words);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
        EXPECT_TRUE(Contains(result.err, "Try 'quillet-cli " + c.words[0] + " --help'."))
            << result.err;
        EXPECT_EQ(result.out, "") << "bad usage must not start any work";
    }
}

TEST(CommandLineTest, DoubleDashEndsTheOptions)
{
    // "--" lets a file name that starts with a dash through.
    CliResult result = RunCli({"length", "--", "-clip.wma"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "there is no file \"-clip.wma\"")) << result.err;
}

TEST(CommandLineTest, AnUnregisteredEngineIsAnEngineFailureThatSaysWhere)
{
    TempFolder empty;
    CliResult result = RunCli({"profiles"}, {"QUILLET_REGISTRY_DIR=" + empty.Path().string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "corvane.WMAHelper")) << result.err;
    EXPECT_TRUE(Contains(result.err, empty.Path().string())) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(CommandLineTest, WithoutARegistryFolderTheBuildsOwnIsUsed)
{
    // A home without any registry of its own, so that only the build's can answer.
    TempFolder home;
    CliResult result = RunCli(
        {"profiles"}, {"QUILLET_REGISTRY_DIR", "XDG_CONFIG_HOME", "HOME=" + home.Path().string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}")) << result.out;
}
