// Stream lengths as the engine measures them: milliseconds, from the media detector; pipes and
// devices refused before any detector reads them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <random>

#include "AudioServer.h"
#include "EngineTestEnvironment.h"
#include "TempFolder.h"
#include "Watchdog.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

namespace {

class StreamLengthTest : public EngineTest
{
protected:
    void SetUp() override
    {
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

    // A clip made by the ffmpeg tool: seconds of a 440 Hz tone in WMA.
    std::string MakeClip(const std::string& name, double seconds)
    {
        std::string path = folder / name;
        int status = 0;
        audio_test::Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=" +
                              std::to_string(seconds) + " -ac 2 -c:a wmav2 -b:a 64k '" + path + "'",
                          &status);
        EXPECT_EQ(status, 0);
        return path;
    }

    HRESULT Measure(const std::string& path, LONG stream, double* length)
    {
        Bstr text = Bstr::FromUtf8(path);
        return helper->GetStreamLength(text.Get(), stream, length);
    }

    ComPtr<IWMAHelper> helper;
    TempFolder folder;
};

} // namespace

TEST_F(StreamLengthTest, MeasuresMillisecondsWithinOneCodecFrame)
{
    for (double seconds : {1.0, 3.0}) {
        std::string path = MakeClip("clip.wma", seconds);
        double length = -1;
        ASSERT_EQ(Measure(path, 0, &length), S_OK);
        // One wmav2 frame at 44.1 kHz is 2048 samples, about 46 ms.
        EXPECT_NEAR(length, seconds * 1000.0, 47.0);
    }
}

TEST_F(StreamLengthTest, BadArgumentsAndFilesFailWithTheDetectorsResult)
{
    double length = 7;
    EXPECT_EQ(helper->GetStreamLength(nullptr, 0, &length), E_INVALIDARG);
    EXPECT_EQ(length, 0.0);
    length = 7;
    EXPECT_EQ(Measure("", 0, &length), E_INVALIDARG);
    EXPECT_EQ(length, 0.0);
    EXPECT_EQ(Measure("x", 0, nullptr), E_POINTER);

    std::string clip = MakeClip("one.wma", 1.0);
    EXPECT_TRUE(FAILED(Measure(clip, 1, &length))); // the file has one stream
    EXPECT_TRUE(FAILED(Measure(folder / "missing.wma", 0, &length)));
    std::ofstream(folder / "empty.wma").flush();
    EXPECT_TRUE(FAILED(Measure(folder / "empty.wma", 0, &length)));
}

TEST_F(StreamLengthTest, DamagedFilesNeverCrashOrHang)
{
    std::string clip = MakeClip("source.wma", 1.0);
    std::ifstream in(clip, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), 1000u);
    std::mt19937 random(20261208);
    for (int round = 0; round < 60; ++round) {
        std::string damaged = bytes;
        if (round % 3 == 0) {
            damaged.resize(random() % damaged.size()); // truncated
        } else {
            for (int k = 0; k < 8; ++k) // bytes changed, the header most often
                damaged[random() % (round % 3 == 1 ? 600 : damaged.size())] = char(random());
        }
        std::string path = folder / "damaged.wma";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
        double length = -1;
        HRESULT hr = Measure(path, 0, &length);
        if (SUCCEEDED(hr)) {
            EXPECT_GE(length, 0.0);
        }
    }
}

TEST_F(StreamLengthTest, PipesAndDevicesAreRefusedAtOnce)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        HRESULT hr = S_OK;
        double length = 7;
        std::string text, source;
        EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(5), fifo,
                                  [&] {
                                      CoInitialize(nullptr);
                                      hr = Measure(path, 0, &length);
                                      ComPtr<IErrorInfo> info;
                                      if (GetErrorInfo(0, &info) == S_OK && info) {
                                          Bstr description, origin;
                                          info->GetDescription(description.Out());
                                          info->GetSource(origin.Out());
                                          text = description.Utf8();
                                          source = origin.Utf8();
                                      }
                                      CoUninitialize();
                                  }))
            << path << ": measuring waited on it";
        EXPECT_EQ(hr, E_INVALIDARG) << path;
        EXPECT_EQ(length, 0.0) << path;
        EXPECT_EQ(text, "Not a regular file (\"" + path + "\")");
        EXPECT_EQ(source, "corvane.WMAHelper.1");
    }
}
