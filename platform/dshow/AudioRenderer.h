// The audio renderer: one input pin taking 16-bit PCM, played on a PulseAudio playback stream
// (AudioRendererStream) on the default sink. It is the sink of a playback graph:
//
// - Pause from stopped opens the stream corked and counts as paused once the first sample (or
//   the end of the stream) arrived; samples fill the server's buffer and then block the
//   streaming thread, which paces the source. Run uncorks; Pause corks again; Stop closes the
//   stream at once, releasing a blocked delivery.
// - At the end of the stream it drains the buffer and raises EC_COMPLETE when the last sample has
//   been played; a flush or Stop cancels that.
// - IMediaSeeking: the current position is what has been played, in the file's media time (the
//   segment's start plus the time played since); everything else passes upstream to the source's
//   pin, as the graph expects of a renderer.
// - IBasicAudio: the volume in hundredths of a decibel (-10000 silence to 0 full), mapped with
//   pa_sw_volume_from_dB onto the stream's volume (-10000 mutes); kept for streams opened later.
//   Balance stays centred (FIXME: put_Balance other than 0 is not built).
//
// Sample times do not schedule playback: the server's buffer does, and the graph's clock is not
// consulted.
//
// Threads: the IBaseFilter, IMediaSeeking and IBasicAudio methods run on the graph's thread.
// Samples, the end of stream and NewSegment arrive on the source's streaming thread; the drain's
// completion on the PulseAudio thread. Those share only atomics and the stream's own lock with
// the graph's thread, and never wait for it.
#pragma once

#include <atomic>

#include "AudioRendererInputPin.h"
#include "AudioRendererStream.h"
#include "BaseFilter.h"
#include "ExtendInterfaces.h"

class AudioRenderer final : public ExtendInterfaces<BaseFilter, IBasicAudio, IMediaSeeking>
{
public:
    AudioRenderer(IUnknown* outer, ModuleLock* module);
    ~AudioRenderer() override;

    size_t PinCount() override { return 1; }
    BasePin* PinAt(size_t) override { return &input; }
    HRESULT CheckPinMediaType(BasePin* pin, const AM_MEDIA_TYPE& mediaType) override;
    HRESULT ReceiveSample(BaseInputPin* pin, IMediaSample* sample) override;
    HRESULT PinEndOfStream(BaseInputPin* pin) override;
    void PinFlush(BaseInputPin* pin, bool begin) override;
    // Streaming thread: the samples that follow start at `start` in the file's time.
    void SegmentStarted(REFERENCE_TIME start);

    // IDispatch (of IBasicAudio): no type information is offered.
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // IBasicAudio
    HRESULT put_Volume(LONG lVolume) override;
    HRESULT get_Volume(LONG* plVolume) override;
    HRESULT put_Balance(LONG lBalance) override;
    HRESULT get_Balance(LONG* plBalance) override;

    // IMediaSeeking
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

protected:
    HRESULT OnPause(FILTER_STATE previous) override;
    HRESULT OnRun(REFERENCE_TIME start) override;
    void OnStop() override;
    void* FindInterface(REFIID riid) override;

private:
    // The upstream pin's seeking, or null when unconnected or it cannot seek.
    ComPtr<IMediaSeeking> Upstream();
    // Graph's thread: the played position in the file's media time; held while not running.
    REFERENCE_TIME Position();
    REFERENCE_TIME LivePosition();

    AudioRendererInputPin input{this};
    AudioRendererStream playback;
    std::atomic<REFERENCE_TIME> segmentStart{0};
    std::atomic<REFERENCE_TIME> heldPosition{0}; // the position while paused or stopped
    std::atomic<bool> running{false};
    std::atomic<bool> failureReported{false};
};
