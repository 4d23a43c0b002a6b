// profiles: the engine's profile catalogue as a shell sees it, held against what the profile
// catalogue tool prints.
#include <gtest/gtest.h>

#include <cstdlib>

#include "AudioServer.h"
#include "CliProcess.h"

namespace {

// The profile catalogue as build/<flavour>/bin/profiles prints it: version, index, id, name,
// then one field per stream.
std::vector<Record> CatalogueTool()
{
    const char* bin = std::getenv("QUILLET_BIN_DIR");
    std::vector<Record> rows;
    if (!bin)
        return rows;
    CliResult parsed;
    parsed.out = audio_test::Shell(std::string(bin) + "/profiles");
    return parsed.Records();
}

} // namespace

TEST(ProfilesCommandTest, ListsExactlyTheCataloguesAudioOnlyProfiles)
{
    std::vector<Record> catalogue = CatalogueTool();
    ASSERT_FALSE(catalogue.empty()) << "the profiles tool printed nothing";
    for (const char* version : {"4", "7", "8", "9"}) {
        SCOPED_TRACE(version);
        CliResult result = RunCli({"profiles", version});
        ASSERT_EQ(result.status, 0) << result.err;
        std::vector<Record> listed = result.Records();
        ASSERT_FALSE(listed.empty());
        EXPECT_EQ(listed[0], (Record{"index", "id", "bitrate", "name", "description"}));
        listed.erase(listed.begin());

        // One stream, and that an audio stream: "audio <codec> <rate> Hz <n> ch <bits> bit/s".
        std::vector<Record> expected;
        for (const Record& row : catalogue)
            if (row.size() == 5 && row[0] == std::string(version) + ".0" &&
                row[4].rfind("audio ", 0) == 0)
                expected.push_back(row);
        ASSERT_EQ(listed.size(), expected.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            ASSERT_EQ(listed[i].size(), 5u);
            EXPECT_EQ(listed[i][0], expected[i][1]);
            EXPECT_EQ(listed[i][1], expected[i][2]);
            EXPECT_NE(expected[i][4].find(" " + listed[i][2] + " bit/s"), std::string::npos)
                << listed[i][2] << " against " << expected[i][4];
            EXPECT_EQ(listed[i][3], expected[i][3]);
            EXPECT_FALSE(listed[i][4].empty());
        }
    }
}

TEST(ProfilesCommandTest, VersionEightIsTheDefault)
{
    CliResult byDefault = RunCli({"profiles"});
    CliResult eight = RunCli({"profiles", "8"});
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_EQ(byDefault.out, eight.out);
    // The engine's default capture profile is among them.
    EXPECT_NE(byDefault.out.find("\t{D508978A-11A0-4D15-B0DA-ACDC99D4F890}\t64000\t"),
              std::string::npos)
        << byDefault.out;
}
