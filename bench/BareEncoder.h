// FFmpeg's wmav2 encoder alone, with no resampling, muxing or file: the least any recorder pays
// to encode. The benchmarks measure the writer and the engine against it.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

// Encodes 16-bit interleaved PCM of `channels` at `rate`, converting to planar float by hand, and
// drops the packets, the encoder's delayed ones included. The bytes encoded, or -1.
inline int64_t EncodeWithBareWmav2(const std::vector<int16_t>& pcm, int rate, int channels,
                                   int64_t bitRate)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context)
        return -1;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = bitRate;
    context->time_base = {1, rate};
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int64_t bytes = -1;
    if (avcodec_open2(context, codec, nullptr) >= 0 && frame && packet) {
        frame->format = context->sample_fmt;
        frame->nb_samples = context->frame_size;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        if (av_frame_get_buffer(frame, 0) >= 0) {
            bytes = 0;
            auto send = [&](AVFrame* sent) {
                if (avcodec_send_frame(context, sent) < 0)
                    return false;
                while (avcodec_receive_packet(context, packet) >= 0) {
                    bytes += packet->size;
                    av_packet_unref(packet);
                }
                return true;
            };
            const size_t total = pcm.size() / size_t(channels);
            const size_t frameSize = size_t(context->frame_size);
            for (size_t start = 0; start < total && bytes >= 0; start += frameSize) {
                av_frame_make_writable(frame);
                for (size_t i = 0; i < frameSize; ++i) {
                    const size_t at = start + i;
                    for (int c = 0; c < channels; ++c)
                        reinterpret_cast<float*>(frame->data[c])[i] =
                            at < total ? float(pcm[at * size_t(channels) + size_t(c)]) / 32768.0f
                                       : 0.0f;
                }
                frame->pts = int64_t(start);
                if (!send(frame))
                    bytes = -1;
            }
            if (bytes >= 0 && !send(nullptr))
                bytes = -1;
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return bytes;
}
