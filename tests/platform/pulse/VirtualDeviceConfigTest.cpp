#include "VirtualDeviceConfig.h"
#include "TempFolder.h"
#include "WavBytes.h"
#include "dshow/Errors.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace audio_test;

std::vector<VirtualDevice> ParseOk(const std::string& text, const std::filesystem::path& base = "/")
{
    std::vector<VirtualDevice> devices;
    std::string error;
    EXPECT_EQ(VirtualDeviceConfig::Parse(text, base, "devices.ini", devices, &error), S_OK)
        << error;
    return devices;
}

TEST(VirtualDeviceConfigTest, ReadsEveryKeyAndKeepsTheFileOrder)
{
    std::vector<VirtualDevice> devices = ParseOk(R"(# two devices
[device]
name = Studio Desk
line = Microphone
line = Line In
line = CD
level = 0.25
mixer = yes
capture = true
signal = tone 440.5
rate = 48000
channels = 1

; the second keeps the defaults
[Device]
NAME = Plain
)");
    ASSERT_EQ(devices.size(), 2u);
    const VirtualDevice& desk = devices[0];
    EXPECT_EQ(desk.name, "Studio Desk");
    EXPECT_EQ(desk.lines, (std::vector<std::string>{"Microphone", "Line In", "CD"}));
    EXPECT_DOUBLE_EQ(desk.level, 0.25);
    EXPECT_TRUE(desk.hasMixer);
    EXPECT_TRUE(desk.hasCaptureOutput);
    EXPECT_EQ(desk.signal, VirtualSignal::Tone);
    EXPECT_DOUBLE_EQ(desk.frequency, 440.5);
    EXPECT_EQ(desk.rate, 48000u);
    EXPECT_EQ(desk.channels, 1u);

    const VirtualDevice& plain = devices[1];
    EXPECT_EQ(plain.name, "Plain");
    EXPECT_TRUE(plain.lines.empty());
    EXPECT_DOUBLE_EQ(plain.level, 1.0);
    EXPECT_TRUE(plain.hasMixer);
    EXPECT_TRUE(plain.hasCaptureOutput);
    EXPECT_EQ(plain.signal, VirtualSignal::Silence);
    EXPECT_EQ(plain.rate, 44100u);
    EXPECT_EQ(plain.channels, 2u);
}

TEST(VirtualDeviceConfigTest, KeepsOddNamesAndDuplicatesAsWritten)
{
    std::vector<VirtualDevice> devices =
        ParseOk("\xEF\xBB\xBF[device]\r\n"
                "name = Mikrofon (Ünïcødé) — 日本語 🎤\r\n"
                "mixer = no\r\n"
                "capture = 0\r\n"
                "[device]\n"
                "name = \"  padded # not a comment = still the name \"\n"
                "line = \"\"\n"
                "line = say \"hi\"\n"
                "line = \"a \\\"quoted\\\" \\\\ line\"\n"
                "[device]\n"
                "name = \"\"\n"
                "[device]\n"
                "name = Mikrofon (Ünïcødé) — 日本語 🎤\n"
                "signal = SILENCE\n");
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].name, "Mikrofon (Ünïcødé) — 日本語 🎤");
    EXPECT_FALSE(devices[0].hasMixer);
    EXPECT_FALSE(devices[0].hasCaptureOutput);
    EXPECT_EQ(devices[1].name, "  padded # not a comment = still the name ");
    EXPECT_EQ(devices[1].lines,
              (std::vector<std::string>{"", "say \"hi\"", "a \"quoted\" \\ line"}));
    EXPECT_EQ(devices[2].name, "");
    EXPECT_EQ(devices[3].name, devices[0].name);
}

TEST(VirtualDeviceConfigTest, ReadsTheFormatOfAWavSignalFromTheFile)
{
    TempFolder folder;
    std::filesystem::create_directories(folder.Path() / "sounds");
    WriteFile(folder / "sounds/voice.wav", WavImage({1, 2, 3, 4, 5, 6}, {22050, 2}));
    WriteFile(folder / "devices.ini",
              std::string("[device]\nname = Voice\nsignal = wav sounds/voice.wav\n"
                          "rate = 22050\n"));
    std::vector<VirtualDevice> devices;
    std::string error;
    ASSERT_EQ(VirtualDeviceConfig::Load(folder / "devices.ini", devices, &error), S_OK) << error;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].signal, VirtualSignal::WavFile);
    EXPECT_EQ(devices[0].wavPath, folder.Path() / "sounds/voice.wav");
    EXPECT_EQ(devices[0].rate, 22050u);
    EXPECT_EQ(devices[0].channels, 2u);
}

TEST(VirtualDeviceConfigTest, RefusesMalformedFilesWithTheLineAndTheReason)
{
    TempFolder folder;
    WriteFile(folder / "eight.wav", WavImage({1, 2}, {8000, 1, 8}));
    WriteFile(folder / "mono.wav", WavImage({1, 2}, {8000, 1}));
    struct Case
    {
        std::string text;
        std::string message;
    };
    static const char WithNul[] = "[device]\nname = a\0b\n";
    const Case cases[] = {
        {"name = early\n", "devices.ini:1: 'name' comes before the first [device]"},
        {"[device]\nname = a\ncolour = red\n", "devices.ini:3: unknown key 'colour'"},
        {"[device]\nname = a\n[mixer]\n", "devices.ini:3: unknown section [mixer]"},
        {"[device\nname = a\n", "devices.ini:1: a section header must end with ']'"},
        {"[device]\nname = a\njust words\n", "devices.ini:3: expected 'key = value'"},
        {"[device]\n = value\n", "devices.ini:2: a key is missing"},
        {"[device]\nname = a\nname = b\n", "devices.ini:3: 'name' is given twice"},
        {"[device]\nline = mic\n\n[device]\nname = b\n", "devices.ini:1: the device has no name"},
        {"[device]\nname = a\nlevel = 1.5\n", "devices.ini:3: level '1.5' is not a number"},
        {"[device]\nname = a\nlevel = loud\n", "level 'loud'"},
        {"[device]\nname = a\nlevel = nan\n", "level 'nan'"},
        {"[device]\nname = a\nmixer = maybe\n", "mixer 'maybe' is not yes or no"},
        {"[device]\nname = a\nrate = 0\n", "rate '0' is not a whole number"},
        {"[device]\nname = a\nrate = 44100.5\n", "rate '44100.5'"},
        {"[device]\nname = a\nchannels = 9\n", "channels '9' is not from 1 to 8"},
        {"[device]\nname = a\nsignal = noise\n", "signal 'noise' is not tone"},
        {"[device]\nname = a\nsignal = tone\n", "a tone needs a positive frequency"},
        {"[device]\nname = a\nsignal = tone -5\n", "a tone needs a positive frequency"},
        {"[device]\nname = a\nsignal = tone 30000\n", "devices.ini:1: a 30000"},
        {"[device]\nname = a\nsignal = wav\n", "a WAV signal needs a path"},
        {"[device]\nname = a\nsignal = wav missing.wav\n", "devices.ini:1: WAV: cannot open"},
        {"[device]\nname = a\nsignal = wav eight.wav\n", "8-bit samples"},
        {"[device]\nname = a\nsignal = wav mono.wav\nchannels = 2\n",
         "differ from the WAV file's 8000 Hz, 1 channels"},
        {"[device]\nname = \"open\n", "devices.ini:2: the quoted value has no closing quote"},
        {"[device]\nname = \"a\" b\n", "text after the closing quote"},
        {"[device]\nname = \"a\\n\"\n", "a backslash in a quoted value"},
        {"[device]\nname = \xC3\x28\n", "devices.ini:2: the value of 'name' is not valid UTF-8"},
        {"[device]\nname = \xED\xA0\x80\n", "not valid UTF-8"}, // a surrogate
        {"[device]\nname = \xC0\xAF\n", "not valid UTF-8"},     // an overlong '/'
        {std::string(WithNul, sizeof WithNul - 1),
         "devices.ini:2: the value of 'name' holds a NUL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<VirtualDevice> devices(1);
        std::string error;
        EXPECT_EQ(VirtualDeviceConfig::Parse(c.text, folder.Path(), "devices.ini", devices, &error),
                  VFW_E_INVALID_FILE_FORMAT);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_TRUE(devices.empty());
    }
}

TEST(VirtualDeviceConfigTest, FindsTheFileThroughTheEnvironment)
{
    TempFolder folder;
    std::vector<VirtualDevice> devices(1);
    unsetenv(VirtualDeviceConfig::EnvironmentVariable);
    EXPECT_EQ(VirtualDeviceConfig::LoadFromEnvironment(devices), S_FALSE);
    EXPECT_TRUE(devices.empty());

    WriteFile(folder / "devices.ini", std::string("[device]\nname = From the environment\n"));
    setenv(VirtualDeviceConfig::EnvironmentVariable, (folder / "devices.ini").c_str(), 1);
    std::string error;
    EXPECT_EQ(VirtualDeviceConfig::LoadFromEnvironment(devices, &error), S_OK) << error;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "From the environment");

    setenv(VirtualDeviceConfig::EnvironmentVariable, (folder / "none.ini").c_str(), 1);
    EXPECT_EQ(VirtualDeviceConfig::LoadFromEnvironment(devices, &error),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(error.find("none.ini"), std::string::npos) << error;
    EXPECT_TRUE(devices.empty());
    unsetenv(VirtualDeviceConfig::EnvironmentVariable);
}

TEST(VirtualDeviceConfigTest, AnEmptyFileHasNoDevices)
{
    EXPECT_TRUE(ParseOk("").empty());
    EXPECT_TRUE(ParseOk("# nothing here\n\n  \t\n").empty());
}

} // namespace
