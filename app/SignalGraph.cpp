#include "SignalGraph.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <new>

SignalGraph::SignalGraph(QWidget* parent) : QWidget(parent)
{
    // Double buffering without a buffer of our own: Qt already paints every widget into the
    // window's backing store and flushes it in one go, which is all a memory bitmap of our own
    // would give. A second off-screen image would cost one more copy of every pixel per buffer.
    // What would still flicker is Qt filling the background before paintEvent; an opaque widget
    // tells it not to, and paintEvent covers
    // the whole rectangle itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

SignalGraph::~SignalGraph() = default;

HRESULT SignalGraph::SetFormat(const WAVEFORMATEX* waveFormat)
{
    format.reset();
    if (!waveFormat)
        return E_POINTER;
    if (waveFormat->wBitsPerSample != 8 && waveFormat->wBitsPerSample != 16)
        return E_INVALIDARG;
    // Frames are counted in channels; the engine's capture formats always have at least one.
    if (waveFormat->nChannels == 0)
        return E_INVALIDARG;
    format = *waveFormat; // the 18 bytes only: the extra format bytes are never read
    Clear(true);
    return S_OK;
}

void SignalGraph::Clear(bool repaint)
{
    values.clear();
    count = 0;
    if (repaint)
        update();
}

void SignalGraph::ProcessSamples(const BYTE* data, uint32_t size)
{
    if (!active) {
        Clear(true);
        return;
    }
    values.clear();
    count = 0;
    if (!data || size == 0) {
        Clear(true);
        return;
    }
    if (!format) {
        update(); // the picture becomes empty
        return;
    }

    const uint32_t bits = format->wBitsPerSample;
    const uint32_t channels = format->nChannels;
    const uint32_t samples = size / (bits / 8);
    const double full = bits == 16 ? 65536.0 : 256.0;
    const double scale = std::sqrt((full - 1) * 0.5 * channels);
    const uint32_t frames = samples / channels; // a trailing partial frame is ignored

    try {
        values.resize(frames);
    } catch (const std::bad_alloc&) {
        Clear(true);
        return;
    }
    count = frames;

    const BYTE* sample = data;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        int64_t sum = 0;
        if (bits == 16) {
            for (uint32_t channel = 0; channel < channels; ++channel, sample += 2)
                sum += int16_t(uint16_t(sample[0] | (sample[1] << 8))); // signed little-endian
        } else {
            for (uint32_t channel = 0; channel < channels; ++channel, ++sample)
                sum += int(*sample) - 128; // unsigned, 128 is silence
        }
        const double magnitude = std::sqrt(double(sum < 0 ? -sum : sum));
        values[frame] = (sum < 0 ? -magnitude : magnitude) / scale;
    }
    update();
}

void SignalGraph::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    QPainter painter(this);
    painter.fillRect(0, 0, w, h, background);
    if (!active || count == 0 || w <= 0)
        return;

    const int mid = h / 2;
    const int amplitude = mid - 1;
    const uint32_t step = count / uint32_t(w); // 0 with fewer frames than pixels
    points.resize(size_t(w) + 1);
    points[0] = QPoint(0, mid);
    uint32_t position = 0;
    for (int x = 0; x < w; ++x, position += step) {
        const uint32_t index = std::min(position, count - 1);
        // Truncation toward zero; positive values fall below the centre.
        const int y = mid + int(amplitude * values[index]);
        points[size_t(x) + 1] = QPoint(x, y);
    }
    // One aliased pixel wide; the square cap also draws the last point, which a GDI LineTo
    // leaves out, so the rightmost column is not empty.
    painter.setPen(QPen(line, 1, Qt::SolidLine, Qt::SquareCap));
    painter.drawPolyline(points.data(), int(points.size()));
}
