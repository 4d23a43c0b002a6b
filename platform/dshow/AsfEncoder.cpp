#include "AsfEncoder.h"

#include "AsfErrors.h"
#include "AsfSimpleIndex.h"
#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// A jump in the caller's time stamps larger than this is a pause; logged, never a gap in the file.
constexpr int64_t PauseLogThreshold100ns = 1'000'000;

AVCodecID CodecId(AsfEncoder::Codec codec)
{
    return codec == AsfEncoder::Codec::Wmav1 ? AV_CODEC_ID_WMAV1 : AV_CODEC_ID_WMAV2;
}

} // namespace

AsfEncoder::AsfEncoder() = default;

AsfEncoder::~AsfEncoder()
{
    Finish();
}

HRESULT AsfEncoder::CheckConfig(const Config& config)
{
    if (config.path.empty())
        return E_INVALIDARG;
    if (config.inputRate < MinInputRate || config.inputRate > MaxInputRate ||
        config.inputChannels < 1 || config.inputChannels > MaxInputChannels)
        return E_INVALIDARG;
    const Target& target = config.target;
    if (target.codec != Codec::Wmav1 && target.codec != Codec::Wmav2)
        return E_INVALIDARG;
    // FFmpeg's WMA encoders refuse these; catching them here gives the caller one clear code.
    if (target.sampleRate < MinTargetRate || target.sampleRate > MaxTargetRate ||
        target.channels < 1 || target.channels > MaxTargetChannels || target.bitRate < MinBitRate ||
        target.bitRate > uint32_t(INT32_MAX))
        return E_INVALIDARG;
    return S_OK;
}

HRESULT AsfEncoder::Open(const Config& config)
{
    if (state != State::Closed)
        return VFW_E_WRONG_STATE;
    HRESULT hr = CheckConfig(config);
    if (FAILED(hr))
        return hr;
    path = config.path;
    inputBlockAlign = 2 * config.inputChannels;
    inputRate = config.inputRate;
    targetRate = config.target.sampleRate;
    indexWanted = config.index;
    liveHeaderWanted = config.liveHeader;
    packetCount = 0;
    packetsEnd = 0;
    muxDuration = 0;
    ptsOrigin = 0;

    // Everything that can fail without touching the disk comes first, so a refused
    // configuration never leaves an empty file behind.
    hr = SetUpCodec(config);
    if (SUCCEEDED(hr))
        hr = SetUpResampler(config);
    if (SUCCEEDED(hr))
        hr = SetUpMuxer();
    if (FAILED(hr)) {
        Release();
        return hr;
    }

    hr = sink.Create(config.path, config.overwrite);
    if (FAILED(hr)) {
        Release();
        return hr;
    }
    muxer->pb = sink.Context();

    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "packet_size", layout.PacketSize(), 0);
    int ret = avformat_write_header(muxer, &options);
    av_dict_free(&options);
    if (ret >= 0)
        hr = sink.Flush();
    else
        hr = sink.FailureErrno() ? sink.Failure() : AsfHResultFromAvError(ret);
    // The header's layout is read back once: the live updates and a finish after a failed write
    // both patch it where the muxer put it.
    if (SUCCEEDED(hr))
        hr = header.Attach(sink.Descriptor());
    // Even before the first packet the file is a finished, empty recording.
    if (SUCCEEDED(hr) && config.liveHeader)
        hr = header.Update(header.DataStart(), 0, 0);
    if (FAILED(hr)) {
        QUILLET_LOG("asf", "%s: cannot write the header: %s", path.c_str(),
                    AsfAvErrorText(ret).c_str());
        // The muxer frees what its header step allocated only in its trailer step.
        if (ret >= 0)
            av_write_trailer(muxer);
        sink.Discard();
        Release();
        return hr;
    }

    QUILLET_LOG("asf",
                "%s: %s %u Hz %u ch %u bit/s from %u Hz %u ch; %d-byte frames of %d "
                "samples, %d per %d-byte packet",
                path.c_str(), codec->codec->name, config.target.sampleRate, config.target.channels,
                config.target.bitRate, config.inputRate, config.inputChannels, codec->block_align,
                codec->frame_size, layout.FramesPerPacket(), layout.PacketSize());
    savedPackets = 0;
    savedEnd = header.DataStart();
    savedAudioEnd = 0;
    savedDuration = 0;
    reserve = AsfSpaceReserve();
    // A disk that cannot even hold the finish shows at the first packet, which then is not
    // written; the header alone is a valid empty recording.
    reserve.Ensure(sink.Descriptor(), savedEnd + FinishBytes());
    state = State::Open;
    failure = S_OK;
    return S_OK;
}

HRESULT AsfEncoder::OpenCodec(const AVCodec* encoder, const Target& target, int64_t bitRate)
{
    avcodec_free_context(&codec);
    codec = avcodec_alloc_context3(encoder);
    if (!codec)
        return E_OUTOFMEMORY;
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = int(target.sampleRate);
    av_channel_layout_default(&codec->ch_layout, int(target.channels));
    codec->bit_rate = bitRate;
    codec->time_base = AVRational{1, codec->sample_rate};
    // ASF keeps the codec's setup bytes in the stream header, not in the packets.
    codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(codec, encoder, nullptr);
    if (ret < 0) {
        QUILLET_LOG("asf", "%s refuses %u Hz %u ch %lld bit/s: %s", encoder->name,
                    target.sampleRate, target.channels, static_cast<long long>(bitRate),
                    AsfAvErrorText(ret).c_str());
        return ret == AVERROR(ENOMEM) ? E_OUTOFMEMORY : E_INVALIDARG;
    }
    return AsfPacketLayout::Choose(codec->block_align, codec->frame_size, codec->sample_rate,
                                   layout);
}

int64_t AsfEncoder::CodecBitRate(const Target& target) const
{
    // The profile's bit rate is what the whole file may spend, since a size limit's duration
    // estimate divides by it. The container's share (header, packet headers, the last packet's
    // padding, the frame that flushes the codec) goes first, reckoned for the shortest recording
    // whose size we care about; the codec gets the rest. Longer recordings come out a little
    // under the rate, never over it.
    const double fileBytes = double(target.bitRate) / 8 * AsfPacketLayout::ReferenceSeconds;
    const double packet = layout.PacketSize();
    const double payloadShare = (packet - AsfPacketLayout::PacketOverhead) / packet;
    const double audioBytes =
        (fileBytes - HeaderBytes - packet / 2) * payloadShare - codec->block_align;
    const auto rate = int64_t(audioBytes * 8 / AsfPacketLayout::ReferenceSeconds);
    return std::clamp<int64_t>(rate, MinBitRate, target.bitRate);
}

HRESULT AsfEncoder::SetUpCodec(const Config& config)
{
    const AVCodec* encoder = avcodec_find_encoder(CodecId(config.target.codec));
    if (!encoder) {
        QUILLET_LOG("asf", "this FFmpeg has no WMA encoder");
        return E_NOTIMPL;
    }
    // The first opening tells the frame and packet sizes that the container's share depends on.
    HRESULT hr = OpenCodec(encoder, config.target, config.target.bitRate);
    if (FAILED(hr))
        return hr;
    const int64_t bitRate = CodecBitRate(config.target);
    if (bitRate != codec->bit_rate) {
        hr = OpenCodec(encoder, config.target, bitRate);
        if (FAILED(hr))
            return hr;
    }

    frame = av_frame_alloc();
    encoded = av_packet_alloc();
    payload = av_packet_alloc();
    fifo =
        av_audio_fifo_alloc(codec->sample_fmt, codec->ch_layout.nb_channels, codec->frame_size * 2);
    if (!frame || !encoded || !payload || !fifo)
        return E_OUTOFMEMORY;
    frame->format = codec->sample_fmt;
    frame->sample_rate = codec->sample_rate;
    frame->nb_samples = codec->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
        av_frame_get_buffer(frame, 0) < 0)
        return E_OUTOFMEMORY;
    try {
        pending.reserve(size_t(layout.FramesPerPacket()) * size_t(codec->block_align));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT AsfEncoder::SetUpResampler(const Config& config)
{
    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, int(config.inputChannels));
    int ret =
        swr_alloc_set_opts2(&resampler, &codec->ch_layout, codec->sample_fmt, codec->sample_rate,
                            &inputLayout, AV_SAMPLE_FMT_S16, int(config.inputRate), 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (ret >= 0)
        ret = swr_init(resampler);
    if (ret < 0) {
        QUILLET_LOG("asf", "cannot convert %u Hz %u ch: %s", config.inputRate, config.inputChannels,
                    AsfAvErrorText(ret).c_str());
        return ret == AVERROR(ENOMEM) ? E_OUTOFMEMORY : E_FAIL;
    }
    try {
        planes.resize(size_t(codec->ch_layout.nb_channels));
        planePointers.resize(planes.size());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT AsfEncoder::SetUpMuxer()
{
    int ret = avformat_alloc_output_context2(&muxer, nullptr, "asf", nullptr);
    if (ret < 0 || !muxer) {
        QUILLET_LOG("asf", "this FFmpeg has no ASF muxer: %s", AsfAvErrorText(ret).c_str());
        return ret == AVERROR(ENOMEM) ? E_OUTOFMEMORY : E_NOTIMPL;
    }
    // The I/O context belongs to the sink; the muxer must not close it. Without the library's
    // version tag the header is 78 bytes smaller, which short recordings at low rates notice.
    muxer->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    stream = avformat_new_stream(muxer, nullptr);
    if (!stream)
        return E_OUTOFMEMORY;
    ret = avcodec_parameters_from_context(stream->codecpar, codec);
    if (ret < 0)
        return AsfHResultFromAvError(ret);
    stream->time_base = codec->time_base;
    return S_OK;
}

HRESULT AsfEncoder::Write(const void* pcm, size_t bytes, int64_t startTime100ns)
{
    if (FAILED(failure))
        return failure;
    if (state != State::Open)
        return VFW_E_WRONG_STATE;
    if (!pcm && bytes)
        return E_POINTER;
    if (!bytes)
        return S_OK;

    if (firstInputTime < 0) {
        firstInputTime = startTime100ns;
    } else {
        const int64_t expected = firstInputTime + av_rescale(inputSamples, 10'000'000, inputRate);
        if (startTime100ns - expected > PauseLogThreshold100ns)
            QUILLET_LOG("asf",
                        "%s: input resumes %.3f s later than its samples; the file goes on "
                        "without a gap",
                        path.c_str(), double(startTime100ns - expected) / 1e7);
    }

    auto* data = static_cast<const uint8_t*>(pcm);
    HRESULT hr = S_OK;
    if (!carry.empty()) {
        // Complete the torn sample frame from the last call first.
        const size_t take = std::min(bytes, inputBlockAlign - carry.size());
        carry.insert(carry.end(), data, data + take);
        data += take;
        bytes -= take;
        if (carry.size() < inputBlockAlign)
            return S_OK;
        hr = Convert(carry.data(), 1);
        carry.clear();
        if (FAILED(hr))
            return hr;
    }
    const size_t wholeFrames = bytes / inputBlockAlign;
    // Convert in slices so that one huge buffer never needs one huge conversion buffer.
    constexpr size_t Slice = 1 << 16;
    for (size_t done = 0; done < wholeFrames && SUCCEEDED(hr); done += Slice) {
        const size_t frames = std::min(Slice, wholeFrames - done);
        hr = Convert(data + done * inputBlockAlign, int(frames));
    }
    if (FAILED(hr))
        return hr;
    const size_t rest = bytes % inputBlockAlign;
    if (rest)
        carry.assign(data + bytes - rest, data + bytes);
    return S_OK;
}

HRESULT AsfEncoder::Convert(const uint8_t* pcm, int frames)
{
    // A null input drains the resampler's delay line at the end of the recording.
    const int room = swr_get_out_samples(resampler, frames);
    if (room < 0)
        return FailAv(room, "sizing the conversion");
    try {
        for (size_t c = 0; c < planes.size(); ++c) {
            if (planes[c].size() < size_t(room))
                planes[c].resize(size_t(room));
            planePointers[c] = reinterpret_cast<uint8_t*>(planes[c].data());
        }
    } catch (const std::bad_alloc&) {
        return Fail(E_OUTOFMEMORY, "growing the conversion buffer");
    }
    const uint8_t* input[1] = {pcm};
    const int converted =
        swr_convert(resampler, planePointers.data(), room, pcm ? input : nullptr, pcm ? frames : 0);
    if (converted < 0)
        return FailAv(converted, "converting");
    if (pcm)
        inputSamples += frames;
    if (converted > 0) {
        const int written =
            av_audio_fifo_write(fifo, reinterpret_cast<void**>(planePointers.data()), converted);
        if (written < converted)
            return FailAv(written < 0 ? written : AVERROR(ENOMEM), "buffering");
    }
    return EncodeWholeFrames();
}

HRESULT AsfEncoder::EncodeWholeFrames()
{
    while (av_audio_fifo_size(fifo) >= codec->frame_size) {
        HRESULT hr = EncodeFrame(false);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT AsfEncoder::EncodeFrame(bool drain)
{
    int ret;
    if (drain) {
        ret = avcodec_send_frame(codec, nullptr);
    } else {
        ret = av_frame_make_writable(frame);
        if (ret < 0)
            return FailAv(ret, "preparing a frame");
        const int got =
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), codec->frame_size);
        if (got < 0)
            return FailAv(got, "reading the frame buffer");
        // The encoders take only whole frames; the end of the recording is padded with silence.
        for (int c = 0; c < codec->ch_layout.nb_channels; ++c)
            std::fill(reinterpret_cast<float*>(frame->data[c]) + got,
                      reinterpret_cast<float*>(frame->data[c]) + codec->frame_size, 0.0f);
        frame->pts = encodedSamples;
        encodedSamples += codec->frame_size;
        ret = avcodec_send_frame(codec, frame);
    }
    if (ret < 0)
        return FailAv(ret, "encoding");
    for (;;) {
        ret = avcodec_receive_packet(codec, encoded);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return S_OK;
        if (ret < 0)
            return FailAv(ret, "encoding");
        HRESULT hr = CollectPacket(encoded);
        av_packet_unref(encoded);
        if (FAILED(hr))
            return hr;
    }
}

HRESULT AsfEncoder::CollectPacket(const AVPacket* packet)
{
    if (pendingFrames == 0) {
        pendingPts = packet->pts;
        pendingDuration = 0;
    }
    try {
        pending.insert(pending.end(), packet->data, packet->data + packet->size);
    } catch (const std::bad_alloc&) {
        return Fail(E_OUTOFMEMORY, "collecting a packet");
    }
    ++pendingFrames;
    pendingDuration += packet->duration > 0 ? packet->duration : codec->frame_size;
    if (pendingFrames < layout.FramesPerPacket())
        return S_OK;
    return WritePending();
}

HRESULT AsfEncoder::WritePending()
{
    if (pendingFrames == 0)
        return S_OK;
    // The frames go to the muxer as one payload so that they fill one ASF packet exactly; the
    // decoder takes a payload apart by the codec's block_align.
    int ret = av_new_packet(payload, int(pending.size()));
    if (ret < 0)
        return FailAv(ret, "allocating a payload");
    std::memcpy(payload->data, pending.data(), pending.size());
    // The encoder's first frame starts before zero by its delay. The file starts at zero, as
    // FFmpeg would shift it anyway; shifting it here keeps the index on the muxer's clock.
    if (packetCount == 0 && pendingPts < 0)
        ptsOrigin = pendingPts;
    pendingPts -= ptsOrigin;
    payload->pts = pendingPts;
    payload->dts = pendingPts;
    payload->duration = pendingDuration;
    payload->stream_index = stream->index;
    payload->flags |= AV_PKT_FLAG_KEY;
    const int64_t audioEnd =
        av_rescale(pendingPts + pendingDuration, 10'000'000, codec->sample_rate);
    av_packet_rescale_ts(payload, codec->time_base, stream->time_base);
    pending.clear();
    pendingFrames = 0;

    // The muxer counts in its stream's milliseconds; the header must say what its trailer would.
    const int64_t packetDuration = av_rescale_q(payload->pts + payload->duration, stream->time_base,
                                                AVRational{1, 10'000'000});
    const int64_t packetEnd = savedEnd + layout.PacketSize();
    const HRESULT room = reserve.Ensure(sink.Descriptor(), packetEnd + FinishBytes());
    if (FAILED(room) && reserve.Reserved() < packetEnd) {
        av_packet_unref(payload);
        return Fail(room, "reserving space for a packet");
    }
    ++packetCount;
    packetsEnd = audioEnd;
    muxDuration = std::max(muxDuration, packetDuration);

    ret = av_write_frame(muxer, payload);
    av_packet_unref(payload);
    // Whatever the muxer finished goes to the file now, not when its buffer fills.
    const HRESULT written = sink.Flush();
    if (FAILED(written))
        return Fail(written, "writing a packet");
    if (ret < 0)
        return FailAv(ret, "muxing");
    savedPackets = packetCount;
    savedEnd = packetEnd;
    savedAudioEnd = packetsEnd;
    savedDuration = muxDuration;
    if (liveHeaderWanted) {
        const HRESULT updated = header.Update(savedEnd, savedPackets, savedDuration);
        if (FAILED(updated))
            return Fail(updated, "updating the header");
    }
    // The packet went whole into the reserve, and what is left of it finishes the file.
    if (FAILED(room))
        return Fail(room, "reserving space for the next packet");
    return S_OK;
}

int64_t AsfEncoder::FinishBytes() const
{
    // Finishing writes the packets that the drain of the encoder fills (its delay and the last
    // partial packet: two at most) and the index, which grows by one entry a second; a minute of
    // entries ahead keeps the reserve from chasing the index.
    constexpr int64_t IndexAhead100ns = 60 * asf_index::EntryInterval100ns;
    return 2 * int64_t(layout.PacketSize()) +
           asf_index::Size(header.PrerollMs(), packetsEnd + IndexAhead100ns);
}

HRESULT AsfEncoder::Finish()
{
    if (state == State::Finished)
        return finishResult;
    if (state == State::Closed)
        return S_FALSE;
    state = State::Finished;

    HRESULT hr = failure;
    if (SUCCEEDED(hr)) {
        hr = Convert(nullptr, 0);
        if (SUCCEEDED(hr) && av_audio_fifo_size(fifo) > 0)
            hr = EncodeFrame(false);
        if (SUCCEEDED(hr))
            hr = EncodeFrame(true);
        if (SUCCEEDED(hr))
            hr = WritePending();
    }
    // After a failed write the sink refuses all I/O, so the trailer only frees the muxer's memory
    // and cannot touch what is in the file; otherwise (a full disk seen by the reserve, an encoder
    // failure) the packets in the file are whole and the muxer's trailer finishes them.
    const int ret = av_write_trailer(muxer);
    if (SUCCEEDED(hr) && ret < 0 && !sink.FailureErrno())
        hr = Fail(AsfHResultFromAvError(ret), "trailer");
    const HRESULT flushed = sink.Flush();
    if (FAILED(flushed)) {
        hr = Fail(flushed, "trailer");
        Salvage();
    } else if (indexWanted) {
        AppendIndex();
    }
    struct stat info
    {
    };
    if (fstat(sink.Descriptor(), &info) == 0)
        reserve.Release(sink.Descriptor(), int64_t(info.st_size));
    const HRESULT closed = sink.Close();
    if (SUCCEEDED(hr) && FAILED(closed))
        hr = Fail(closed, "closing");
    QUILLET_LOG("asf", "%s: finished with 0x%08X after %lld samples, %lld bytes", path.c_str(),
                unsigned(hr), static_cast<long long>(encodedSamples),
                static_cast<long long>(sink.BytesWritten()));
    Release();
    finishResult = hr;
    return hr;
}

void AsfEncoder::Salvage()
{
    // What reached the file is the header and the whole packets up to savedEnd, perhaps followed
    // by part of the packet whose write failed. That part goes, and the header gets the counts of
    // the rest, as the trailer would have written them.
    const int fd = sink.Descriptor();
    if (ftruncate(fd, off_t(savedEnd)) != 0) {
        QUILLET_LOG("asf", "%s: cannot cut the torn packet off: %s", path.c_str(), strerror(errno));
        return;
    }
    HRESULT hr = header.Update(savedEnd, savedPackets, savedDuration);
    if (FAILED(hr)) {
        QUILLET_LOG("asf", "%s: cannot write the final header (0x%08X)", path.c_str(),
                    unsigned(hr));
        return;
    }
    QUILLET_LOG("asf", "%s: finished after the failure with %u whole packets", path.c_str(),
                savedPackets);
    if (indexWanted)
        AppendIndex();
}

void AsfEncoder::AppendIndex()
{
    // A Data Object without packets is smaller than FFmpeg's demuxer trusts, so it would read on
    // into an index as if it were packets; and there is nothing to seek in anyway.
    if (savedPackets == 0)
        return;
    // The audio is complete without the index, so a failure here only costs fast seeking; the
    // file is left as the muxer finished it.
    asf_index::FileLayout fileLayout;
    HRESULT hr = asf_index::ReadLayout(sink.Descriptor(), fileLayout);
    if (FAILED(hr)) {
        QUILLET_LOG("asf", "%s: cannot read the header back (0x%08X); no index", path.c_str(),
                    unsigned(hr));
        return;
    }
    std::vector<uint8_t> index;
    try {
        index = asf_index::Build(fileLayout.fileId, fileLayout.prerollMs, savedPackets,
                                 int64_t(layout.FramesPerPacket()) * codec->frame_size,
                                 codec->sample_rate, savedAudioEnd);
    } catch (const std::bad_alloc&) {
        return;
    }
    hr = asf_index::Append(sink.Descriptor(), fileLayout, index);
    if (FAILED(hr)) {
        QUILLET_LOG("asf", "%s: no index (0x%08X); seeking will scan", path.c_str(), unsigned(hr));
        // A partial index would hide nothing but must not stay behind the data.
        if (ftruncate(sink.Descriptor(), off_t(fileLayout.dataEnd)) != 0)
            QUILLET_LOG("asf", "%s: cannot take the partial index away", path.c_str());
    }
}

HRESULT AsfEncoder::Fail(HRESULT hr, const char* what)
{
    if (SUCCEEDED(failure)) {
        failure = hr;
        QUILLET_LOG("asf", "%s: %s failed with 0x%08X; the file stops here", path.c_str(), what,
                    unsigned(hr));
    }
    return failure;
}

HRESULT AsfEncoder::FailAv(int averror, const char* what)
{
    // A failed write reaches us through FFmpeg as AVERROR(errno); the sink knows the real cause.
    const HRESULT hr = sink.FailureErrno() ? sink.Failure() : AsfHResultFromAvError(averror);
    QUILLET_LOG("asf", "%s: %s: %s", path.c_str(), what, AsfAvErrorText(averror).c_str());
    return Fail(hr, what);
}

void AsfEncoder::Release()
{
    avformat_free_context(muxer);
    muxer = nullptr;
    stream = nullptr;
    avcodec_free_context(&codec);
    swr_free(&resampler);
    if (fifo)
        av_audio_fifo_free(fifo);
    fifo = nullptr;
    av_frame_free(&frame);
    av_packet_free(&encoded);
    av_packet_free(&payload);
    std::vector<uint8_t>().swap(pending);
    std::vector<std::vector<float>>().swap(planes);
    planePointers.clear();
    carry.clear();
}
