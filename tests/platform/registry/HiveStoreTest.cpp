// The hive files shared between threads and processes: changes seen across processes, no lost
// updates under concurrent writers, a writer killed midway, and where the files live.
#include <csignal>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "RegistryFixture.h"

extern char** environ;

namespace {

using namespace std::string_literals;

class HiveStoreTest : public RegistryFixture
{
protected:
    // Starts registry-writer with args; it inherits QUILLET_REGISTRY_DIR.
    static pid_t StartWriter(const std::vector<std::string>& args)
    {
        std::vector<char*> argv;
        std::string program = QUILLET_REGISTRY_WRITER;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    }

    // The writer's exit code, or -signal when a signal ended it.
    static int Wait(pid_t pid)
    {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid)
            return -1000;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    static int RunWriter(const std::vector<std::string>& args) { return Wait(StartWriter(args)); }
};

TEST_F(HiveStoreTest, ChangesAreSeenAcrossProcesses)
{
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    ASSERT_EQ(SetText(key, "Who", "parent"), ERROR_SUCCESS);
    EXPECT_EQ(RunWriter({"expect", "Software\\Shared", "Who", "parent"}), 0);

    // This process has the hive cached; the child's change must still show.
    ASSERT_EQ(RunWriter({"set", "Software\\Shared", "Who", "child"}), 0);
    EXPECT_EQ(Query(key, "Who"), "child\0"s);
    ASSERT_EQ(RunWriter({"set", "Software\\Shared", "Who", "child again"}), 0);
    EXPECT_EQ(Query(key, "Who"), "child again\0"s);

    ASSERT_EQ(SetText(key, "Who", "parent again"), ERROR_SUCCESS);
    EXPECT_EQ(RunWriter({"expect", "Software\\Shared", "Who", "parent again"}), 0);

    // A key deleted by another process answers through the handle, without a crash.
    ASSERT_EQ(RunWriter({"deletetree", "Software\\Shared"}), 0);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Who", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(SetText(key, "Who", "too late"), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

TEST_F(HiveStoreTest, ConcurrentWritersLoseNoChange)
{
    constexpr int kEach = 15;
    const char* path = "Software\\Crowd";
    pid_t first = StartWriter({"many", path, "first", std::to_string(kEach)});
    pid_t second = StartWriter({"many", path, "second", std::to_string(kEach)});
    std::vector<std::thread> threads;
    for (const char* prefix : {"thread a", "thread b"}) {
        threads.emplace_back([=] {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr) != ERROR_SUCCESS)
                return;
            for (DWORD i = 0; i < kEach; ++i) {
                std::string name = prefix + std::to_string(i);
                EXPECT_EQ(SetDword(key, name.c_str(), i), ERROR_SUCCESS);
                EXPECT_EQ(Query(key, name.c_str()), std::string(reinterpret_cast<char*>(&i), 4));
            }
            RegCloseKey(key);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 4u * kEach);
    for (const char* prefix : {"first", "second", "thread a", "thread b"})
        for (DWORD i = 0; i < kEach; ++i)
            EXPECT_EQ(Query(key, (prefix + std::to_string(i)).c_str()),
                      std::string(reinterpret_cast<char*>(&i), 4));
    RegCloseKey(key);
}

TEST_F(HiveStoreTest, WriterKilledMidwayLeavesAWholeHive)
{
    constexpr size_t kSize = size_t(256) * 1024; // about 770 KB of hexadecimal text per write
    const char* path = "Software\\Churn";
    HKEY key = Create(HKEY_CURRENT_USER, path);
    ASSERT_EQ(SetText(key, "Big", std::string(kSize, 'A')), ERROR_SUCCESS);
    // A key after the churning one: a file cut short anywhere would lose it.
    HKEY last = Create(HKEY_CURRENT_USER, "Software\\Zend");
    ASSERT_EQ(SetText(last, "Last", "end"), ERROR_SUCCESS);

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMs(1, 40);
    std::string previous(kSize, 'A');
    int changes = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int round = 0; round < 40 && std::chrono::steady_clock::now() < deadline; ++round) {
        pid_t pid = StartWriter({"churn", path, "Big", std::to_string(kSize)});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        ASSERT_EQ(Wait(pid), -SIGKILL);

        std::string big = Query(key, "Big");
        ASSERT_EQ(big.size(), kSize + 1) << "round " << round;
        EXPECT_EQ(big.find_first_not_of(big[0]), kSize) << "round " << round;
        EXPECT_EQ(Query(last, "Last"), "end\0"s) << "round " << round;
        ASSERT_TRUE(FilesStartingWith("user.reg.corrupt").empty()) << "round " << round;
        changes += big != previous;
        previous = big;
    }
    EXPECT_GT(changes, 0) << "the writer never finished a change: the test proved nothing";
    RegCloseKey(key);
    RegCloseKey(last);
}

TEST_F(HiveStoreTest, FolderComesFromXdgConfigHomeThenHome)
{
    const char* saved[] = {std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")};
    const std::string savedXdg = saved[0] ? saved[0] : "";
    const std::string savedHome = saved[1] ? saved[1] : "";

    unsetenv("QUILLET_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", (root / "xdg").c_str(), 1);
    setenv("HOME", (root / "home").c_str(), 1);
    RegCloseKey(Create(HKEY_CURRENT_USER, "InXdg"));
    EXPECT_TRUE(std::filesystem::exists(root / "xdg" / "quillet" / "user.reg"));

    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "InXdg"));
    RegCloseKey(Create(HKEY_CURRENT_USER, "InHome"));
    EXPECT_TRUE(std::filesystem::exists(root / "home" / ".config" / "quillet" / "user.reg"));

    // Restore before any assertion can end the test.
    saved[0] ? setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    saved[1] ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
    UseFolder(root);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "InHome"));
}

TEST_F(HiveStoreTest, UnwritableFolderAnswersCantWrite)
{
    WriteText(root / "a file", "not a folder");
    UseFolder(root / "a file" / "registry");
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Nowhere", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_CANTWRITE);
    EXPECT_EQ(key, nullptr);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Nowhere"));
    EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "Value", 1), ERROR_CANTWRITE);
}

TEST_F(HiveStoreTest, FileReplacedByHandIsReread)
{
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "Before"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Before"));
    std::filesystem::path edited = dir / "edited";
    WriteText(edited, "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\After]\n\n");
    std::filesystem::rename(edited, dir / "classes.reg");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Before"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "After"));
    std::filesystem::remove(dir / "classes.reg");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "After"));
}

} // namespace
