// Helpers for tests on the private PulseAudio server of scripts/audio-test-server.sh: finding it,
// asking it questions with pactl, loading modules for one test, and starting a throwaway server
// that a test may kill.
#pragma once

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace audio_test {

// The sources that the private server always offers, in its order.
inline const std::string NullMonitor = "quillet_null.monitor";
inline const std::string PipeSource = "quillet_pipe";
inline const std::string SineSource = "quillet_sine";

// Runs a shell command; returns its standard output, and its exit status through `status`.
inline std::string Shell(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return output;
    }
    std::array<char, 4096> buffer;
    size_t read;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), read);
    int result = pclose(pipe);
    if (status)
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

inline bool ServerRequired()
{
    const char* required = std::getenv("QUILLET_REQUIRE_AUDIO_SERVER");
    return required && std::string(required) == "1";
}

// Why the private server cannot be used, or empty when it can. Only the private server counts:
// the tests change volumes and load modules, which they must never do to a user's server.
inline std::string ServerUnavailableReason()
{
    if (!std::getenv("QUILLET_TEST_PIPE_SOURCE") || !std::getenv("PULSE_SERVER"))
        return "the private test audio server is not set up: run scripts/audio-test-server.sh "
               "start and eval the output of its 'env' command (scripts/test.sh does both)";
    int status = 0;
    std::string sources = Shell("pactl list short sources", &status);
    if (status != 0 || sources.find(NullMonitor) == std::string::npos)
        return std::string("the private test audio server at ") + std::getenv("PULSE_SERVER") +
               " does not answer or lacks its sources";
    return {};
}

// A unique name for a module that one test loads, so that tests may run in parallel.
inline std::string UniqueName(const std::string& stem)
{
    static int counter = 0;
    return "quillet_" + stem + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

// A module loaded into a server for the length of a test.
class LoadedModule
{
public:
    LoadedModule(const std::string& arguments, const std::string& server = {})
        : prefix(server.empty() ? "pactl" : "pactl --server=" + server)
    {
        int status = 0;
        std::string output = Shell(prefix + " load-module " + arguments, &status);
        if (status == 0)
            index = std::atoi(output.c_str());
    }
    ~LoadedModule() { Unload(); }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool Loaded() const { return index >= 0; }
    bool Unload()
    {
        if (index < 0)
            return false;
        int status = 0;
        Shell(prefix + " unload-module " + std::to_string(index), &status);
        index = -1;
        return status == 0;
    }

private:
    std::string prefix;
    int index = -1;
};

// A second private server that a test owns and may kill, with no devices of its own.
class ThrowawayServer
{
public:
    ThrowawayServer()
    {
        int status = 0;
        Shell(Command("start"), &status);
        started = status == 0;
    }
    ~ThrowawayServer() { Stop(); }
    ThrowawayServer(const ThrowawayServer&) = delete;
    ThrowawayServer& operator=(const ThrowawayServer&) = delete;

    bool Started() const { return started; }
    std::string Address() const { return "unix:" + (folder / "native"); }
    std::string Folder() const { return folder.Path().string(); }
    // The server's process, for tests that stop and continue it; 0 when it is not known.
    pid_t Pid() const
    {
        std::ifstream file(folder / "server.pid");
        long pid = 0;
        file >> pid;
        return pid_t(pid);
    }
    void Stop()
    {
        if (started)
            Shell(Command("stop"));
        started = false;
    }

private:
    std::string Command(const std::string& verb) const
    {
        return "QUILLET_AUDIO_SERVER_DIR='" + folder.Path().string() +
               "' QUILLET_AUDIO_SERVER_DEVICES=none bash '" QUILLET_AUDIO_SERVER_SCRIPT "' " + verb;
    }

    TempFolder folder;
    bool started = false;
};

} // namespace audio_test

// Skips the test when the private server is missing, or fails it when QUILLET_REQUIRE_AUDIO_SERVER
// is 1 (CI), so that a missing server never passes for green.
#define QUILLET_REQUIRE_AUDIO_SERVER()                                                             \
    do {                                                                                           \
        std::string quilletWhy = ::audio_test::ServerUnavailableReason();                          \
        if (!quilletWhy.empty()) {                                                                 \
            if (::audio_test::ServerRequired())                                                    \
                FAIL() << quilletWhy;                                                              \
            GTEST_SKIP() << quilletWhy;                                                            \
        }                                                                                          \
    } while (false)
