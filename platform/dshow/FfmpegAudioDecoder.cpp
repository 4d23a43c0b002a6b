#include "FfmpegAudioDecoder.h"

#include <algorithm>

#include "com/DebugLog.h"
#include "dshow/Errors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {
// Consecutive packets that may fail to decode before the stream is given up as damaged.
constexpr int kMaxBadPackets = 500;
// More channels than this are mixed down to stereo: no playback device here has more.
constexpr int kMaxChannels = 8;

// The layout FFmpeg describes, or the usual one for the channel count when it only counts them.
AVChannelLayout UsableLayout(const AVChannelLayout& layout)
{
    AVChannelLayout result{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&layout) == 0)
        av_channel_layout_default(&result, std::max(layout.nb_channels, 1));
    else if (av_channel_layout_copy(&result, &layout) < 0)
        av_channel_layout_default(&result, std::max(layout.nb_channels, 1));
    return result;
}

uint64_t LayoutMask(const AVChannelLayout& layout)
{
    return layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
}
} // namespace

HRESULT FfmpegAudioDecoder::OpenCodec(const FfmpegInput& input, unsigned streamIndex,
                                      AVCodecContext** context, Format* format)
{
    *context = nullptr;
    AVStream* stream = input.Stream(streamIndex);
    if (!stream || stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return VFW_E_UNSUPPORTED_STREAM;
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) {
        QUILLET_LOG("graph", "stream %u: no decoder for %s", streamIndex,
                    avcodec_get_name(stream->codecpar->codec_id));
        return VFW_E_UNSUPPORTED_STREAM;
    }
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    if (!codec)
        return E_OUTOFMEMORY;
    codec->pkt_timebase = stream->time_base;
    if (avcodec_parameters_to_context(codec, stream->codecpar) < 0 ||
        avcodec_open2(codec, decoder, nullptr) < 0) {
        QUILLET_LOG("graph", "stream %u: the %s decoder does not open", streamIndex, decoder->name);
        avcodec_free_context(&codec);
        return VFW_E_UNSUPPORTED_STREAM;
    }
    int rate = codec->sample_rate;
    int channels = codec->ch_layout.nb_channels;
    if (rate <= 0 || rate > 768'000 || channels <= 0) {
        QUILLET_LOG("graph", "stream %u: %d Hz, %d channels cannot play", streamIndex, rate,
                    channels);
        avcodec_free_context(&codec);
        return VFW_E_UNSUPPORTED_STREAM;
    }
    format->rate = uint32_t(rate);
    format->channels = uint32_t(channels > kMaxChannels ? 2 : channels);
    *context = codec;
    return S_OK;
}

HRESULT FfmpegAudioDecoder::FormatOf(const FfmpegInput& input, unsigned streamIndex, Format* format)
{
    if (!format)
        return E_POINTER;
    *format = Format{};
    AVCodecContext* codec = nullptr;
    HRESULT hr = OpenCodec(input, streamIndex, &codec, format);
    avcodec_free_context(&codec);
    return hr;
}

HRESULT FfmpegAudioDecoder::Open(std::unique_ptr<FfmpegInput> input, unsigned streamIndex,
                                 std::unique_ptr<FfmpegAudioDecoder>& decoder)
{
    decoder.reset();
    if (!input)
        return E_POINTER;
    std::unique_ptr<FfmpegAudioDecoder> created(new (std::nothrow) FfmpegAudioDecoder());
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT hr = OpenCodec(*input, streamIndex, &created->codec, &created->output);
    if (FAILED(hr))
        return hr;
    created->input = std::move(input);
    created->streamIndex = streamIndex;
    created->frame = av_frame_alloc();
    created->packet = av_packet_alloc();
    if (!created->frame || !created->packet)
        return E_OUTOFMEMORY;
    decoder = std::move(created);
    return S_OK;
}

FfmpegAudioDecoder::~FfmpegAudioDecoder()
{
    swr_free(&resampler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
}

HRESULT FfmpegAudioDecoder::Seek(REFERENCE_TIME position)
{
    if (position < 0)
        return E_INVALIDARG;
    AVStream* stream = input->Stream(streamIndex);
    int64_t timestamp = av_rescale_q(position, AVRational{1, 10'000'000}, stream->time_base) +
                        input->StartTime(streamIndex);
    int result = av_seek_frame(input->Context(), int(streamIndex), timestamp, AVSEEK_FLAG_BACKWARD);
    if (result < 0) {
        // Without an index or a seekable format, decode from the start and drop up to the target.
        QUILLET_LOG("graph", "stream %u: no seek to %lld; decoding from the start", streamIndex,
                    static_cast<long long>(position));
        result = av_seek_frame(input->Context(), -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
        if (result < 0)
            return VFW_E_INVALID_FILE_FORMAT;
    }
    avcodec_flush_buffers(codec);
    swr_free(&resampler);
    resamplerFormat = -1;
    inputEnded = false;
    decoderEnded = false;
    positionKnown = false;
    targetFrame = av_rescale(position, output.rate, 10'000'000);
    return S_OK;
}

HRESULT FfmpegAudioDecoder::ConfigureResampler(const AVFrame* decoded)
{
    uint64_t mask = LayoutMask(decoded->ch_layout);
    if (resampler && resamplerFormat == decoded->format && resamplerRate == decoded->sample_rate &&
        resamplerLayoutMask == mask && resamplerChannels == decoded->ch_layout.nb_channels)
        return S_OK;
    swr_free(&resampler);
    AVChannelLayout in = UsableLayout(decoded->ch_layout);
    AVChannelLayout out{};
    if (int(output.channels) == in.nb_channels)
        av_channel_layout_copy(&out, &in);
    else
        av_channel_layout_default(&out, int(output.channels));
    int result =
        swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, int(output.rate), &in,
                            AVSampleFormat(decoded->format), decoded->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (result < 0 || swr_init(resampler) < 0) {
        swr_free(&resampler);
        return E_FAIL;
    }
    resamplerFormat = decoded->format;
    resamplerRate = decoded->sample_rate;
    resamplerLayoutMask = mask;
    resamplerChannels = decoded->ch_layout.nb_channels;
    return S_OK;
}

HRESULT FfmpegAudioDecoder::Convert(const AVFrame* decoded, std::vector<uint8_t>& pcm)
{
    if (!resampler)
        return S_OK;
    int inSamples = decoded ? decoded->nb_samples : 0;
    int room = swr_get_out_samples(resampler, inSamples);
    if (room <= 0)
        return S_OK;
    size_t offset = pcm.size();
    pcm.resize(offset + size_t(room) * output.FrameBytes());
    uint8_t* out[1] = {pcm.data() + offset};
    int converted = swr_convert(
        resampler, out, room,
        decoded ? const_cast<const uint8_t**>(decoded->extended_data) : nullptr, inSamples);
    pcm.resize(offset + size_t(std::max(converted, 0)) * output.FrameBytes());
    return converted < 0 ? E_FAIL : S_OK;
}

void FfmpegAudioDecoder::TrimToTarget(std::vector<uint8_t>& pcm, int64_t& firstFrame)
{
    if (firstFrame >= targetFrame)
        return;
    int64_t frames = int64_t(pcm.size() / output.FrameBytes());
    int64_t drop = std::min(frames, targetFrame - firstFrame);
    pcm.erase(pcm.begin(), pcm.begin() + drop * output.FrameBytes());
    firstFrame += drop;
}

HRESULT FfmpegAudioDecoder::Read(std::vector<uint8_t>& pcm, REFERENCE_TIME* start)
{
    if (!start)
        return E_POINTER;
    pcm.clear();
    *start = 0;
    AVStream* stream = input->Stream(streamIndex);
    int badPackets = 0;
    for (;;) {
        int result = decoderEnded ? AVERROR_EOF : avcodec_receive_frame(codec, frame);
        if (result == 0) {
            if (!positionKnown) {
                int64_t stamp = frame->best_effort_timestamp;
                nextFrame = stamp == AV_NOPTS_VALUE
                                ? 0
                                : av_rescale_q(stamp - input->StartTime(streamIndex),
                                               stream->time_base, AVRational{1, int(output.rate)});
                positionKnown = true;
            }
            HRESULT hr = ConfigureResampler(frame);
            if (SUCCEEDED(hr))
                hr = Convert(frame, pcm);
            av_frame_unref(frame);
            if (FAILED(hr))
                continue; // a frame that cannot convert is dropped like a damaged packet
        } else if (result == AVERROR_EOF) {
            decoderEnded = true;
            // What the resampler still holds ends the stream.
            Convert(nullptr, pcm);
            if (pcm.empty())
                return S_FALSE;
        } else if (result == AVERROR(EAGAIN)) {
            if (inputEnded) {
                // A decoder that wants input after the end was flushed has nothing left.
                decoderEnded = true;
                continue;
            }
            int read = av_read_frame(input->Context(), packet);
            if (read == AVERROR(EAGAIN) && ++badPackets < kMaxBadPackets)
                continue;
            if (read < 0) {
                inputEnded = true;
                avcodec_send_packet(codec, nullptr); // drains the decoder
                continue;
            }
            if (packet->stream_index != int(streamIndex)) {
                av_packet_unref(packet);
                continue;
            }
            int sent = avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
            if (sent < 0 && sent != AVERROR(EAGAIN) && ++badPackets >= kMaxBadPackets) {
                QUILLET_LOG("graph", "stream %u: too many damaged packets; ending", streamIndex);
                inputEnded = true;
                avcodec_send_packet(codec, nullptr);
            }
            continue;
        } else {
            // A packet that does not decode: skip it, unless the stream is damaged throughout.
            ++badPackets;
            if (badPackets >= 2 * kMaxBadPackets) {
                decoderEnded = true; // a decoder that only fails, even while draining
            } else if (badPackets >= kMaxBadPackets && !inputEnded) {
                inputEnded = true;
                avcodec_send_packet(codec, nullptr);
            }
            continue;
        }
        if (pcm.empty())
            continue;
        int64_t firstFrame = nextFrame;
        nextFrame += int64_t(pcm.size() / output.FrameBytes());
        TrimToTarget(pcm, firstFrame);
        if (pcm.empty())
            continue;
        *start = av_rescale(firstFrame, 10'000'000, output.rate);
        return S_OK;
    }
}
