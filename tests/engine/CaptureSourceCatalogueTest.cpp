// The capture sources as the engine lists them: every device with a friendly name, its input
// lines and its audio capture outputs, in the order the system enumerates the devices.
#include <gtest/gtest.h>

#include "../platform/dshow/VirtualDevices.h"
#include "AudioServer.h"
#include "EngineTestEnvironment.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "corvane.h"

namespace {

struct Source
{
    std::string name;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

std::vector<Source> Describe(const VARIANT& list)
{
    std::vector<Source> sources;
    if (list.vt != (VT_ARRAY | VT_DISPATCH))
        return sources;
    LONG upper = -1;
    SafeArrayGetUBound(list.parray, 1, &upper);
    for (LONG i = 0; i <= upper; ++i) {
        IDispatch* element = nullptr;
        SafeArrayGetElement(list.parray, &i, &element);
        ComPtr<IAudioCaptureSourceInfo> info;
        element->QueryInterface(IID_PPV_ARGS(&info));
        element->Release();
        Source source;
        Bstr name;
        EXPECT_EQ(info->get_FriendlyName(name.Out()), S_OK);
        source.name = name.Utf8();
        LONG inputs = 0, outputs = 0;
        EXPECT_EQ(info->get_InputPinsCount(&inputs), S_OK);
        EXPECT_EQ(info->get_OutputPinsCount(&outputs), S_OK);
        for (LONG k = 0; k < inputs; ++k) {
            Bstr id;
            EXPECT_EQ(info->get_InputPinId(k, id.Out()), S_OK);
            source.inputs.push_back(id.Utf8());
        }
        for (LONG k = 0; k < outputs; ++k) {
            Bstr id;
            EXPECT_EQ(info->get_OutputPinId(k, id.Out()), S_OK);
            source.outputs.push_back(id.Utf8());
        }
        BSTR outside = reinterpret_cast<BSTR>(0x1);
        EXPECT_EQ(info->get_InputPinId(-1, &outside), E_INVALIDARG);
        EXPECT_EQ(outside, nullptr);
        EXPECT_EQ(info->get_InputPinId(inputs, &outside), E_INVALIDARG);
        EXPECT_EQ(info->get_OutputPinId(outputs, &outside), E_INVALIDARG);
        EXPECT_EQ(outside, nullptr);
        sources.push_back(source);
    }
    return sources;
}

class CaptureSourceCatalogueTest : public EngineTest
{
protected:
    void SetUp() override
    {
        QUILLET_REQUIRE_AUDIO_SERVER();
        EngineTest::SetUp();
        ASSERT_EQ(
            CoCreateInstance(CLSID_WMAHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper)),
            S_OK);
    }
    void TearDown() override
    {
        helper.Reset();
        EngineTest::TearDown();
    }
    ComPtr<IWMAHelper> helper;
};

constexpr const char* kDevices = R"(
[device]
name = Quillet Virtual Lines
line = Microphone
line = Line In
signal = silence
[device]
name = Quillet Twin
signal = silence
[device]
name = Quillet Twin
signal = silence
[device]
name = ""
signal = silence
[device]
name = Quillet No Capture
capture = no
signal = silence
)";

} // namespace

TEST_F(CaptureSourceCatalogueTest, ListsTheServersSourcesThenTheVirtualOnes)
{
    VirtualDevices devices(kDevices);
    Variant list;
    ASSERT_EQ(helper->GetAvailableCaptureSourcesInfo(&list), S_OK);
    std::vector<Source> sources = Describe(list);
    ASSERT_GE(sources.size(), 6u);
    // The private server's three sources come first, in its order, each with one line of its
    // own name (they have no ports) and the capture output.
    EXPECT_EQ(sources[0].name, "Monitor of Quillet Test Output");
    EXPECT_EQ(sources[1].name, "Quillet Test Pipe");
    EXPECT_EQ(sources[2].name, "Quillet Test Sine");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sources[i].inputs.size(), 1u);
        EXPECT_EQ(sources[i].outputs, std::vector<std::string>{"Capture"});
    }
    // Then the virtual devices: the empty name and the device without a capture output are
    // left out, and both twins are listed.
    size_t first = sources.size() - 3;
    EXPECT_EQ(sources[first].name, "Quillet Virtual Lines");
    EXPECT_EQ(sources[first].inputs, (std::vector<std::string>{"Microphone", "Line In"}));
    EXPECT_EQ(sources[first + 1].name, "Quillet Twin");
    EXPECT_EQ(sources[first + 2].name, "Quillet Twin");
    for (const Source& source : sources) {
        EXPECT_FALSE(source.name.empty());
        EXPECT_NE(source.name, "Quillet No Capture");
    }
}

TEST_F(CaptureSourceCatalogueTest, AMachineWithoutAudioInputFails)
{
    audio_test::ThrowawayServer empty;
    ASSERT_TRUE(empty.Started());
    const char* previous = std::getenv("PULSE_SERVER");
    std::string saved = previous ? previous : "";
    setenv("PULSE_SERVER", empty.Address().c_str(), 1);
    unsetenv("QUILLET_VIRTUAL_DEVICES");
    Variant list = Variant::Long(1);
    HRESULT hr = helper->GetAvailableCaptureSourcesInfo(&list);
    setenv("PULSE_SERVER", saved.c_str(), 1);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(list.vt, VT_EMPTY);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr text, source;
    info->GetDescription(text.Out());
    info->GetSource(source.Out());
    EXPECT_EQ(text.Utf8(),
              "Could not create Device Class Enumerator (Audio Input Device Category)");
    EXPECT_EQ(source.Utf8(), "corvane.WMAHelper.1");
    EXPECT_EQ(helper->GetAvailableCaptureSourcesInfo(nullptr), E_POINTER);
}
