#include "FfmpegInput.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "com/DebugLog.h"
#include "dshow/Errors.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {
constexpr REFERENCE_TIME kNotMeasured = -2;

// FFmpeg reports every damaged packet on standard error; a player keeps quiet about them unless
// the "graph" channel asks for the details.
void QuietFfmpegLogs()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(quillet::DebugChannelEnabled("graph") ? AV_LOG_WARNING : AV_LOG_QUIET);
    });
}

std::string ErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

int64_t SteadyTicks()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

// Whether the file can be opened for reading at all; FFmpeg's own errors do not tell a missing
// file from a damaged one as reliably.
bool Readable(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    bool regular = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return regular;
}
} // namespace

REFERENCE_TIME FfmpegToReferenceTime(int64_t value, int numerator, int denominator)
{
    if (value == AV_NOPTS_VALUE || denominator <= 0 || numerator <= 0)
        return 0;
    return av_rescale_q(value, AVRational{numerator, denominator}, AVRational{1, 10'000'000});
}

int FfmpegInput::Interrupt(void* opaque)
{
    auto* self = static_cast<FfmpegInput*>(opaque);
    if (self->aborted.load(std::memory_order_acquire) ||
        (self->cancel && self->cancel->load(std::memory_order_acquire)))
        return 1;
    int64_t limit = self->deadline.load(std::memory_order_acquire);
    return limit != 0 && SteadyTicks() > limit ? 1 : 0;
}

void FfmpegInput::SetDeadline(std::chrono::steady_clock::duration limit)
{
    deadline.store(SteadyTicks() + limit.count(), std::memory_order_release);
}

void FfmpegInput::ClearDeadline()
{
    deadline.store(0, std::memory_order_release);
}

HRESULT FfmpegInput::Open(const std::string& path, std::unique_ptr<FfmpegInput>& input,
                          const std::atomic<bool>* cancel)
{
    input.reset();
    QuietFfmpegLogs();
    if (path.empty() || !Readable(path)) {
        QUILLET_LOG("graph", "cannot open \"%s\" for reading", path.c_str());
        return VFW_E_NOT_FOUND;
    }
    std::unique_ptr<FfmpegInput> created(new (std::nothrow) FfmpegInput());
    if (!created)
        return E_OUTOFMEMORY;
    created->cancel = cancel;
    created->SetDeadline(OpenTimeout);
    AVIOInterruptCB interrupt{&FfmpegInput::Interrupt, created.get()};

    // Probing first separates "no demultiplexer knows this" from "its header is damaged". A
    // format that wins only with a low score is a guess from noise, not a recognised file.
    const AVInputFormat* format = nullptr;
    {
        AVIOContext* probe = nullptr;
        if (avio_open2(&probe, path.c_str(), AVIO_FLAG_READ, &interrupt, nullptr) < 0)
            return VFW_E_NOT_FOUND;
        int score = av_probe_input_buffer2(probe, &format, path.c_str(), nullptr, 0, 0);
        avio_closep(&probe);
        if (score <= AVPROBE_SCORE_RETRY || !format) {
            QUILLET_LOG("graph", "\"%s\": no format recognised (score %d)", path.c_str(), score);
            return VFW_E_UNKNOWN_FILE_TYPE;
        }
    }

    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return E_OUTOFMEMORY;
    context->interrupt_callback = interrupt;
    int result = avformat_open_input(&context, path.c_str(), format, nullptr);
    if (result < 0) {
        // avformat_open_input frees the context when it fails.
        QUILLET_LOG("graph", "\"%s\": the %s header does not read: %s", path.c_str(), format->name,
                    ErrorText(result).c_str());
        return result == AVERROR(ENOMEM) ? E_OUTOFMEMORY : VFW_E_INVALID_FILE_FORMAT;
    }
    created->context = context;
    result = avformat_find_stream_info(context, nullptr);
    if (result < 0 || context->nb_streams == 0) {
        QUILLET_LOG("graph", "\"%s\": no usable streams: %s", path.c_str(),
                    result < 0 ? ErrorText(result).c_str() : "none");
        return VFW_E_INVALID_FILE_FORMAT;
    }
    created->ClearDeadline();
    created->measured.assign(context->nb_streams, kNotMeasured);
    QUILLET_LOG("graph", "\"%s\": %s, %u streams", path.c_str(), format->name, context->nb_streams);
    input = std::move(created);
    return S_OK;
}

FfmpegInput::~FfmpegInput()
{
    if (context)
        avformat_close_input(&context);
}

unsigned FfmpegInput::StreamCount() const
{
    return context ? context->nb_streams : 0;
}

AVStream* FfmpegInput::Stream(unsigned index) const
{
    return index < StreamCount() ? context->streams[index] : nullptr;
}

std::vector<unsigned> FfmpegInput::AudioStreams() const
{
    std::vector<unsigned> result;
    for (unsigned i = 0; i < StreamCount(); ++i)
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            result.push_back(i);
    return result;
}

std::vector<unsigned> FfmpegInput::MediaStreams() const
{
    std::vector<unsigned> result;
    for (unsigned i = 0; i < StreamCount(); ++i) {
        AVMediaType type = context->streams[i]->codecpar->codec_type;
        // A cover picture travels as a one-frame video stream; it is no stream to play.
        bool picture = context->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC;
        if (type == AVMEDIA_TYPE_AUDIO || (type == AVMEDIA_TYPE_VIDEO && !picture))
            result.push_back(i);
    }
    return result;
}

int64_t FfmpegInput::StartTime(unsigned index) const
{
    AVStream* stream = Stream(index);
    if (!stream || stream->start_time == AV_NOPTS_VALUE)
        return 0;
    return stream->start_time;
}

REFERENCE_TIME FfmpegInput::StreamLength(unsigned index)
{
    AVStream* stream = Stream(index);
    if (!stream)
        return -1;
    if (measured[index] != kNotMeasured)
        return measured[index];
    REFERENCE_TIME length = -1;
    const char* format = context->iformat->name;
    if (std::strcmp(format, "asf") == 0)
        length = MeasurePacketLength(index);
    if (length < 0 && stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        int64_t duration = stream->duration;
        // The MP3 demultiplexer counts the encoder's priming samples, which the decoder drops and
        // the start time stands for.
        if (std::strcmp(format, "mp3") == 0)
            duration -= std::min(StartTime(index), duration);
        length = FfmpegToReferenceTime(duration, stream->time_base.num, stream->time_base.den);
    }
    // Containers that only know their own length (Matroska) are measured stream by stream.
    if (length < 0)
        length = MeasurePacketLength(index);
    if (length < 0 && context->duration != AV_NOPTS_VALUE && context->duration > 0)
        length = av_rescale(context->duration, 10'000'000, AV_TIME_BASE);
    measured[index] = length;
    return length;
}

REFERENCE_TIME FfmpegInput::MeasurePacketLength(unsigned index)
{
    AVStream* stream = context->streams[index];
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return -1;
    int64_t first = AV_NOPTS_VALUE;
    int64_t end = AV_NOPTS_VALUE;
    SetDeadline(OpenTimeout);
    if (av_seek_frame(context, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD) >= 0) {
        int failures = 0;
        for (;;) {
            int result = av_read_frame(context, packet);
            if (result == AVERROR(EAGAIN) && ++failures < 100)
                continue;
            if (result < 0)
                break;
            if (packet->stream_index == int(index) && packet->pts != AV_NOPTS_VALUE) {
                first = first == AV_NOPTS_VALUE ? packet->pts : std::min(first, packet->pts);
                int64_t packetEnd = packet->pts + std::max<int64_t>(packet->duration, 0);
                end = end == AV_NOPTS_VALUE ? packetEnd : std::max(end, packetEnd);
            }
            av_packet_unref(packet);
        }
        // Leave the file at its start for whoever reads next.
        av_seek_frame(context, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    }
    ClearDeadline();
    av_packet_free(&packet);
    if (end == AV_NOPTS_VALUE)
        return -1;
    // A stream's time starts at its first packet: the length counts from there.
    int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : first;
    return FfmpegToReferenceTime(end - std::min(start, end), stream->time_base.num,
                                 stream->time_base.den);
}
