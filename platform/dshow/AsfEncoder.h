// Records 16-bit PCM into a Windows Media Audio file (ASF container) with FFmpeg: the work behind
// the WM ASF writer filter, kept free of filter-graph types so that it can be tested alone.
//
// Open creates the file and writes the ASF header; Write converts the PCM to what the encoder
// wants (rate, channels, planar float) with libswresample, cuts it into whole encoder frames,
// encodes them and writes every finished ASF packet through to the file at once; Finish drains
// the resampler and the encoder, writes the trailer (the muxer then rewrites the header with the
// file size, packet count and duration) and closes the file.
//
// A recording may end without Finish: the process killed, the machine off. So after every packet
// the header's counts, sizes and duration are brought up to date in place (AsfLiveHeader), and
// what is on disk is at every moment a finished file of the packets written so far, only without
// the index.
//
// Stream time follows the count of samples written, never the caller's time stamps: a pause (no
// Write calls for a while) continues the same file without a gap, as a paused recording should.
//
// A failed write (a full disk, a file size limit) stops the file where it is, and Finish still
// finishes it: before each packet the writer reserves the disk space that the packet and the
// finish need (AsfSpaceReserve), so a full disk is seen before it tears anything, the packet at
// hand still goes whole into the reserve, and the header and the index follow into what is left.
// Where a write fails all the same (no preallocation, a file size limit), Finish cuts the torn
// packet off and writes the header for the whole packets itself. The failure's HRESULT comes back
// from that Write and from every later Write and from Finish.
//
// Threads: one thread at a time. Open, Write and Finish may come from different threads (the
// graph's thread opens and finishes, the streaming thread writes) as long as the caller
// serialises them; the encoder has no locks, starts no thread and calls nothing back.
#pragma once

#include "AsfFileSink.h"
#include "AsfLiveHeader.h"
#include "AsfPacketLayout.h"
#include "AsfSpaceReserve.h"
#include "com/Types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AVAudioFifo;
struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

class AsfEncoder
{
public:
    // The Windows Media Audio codec: version 1 (wmav1) or version 2 (wmav2).
    enum class Codec
    {
        Wmav1,
        Wmav2,
    };

    // What the file holds.
    struct Target
    {
        Codec codec = Codec::Wmav2;
        uint32_t sampleRate = 0; // 8000 to 48000
        uint32_t channels = 0;   // 1 or 2
        uint32_t bitRate = 0;    // what the whole file spends per second, at least 24000
    };

    // Everything Open needs.
    struct Config
    {
        std::string path;           // UTF-8
        bool overwrite = false;     // replace an existing file instead of failing
        bool index = true;          // append a seek index when the file is finished
        bool liveHeader = true;     // keep the header up to date while recording
        uint32_t inputRate = 0;     // of the 16-bit little-endian interleaved PCM: 8000 to 192000
        uint32_t inputChannels = 0; // 1 to 8
        Target target;
    };

    // Limits that FFmpeg's WMA encoders and our input path accept.
    static constexpr uint32_t MinInputRate = 8000;
    static constexpr uint32_t MaxInputRate = 192000;
    static constexpr uint32_t MaxInputChannels = 8;
    static constexpr uint32_t MinTargetRate = 8000;
    static constexpr uint32_t MaxTargetRate = 48000;
    static constexpr uint32_t MaxTargetChannels = 2;
    static constexpr uint32_t MinBitRate = 24000;
    // What FFmpeg's muxer writes before the first packet for one audio stream without metadata.
    static constexpr int HeaderBytes = 404;

    AsfEncoder();
    // Finishes the file if the owner did not.
    ~AsfEncoder();
    AsfEncoder(const AsfEncoder&) = delete;
    AsfEncoder& operator=(const AsfEncoder&) = delete;

    // S_OK for a configuration that Open can record, E_INVALIDARG otherwise (an empty path, an
    // input or target outside the limits above).
    static HRESULT CheckConfig(const Config& config);

    // Sets up the resampler, the encoder and the muxer, creates the file and writes the header.
    // E_INVALIDARG as CheckConfig; HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) when the file exists
    // and overwrite is off; HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) for a missing folder; other
    // file errors as AsfErrors.h maps them. VFW_E_WRONG_STATE when already opened.
    HRESULT Open(const Config& config);

    // Encodes `bytes` of interleaved PCM in the input format; a torn sample frame at the end is
    // kept for the next call. `startTime100ns` is the sample's stream time, only logged.
    // VFW_E_WRONG_STATE before Open or after Finish; the failure HRESULT once writing failed.
    HRESULT Write(const void* pcm, size_t bytes, int64_t startTime100ns);

    // Drains, writes the trailer and closes the file. Safe to call again: later calls return the
    // first call's result. S_FALSE when the encoder was never opened.
    HRESULT Finish();

    bool IsOpen() const { return state == State::Open; }
    // S_OK, or the failure that stopped the file.
    HRESULT Failure() const { return failure; }
    // Samples per channel at the target rate handed to the encoder so far (silence padding of the
    // last frame included): the stream time of the file.
    int64_t EncodedSamples() const { return encodedSamples; }
    // The packet layout chosen at Open.
    const AsfPacketLayout& PacketLayout() const { return layout; }

private:
    enum class State
    {
        Closed,
        Open,
        Finished,
    };

    HRESULT SetUpCodec(const Config& config);
    HRESULT OpenCodec(const AVCodec* encoder, const Target& target, int64_t bitRate);
    int64_t CodecBitRate(const Target& target) const;
    HRESULT SetUpResampler(const Config& config);
    HRESULT SetUpMuxer();
    HRESULT Convert(const uint8_t* pcm, int frames);
    HRESULT EncodeWholeFrames();
    HRESULT EncodeFrame(bool drain);
    HRESULT CollectPacket(const AVPacket* packet);
    HRESULT WritePending();
    int64_t FinishBytes() const;
    void Salvage();
    void AppendIndex();
    HRESULT Fail(HRESULT hr, const char* what);
    HRESULT FailAv(int averror, const char* what);
    void Release();

    State state = State::Closed;
    HRESULT failure = S_OK;
    HRESULT finishResult = S_FALSE;
    std::string path;
    uint32_t inputBlockAlign = 0;
    uint32_t inputRate = 0;
    uint32_t targetRate = 0;

    AsfFileSink sink;
    AsfLiveHeader header;
    AsfSpaceReserve reserve;
    AsfPacketLayout layout;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFormatContext* muxer = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* encoded = nullptr;
    AVPacket* payload = nullptr;

    std::vector<uint8_t> carry;             // a torn input sample frame
    std::vector<std::vector<float>> planes; // resampler output, one vector per channel
    std::vector<uint8_t*> planePointers;
    std::vector<uint8_t> pending; // encoded frames waiting to fill one ASF packet
    int pendingFrames = 0;
    int64_t pendingPts = 0;
    int64_t pendingDuration = 0;
    int64_t encodedSamples = 0;
    bool indexWanted = true;
    bool liveHeaderWanted = true;
    uint32_t packetCount = 0; // data packets handed to the muxer, each of FramesPerPacket frames
    int64_t packetsEnd = 0;   // 100 ns, where the last packet's audio ends
    int64_t muxDuration = 0;  // 100 ns, the muxer's own count of the same, in whole ms
    // The packets known to be whole in the file: what a header written after a failure declares.
    uint32_t savedPackets = 0;
    int64_t savedEnd = 0;        // file offset after the last of them
    int64_t savedAudioEnd = 0;   // 100 ns, where their audio ends
    int64_t savedDuration = 0;   // 100 ns, as muxDuration
    int64_t ptsOrigin = 0;       // the encoder's time of the file's zero
    int64_t inputSamples = 0;    // per channel, at the input rate
    int64_t firstInputTime = -1; // 100 ns, of the first Write
};
