#include "PulseSources.h"
#include "AudioServer.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <thread>

namespace {

using namespace audio_test;

const PulseSourceInfo* FindByName(const std::vector<PulseSourceInfo>& sources,
                                  const std::string& name)
{
    auto found = std::find_if(sources.begin(), sources.end(),
                              [&](const PulseSourceInfo& info) { return info.name == name; });
    return found == sources.end() ? nullptr : &*found;
}

// The raw channel volumes that pactl reports for a source, e.g. "front-left: 32768 / 50% ...".
std::vector<long> PactlVolumes(const std::string& source)
{
    std::string output = Shell("pactl get-source-volume " + source);
    std::vector<long> volumes;
    std::regex channel(R"(:\s*(\d+)\s*/)");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), channel);
         it != std::sregex_iterator(); ++it)
        volumes.push_back(std::stol((*it)[1]));
    return volumes;
}

class PulseSourcesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUILLET_REQUIRE_AUDIO_SERVER();
        std::string error;
        ASSERT_EQ(PulseSources::Open({}, sources, &error), S_OK) << error;
    }

    std::unique_ptr<PulseSources> sources;
};

TEST_F(PulseSourcesTest, ListsTheServersSourcesInItsOrderWithTheirDescriptions)
{
    std::vector<PulseSourceInfo> list;
    std::string error;
    ASSERT_EQ(sources->List(list, &error), S_OK) << error;

    // Other tests may add sources meanwhile; the three fixed ones keep their order.
    std::vector<std::string> fixed;
    for (const PulseSourceInfo& info : list)
        if (info.name == NullMonitor || info.name == PipeSource || info.name == SineSource)
            fixed.push_back(info.name);
    EXPECT_EQ(fixed, (std::vector<std::string>{NullMonitor, PipeSource, SineSource}));
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LT(list[i - 1].index, list[i].index) << "not in the server's order";

    const PulseSourceInfo* monitor = FindByName(list, NullMonitor);
    const PulseSourceInfo* pipe = FindByName(list, PipeSource);
    const PulseSourceInfo* sine = FindByName(list, SineSource);
    ASSERT_TRUE(monitor && pipe && sine);
    EXPECT_EQ(monitor->description, "Monitor of Quillet Test Output");
    EXPECT_EQ(pipe->description, "Quillet Test Pipe");
    EXPECT_EQ(sine->description, "Quillet Test Sine");
    EXPECT_TRUE(monitor->isMonitor);
    EXPECT_FALSE(pipe->isMonitor);
    EXPECT_FALSE(sine->isMonitor);
    EXPECT_EQ(pipe->rate, 48000u);
    EXPECT_EQ(pipe->channels, 2u);
    EXPECT_EQ(pipe->sampleFormat, "s16le");
    EXPECT_EQ(sine->channels, 1u);
    EXPECT_EQ(sine->sampleFormat, "float32le");
    // The test server's devices have no ports: no recording lines to choose from.
    EXPECT_TRUE(pipe->ports.empty());
    EXPECT_TRUE(pipe->activePort.empty());

    // The same indices as pactl's own listing.
    std::string pactl = Shell("pactl list short sources");
    for (const PulseSourceInfo* info : {monitor, pipe, sine})
        EXPECT_NE(pactl.find(std::to_string(info->index) + "\t" + info->name + "\t"),
                  std::string::npos)
            << info->name;
}

TEST_F(PulseSourcesTest, VolumeSetThroughTheLayerIsWhatPactlReports)
{
    std::string sink = UniqueName("volume");
    LoadedModule module("module-null-sink sink_name=" + sink + " channels=2");
    ASSERT_TRUE(module.Loaded());
    const std::string source = sink + ".monitor";

    for (double level : {0.0, 0.25, 0.5, 0.731, 1.0}) {
        SCOPED_TRACE(level);
        std::string error;
        ASSERT_EQ(sources->SetVolume(source, level, &error), S_OK) << error;
        double read = -1.0;
        ASSERT_EQ(sources->GetVolume(source, read, &error), S_OK) << error;
        EXPECT_NEAR(read, level, 1.0 / 65536);
        long raw = std::lround(level * 65536);
        EXPECT_EQ(PactlVolumes(source), (std::vector<long>{raw, raw}));
        PulseSourceInfo info;
        ASSERT_EQ(sources->Find(source, info, &error), S_OK) << error;
        EXPECT_NEAR(info.volume, level, 1.0 / 65536);
    }

    // A volume changed elsewhere reads back through the layer.
    ASSERT_EQ(Shell("pactl set-source-volume " + source + " 16384; echo done"), "done\n");
    double read = -1.0;
    ASSERT_EQ(sources->GetVolume(source, read), S_OK);
    EXPECT_DOUBLE_EQ(read, 0.25);
}

TEST_F(PulseSourcesTest, RefusesVolumesOutsideTheRangeAndLeavesTheVolumeAlone)
{
    std::string sink = UniqueName("badvolume");
    LoadedModule module("module-null-sink sink_name=" + sink);
    ASSERT_TRUE(module.Loaded());
    const std::string source = sink + ".monitor";
    ASSERT_EQ(sources->SetVolume(source, 0.5), S_OK);

    for (double level : {-0.01, 1.01, std::nan(""), std::numeric_limits<double>::infinity()}) {
        std::string error;
        EXPECT_EQ(sources->SetVolume(source, level, &error), E_INVALIDARG) << level;
        EXPECT_NE(error.find("outside 0.0 to 1.0"), std::string::npos) << error;
    }
    double read = -1.0;
    ASSERT_EQ(sources->GetVolume(source, read), S_OK);
    EXPECT_DOUBLE_EQ(read, 0.5);
}

TEST_F(PulseSourcesTest, UnknownSourcesAndPortsAreNotFound)
{
    std::string error;
    double level = 0.123;
    EXPECT_EQ(sources->GetVolume("quillet_no_such_source", level, &error), VFW_E_NOT_FOUND);
    EXPECT_NE(error.find("no source named 'quillet_no_such_source'"), std::string::npos) << error;
    EXPECT_DOUBLE_EQ(level, 0.123);
    EXPECT_EQ(sources->SetVolume("quillet_no_such_source", 0.5), VFW_E_NOT_FOUND);
    EXPECT_EQ(sources->SetActivePort("quillet_no_such_source", "mic"), VFW_E_NOT_FOUND);

    error.clear();
    EXPECT_EQ(sources->SetActivePort(PipeSource, "analog-input-mic", &error), VFW_E_NOT_FOUND);
    EXPECT_NE(error.find("has no port named 'analog-input-mic'"), std::string::npos) << error;
}

TEST(PulseServerTest, AMissingServerIsAClearError)
{
    const std::string address = "unix:/nonexistent/quillet-no-server/native";
    std::unique_ptr<PulseSources> sources;
    std::string error;
    EXPECT_EQ(PulseSources::Open(address, sources, &error), PULSE_E_SERVER_UNAVAILABLE);
    EXPECT_EQ(sources, nullptr);
    EXPECT_NE(error.find("cannot connect to " + address), std::string::npos) << error;
    EXPECT_NE(error.find("Connection refused"), std::string::npos) << error;
}

TEST(PulseServerTest, ABusyServerIsWaitedForAndASocketWithoutAServerIsNot)
{
    QUILLET_REQUIRE_AUDIO_SERVER();
    ThrowawayServer server;
    ASSERT_TRUE(server.Started());
    const pid_t pid = server.Pid();
    ASSERT_GT(pid, 0);

    // A server held up while clients arrive all at once: more of them than its queue of new
    // connections holds are refused at the socket, and each must get in once the server goes on.
    constexpr int Clients = 16;
    std::vector<HRESULT> results(Clients, E_UNEXPECTED);
    std::vector<std::string> errors(Clients);
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < Clients; ++i)
        threads.emplace_back([&, i] {
            std::unique_ptr<PulseSources> sources;
            results[i] = PulseSources::Open(server.Address(), sources, &errors[i]);
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    kill(pid, SIGCONT);
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < Clients; ++i)
        EXPECT_EQ(results[i], S_OK) << errors[i];

    // A socket that nobody listens on is what a crashed server leaves: refused at once.
    const std::string stale = server.Folder() + "/stale";
    int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socketFd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    std::unique_ptr<PulseSources> sources;
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(PulseSources::Open("unix:" + stale, sources, &error), PULSE_E_SERVER_UNAVAILABLE);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2))
        << "a refusal without a server behind it is not waited for";
    EXPECT_NE(error.find("Connection refused"), std::string::npos) << error;
    close(socketFd);
}

TEST(PulseServerTest, AServerWithoutSourcesListsNone)
{
    QUILLET_REQUIRE_AUDIO_SERVER();
    ThrowawayServer server;
    ASSERT_TRUE(server.Started());
    std::unique_ptr<PulseSources> sources;
    std::string error;
    ASSERT_EQ(PulseSources::Open(server.Address(), sources, &error), S_OK) << error;
    std::vector<PulseSourceInfo> list(1);
    EXPECT_EQ(sources->List(list, &error), S_OK) << error;
    EXPECT_TRUE(list.empty());

    // Once the server is gone, requests fail instead of hanging.
    server.Stop();
    error.clear();
    EXPECT_EQ(sources->List(list, &error), PULSE_E_SERVER_UNAVAILABLE);
    EXPECT_NE(error.find("lost"), std::string::npos) << error;
}

} // namespace
