// sources: the engine's capture sources as a shell sees them, held against the private test
// server's devices and virtual devices beside them.
#include <gtest/gtest.h>

#include <fstream>

#include "AudioServer.h"
#include "CliProcess.h"
#include "TempFolder.h"

TEST(SourcesCommandTest, ListsTheServersSourcesWithTheirPins)
{
    QUILLET_REQUIRE_AUDIO_SERVER();
    CliResult result = RunCli({"sources"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Record> expected = {
        {"name", "input pins", "output pins"},
        {"Monitor of Quillet Test Output", "quillet_null.monitor", "Capture"},
        {"Quillet Test Pipe", "quillet_pipe", "Capture"},
        {"Quillet Test Sine", "quillet_sine", "Capture"},
    };
    // Tests running beside this one may add devices of their own to the server for a while;
    // the server's own come first.
    std::vector<Record> records = result.Records();
    ASSERT_GE(records.size(), expected.size()) << result.out;
    records.resize(expected.size());
    EXPECT_EQ(records, expected);
}

TEST(SourcesCommandTest, DevicesWithSeveralLinesListEveryLine)
{
    QUILLET_REQUIRE_AUDIO_SERVER();
    TempFolder folder;
    std::string devices = folder / "devices.conf";
    std::ofstream(devices) << "[device]\nname = Desk Mic\nline = Microphone\nline = Line In\n"
                              "[device]\nname = Tab\there\nline = In\n";
    CliResult result = RunCli({"sources"}, {"QUILLET_VIRTUAL_DEVICES=" + devices});
    ASSERT_EQ(result.status, 0) << result.err;
    // Virtual devices come last, after the server's (and any a test beside this one added).
    std::vector<Record> records = result.Records();
    ASSERT_GE(records.size(), 6u) << result.out;
    EXPECT_EQ(records[records.size() - 2], (Record{"Desk Mic", "Microphone|Line In", "Capture"}));
    // A tab inside a name is written escaped, so that the record keeps its fields.
    EXPECT_EQ(records.back(), (Record{"Tab\\there", "In", "Capture"}));
}
