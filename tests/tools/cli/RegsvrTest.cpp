// regsvr with a relative module path: the registry it writes serves quillet-cli started in any
// other folder, as a user registers a build and then works elsewhere.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliProcess.h"
#include "TempFolder.h"

namespace {

// Runs a command with its working folder and registry; answers its exit status.
int RunIn(const std::filesystem::path& folder, const std::string& registry,
          const std::string& command)
{
    const std::string line = "cd '" + folder.string() + "' && QUILLET_REGISTRY_DIR='" + registry +
                             "' " + command + " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(RegsvrTest, ARelativeRegistrationServesClientsInOtherFolders)
{
    TempFolder registry, elsewhere;
    const std::filesystem::path module = std::filesystem::canonical(QUILLET_ENGINE_MODULE);
    for (const std::string& relative :
         {"./" + module.filename().string(),
          std::filesystem::relative(module, elsewhere.Path()).string()}) {
        SCOPED_TRACE(relative);
        const std::filesystem::path from =
            relative.rfind("./", 0) == 0 ? module.parent_path() : elsewhere.Path();
        ASSERT_EQ(RunIn(from, registry.Path().string(),
                        std::string(QUILLET_REGSVR) + " '" + relative + "'"),
                  0);
        std::ifstream classes(registry / "classes.reg");
        std::stringstream text;
        text << classes.rdbuf();
        EXPECT_TRUE(Contains(text.str(), module.string())) << text.str().substr(0, 2000);
        EXPECT_FALSE(Contains(text.str(), "\"" + relative + "\"")) << "the relative path stayed";

        // quillet-cli runs in this test's folder, which is neither of the two.
        CliResult profiles =
            RunCli({"profiles"}, {"QUILLET_REGISTRY_DIR=" + registry.Path().string()});
        EXPECT_EQ(profiles.status, 0) << profiles.err;
        EXPECT_GT(profiles.Records().size(), 2u) << profiles.out;
        ASSERT_EQ(RunIn(from, registry.Path().string(),
                        std::string(QUILLET_REGSVR) + " -u '" + relative + "'"),
                  0);
    }
}
