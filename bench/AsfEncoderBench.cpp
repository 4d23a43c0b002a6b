// What recording through the ASF writer costs over FFmpeg's WMA encoder alone: one minute of CD
// audio encoded to wmav2 at 128 kbit/s, once through AsfEncoder (conversion, encoding, muxing,
// writing each packet to a file) and once through plain avcodec (the encoder and nothing else).
// AsfWriterOverEncoder reports both processor times and their ratio from one run of each.
#include "AsfEncoder.h"
#include "CpuTime.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "BenchSignal.h"

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint32_t Channels = 2;
constexpr uint32_t BitRate = 128000;
constexpr int Seconds = 60;
// Capture hands the writer about 20 ms at a time.
constexpr size_t BufferFrames = Rate / 50;

const std::vector<int16_t>& Minute()
{
    static const std::vector<int16_t> pcm = MusicLikeStereo(Rate, Seconds);
    return pcm;
}

std::string TempPath()
{
    return (std::filesystem::temp_directory_path() /
            ("quillet-bench-" + std::to_string(getpid()) + ".wma"))
        .string();
}

// Records the minute through the writer; false when anything failed.
bool EncodeWithWriter(const std::string& path)
{
    AsfEncoder encoder;
    AsfEncoder::Config config;
    config.path = path;
    config.overwrite = true;
    config.inputRate = Rate;
    config.inputChannels = Channels;
    config.target = {AsfEncoder::Codec::Wmav2, Rate, Channels, BitRate};
    if (FAILED(encoder.Open(config)))
        return false;
    const auto& pcm = Minute();
    for (size_t frame = 0; frame < pcm.size() / Channels; frame += BufferFrames) {
        const size_t frames = std::min(BufferFrames, pcm.size() / Channels - frame);
        if (FAILED(encoder.Write(pcm.data() + frame * Channels, frames * Channels * 2, 0)))
            return false;
    }
    return SUCCEEDED(encoder.Finish());
}

// Encodes the minute with avcodec alone, converting to planar float by hand; the packets are
// dropped. Returns the bytes encoded, or -1.
int64_t EncodeWithAvcodec()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context)
        return -1;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = Rate;
    av_channel_layout_default(&context->ch_layout, Channels);
    context->bit_rate = BitRate;
    context->time_base = {1, int(Rate)};
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int64_t bytes = 0;
    if (avcodec_open2(context, codec, nullptr) < 0 || !frame || !packet) {
        bytes = -1;
    } else {
        frame->format = context->sample_fmt;
        frame->nb_samples = context->frame_size;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        av_frame_get_buffer(frame, 0);
        const auto& pcm = Minute();
        const size_t total = pcm.size() / Channels;
        for (size_t start = 0; start < total; start += size_t(context->frame_size)) {
            av_frame_make_writable(frame);
            for (size_t i = 0; i < size_t(context->frame_size); ++i) {
                for (uint32_t c = 0; c < Channels; ++c) {
                    const size_t at = start + i;
                    reinterpret_cast<float*>(frame->data[c])[i] =
                        at < total ? float(pcm[at * Channels + c]) / 32768.0f : 0.0f;
                }
            }
            frame->pts = int64_t(start);
            if (avcodec_send_frame(context, frame) < 0) {
                bytes = -1;
                break;
            }
            while (avcodec_receive_packet(context, packet) >= 0) {
                bytes += packet->size;
                av_packet_unref(packet);
            }
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return bytes;
}

void AsfWriterMinute(benchmark::State& state)
{
    const std::string path = TempPath();
    Minute();
    for (auto _ : state) {
        if (!EncodeWithWriter(path))
            state.SkipWithError("the writer failed");
    }
    std::filesystem::remove(path);
}

void AvcodecMinute(benchmark::State& state)
{
    Minute();
    for (auto _ : state) {
        if (EncodeWithAvcodec() < 0)
            state.SkipWithError("avcodec failed");
    }
}

void AsfWriterOverEncoder(benchmark::State& state)
{
    const std::string path = TempPath();
    Minute();
    // One untimed pass of each first, so that neither pays for loading code and tables.
    EncodeWithWriter(path);
    EncodeWithAvcodec();
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        const bool written = EncodeWithWriter(path);
        const double middle = ProcessCpuSeconds();
        const bool encoded = EncodeWithAvcodec() >= 0;
        const double end = ProcessCpuSeconds();
        if (!written || !encoded) {
            state.SkipWithError("encoding failed");
            break;
        }
        state.counters["writer_cpu_s"] = middle - start;
        state.counters["avcodec_cpu_s"] = end - middle;
        state.counters["ratio"] = (middle - start) / (end - middle);
    }
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(AsfWriterMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AvcodecMinute)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(AsfWriterOverEncoder)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
