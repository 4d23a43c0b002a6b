// The recorder form's "Input signal" graph: the waveform of the last captured buffer,
// one column per pixel, on a square-root amplitude scale so that quiet signals stay visible.
// User-interface thread only: the capture events that feed it arrive on that thread.
#pragma once

#include <QColor>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "com/Types.h"
#include "dshow/MediaTypes.h"

class SignalGraph : public QWidget
{
    Q_OBJECT

public:
    // No format, no values, not active. The widget has no frame, so its client area is rect().
    explicit SignalGraph(QWidget* parent = nullptr);
    ~SignalGraph() override;

    // Stores a copy of the 18-byte format and clears the graph. The stored format is dropped
    // first, so a refused one leaves none: E_POINTER for null, E_INVALIDARG for other than 8 or
    // 16 bits per sample or for no channels.
    HRESULT SetFormat(const WAVEFORMATEX* waveFormat);
    // Drops the values; with `repaint`, schedules a repaint of the whole widget.
    void Clear(bool repaint);
    // Replaces the values with one display value per whole frame of the buffer and repaints;
    // clears instead while not active.
    void ProcessSamples(const BYTE* data, uint32_t size);

    // The number of display values of the last buffer.
    uint32_t Count() const { return count; }
    // The display values of the last buffer, normally within -1 ... +1.
    std::span<const double> Values() const { return {values.data(), count}; }
    // Whether a format is stored.
    bool HasFormat() const { return format.has_value(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<WAVEFORMATEX> format;
    // Cleared, never shrunk: each buffer reuses the capacity of the one before it.
    std::vector<double> values;
    uint32_t count = 0;

public:
    // True while the capture graph runs; only then are samples taken and drawn. The recorder
    // form writes it directly.
    bool active = false;

private:
    QColor background{200, 212, 248};
    QColor line{0, 160, 0};
    // The polyline of the last paint, kept so that a paint allocates nothing once warm.
    std::vector<QPoint> points;
};
