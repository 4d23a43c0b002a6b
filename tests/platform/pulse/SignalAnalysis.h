// Measures recorded signals: what frequency a tone has and how loud it is.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace audio_test {

// The frequency of a tone from its rising zero crossings; a small dead band keeps noise near
// zero from counting.
inline double ToneFrequency(const std::vector<int16_t>& mono, uint32_t rate)
{
    constexpr int DeadBand = 64;
    int crossings = 0;
    size_t first = 0;
    size_t last = 0;
    bool below = false;
    for (size_t i = 0; i < mono.size(); ++i) {
        if (mono[i] < -DeadBand) {
            below = true;
        } else if (below && mono[i] > DeadBand) {
            below = false;
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return double(crossings - 1) * rate / double(last - first);
}

// ToneFrequency over quarter seconds, the median of them: a glitch of a loaded machine (a
// dropped block, a burst of near-silent noise) moves one window, not the answer.
inline double MedianToneFrequency(const std::vector<int16_t>& mono, uint32_t rate)
{
    std::vector<double> frequencies;
    const size_t window = rate / 4;
    for (size_t at = 0; at + window <= mono.size(); at += window) {
        std::vector<int16_t> part(mono.begin() + long(at), mono.begin() + long(at + window));
        if (double frequency = ToneFrequency(part, rate); frequency > 0)
            frequencies.push_back(frequency);
    }
    if (frequencies.empty())
        return 0.0;
    std::nth_element(frequencies.begin(), frequencies.begin() + long(frequencies.size() / 2),
                     frequencies.end());
    return frequencies[frequencies.size() / 2];
}

inline int Peak(const std::vector<int16_t>& mono)
{
    int peak = 0;
    for (int16_t sample : mono)
        peak = std::max(peak, std::abs(int(sample)));
    return peak;
}

// One channel of interleaved s16le frames.
inline void AppendChannel(const uint8_t* data, size_t bytes, uint32_t channels, uint32_t channel,
                          std::vector<int16_t>& out)
{
    const size_t frameBytes = size_t(channels) * 2;
    for (size_t offset = channel * 2; offset + 1 < bytes; offset += frameBytes)
        out.push_back(int16_t(uint16_t(data[offset] | (data[offset + 1] << 8))));
}

} // namespace audio_test
