// The sample grabber's contract: interfaces, pins, bad arguments, the callback modes.
#include "DshowTestSupport.h"
#include "VirtualDevices.h"

namespace {
class SampleGrabberTest : public ::testing::Test
{
protected:
    ComScope com;
    ComPtr<IBaseFilter> filter;
    ComPtr<ISampleGrabber> grabber;

    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&filter)));
        ASSERT_EQ(S_OK, filter.As(std::addressof(grabber)));
    }
};
} // namespace

TEST_F(SampleGrabberTest, AnswersFilterInterfacesOnly)
{
    for (const IID& iid :
         {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_ISampleGrabber}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(S_OK, filter->QueryInterface(iid, answer.ReleaseAndGetVoidAddress()));
    }
    void* answer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(E_NOINTERFACE, filter->QueryInterface(IID_IMediaControl, &answer));
    EXPECT_EQ(nullptr, answer);
    IUnknown* aggregate = filter.Get();
    ComPtr<IUnknown> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_SampleGrabber, aggregate, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               refused.ReleaseAndGetVoidAddress()));
}

TEST_F(SampleGrabberTest, HasAnInputAndAnOutputPin)
{
    ComPtr<IPin> input, output;
    ASSERT_EQ(S_OK, filter->FindPin(u"Input", &input));
    ASSERT_EQ(S_OK, filter->FindPin(u"Output", &output));
    IPin* missing = reinterpret_cast<IPin*>(0xdeadbeef);
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(u"Other", &missing));
    EXPECT_EQ(nullptr, missing);
    PIN_INFO info{};
    ASSERT_EQ(S_OK, output->QueryPinInfo(&info));
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_EQ(filter.Get(), info.pFilter);
    info.pFilter->Release();
    // The output has no type to offer until the input is connected.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, output->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 9;
    EXPECT_EQ(S_FALSE, types->Next(1, &type, &fetched));
    EXPECT_EQ(0u, fetched);
    // Samples are never taken before the pin is connected.
    ComPtr<IMemInputPin> transport;
    ASSERT_EQ(S_OK, input.As(std::addressof(transport)));
    EXPECT_EQ(E_POINTER, transport->Receive(nullptr));
}

TEST_F(SampleGrabberTest, RefusesBadArguments)
{
    EXPECT_EQ(E_INVALIDARG, grabber->SetCallback(nullptr, 2));
    EXPECT_EQ(S_OK, grabber->SetCallback(nullptr, 1));
    EXPECT_EQ(E_POINTER, grabber->SetMediaType(nullptr));
    AM_MEDIA_TYPE type;
    memset(&type, 0xAB, sizeof type);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, grabber->GetConnectedMediaType(&type));
    EXPECT_EQ(nullptr, type.pbFormat);
    EXPECT_EQ(E_POINTER, grabber->GetConnectedMediaType(nullptr));
    IMediaSample* sample = reinterpret_cast<IMediaSample*>(0xdeadbeef);
    EXPECT_EQ(E_NOTIMPL, grabber->GetCurrentSample(&sample));
    EXPECT_EQ(nullptr, sample);
}

// Beside the server tests of the capture filter: the grabber's own choices on a virtual source.
TEST_F(SampleGrabberTest, NarrowedTypeRefusesOtherMedia)
{
    VirtualDevices devices(kVirtualDeviceText);
    AM_MEDIA_TYPE video{};
    video.majortype = MEDIATYPE_Video;
    ASSERT_EQ(S_OK, grabber->SetMediaType(&video));
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&graph)));
    ComPtr<IBaseFilter> source = CaptureFilterNamed("Quillet Virtual Lines");
    ASSERT_TRUE(source);
    graph->AddFilter(source.Get(), u"Source");
    graph->AddFilter(filter.Get(), u"Grabber");
    EXPECT_TRUE(FAILED(graph->Connect(PinOf(source.Get(), PINDIR_OUTPUT).Get(),
                                      PinOf(filter.Get(), PINDIR_INPUT).Get())));
    AM_MEDIA_TYPE audio{};
    audio.majortype = MEDIATYPE_Audio;
    ASSERT_EQ(S_OK, grabber->SetMediaType(&audio));
    EXPECT_EQ(S_OK, graph->Connect(PinOf(source.Get(), PINDIR_OUTPUT).Get(),
                                   PinOf(filter.Get(), PINDIR_INPUT).Get()));
}

TEST_F(SampleGrabberTest, SampleModeCallsSampleCallback)
{
    VirtualDevices devices(kVirtualDeviceText);
    CaptureGraph capture;
    ASSERT_NO_FATAL_FAILURE(capture.Build("Quillet Virtual Lines"));
    ASSERT_EQ(S_OK, capture.grabber->SetCallback(capture.callback.Get(), 0));
    ASSERT_TRUE(SUCCEEDED(capture.control->Run()));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (capture.callback->sampleCalls < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(S_OK, capture.control->Stop());
    EXPECT_GE(capture.callback->sampleCalls, 3);
    EXPECT_EQ(0u, capture.callback->Buffers().size());
}
