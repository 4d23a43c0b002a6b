// Decodes one audio stream of a file into interleaved signed 16-bit PCM at the stream's own rate
// and channel count (more than eight channels are mixed down to two), converting with
// libswresample. Positions are media times from the stream's first sample; Seek makes the next
// Read start exactly at the asked time, decoding from an earlier point and dropping what comes
// before it.
//
// A damaged stream never stops the caller for good: packets that do not decode are skipped, and a
// read error or too many bad packets in a row end the stream early.
//
// Threads: one thread at a time (the file source's streaming thread); Abort from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "FfmpegInput.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

class FfmpegAudioDecoder
{
public:
    struct Format
    {
        uint32_t rate = 0;
        uint32_t channels = 0;
        uint32_t FrameBytes() const { return channels * 2; }
    };

    // Takes the input and readies stream `streamIndex` of it; VFW_E_UNSUPPORTED_STREAM when it is
    // not audio or no decoder reads it.
    static HRESULT Open(std::unique_ptr<FfmpegInput> input, unsigned streamIndex,
                        std::unique_ptr<FfmpegAudioDecoder>& decoder);

    // The format that a decoder of stream `streamIndex` would deliver, without decoding.
    static HRESULT FormatOf(const FfmpegInput& input, unsigned streamIndex, Format* format);

    ~FfmpegAudioDecoder();
    FfmpegAudioDecoder(const FfmpegAudioDecoder&) = delete;
    FfmpegAudioDecoder& operator=(const FfmpegAudioDecoder&) = delete;

    // The format of everything Read delivers.
    Format OutputFormat() const { return output; }
    // The next Read starts at `position` (100-nanosecond units from the stream's start).
    HRESULT Seek(REFERENCE_TIME position);
    // The next piece of PCM, replacing `pcm`, and the media time of its first frame: S_OK, or
    // S_FALSE at the end of the stream with `pcm` empty.
    HRESULT Read(std::vector<uint8_t>& pcm, REFERENCE_TIME* start);
    // Any thread: ends a read under way.
    void Abort() { input->Abort(); }

private:
    FfmpegAudioDecoder() = default;
    // A decoder context for the stream, opened; VFW_E_UNSUPPORTED_STREAM when there is none.
    static HRESULT OpenCodec(const FfmpegInput& input, unsigned streamIndex,
                             AVCodecContext** context, Format* format);
    HRESULT ConfigureResampler(const AVFrame* frame);
    // Converts a decoded frame (or, with null, what the resampler still holds) onto `pcm`.
    HRESULT Convert(const AVFrame* frame, std::vector<uint8_t>& pcm);
    // Drops what precedes the seek target from `pcm`, whose first frame is `firstFrame`.
    void TrimToTarget(std::vector<uint8_t>& pcm, int64_t& firstFrame);

    std::unique_ptr<FfmpegInput> input;
    unsigned streamIndex = 0;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    Format output;

    // What the resampler is configured for.
    int resamplerFormat = -1;
    int resamplerRate = 0;
    uint64_t resamplerLayoutMask = 0;
    int resamplerChannels = 0;

    bool inputEnded = false;   // the demultiplexer is done; the decoder is being drained
    bool decoderEnded = false; // the decoder is drained; only the resampler may hold more
    bool positionKnown = false;
    int64_t nextFrame = 0;   // output frame index of the next frame Read returns
    int64_t targetFrame = 0; // frames before this are dropped (the seek target)
};
