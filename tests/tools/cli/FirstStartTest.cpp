// quillet-cli as an installed program starts it: a copy of the program with the engine and its
// libraries beside it and no build registry, run by users whose homes hold no registry yet. The
// program must register the engine it came with into each user's own registry, leave a current
// registration alone, and replace one that names a removed or older engine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A profile of the version 8 catalogue that "profiles" lists.
constexpr const char* KnownProfile = "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}";

std::string ReadText(const fs::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The program and the libraries it loads, copied into bin/ of a folder of its own, as an
// installation lays them out: the engine beside the platform library, no registry beside bin.
class InstalledCopy
{
public:
    InstalledCopy()
    {
        fs::path built = fs::path(QUILLET_CLI).parent_path();
        fs::create_directories(Bin());
        for (const char* name :
             {"quillet-cli", "libquillet-platform.so", "libquillet-media.so", "libcorvane.so"})
            fs::copy_file(built / name, Bin() / name);
    }

    fs::path Bin() const { return fs::canonical(folder.Path()) / "bin"; }
    fs::path Engine() const { return Bin() / "libcorvane.so"; }

    // Puts a new engine file in place, as an upgrade does.
    void ReplaceEngine() const
    {
        fs::remove(Engine());
        fs::copy_file(fs::path(QUILLET_ENGINE_MODULE), Engine());
    }

private:
    TempFolder folder;
};

struct CopyRun
{
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the copy's quillet-cli as a user with the given home would: without QUILLET_REGISTRY_DIR
// or XDG_CONFIG_HOME unless `extra` sets them (NAME=VALUE).
CopyRun RunCopy(const InstalledCopy& copy, const fs::path& home,
                const std::vector<std::string>& words, const std::vector<std::string>& extra = {})
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        variables[text.substr(0, text.find('='))] = text;
    }
    variables.erase("QUILLET_REGISTRY_DIR");
    variables.erase("XDG_CONFIG_HOME");
    variables["HOME"] = "HOME=" + home.string();
    for (const std::string& setting : extra)
        variables[setting.substr(0, setting.find('='))] = setting;
    std::vector<std::string> settings;
    for (auto& [name, text] : variables)
        settings.push_back(text);

    TempFolder output;
    std::string program = (copy.Bin() / "quillet-cli").string();
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::vector<char*> argv, envp;
    for (std::string& word : arguments)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    for (std::string& setting : settings)
        envp.push_back(setting.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (output / "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (output / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    CopyRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int raw = 0;
        waitpid(pid, &raw, 0);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadText(output / "out");
    run.err = ReadText(output / "err");
    return run;
}

fs::path ClassesHive(const fs::path& home)
{
    return home / ".config" / "quillet" / "classes.reg";
}

// The text of a hive with one key and its subkeys taken out, as an older engine's registration
// that lacked the class would read.
std::string WithoutKey(const std::string& hive, const std::string& key)
{
    std::istringstream lines(hive);
    std::string kept;
    bool dropping = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '[')
            dropping = line == "[" + key + "]" || line.rfind("[" + key + "\\", 0) == 0;
        if (!dropping)
            kept += line + "\n";
    }
    return kept;
}

} // namespace

TEST(FirstStartTest, ANewUserGetsTheEngineRegisteredInTheirOwnRegistry)
{
    InstalledCopy copy;
    TempFolder first, second;
    CopyRun run = RunCopy(copy, first.Path(), {"profiles"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(KnownProfile), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
    std::string hive = ReadText(ClassesHive(first.Path()));
    EXPECT_NE(hive.find("@=\"" + copy.Engine().string() + "\""), std::string::npos) << hive;
    // Nothing was written beside the program.
    EXPECT_FALSE(fs::exists(copy.Bin().parent_path() / "registry"));

    // A second user starts the same copy: a registry of their own, the first one's untouched.
    CopyRun other = RunCopy(copy, second.Path(), {"profiles"});
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(ReadText(ClassesHive(second.Path())), hive);
    EXPECT_EQ(ReadText(ClassesHive(first.Path())), hive);
}

TEST(FirstStartTest, ACurrentRegistrationIsLeftAloneAndAnUpgradedEngineRegisteredAgain)
{
    InstalledCopy copy;
    TempFolder home;
    ASSERT_EQ(RunCopy(copy, home.Path(), {"profiles"}).status, 0);

    // The registration of an older engine that had no WMAHelper class: a start does not write
    // the hive while the registration names this engine and is newer than its file...
    std::string older =
        WithoutKey(ReadText(ClassesHive(home.Path())), "HKEY_CLASSES_ROOT\\corvane.WMAHelper");
    std::ofstream(ClassesHive(home.Path())) << older;
    CopyRun stale = RunCopy(copy, home.Path(), {"profiles"});
    EXPECT_EQ(stale.status, 1) << stale.out;
    EXPECT_NE(stale.err.find("corvane.WMAHelper"), std::string::npos) << stale.err;
    EXPECT_EQ(ReadText(ClassesHive(home.Path())), older);

    // ...and once a new engine file is in place, the next start registers it whole.
    copy.ReplaceEngine();
    CopyRun upgraded = RunCopy(copy, home.Path(), {"profiles"});
    EXPECT_EQ(upgraded.status, 0) << upgraded.err;
    EXPECT_NE(upgraded.out.find(KnownProfile), std::string::npos) << upgraded.out;
}

TEST(FirstStartTest, ARegistrationOfARemovedCopyIsReplaced)
{
    TempFolder home;
    fs::path removedEngine;
    {
        InstalledCopy removed;
        removedEngine = removed.Engine();
        ASSERT_EQ(RunCopy(removed, home.Path(), {"profiles"}).status, 0);
    }
    ASSERT_FALSE(fs::exists(removedEngine));

    InstalledCopy copy;
    CopyRun run = RunCopy(copy, home.Path(), {"profiles"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string hive = ReadText(ClassesHive(home.Path()));
    EXPECT_NE(hive.find("@=\"" + copy.Engine().string() + "\""), std::string::npos) << hive;
    EXPECT_EQ(hive.find(removedEngine.string()), std::string::npos) << hive;
}

TEST(FirstStartTest, ARegistryFolderNamedByTheUserIsUsedAsItIs)
{
    // QUILLET_REGISTRY_DIR is a deliberate choice: the program registers nothing into it.
    InstalledCopy copy;
    TempFolder home, registry;
    CopyRun run = RunCopy(copy, home.Path(), {"profiles"},
                          {"QUILLET_REGISTRY_DIR=" + registry.Path().string()});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("corvane.WMAHelper"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(registry.Path() / "classes.reg"));
    EXPECT_FALSE(fs::exists(ClassesHive(home.Path())));
}
