// The stereo signal the encoder benchmarks feed: two tones, one of them wobbling, the right
// channel a little softer, so the encoder works as hard as on music rather than on a pure tone.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

inline std::vector<int16_t> MusicLikeStereo(uint32_t rate, int seconds)
{
    std::vector<int16_t> samples(size_t(rate) * size_t(seconds) * 2);
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = double(i) / rate;
        const double value = 0.3 * std::sin(2 * std::numbers::pi * 220 * t) +
                             0.2 * std::sin(2 * std::numbers::pi * 1318 * t + std::sin(3 * t));
        samples[i * 2] = int16_t(value * 32767);
        samples[i * 2 + 1] = int16_t(value * 0.8 * 32767);
    }
    return samples;
}
