// The input signal graph: the formats it takes, the display values of a buffer, and
// the picture, read from the pixels of the widget grabbed into an image without showing it.
#include "SignalGraph.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace {

// Colours without their alpha byte, as Pixel reads them.
const QRgb background = qRgb(200, 212, 248) & 0xFFFFFF;
const QRgb green = qRgb(0, 160, 0) & 0xFFFFFF;

// A graph the size the tests reason about: mid = 30, amplitude = 29.
constexpr int graphWidth = 100;
constexpr int graphHeight = 60;
constexpr int mid = graphHeight / 2;

WAVEFORMATEX Format(WORD channels, WORD bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = 44100;
    format.nBlockAlign = WORD(channels * bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.wBitsPerSample = bits;
    return format;
}

// Interleaved 16-bit samples as the sample grabber hands them over: signed little-endian.
std::vector<BYTE> Pcm16(const std::vector<int>& samples)
{
    std::vector<BYTE> bytes;
    for (int sample : samples) {
        auto word = uint16_t(int16_t(sample));
        bytes.push_back(BYTE(word & 0xFF));
        bytes.push_back(BYTE(word >> 8));
    }
    return bytes;
}

// A graph at the test size with an accepted format, running.
struct RunningGraph
{
    explicit RunningGraph(WORD channels, WORD bits, int width = graphWidth)
    {
        graph.resize(width, graphHeight);
        WAVEFORMATEX format = Format(channels, bits);
        EXPECT_EQ(graph.SetFormat(&format), S_OK);
        graph.active = true;
    }
    void Feed(const std::vector<BYTE>& bytes)
    {
        graph.ProcessSamples(bytes.data(), uint32_t(bytes.size()));
    }
    SignalGraph graph;
};

QImage Picture(SignalGraph& graph)
{
    return graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

// The rows of column x that the line covers.
std::vector<int> GreenRows(const QImage& image, int x)
{
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (Pixel(image, x, y) == green)
            rows.push_back(y);
    }
    return rows;
}

// Every pixel is the background colour: no line, nothing left over from a paint before.
void ExpectBackgroundOnly(SignalGraph& graph)
{
    QImage image = Picture(graph);
    ASSERT_EQ(image.size(), graph.size());
    int others = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            others += Pixel(image, x, y) != background;
    }
    EXPECT_EQ(others, 0) << "pixels that are not the background";
}

// The line runs along `row` through every column, and nothing else is drawn.
void ExpectFlatLine(SignalGraph& graph, int row)
{
    QImage image = Picture(graph);
    ASSERT_EQ(image.size(), graph.size());
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            // Column 0 also holds the move from the centre line to the first value.
            bool onLine =
                y == row || (x == 0 && y >= std::min(mid, row) && y <= std::max(mid, row));
            ASSERT_EQ(Pixel(image, x, y), onLine ? green : background) << "at " << x << "," << y;
        }
    }
}

// Counts the paint events that reach a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Whether a paint reaches the widget within a second, after the counter was reset.
bool PaintArrives(const PaintCounter& counter)
{
    for (int waited = 0; waited < 1000 && counter.paints == 0; waited += 10)
        QTest::qWait(10);
    return counter.paints > 0;
}

TEST(SignalGraphTest, StartsEmpty)
{
    SignalGraph graph;
    graph.resize(graphWidth, graphHeight);
    EXPECT_FALSE(graph.HasFormat());
    EXPECT_FALSE(graph.active);
    EXPECT_EQ(graph.Count(), 0u);
    ExpectBackgroundOnly(graph);
}

TEST(SignalGraphTest, TakesEightAndSixteenBits)
{
    for (WORD bits : {8, 16}) {
        SignalGraph graph;
        WAVEFORMATEX format = Format(2, bits);
        EXPECT_EQ(graph.SetFormat(&format), S_OK) << bits;
        EXPECT_TRUE(graph.HasFormat()) << bits;
    }
}

TEST(SignalGraphTest, RefusesOtherSampleSizesAndDropsTheStoredFormat)
{
    for (WORD bits : {0, 4, 24, 32}) {
        RunningGraph running(1, 16);
        WAVEFORMATEX format = Format(1, bits);
        EXPECT_EQ(running.graph.SetFormat(&format), E_INVALIDARG) << bits;
        EXPECT_FALSE(running.graph.HasFormat()) << bits;
        // The graph stays empty for that recording.
        running.Feed(Pcm16({1000, -1000, 1000, -1000}));
        EXPECT_EQ(running.graph.Count(), 0u) << bits;
        ExpectBackgroundOnly(running.graph);
    }
}

TEST(SignalGraphTest, RefusesNoChannels)
{
    RunningGraph running(1, 16);
    WAVEFORMATEX format = Format(0, 16);
    EXPECT_EQ(running.graph.SetFormat(&format), E_INVALIDARG);
    EXPECT_FALSE(running.graph.HasFormat());
    running.Feed(Pcm16({1000, -1000}));
    EXPECT_EQ(running.graph.Count(), 0u);
}

TEST(SignalGraphTest, RefusesNullAndDropsTheStoredFormat)
{
    RunningGraph running(1, 16);
    EXPECT_EQ(running.graph.SetFormat(nullptr), E_POINTER);
    EXPECT_FALSE(running.graph.HasFormat());
}

TEST(SignalGraphTest, ANewFormatClearsTheValues)
{
    RunningGraph running(1, 16);
    running.Feed(Pcm16({1000, 2000, 3000}));
    ASSERT_EQ(running.graph.Count(), 3u);
    WAVEFORMATEX format = Format(2, 8);
    EXPECT_EQ(running.graph.SetFormat(&format), S_OK);
    EXPECT_EQ(running.graph.Count(), 0u);
    EXPECT_TRUE(running.graph.Values().empty());
    ExpectBackgroundOnly(running.graph);
}

TEST(SignalGraphTest, ClearDropsTheValues)
{
    RunningGraph running(1, 16);
    running.Feed(Pcm16({1000, 2000, 3000}));
    running.graph.Clear(true);
    EXPECT_EQ(running.graph.Count(), 0u);
    EXPECT_TRUE(running.graph.Values().empty());
    ExpectBackgroundOnly(running.graph);
}

TEST(SignalGraphTest, SixteenBitSilenceIsAStraightLineAtMidHeight)
{
    RunningGraph running(1, 16);
    running.Feed(std::vector<BYTE>(882, 0)); // 441 frames of zeros
    ASSERT_EQ(running.graph.Count(), 441u);
    for (double value : running.graph.Values())
        ASSERT_EQ(value, 0.0);
    ExpectFlatLine(running.graph, mid);
}

TEST(SignalGraphTest, EightBitSilenceIsAStraightLineAtMidHeight)
{
    RunningGraph running(1, 8);
    running.Feed(std::vector<BYTE>(441, 128));
    ASSERT_EQ(running.graph.Count(), 441u);
    for (double value : running.graph.Values())
        ASSERT_EQ(value, 0.0);
    ExpectFlatLine(running.graph, mid);
}

TEST(SignalGraphTest, OnlyWholeFramesAreUsed)
{
    // 16-bit stereo: 3 bytes are one sample and no whole frame.
    RunningGraph running(2, 16);
    running.Feed({0xFF, 0x7F, 0xFF});
    EXPECT_EQ(running.graph.Count(), 0u);
    EXPECT_TRUE(running.graph.Values().empty());
    ExpectBackgroundOnly(running.graph);

    // 10 bytes are five samples: two frames and half of a third.
    running.Feed({0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x7F});
    ASSERT_EQ(running.graph.Count(), 2u);
    EXPECT_EQ(running.graph.Values()[1], 0.0);
}

TEST(SignalGraphTest, NoBytesClearTheGraph)
{
    RunningGraph running(1, 16);
    std::vector<BYTE> bytes = Pcm16({1000, 2000});
    running.Feed(bytes);
    running.graph.ProcessSamples(nullptr, 4);
    EXPECT_EQ(running.graph.Count(), 0u);
    running.Feed(bytes);
    running.graph.ProcessSamples(bytes.data(), 0);
    EXPECT_EQ(running.graph.Count(), 0u);
    ExpectBackgroundOnly(running.graph);
}

TEST(SignalGraphTest, NoFormatLeavesAnEmptyPicture)
{
    SignalGraph graph;
    graph.resize(graphWidth, graphHeight);
    graph.active = true;
    std::vector<BYTE> bytes = Pcm16({1000, 2000});
    graph.ProcessSamples(bytes.data(), uint32_t(bytes.size()));
    EXPECT_EQ(graph.Count(), 0u);
    ExpectBackgroundOnly(graph);
}

TEST(SignalGraphTest, SamplesWhileNotActiveLeaveItEmpty)
{
    RunningGraph running(1, 16);
    running.Feed(Pcm16({8000, 8000, 8000}));
    ASSERT_EQ(running.graph.Count(), 3u);
    // A SampleData that arrives after dsg_stopped.
    running.graph.active = false;
    running.Feed(Pcm16({8000, 8000, 8000}));
    EXPECT_EQ(running.graph.Count(), 0u);
    EXPECT_TRUE(running.graph.Values().empty());
    ExpectBackgroundOnly(running.graph);
}

TEST(SignalGraphTest, NotActiveShowsOnlyTheBackground)
{
    RunningGraph running(1, 16);
    running.Feed(Pcm16({8000, 8000, 8000}));
    running.graph.active = false; // the values are still there: the paint alone decides
    ExpectBackgroundOnly(running.graph);
}

TEST(SignalGraphTest, SquareRootScale)
{
    RunningGraph sixteen(1, 16);
    // Full scale, half amplitude and a quarter, both signs.
    sixteen.Feed(Pcm16({32767, -32767, 16384, -16384, 8192, -8192}));
    ASSERT_EQ(sixteen.graph.Count(), 6u);
    std::span<const double> values = sixteen.graph.Values();
    EXPECT_NEAR(values[0], 1.0, 1e-4);
    EXPECT_NEAR(values[1], -1.0, 1e-4);
    EXPECT_NEAR(values[2], 0.7071, 1e-4);
    EXPECT_NEAR(values[3], -0.7071, 1e-4);
    EXPECT_NEAR(values[4], 0.5, 1e-4);
    EXPECT_NEAR(values[5], -0.5, 1e-4);

    RunningGraph eight(1, 8);
    // 8-bit samples are unsigned: 255 is +127, 0 is -128, 192 is +64.
    eight.Feed({255, 0, 192, 64});
    ASSERT_EQ(eight.graph.Count(), 4u);
    values = eight.graph.Values();
    EXPECT_NEAR(values[0], 1.0, 0.005);
    EXPECT_NEAR(values[1], -1.0, 0.005);
    EXPECT_NEAR(values[2], 0.7085, 0.001);
    EXPECT_NEAR(values[3], -0.7085, 0.001);
}

TEST(SignalGraphTest, StereoSumsTheChannels)
{
    RunningGraph sixteen(2, 16);
    sixteen.Feed(Pcm16({32767, 32767, 32767, -32767, 32767, 0, -16384, -16384}));
    ASSERT_EQ(sixteen.graph.Count(), 4u);
    std::span<const double> values = sixteen.graph.Values();
    EXPECT_NEAR(values[0], 1.0, 1e-4);     // both channels at full scale
    EXPECT_EQ(values[1], 0.0);             // opposite channels cancel
    EXPECT_NEAR(values[2], 0.7071, 1e-4);  // one channel at full scale is half the sum
    EXPECT_NEAR(values[3], -0.7071, 1e-4); // both at half amplitude

    RunningGraph eight(2, 8);
    eight.Feed({255, 255, 255, 1, 128, 128});
    ASSERT_EQ(eight.graph.Count(), 3u);
    values = eight.graph.Values();
    EXPECT_NEAR(values[0], 1.0, 0.005);
    EXPECT_EQ(values[1], 0.0);
    EXPECT_EQ(values[2], 0.0);
}

// A 16-bit sample whose display value lands `offset` pixels off the centre line of the test
// graph (amplitude 29): half a pixel past the offset, so that truncation cannot move it.
int SampleFor(int offset)
{
    double value = (std::abs(offset) + 0.5) / 29;
    int sample = int(std::lround(value * value * 32767.5));
    return offset < 0 ? -sample : sample;
}

TEST(SignalGraphTest, ColumnsShowEveryStepthFrame)
{
    // 4410 frames over 100 pixels: step 44, so the columns show frames 0, 44, ..., 4356. Those
    // frames make a ramp from 20 pixels above the centre to 20 below; every other frame sits at
    // negative full scale, the top row, where a wrong index would show.
    auto offsetOf = [](int x) { return 40 * x / 99 - 20; };
    std::vector<int> samples(4410, -32768);
    for (int x = 0; x < graphWidth; ++x)
        samples[size_t(x) * 44] = SampleFor(offsetOf(x));
    RunningGraph running(1, 16);
    running.Feed(Pcm16(samples));
    ASSERT_EQ(running.graph.Count(), 4410u);
    EXPECT_NEAR(running.graph.Values()[1], -1.0, 1e-4);

    QImage image = Picture(running.graph);
    ASSERT_EQ(image.size(), QSize(graphWidth, graphHeight));
    for (int x = 0; x < graphWidth; ++x) {
        const int y = mid + offsetOf(x); // positive offsets below the centre
        EXPECT_EQ(Pixel(image, x, y), green) << "column " << x << " row " << y;
        if (x == 0)
            continue; // it also holds the move from the centre line
        // Neighbouring columns differ by one row at most, so the line stays next to the point.
        for (int row : GreenRows(image, x))
            EXPECT_LE(std::abs(row - y), 1) << "column " << x << " row " << row;
    }
    EXPECT_EQ(GreenRows(image, 0).front(), mid - 20);
    EXPECT_EQ(GreenRows(image, 0).back(), mid);
}

TEST(SignalGraphTest, AWiderWidgetDrawsTheFirstFrameFlat)
{
    // 50 frames over 100 pixels: step 0, every column shows frame 0.
    std::vector<int> samples(50, -32767);
    samples[0] = SampleFor(12);
    RunningGraph running(1, 16);
    running.Feed(Pcm16(samples));
    ASSERT_EQ(running.graph.Count(), 50u);
    ExpectFlatLine(running.graph, mid + 12);
}

TEST(SignalGraphTest, PositiveValuesFallBelowTheCentre)
{
    // Full scale gives 28 of the 29 pixels (0.99998 truncated); negative full scale one more.
    RunningGraph positive(1, 16, 10);
    positive.Feed(Pcm16({32767}));
    ExpectFlatLine(positive.graph, mid + 28);

    RunningGraph negative(1, 16, 10);
    negative.Feed(Pcm16({-32768}));
    ExpectFlatLine(negative.graph, mid - 29);
}

TEST(SignalGraphTest, EveryChangeReachesTheNextPaint)
{
    RunningGraph running(1, 16);
    PaintCounter counter;
    running.graph.installEventFilter(&counter);
    running.graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&running.graph));
    QTest::qWait(20);

    counter.paints = 0;
    running.Feed(Pcm16({8000, 8000, 8000}));
    EXPECT_TRUE(PaintArrives(counter)) << "a new buffer";
    counter.paints = 0;
    running.graph.Clear(true);
    EXPECT_TRUE(PaintArrives(counter)) << "Clear(true)";
    counter.paints = 0;
    WAVEFORMATEX format = Format(2, 16);
    EXPECT_EQ(running.graph.SetFormat(&format), S_OK);
    EXPECT_TRUE(PaintArrives(counter)) << "an accepted format";
    counter.paints = 0;
    running.graph.active = false;
    running.Feed(Pcm16({8000, 8000}));
    EXPECT_TRUE(PaintArrives(counter)) << "a buffer while not active";
    running.graph.removeEventFilter(&counter);
}

} // namespace
