// The fixture of the capture engine's tests on the private test server: a WMACapture created by
// CLSID with a recording sink advised, reset and released afterwards.
#pragma once

#include "AudioServer.h"
#include "CaptureEventSink.h"
#include "EngineTestEnvironment.h"
#include "TempFolder.h"

class CaptureEngineTest : public EngineTest
{
protected:
    void SetUp() override
    {
        std::string reason = audio_test::ServerUnavailableReason();
        if (!reason.empty()) {
            if (audio_test::ServerRequired())
                FAIL() << reason;
            GTEST_SKIP() << reason;
        }
        EngineTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_WMACapture, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&capture)),
                  S_OK);
        sink = ComPtr<CaptureEventSink>::Adopt(new CaptureEventSink);
        ASSERT_NE(AdviseSink(capture.Get(), static_cast<IDispatch*>(sink.Get())), 0u);
    }
    void TearDown() override
    {
        if (capture)
            capture->Reset();
        capture.Reset();
        EngineTest::TearDown();
    }

    TempFolder folder;
    ComPtr<IWMACapture> capture;
    ComPtr<CaptureEventSink> sink;
};
