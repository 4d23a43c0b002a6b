// Signals to record and ways to look at the files the ASF writer makes: ffprobe's view and a full
// decode with FFmpeg's libraries. The decoder reads whatever a file holds, so it also measures
// files that a killed or failed recording left behind.
#pragma once

#include "AsfEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace asftest {

// Interleaved 16-bit samples of `seconds` of f(t) (t in seconds, result in -1..1) on every channel.
template <class Signal>
std::vector<int16_t> MakePcm(double seconds, uint32_t rate, uint32_t channels, Signal signal)
{
    const size_t frames = size_t(std::llround(seconds * rate));
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const double value = signal(double(i) / rate);
        for (uint32_t c = 0; c < channels; ++c)
            pcm[i * channels + c] = int16_t(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
    }
    return pcm;
}

inline auto Sine(double hz, double level = 0.5)
{
    return [hz, level](double t) { return level * std::sin(2 * std::numbers::pi * hz * t); };
}

// A linear sweep from `from` to `to` Hz over `seconds`: every lag looks different.
inline auto Chirp(double from, double to, double seconds, double level = 0.5)
{
    return [=](double t) {
        const double phase =
            2 * std::numbers::pi * (from * t + (to - from) * t * t / (2 * seconds));
        return level * std::sin(phase);
    };
}

// Tones that music-like material would have, with a slow swell so frames differ.
inline auto Music()
{
    return [](double t) {
        const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.7 * t);
        return swell * (0.3 * std::sin(2 * std::numbers::pi * 220 * t) +
                        0.2 * std::sin(2 * std::numbers::pi * 1318 * t) +
                        0.1 * std::sin(2 * std::numbers::pi * 3520 * t + std::sin(9 * t)));
    };
}

struct Decoded
{
    std::string codec;
    int rate = 0;
    int channels = 0;
    std::vector<float> mono;           // the channels averaged
    std::vector<int64_t> packetPts;    // in the stream's time base (milliseconds for ASF)
    std::vector<int64_t> packetLength; // durations, same base
    std::string error;                 // why the file could not be read at all

    double Seconds() const { return rate ? double(mono.size()) / rate : 0.0; }
};

// Decodes every packet the file holds; a torn last packet or a missing trailer ends the decode
// quietly, as a player would.
inline Decoded DecodeFile(const std::string& path)
{
    Decoded out;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) {
        out.error = "cannot open";
        return out;
    }
    if (avformat_find_stream_info(input, nullptr) < 0 || input->nb_streams < 1) {
        out.error = "no stream";
        avformat_close_input(&input);
        return out;
    }
    AVStream* stream = input->streams[0];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* context = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (!context || avcodec_parameters_to_context(context, stream->codecpar) < 0 ||
        avcodec_open2(context, decoder, nullptr) < 0) {
        out.error = "no decoder";
        avcodec_free_context(&context);
        avformat_close_input(&input);
        return out;
    }
    out.codec = decoder->name;
    out.rate = context->sample_rate;
    out.channels = context->ch_layout.nb_channels;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) >= 0) {
            for (int i = 0; i < frame->nb_samples; ++i) {
                float sum = 0;
                for (int c = 0; c < out.channels; ++c) {
                    if (frame->format == AV_SAMPLE_FMT_FLTP)
                        sum += reinterpret_cast<const float*>(frame->data[c])[i];
                    else if (frame->format == AV_SAMPLE_FMT_FLT)
                        sum += reinterpret_cast<const float*>(frame->data[0])[i * out.channels + c];
                }
                out.mono.push_back(sum / float(out.channels));
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == 0) {
            out.packetPts.push_back(packet->pts);
            out.packetLength.push_back(packet->duration);
            if (avcodec_send_packet(context, packet) >= 0)
                drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&input);
    return out;
}

// ffprobe's flat output for the file's format and first stream: "format.duration",
// "streams.stream.0.codec_name" and so on, quotes removed.
inline std::map<std::string, std::string> Probe(const std::string& path)
{
    std::map<std::string, std::string> values;
    const std::string command =
        "ffprobe -v error -show_entries "
        "format=format_name,duration,size,bit_rate:stream=codec_name,sample_rate,channels "
        "-of flat '" +
        path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return values;
    char line[512];
    while (fgets(line, sizeof(line), pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t equals = text.find('=');
        if (equals == std::string::npos)
            continue;
        std::string value = text.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        values[text.substr(0, equals)] = value;
    }
    pclose(pipe);
    return values;
}

// What ffmpeg reports while decoding the whole file; empty for a clean decode.
inline std::string FfmpegErrors(const std::string& path)
{
    const std::string command = "ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1";
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run ffmpeg";
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    return pclose(pipe) == 0 ? text : "ffmpeg failed: " + text;
}

inline int64_t FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? int64_t(info.st_size) : -1;
}

// The strongest frequency between `low` and `high` Hz (1 Hz steps) in `samples` from `start`.
inline double PeakFrequency(const std::vector<float>& signal, int rate, size_t start,
                            size_t samples, double low, double high)
{
    double best = 0, bestPower = -1;
    for (double hz = low; hz <= high; hz += 1.0) {
        // Goertzel: the power of one frequency bin.
        const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
        double s1 = 0, s2 = 0;
        for (size_t i = start; i < start + samples && i < signal.size(); ++i) {
            const double s0 = signal[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = hz;
        }
    }
    return best;
}

// The best normalised correlation of `decoded` against `reference` over lags -maxLag..maxLag
// (decoded[i + lag] against reference[i]), and the lag where it is found. A decoder may start
// before or after the first input sample, by its own delay.
inline double BestCorrelation(const std::vector<float>& reference,
                              const std::vector<float>& decoded, long maxLag,
                              long* bestLag = nullptr)
{
    double best = -1;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            const long j = long(i) + lag;
            if (j < 0 || j >= long(decoded.size()))
                continue;
            const double x = reference[i], y = decoded[size_t(j)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        const double r = (xx > 0 && yy > 0) ? xy / std::sqrt(xx * yy) : 0;
        if (r > best) {
            best = r;
            if (bestLag)
                *bestLag = lag;
        }
    }
    return best;
}

// The input format and target of a recording.
inline AsfEncoder::Config MakeConfig(const std::string& path, uint32_t inputRate,
                                     uint32_t inputChannels, AsfEncoder::Codec codec, uint32_t rate,
                                     uint32_t channels, uint32_t bitRate)
{
    AsfEncoder::Config config;
    config.path = path;
    config.overwrite = false;
    config.inputRate = inputRate;
    config.inputChannels = inputChannels;
    config.target = {codec, rate, channels, bitRate};
    return config;
}

} // namespace asftest
