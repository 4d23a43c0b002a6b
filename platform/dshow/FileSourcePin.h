// One output pin of the file source: one audio stream of the file, decoded to 16-bit PCM on a
// streaming thread of the pin's own, and the pin's IMediaSeeking, through which a renderer seeks.
//
// The streaming thread opens the file anew (its own demultiplexer), tells the peer the segment
// with NewSegment (start and stop in media time), then delivers samples stamped from zero at the
// segment's start, and ends with EndOfStream. Delivery blocks while the renderer's buffer is full;
// that is what paces playback.
//
// Seeking: SetPositions while the filter is stopped only sets where the next streaming starts.
// While paused or running it flushes the peer (which unblocks a waiting delivery and drops what
// is buffered), ends the streaming thread, and starts a new one at the new position. A position
// below zero is refused (E_INVALIDARG); one past the end is clamped to the end, so that playing
// from it completes at once.
//
// Threads: IPin, IMediaSeeking, StartStreaming and StopStreaming run on the graph's thread. The
// streaming thread shares only atomics with it and never waits for it.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "BaseOutputPin.h"
#include "ExtendInterfaces.h"
#include "FfmpegAudioDecoder.h"

class FileSourcePin final : public ExtendInterfaces<BaseOutputPin, IMediaSeeking>
{
public:
    // `path` is the file's UTF-8 name; `duration` in 100-nanosecond units (0 when unknown).
    FileSourcePin(BaseFilter* filter, std::u16string name, std::string path, unsigned streamIndex,
                  FfmpegAudioDecoder::Format format, REFERENCE_TIME duration);
    ~FileSourcePin() override;

    // The PCM type that the pin offers, into an uninitialised record.
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* mediaType) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;

    // Graph's thread: starts delivering from the current start position (when connected).
    HRESULT StartStreaming();
    // Graph's thread: ends the streaming thread; it has returned when this does.
    void StopStreaming();

    HRESULT GetCapabilities(DWORD* pCapabilities) override;
    HRESULT CheckCapabilities(DWORD* pCapabilities) override;
    HRESULT IsFormatSupported(const GUID* pFormat) override;
    HRESULT QueryPreferredFormat(GUID* pFormat) override;
    HRESULT GetTimeFormat(GUID* pFormat) override;
    HRESULT IsUsingTimeFormat(const GUID* pFormat) override;
    HRESULT SetTimeFormat(const GUID* pFormat) override;
    HRESULT GetDuration(LONGLONG* pDuration) override;
    HRESULT GetStopPosition(LONGLONG* pStop) override;
    HRESULT GetCurrentPosition(LONGLONG* pCurrent) override;
    HRESULT ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                              const GUID* pSourceFormat) override;
    HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                         DWORD dwStopFlags) override;
    HRESULT GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    HRESULT GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    HRESULT SetRate(double dRate) override;
    HRESULT GetRate(double* pdRate) override;
    HRESULT GetPreroll(LONGLONG* pllPreroll) override;

private:
    // Streaming thread.
    void Stream(REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT StreamSegment(REFERENCE_TIME start, REFERENCE_TIME stop);

    const std::string path;
    const unsigned streamIndex;
    const FfmpegAudioDecoder::Format format;
    const REFERENCE_TIME duration;

    // Graph's thread only.
    REFERENCE_TIME start = 0; // where the next streaming begins
    REFERENCE_TIME stop;      // where streaming ends
    std::thread streamer;

    // Shared with the streaming thread.
    std::atomic<bool> stopping{false};
};
