// CaptureClient against the real capture engine on the private test audio server, and its
// event sink driven directly with hand-made DISPPARAMS.
#include "CaptureClient.h"

#include <sys/stat.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <functional>

#include "AppTestEnvironment.h"
#include "AudioServer.h"
#include "MessageQueuePump.h"
#include "RecordingCaptureListener.h"
#include "TempFolder.h"
#include "VirtualDevices.h"

namespace {

using namespace std::chrono_literals;

Bstr B(const char* text)
{
    return Bstr::FromUtf8(text);
}

class CaptureClientTest : public AudioAppTest
{
protected:
    TempFolder folder;
    VirtualDevices devices{kVirtualDeviceText};
    RecordingCaptureListener listener;
    MessageQueuePump pump;
};

// The sink alone: no engine is needed to hand it events.
class CaptureSinkTest : public ::testing::Test
{
protected:
    HRESULT Fire(DISPID dispid, std::vector<VARIANT> reversedArgs, std::vector<DISPID> named = {})
    {
        DISPPARAMS params{reversedArgs.data(), named.empty() ? nullptr : named.data(),
                          UINT(reversedArgs.size()), UINT(named.size())};
        UINT argErr = 0xdeadbeef;
        return client.Sink()->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                     nullptr, &argErr);
    }

    static VARIANT Long(LONG value)
    {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    }

    // A SampleFormat payload as the engine writes it: the 72-byte record, then the format.
    static Variant Payload(size_t size, uint32_t formatSize, WORD channels = 2, WORD bits = 16)
    {
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(size));
        auto* data = static_cast<BYTE*>(array->pvData);
        std::memset(data, 0xCD, size);
        if (size >= 68)
            std::memcpy(data + 64, &formatSize, 4);
        if (size >= 72 + sizeof(WAVEFORMATEX)) {
            WAVEFORMATEX format{
                WAVE_FORMAT_PCM,           channels, 44100, 44100u * channels * bits / 8,
                WORD(channels * bits / 8), bits,     0};
            std::memcpy(data + 72, &format, sizeof format);
        }
        return Variant::AdoptArray(VT_UI1, array);
    }

    RecordingCaptureListener listener;
    CaptureClient client{&listener};
};

} // namespace

TEST_F(CaptureClientTest, RecordsThreeSecondsAndReportsEveryEventInOrder)
{
    CaptureClient client(&listener);
    ASSERT_EQ(Thrown([&] { client.Create(nullptr, nullptr, nullptr); }), "");
    // The engine's defaults: the first named source, its first line, the default profile.
    EXPECT_EQ(client.GetSourceId().Utf8(), "Monitor of Quillet Test Output");
    EXPECT_EQ(client.GetProfileId().Utf8(), "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    EXPECT_EQ(client.GetProfileVersion(), wm_profile_ver_8_0);
    EXPECT_EQ(client.GetOutputPath().Get(), nullptr);
    EXPECT_EQ(client.GetOutputFileSize(), 0u);
    ASSERT_EQ(listener.Count(ListenerCall::Format), 1u);
    ASSERT_TRUE(listener.calls[0].hasFormat);
    EXPECT_EQ(int(listener.calls[0].format.wBitsPerSample), 16);
    EXPECT_GE(int(listener.calls[0].format.nChannels), 1);

    std::string path = folder / "take.wma";
    ASSERT_EQ(Thrown([&] { client.SetOutputPath(Bstr::FromUtf8(path).Get()); }), "");
    EXPECT_FALSE(client.HasRecordedFile());
    ASSERT_EQ(Thrown([&] { client.Run(); }), "");
    EXPECT_FALSE(client.HasRecordedFile()); // running
    // An idle test server's monitor may wait a while before its first sound; the take counts
    // from there.
    ASSERT_TRUE(WaitUntil([&] { return listener.Count(ListenerCall::Data) > 0; }, 5000ms));
    WaitUntil([] { return false; }, 3000ms);
    ASSERT_EQ(Thrown([&] { client.Stop(); }), "");
    WaitUntil([&] { return listener.Count(ListenerCall::State) >= 2; }, 2000ms);

    // One format while building, then running, the progress of the take, and stopped last.
    const auto& calls = listener.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, ListenerCall::Format);
    EXPECT_EQ(calls[1].kind, ListenerCall::State);
    EXPECT_EQ(calls[1].longs[0], dsg_running);
    EXPECT_EQ(calls.back().kind, ListenerCall::State);
    EXPECT_EQ(calls.back().longs[0], dsg_stopped);
    EXPECT_EQ(listener.Count(ListenerCall::State), 2u);
    EXPECT_EQ(listener.Count(ListenerCall::GraphError), 0u);
    EXPECT_EQ(listener.Count(ListenerCall::SampleError), 0u);
    // Positions every 100 ms, rising, in 100-ns units.
    EXPECT_GE(listener.Count(ListenerCall::Position), 20u);
    double lastPosition = -1;
    uint64_t lastSize = 0;
    size_t bytes = 0;
    for (const ListenerCall& call : calls) {
        if (call.kind == ListenerCall::Position) {
            EXPECT_GE(call.number, lastPosition);
            lastPosition = call.number;
        } else if (call.kind == ListenerCall::FileSize) {
            // Sizes come low half first: a small file has no high half.
            EXPECT_EQ(call.high, 0u);
            EXPECT_GE(call.low, lastSize);
            lastSize = call.low;
        } else if (call.kind == ListenerCall::Data) {
            EXPECT_FALSE(call.bytes.empty());
            EXPECT_EQ(call.bytes.size() % 4, 0u); // whole 16-bit stereo frames
            bytes += call.bytes.size();
        }
    }
    EXPECT_GT(lastPosition, 2.5e7);
    EXPECT_LT(lastPosition, 6.0e7);
    EXPECT_GE(listener.Count(ListenerCall::FileSize), 6u);
    EXPECT_GT(lastSize, 4000u);
    // About three seconds of 44.1 kHz 16-bit stereo went past the grabber.
    EXPECT_GT(bytes, 2.5 * 44100 * 4);

    EXPECT_TRUE(client.HasRecordedFile());
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(client.GetOutputFileSize(), uint64_t(info.st_size));
    EXPECT_GE(uint64_t(info.st_size), lastSize);
    client.Release();
    EXPECT_FALSE(client.IsCreated());
    std::string duration = audio_test::Shell(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
    EXPECT_NEAR(std::atof(duration.c_str()), 3.0, 0.4) << duration;
}

TEST_F(CaptureClientTest, EventsArriveWhileAModalDialogRuns)
{
    CaptureClient client(&listener);
    ASSERT_EQ(Thrown([&] { client.Create(B("Quillet Virtual Lines").Get(), nullptr, nullptr); }),
              "");
    ASSERT_EQ(Thrown([&] { client.SetOutputPath(Bstr::FromUtf8(folder / "modal.wma").Get()); }),
              "");
    QDialog dialog;
    QTimer::singleShot(0, &dialog, [&] { client.Run(); });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &dialog, [&] {
        if (listener.Count(ListenerCall::Data) >= 5 && listener.Count(ListenerCall::Position) >= 3)
            dialog.accept();
    });
    watch.start(20);
    QTimer::singleShot(10000, &dialog, &QDialog::reject);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    client.Stop();
}

TEST_F(CaptureClientTest, StoredSettingsAreAppliedAndRefusedOnesLeaveTheEnginesChoice)
{
    CaptureClient client(&listener);
    Bstr profile = B("{A8D64209-E00E-445F-B8BC-88681558EB14}");
    ASSERT_EQ(Thrown([&] {
                  client.Create(B("quillet virtual lines").Get(), B("Line In").Get(),
                                profile.Get());
              }),
              "");
    EXPECT_EQ(client.GetSourceId().Utf8(), "quillet virtual lines");
    EXPECT_EQ(client.GetInputPin().Utf8(), "Line In");
    EXPECT_EQ(client.GetRecordLevel(), 50);
    EXPECT_TRUE(client.SetRecordLevel(37));
    EXPECT_EQ(client.GetRecordLevel(), 37);
    // Creating twice keeps the first object.
    EXPECT_EQ(Thrown([&] { client.Create(nullptr, nullptr, nullptr); }),
              "Capture has already been created");
    EXPECT_EQ(client.GetInputPin().Utf8(), "Line In");
    client.Release();

    // A line the source lacks and a profile that is no GUID: the engine's own choices stand.
    ASSERT_EQ(Thrown([&] {
                  client.Create(B("Quillet Virtual Lines").Get(), B("Tape").Get(), B("abc").Get());
              }),
              "");
    EXPECT_EQ(client.GetInputPin().Utf8(), "Microphone");
    EXPECT_EQ(client.GetProfileId().Utf8(), "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
    // Empty strings count as none.
    client.Release();
    ASSERT_EQ(Thrown([&] { client.Create(B("").Get(), B("").Get(), B("").Get()); }), "");
    EXPECT_EQ(client.GetSourceId().Utf8(), "Monitor of Quillet Test Output");
}

TEST_F(CaptureClientTest, RecreatingForAnotherSourceKeepsLineProfileAndPath)
{
    CaptureClient client(&listener);
    Bstr profile = B("{A8D64209-E00E-445F-B8BC-88681558EB14}");
    ASSERT_EQ(Thrown([&] { client.Create(nullptr, nullptr, nullptr); }), "");
    std::string path = folder / "kept.wma";
    client.SetOutputPath(Bstr::FromUtf8(path).Get());
    client.SetProfile(profile.Get());
    ASSERT_EQ(Thrown([&] { client.RecreateWithSource(B("Quillet Virtual Lines").Get()); }), "");
    EXPECT_EQ(client.GetSourceId().Utf8(), "Quillet Virtual Lines");
    // The monitor's only line is not one of this source's: its first line instead.
    EXPECT_EQ(client.GetInputPin().Utf8(), "Microphone");
    EXPECT_EQ(client.GetProfileId().Utf8(), Bstr(profile).Utf8());
    EXPECT_EQ(client.GetOutputPath().Utf8(), path);

    client.SetInputPin(B("CD Audio").Get());
    ASSERT_EQ(Thrown([&] { client.RecreateWithSource(B("Quillet Virtual Lines").Get()); }), "");
    EXPECT_EQ(client.GetInputPin().Utf8(), "CD Audio");
    EXPECT_EQ(client.GetOutputPath().Utf8(), path);

    // A source without a mixer has no level to show.
    ASSERT_EQ(Thrown([&] { client.RecreateWithSource(B("Quillet Virtual Plain").Get()); }), "");
    EXPECT_EQ(client.GetRecordLevel(), 255);
    EXPECT_FALSE(client.SetRecordLevel(20));
}

TEST_F(CaptureClientTest, PausingTogglesARunningCaptureAndIgnoresAStoppedOne)
{
    CaptureClient client(&listener);
    ASSERT_EQ(Thrown([&] { client.Create(B("Quillet Virtual Lines").Get(), nullptr, nullptr); }),
              "");
    EXPECT_EQ(Thrown([&] { client.TogglePause(); }), "");
    EXPECT_EQ(listener.Count(ListenerCall::State), 0u);
    client.SetOutputPath(Bstr::FromUtf8(folder / "pause.wma").Get());
    client.Run();
    client.TogglePause();
    client.TogglePause();
    client.Stop();
    WaitUntil([&] { return listener.Count(ListenerCall::State) >= 4; }, 2000ms);
    std::vector<LONG> states;
    for (const ListenerCall& call : listener.calls)
        if (call.kind == ListenerCall::State)
            states.push_back(call.longs[0]);
    EXPECT_EQ(states, (std::vector<LONG>{dsg_running, dsg_paused, dsg_running, dsg_stopped}));
    EXPECT_EQ(Thrown([&] { client.TogglePause(); }), "");
}

TEST_F(CaptureClientTest, FailuresThrowTheirContextWithTheEnginesCodeAndDescription)
{
    CaptureClient client(&listener);
    const std::string notCreated =
        "IWMACapture interface instance has not been (successfully) created";
    EXPECT_EQ(Thrown([&] { client.Run(); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.Stop(); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.TogglePause(); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.SetInputPin(nullptr); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.SetProfile(nullptr); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.SetOutputPath(nullptr); }), notCreated);
    EXPECT_EQ(Thrown([&] { client.RecreateWithSource(nullptr); }), notCreated);
    // Getters and queries never throw.
    EXPECT_EQ(client.GetSourceId().Get(), nullptr);
    EXPECT_EQ(client.GetProfileVersion(), wm_profile_ver_invalid);
    EXPECT_FALSE(client.HasRecordedFile());
    EXPECT_EQ(client.GetOutputFileSize(), 0u);
    EXPECT_EQ(client.GetRecordLevel(), 255);
    EXPECT_FALSE(client.SetRecordLevel(10));

    ASSERT_EQ(Thrown([&] { client.Create(B("Quillet Virtual Lines").Get(), nullptr, nullptr); }),
              "");
    EXPECT_EQ(Thrown([&] { client.SetProfile(B("abc").Get()); }),
              "Error while setting encoding profile (code 0x80070057):\n"
              "Could not convert string value \"abc\" to a GUID");
    EXPECT_EQ(Thrown([&] { client.SetOutputPath(B("/no/such/folder/take.wma").Get()); }),
              "Error while setting capture output (code 0x80070003):\n"
              "IFileSinkFilter SetFileName() call failure (path specified was "
              "\"/no/such/folder/take.wma\"");
    // A missing output file measures as all ones.
    client.SetOutputPath(Bstr::FromUtf8(folder / "never.wma").Get());
    EXPECT_EQ(client.GetOutputFileSize(), UINT64_MAX);
    EXPECT_FALSE(client.HasRecordedFile());
}

TEST_F(CaptureClientTest, ABuildWithoutAnyDeviceLeavesTheClientNotCreated)
{
    audio_test::ThrowawayServer empty;
    ASSERT_TRUE(empty.Started());
    std::string saved = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", empty.Address().c_str(), 1);
    VirtualDevices none{""};
    CaptureClient client(&listener);
    std::string thrown = Thrown([&] { client.Create(nullptr, nullptr, nullptr); });
    setenv("PULSE_SERVER", saved.c_str(), 1);
    EXPECT_EQ(thrown, "Error while initializing capture (code 0x80004005):\n"
                      "No audio capture source filter was found or it could not be created");
    EXPECT_FALSE(client.IsCreated());
    EXPECT_EQ(Thrown([&] { client.Stop(); }),
              "IWMACapture interface instance has not been (successfully) created");
}

TEST_F(CaptureClientTest, AnEngineThatIsNotRegisteredCannotBeCreated)
{
    TempFolder emptyRegistry;
    std::string saved = std::getenv("QUILLET_REGISTRY_DIR");
    setenv("QUILLET_REGISTRY_DIR", emptyRegistry.Path().c_str(), 1);
    CaptureClient client(&listener);
    std::string thrown = Thrown([&] { client.Create(nullptr, nullptr, nullptr); });
    setenv("QUILLET_REGISTRY_DIR", saved.c_str(), 1);
    EXPECT_EQ(thrown, "Failed to create an IWMACapture interface instance");
    EXPECT_FALSE(client.IsCreated());
}

TEST_F(CaptureSinkTest, ArgumentsArriveLastToFirstAndNamedOnesByTheirIndex)
{
    // FileSizeProgress(high, low): rgvarg holds low first; the listener takes low first.
    EXPECT_EQ(Fire(5, {Long(5000), Long(1)}), S_OK);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].low, 5000u);
    EXPECT_EQ(listener.calls[0].high, 1u);
    // GraphError(code, p1, p2) with p2 given by name and the rest by position.
    EXPECT_EQ(Fire(6, {Long(77), Long(-2), Long(3)}, {2}), S_OK);
    ASSERT_EQ(listener.calls.size(), 2u);
    EXPECT_EQ(listener.calls[1].longs[0], 3);
    EXPECT_EQ(listener.calls[1].longs[1], -2);
    EXPECT_EQ(listener.calls[1].longs[2], 77);
    // Arguments convert by declared type: a string position and a short state.
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"12.5");
    EXPECT_EQ(Fire(4, {text}), S_OK);
    SysFreeString(text.bstrVal);
    ASSERT_EQ(listener.calls.size(), 3u);
    EXPECT_DOUBLE_EQ(listener.calls[2].number, 12.5);
    VARIANT state;
    VariantInit(&state);
    state.vt = VT_I2;
    state.iVal = dsg_running;
    EXPECT_EQ(Fire(7, {state}), S_OK);
    ASSERT_EQ(listener.calls.size(), 4u);
    EXPECT_EQ(listener.calls[3].longs[0], dsg_running);
    // SampleError with a null string reaches the listener as null.
    VARIANT none;
    VariantInit(&none);
    none.vt = VT_BSTR;
    none.bstrVal = nullptr;
    EXPECT_EQ(Fire(2, {none}), S_OK);
    ASSERT_EQ(listener.calls.size(), 5u);
    EXPECT_TRUE(listener.calls[4].errorIsNull);
}

TEST_F(CaptureSinkTest, UnknownEventsAndMismatchedArgumentsMakeNoCall)
{
    EXPECT_EQ(Fire(99, {Long(1)}), S_OK);
    EXPECT_EQ(Fire(0, {}), S_OK);
    EXPECT_EQ(Fire(5, {Long(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Fire(4, {Long(1), Long(2)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Fire(6, {Long(1), Long(2), Long(3)}, {5}), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(Fire(6, {Long(1), Long(2), Long(3)}, {2, 2}), DISP_E_PARAMNOTFOUND);
    VARIANT notANumber;
    VariantInit(&notANumber);
    notANumber.vt = VT_BSTR;
    notANumber.bstrVal = SysAllocString(u"soon");
    EXPECT_EQ(Fire(4, {notANumber}), DISP_E_TYPEMISMATCH);
    SysFreeString(notANumber.bstrVal);
    // The accept flag must be a reference the listener can write through.
    Variant payload = Payload(72 + 18, 18);
    EXPECT_EQ(Fire(1, {Long(1), payload}), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(CaptureSinkTest, SampleFormatDecodesTheBlockAfterTheRecordOrHandsOnNull)
{
    struct Case
    {
        size_t size;
        uint32_t formatSize;
        bool decoded;
    } cases[] = {
        {72 + 18, 18, true},  // exactly a record and a format
        {72 + 22, 22, true},  // a format with extra bytes
        {71, 18, false},      // shorter than a media type record
        {72 + 18, 17, false}, // a format block too short for a WAVEFORMATEX
        {72 + 10, 18, false}, // a block that claims more than the array holds
        {72, 18, false},      // no block at all
    };
    for (const Case& c : cases) {
        listener.calls.clear();
        Variant payload = Payload(c.size, c.formatSize, 1, 8);
        VARIANT_BOOL accept = 0x1234;
        VARIANT flag;
        VariantInit(&flag);
        flag.vt = VT_BYREF | VT_BOOL;
        flag.pboolVal = &accept;
        listener.answer = c.decoded ? VARIANT_TRUE : VARIANT_FALSE;
        ASSERT_EQ(Fire(1, {flag, payload}), S_OK) << c.size;
        ASSERT_EQ(listener.calls.size(), 1u);
        EXPECT_EQ(listener.calls[0].hasFormat, c.decoded) << c.size << " " << c.formatSize;
        if (c.decoded) {
            EXPECT_EQ(int(listener.calls[0].format.nChannels), 1);
            EXPECT_EQ(int(listener.calls[0].format.wBitsPerSample), 8);
        }
        // What the listener answers goes back through the caller's reference.
        EXPECT_EQ(accept, listener.answer);
    }
    // Not a byte array at all.
    listener.calls.clear();
    VARIANT_BOOL accept = VARIANT_TRUE;
    VARIANT flag;
    VariantInit(&flag);
    flag.vt = VT_BYREF | VT_BOOL;
    flag.pboolVal = &accept;
    ASSERT_EQ(Fire(1, {flag, Long(7)}), S_OK);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_FALSE(listener.calls[0].hasFormat);
}

TEST_F(CaptureSinkTest, SampleDataPassesNonEmptyByteArraysOnly)
{
    VARIANT time;
    VariantInit(&time);
    time.vt = VT_R8;
    time.dblVal = 1.5;
    Variant empty = Variant::AdoptArray(VT_UI1, SafeArrayCreateVector(VT_UI1, 0, 0));
    EXPECT_EQ(Fire(3, {time, empty}), S_OK);
    EXPECT_EQ(Fire(3, {time, Long(4)}), S_OK);
    EXPECT_TRUE(listener.calls.empty());
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 4);
    std::memcpy(array->pvData, "\x01\x02\x03\x04", 4);
    Variant bytes = Variant::AdoptArray(VT_UI1, array);
    EXPECT_EQ(Fire(3, {time, bytes}), S_OK);
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].bytes, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_DOUBLE_EQ(listener.calls[0].number, 1.5);
    // A by-reference variant counts as the variant it names.
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_VARIANT;
    reference.pvarVal = &bytes;
    EXPECT_EQ(Fire(3, {time, reference}), S_OK);
    EXPECT_EQ(listener.calls.size(), 2u);
}

TEST_F(CaptureSinkTest, AnswersItsEventInterfaceAndCountsNoReferences)
{
    IDispatch* sink = client.Sink();
    void* found = nullptr;
    for (const IID& iid : {DIID__IWMACaptureEvents, IID_IUnknown, IID_IDispatch}) {
        EXPECT_EQ(sink->QueryInterface(iid, &found), S_OK);
        EXPECT_EQ(found, static_cast<void*>(sink));
    }
    found = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(sink->QueryInterface(IID_IConnectionPoint, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(sink->QueryInterface(DIID__ISimplePlaybackEvents, &found), E_NOINTERFACE);
    EXPECT_EQ(sink->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    EXPECT_EQ(sink->AddRef(), 1u);
    EXPECT_EQ(sink->Release(), 1u);
    UINT count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), E_NOTIMPL);
}
