// Recording and playing through PipeWire's PulseAudio service, as most current desktops serve
// sound: a private PipeWire, WirePlumber and pipewire-pulse that the test starts
// (scripts/pipewire-test-server.sh), with a 440 Hz tone playing into one null sink.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "AudioServer.h"
#include "CliProcess.h"
#include "SignalAnalysis.h"
#include "TempFolder.h"

namespace {

using audio_test::MedianToneFrequency;
using audio_test::Peak;

std::vector<int16_t> ReadRaw(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class PipeWireTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        int status = 0;
        std::string log = audio_test::Shell("{ " + Command("start") + " 2>&1; }", &status);
        if (status != 0) {
            // CI installs PipeWire: there a server that does not come up is a failure.
            if (audio_test::ServerRequired())
                FAIL() << "PipeWire did not start: " << log << Logs();
            GTEST_SKIP() << "PipeWire did not start: " << log;
        }
        server = "unix:" + folder / "runtime/pulse/native";
        config = folder / "client.conf";
    }
    void TearDown() override
    {
        // Also after a failed start: whatever came up goes again.
        audio_test::Shell(Command("stop"));
    }

    std::string Command(const std::string& verb) const
    {
        return "QUILLET_PIPEWIRE_DIR='" + folder.Path().string() + "' bash '" +
               QUILLET_PIPEWIRE_SCRIPT + "' " + verb;
    }
    std::string Logs() const
    {
        std::string logs;
        for (const char* name : {"pipewire", "wireplumber", "pipewire-pulse", "tone"})
            logs += std::string("\n--- ") + name + ".log\n" +
                    audio_test::Shell("tail -20 '" + folder / (std::string(name) + ".log") + "'");
        return logs;
    }
    // The client's environment: this PipeWire, nothing of the private PulseAudio server.
    std::vector<std::string> Environment() const
    {
        return {"PULSE_SERVER=" + server, "PULSE_CLIENTCONFIG=" + config};
    }
    std::string Pulse(const std::string& command) const
    {
        return "PULSE_SERVER='" + server + "' PULSE_CLIENTCONFIG='" + config + "' " + command;
    }

    TempFolder folder;
    TempFolder clips;
    std::string server;
    std::string config;
};

TEST_F(PipeWireTest, RecordsTheSourcesToneAndPlaysTheClipBackToTheDefaultOutput)
{
    CliResult sources = RunCli({"sources"}, Environment());
    ASSERT_EQ(sources.status, 0) << sources.err;
    ASSERT_TRUE(Contains(sources.out, "Monitor of Quillet-Tone\tquillet_tone.monitor"))
        << sources.out;

    const std::string clip = clips / "pipewire.wma";
    CliResult recorded = RunCli(
        {"record", "--source", "Monitor of Quillet-Tone", "--seconds", "3", clip}, Environment());
    ASSERT_EQ(recorded.status, 0) << recorded.err << Logs();
    ASSERT_FALSE(recorded.Records().empty());
    Record last = recorded.Records().back();
    ASSERT_EQ(last.at(0), "recorded") << recorded.out;
    EXPECT_NEAR(std::atof(last.at(2).c_str()), 3.0, 0.2);

    // The file decodes whole and carries the source's tone.
    int status = 0;
    audio_test::Shell("ffmpeg -nostdin -v error -y -i '" + clip + "' -f s16le -ac 1 -ar 48000 '" +
                          clip + ".raw'",
                      &status);
    ASSERT_EQ(status, 0);
    std::vector<int16_t> decoded = ReadRaw(clip + ".raw");
    EXPECT_NEAR(double(decoded.size()) / 48000, 3.0, 0.2);
    EXPECT_NEAR(MedianToneFrequency(decoded, 48000), 440.0, 3.0);
    EXPECT_GT(Peak(decoded), 1000);

    // Played back, the tone comes out of the default output, as its monitor hears.
    const std::string heard = clips / "heard.raw";
    std::thread listener([&] {
        audio_test::Shell(Pulse("timeout 5 parec --raw --device=quillet_out.monitor "
                                "--rate=48000 --channels=1 --format=s16le > '" +
                                heard + "'"));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CliResult played = RunCli({"play", clip}, Environment());
    listener.join();
    ASSERT_EQ(played.status, 0) << played.err;
    ASSERT_EQ(played.Records().back().at(0), "played") << played.out;
    std::vector<int16_t> output = ReadRaw(heard);
    EXPECT_NEAR(MedianToneFrequency(output, 48000), 440.0, 3.0);
    EXPECT_GT(Peak(output), 1000);
}

} // namespace
