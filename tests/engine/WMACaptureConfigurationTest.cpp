// Choosing the source, its lines and output, the profile and the level; resets; graph errors.
// Virtual devices stand in for hardware the test server cannot offer (several lines, no
// mixer); they are listed after the server's own sources.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "../platform/dshow/VirtualDevices.h"
#include "CaptureEngineTest.h"

using namespace std::chrono_literals;

namespace {

std::string LastError()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK)
        return "(none)";
    Bstr text, source;
    info->GetDescription(text.Out());
    info->GetSource(source.Out());
    EXPECT_EQ(source.Utf8(), "corvane.WMACapture.1");
    return text.Utf8();
}

std::string Read(IWMACapture* capture, HRESULT (IWMACapture::*getter)(BSTR*))
{
    Bstr value;
    EXPECT_EQ((capture->*getter)(value.Out()), S_OK);
    return value.Utf8();
}

class WMACaptureConfigurationTest : public CaptureEngineTest
{
protected:
    // Prepares with a source, optionally a line and an output pin, and an output file.
    HRESULT PrepareAndBuild(const char* source, const char* line = nullptr,
                            const char* output = nullptr)
    {
        HRESULT hr = capture->Prepare();
        if (FAILED(hr))
            return hr;
        if (source)
            capture->put_SourceId(Bstr::FromUtf8(source).Get());
        if (line)
            capture->put_InputPin(Bstr::FromUtf8(line).Get());
        if (output)
            capture->put_OutputPin(Bstr::FromUtf8(output).Get());
        capture->put_OutputPath(Bstr::FromUtf8(folder / "take.wma").Get());
        return capture->Build();
    }

    VirtualDevices devices{kVirtualDeviceText};
};

} // namespace

TEST_F(WMACaptureConfigurationTest, LinesAreChosenByIdAndFallBackToTheFirst)
{
    ASSERT_EQ(PrepareAndBuild("quillet virtual lines", "Line In"), S_OK);
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_SourceId), "quillet virtual lines");
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_InputPin), "Line In");
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_OutputPin), "Capture");
    // A line the device lacks: the first line instead, and S_FALSE.
    EXPECT_EQ(capture->put_InputPin(Bstr::FromUtf8("Tape").Get()), S_FALSE);
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_InputPin), "Microphone");
    EXPECT_EQ(capture->put_InputPin(Bstr::FromUtf8("cd audio").Get()), S_OK);
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_InputPin), "cd audio");
    // Frozen once the device is bound.
    EXPECT_EQ(capture->put_SourceId(Bstr::FromUtf8("Other").Get()), E_FAIL);
    EXPECT_EQ(LastError(), "Source filter cannot be changed if the object has been initialized");
    EXPECT_EQ(capture->put_OutputPin(Bstr::FromUtf8("Capture").Get()), E_FAIL);
    EXPECT_EQ(LastError(), "Output pin cannot be changed if the object has been initialized");
    // After Reset both may be set again, and the names are cleared.
    EXPECT_EQ(capture->Reset(), S_OK);
    Bstr cleared;
    EXPECT_EQ(capture->get_SourceId(cleared.Out()), S_OK);
    EXPECT_EQ(cleared.Get(), nullptr);
    EXPECT_EQ(capture->put_SourceId(Bstr::FromUtf8("Other").Get()), S_OK);
    EXPECT_EQ(capture->put_OutputPin(Bstr::FromUtf8("Capture").Get()), S_OK);
}

TEST_F(WMACaptureConfigurationTest, MissingLineAtBuildTakesTheFirst)
{
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines", "Tape"), S_OK);
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_InputPin), "Microphone");
}

TEST_F(WMACaptureConfigurationTest, AMissingDeviceFallsBackToTheFirstNamedDevice)
{
    ASSERT_EQ(PrepareAndBuild("No Such Device"), S_OK);
    EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_SourceId), "Monitor of Quillet Test Output");
}

TEST_F(WMACaptureConfigurationTest, AMissingOutputPinFailsWithItsName)
{
    EXPECT_EQ(PrepareAndBuild("Quillet Virtual Lines", nullptr, "Preview"), E_INVALIDARG);
    EXPECT_EQ(LastError(),
              "Output pin with the name matching \"Preview\" was not found on the source filter");
}

TEST_F(WMACaptureConfigurationTest, RecordLevelIsAClampedPercentageOfTheLine)
{
    LONG level = 0;
    EXPECT_EQ(capture->get_RecordLevel(&level), E_FAIL);
    EXPECT_EQ(level, -1);
    EXPECT_EQ(LastError(), "No input mixer is available");
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    ASSERT_EQ(capture->get_RecordLevel(&level), S_OK);
    EXPECT_EQ(level, 50);
    const std::pair<LONG, LONG> cases[] = {{150, 100}, {-5, 0}, {37, 37}, {100, 100}};
    for (auto [set, expected] : cases) {
        ASSERT_EQ(capture->put_RecordLevel(set), S_OK);
        ASSERT_EQ(capture->get_RecordLevel(&level), S_OK);
        EXPECT_EQ(level, expected) << set;
    }
    capture->Reset();
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Plain"), S_OK);
    EXPECT_EQ(capture->put_RecordLevel(50), E_FAIL);
    EXPECT_EQ(LastError(), "No input mixer is available");
}

TEST_F(WMACaptureConfigurationTest, ProfilesAreCheckedBeforeTheWriter)
{
    Bstr audio = Bstr::FromUtf8("{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    EXPECT_EQ(capture->put_ProfileId(audio.Get()), E_FAIL);
    EXPECT_EQ(LastError(), "Object has not been (properly) initialized");
    EXPECT_EQ(capture->put_ProfileId(Bstr::FromUtf8("abc").Get()), E_INVALIDARG);
    EXPECT_EQ(LastError(), "Could not convert string value \"abc\" to a GUID");
    EXPECT_EQ(capture->put_ProfileId(nullptr), E_INVALIDARG);
    Bstr path;
    EXPECT_EQ(capture->put_OutputPath(Bstr::FromUtf8("/tmp/x.wma").Get()), E_FAIL);
    EXPECT_EQ(LastError(), "Capture object has not been (properly) initialized");

    ASSERT_EQ(capture->Prepare(), S_OK);
    EXPECT_EQ(capture->put_ProfileId(audio.Get()), S_OK);
    wm_profile_version version = wm_profile_ver_invalid;
    EXPECT_EQ(capture->get_ProfileVersion(&version), S_OK);
    EXPECT_EQ(version, wm_profile_ver_8_0);
    Bstr unknown = Bstr::FromUtf8("{00000000-1111-2222-3333-444444444444}");
    EXPECT_TRUE(FAILED(capture->put_ProfileId(unknown.Get())));
    EXPECT_EQ(LastError(),
              "Failed to load profile (ID is \"{00000000-1111-2222-3333-444444444444}\")");
    // Video, alone or with audio, is refused, and the profile stays as it was.
    for (const char* video :
         {"{999C72DF-046B-43B0-809B-18A5D644E5E5}", "{1932D01F-22E4-422A-9778-1EAB8B550406}"}) {
        EXPECT_EQ(capture->put_ProfileId(Bstr::FromUtf8(video).Get()), E_FAIL) << video;
        EXPECT_EQ(LastError(), "The profile specified cannot be used for audio capture");
        EXPECT_EQ(Read(capture.Get(), &IWMACapture::get_ProfileId),
                  "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    }
    Bstr folderless = Bstr::FromUtf8("/no/such/folder/take.wma");
    EXPECT_TRUE(FAILED(capture->put_OutputPath(folderless.Get())));
    EXPECT_EQ(LastError(), "IFileSinkFilter SetFileName() call failure (path specified was "
                           "\"/no/such/folder/take.wma\"");
}

TEST_F(WMACaptureConfigurationTest, WithoutAnyCaptureDeviceBuildFindsNoSource)
{
    audio_test::ThrowawayServer empty;
    ASSERT_TRUE(empty.Started());
    std::string saved = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
    std::string devices =
        std::getenv("QUILLET_VIRTUAL_DEVICES") ? std::getenv("QUILLET_VIRTUAL_DEVICES") : "";
    setenv("PULSE_SERVER", empty.Address().c_str(), 1);
    unsetenv("QUILLET_VIRTUAL_DEVICES");
    HRESULT hr = PrepareAndBuild(nullptr);
    std::string error = LastError();
    setenv("PULSE_SERVER", saved.c_str(), 1);
    setenv("QUILLET_VIRTUAL_DEVICES", devices.c_str(), 1);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(error, "No audio capture source filter was found or it could not be created");
}

TEST_F(WMACaptureConfigurationTest, WithoutAnAcceptingSinkNoSamplesFlow)
{
    sink->acceptSamples = VARIANT_FALSE;
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    ASSERT_EQ(sink->Count(1), 1u);
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    PumpFor(800ms);
    capture->Stop();
    EXPECT_EQ(sink->Count(3), 0u);
    EXPECT_GE(sink->Count(4), 2u);
}

TEST_F(WMACaptureConfigurationTest, SizeReportsStopWhenMonitoringIsOff)
{
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    ASSERT_EQ(capture->put_MonitorOutputFileSize(0), S_OK);
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    PumpFor(1000ms);
    capture->Stop();
    EXPECT_GE(sink->Count(4), 4u); // every 100 ms, with slack for a busy machine
    EXPECT_EQ(sink->Count(5), 0u);
    EXPECT_GT(sink->Count(3), 10u); // about every 20 ms from the virtual device
}

TEST_F(WMACaptureConfigurationTest, PauseAndRunFireTheirStates)
{
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    ASSERT_TRUE(SUCCEEDED(capture->Pause()));
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    ASSERT_EQ(capture->Stop(), S_OK);
    std::vector<LONG> states;
    for (const CaptureEvent& event : sink->events)
        if (event.dispid == 7)
            states.push_back(event.longs[0]);
    EXPECT_EQ(states, (std::vector<LONG>{dsg_paused, dsg_running, dsg_stopped}));
    DSGraphStates state = dsg_error;
    EXPECT_EQ(capture->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_stopped);
}

TEST_F(WMACaptureConfigurationTest, ALostDeviceIsAGraphError)
{
    std::string name = audio_test::UniqueName("lost");
    audio_test::LoadedModule module("module-null-sink sink_name=" + name +
                                    " sink_properties=device.description=" + name);
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(PrepareAndBuild(("Monitor of " + name).c_str()), S_OK);
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    // A new sink's monitor starts late; the device goes once it has recorded for a while.
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(3) > 0; }, 5000ms));
    PumpFor(600ms);
    ASSERT_TRUE(module.Unload());
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(6) > 0; }, 5000ms));
    const CaptureEvent* error = nullptr;
    for (const CaptureEvent& event : sink->events)
        if (event.dispid == 6)
            error = &event;
    EXPECT_EQ(error->longs[0], 31);
    EXPECT_EQ(error->longs[2], 0);
    EXPECT_TRUE(SUCCEEDED(capture->Stop()));
    // What was recorded until the device went is a finished file.
    capture->Reset();
    std::string duration = audio_test::Shell(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + folder / "take.wma" + "'");
    EXPECT_GE(std::atof(duration.c_str()), 0.4) << duration;
}

TEST_F(WMACaptureConfigurationTest, LargeFilesAreReportedInTwoHalves)
{
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    ASSERT_TRUE(SUCCEEDED(capture->Run()));
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(5) > 0; }, 3000ms));
    // Stretch the file the writer has open to 5,000,000,000 bytes without writing them: the
    // directory entry, which the size reports read, then says so.
    ASSERT_EQ(truncate((folder / "take.wma").c_str(), 5000000000LL), 0);
    size_t before = sink->Count(5);
    ASSERT_TRUE(PumpUntil([&] { return sink->Count(5) > before + 1; }, 3000ms));
    capture->Stop();
    const CaptureEvent* last = nullptr;
    for (const CaptureEvent& event : sink->events)
        if (event.dispid == 5)
            last = &event;
    EXPECT_EQ(last->longs[0], 1);
    EXPECT_EQ(last->longs[1], 705032704);
}

TEST_F(WMACaptureConfigurationTest, ResetFromEveryStateLeavesAFreshObject)
{
    for (int stage = 0; stage < 4; ++stage) {
        SCOPED_TRACE(stage);
        if (stage >= 1) {
            ASSERT_EQ(capture->Prepare(), S_OK);
        }
        if (stage >= 2) {
            capture->put_SourceId(Bstr::FromUtf8("Quillet Virtual Lines").Get());
            capture->put_OutputPath(Bstr::FromUtf8(folder / "take.wma").Get());
            ASSERT_EQ(capture->Build(), S_OK);
        }
        if (stage >= 3) {
            ASSERT_TRUE(SUCCEEDED(capture->Run()));
            PumpFor(300ms);
        }
        size_t events = sink->events.size();
        EXPECT_EQ(capture->Reset(), S_OK);
        EXPECT_EQ(sink->events.size(), events); // Reset fires nothing
        VARIANT_BOOL prepared = VARIANT_TRUE;
        capture->get_Prepared(&prepared);
        EXPECT_EQ(prepared, VARIANT_FALSE);
        Bstr name;
        EXPECT_EQ(capture->get_SourceId(name.Out()), S_OK);
        EXPECT_EQ(name.Get(), nullptr);
        // Buffers still queued for the old window are never delivered.
        PumpFor(100ms);
        EXPECT_EQ(sink->events.size(), events);
    }
}

TEST_F(WMACaptureConfigurationTest, OutputsThatAreNoRegularFileAreRefusedAtOnce)
{
    ASSERT_EQ(capture->Prepare(), S_OK);
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, folder.Path().string(), std::string("/dev/null")}) {
        EXPECT_EQ(capture->put_OutputPath(Bstr::FromUtf8(path).Get()), E_INVALIDARG) << path;
        EXPECT_EQ(LastError(), "Not a regular file (\"" + path + "\")");
    }

    // A pipe put in the file's place after it was named is refused when the recording starts,
    // before the writer opens it.
    ASSERT_EQ(capture->Reset(), S_OK);
    ASSERT_EQ(PrepareAndBuild("Quillet Virtual Lines"), S_OK);
    const std::string take = folder / "take.wma";
    unlink(take.c_str());
    ASSERT_EQ(mkfifo(take.c_str(), 0600), 0);
    EXPECT_EQ(capture->Run(), E_INVALIDARG);
    EXPECT_EQ(LastError(), "Not a regular file (\"" + take + "\")");
    PumpFor(200ms);
    EXPECT_EQ(sink->Count(7), 0u) << "no state change: the graph never ran";
    DSGraphStates state = dsg_error;
    EXPECT_EQ(capture->GetState(&state), S_OK);
    EXPECT_EQ(state, dsg_stopped);
}
