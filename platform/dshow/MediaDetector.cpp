#include "MediaDetector.h"

#include <cstring>
#include <new>

#include "FfmpegInput.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/DebugLog.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {
// The media subtype that a wave format tag or a FOURCC stands for: the tag in the first field of
// the base GUID.
GUID SubtypeFromTag(uint32_t tag)
{
    GUID subtype = MEDIASUBTYPE_PCM;
    subtype.Data1 = tag;
    return subtype;
}

uint32_t WaveTagOf(const AVCodecParameters& parameters)
{
    // The wave format tag of the codec; a container's own tag (a QuickTime FOURCC) is no wave
    // format, so it serves only for codecs that have none.
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    uint32_t tag = av_codec_get_tag(tables, parameters.codec_id);
    return tag ? tag : parameters.codec_tag;
}
} // namespace

MediaDetector::MediaDetector(IUnknown* outer, ModuleLock* module) : ComObject(outer, module) {}

MediaDetector::~MediaDetector() = default;

int MediaDetector::CurrentIndex() const
{
    if (!input || current < 0 || size_t(current) >= streams.size())
        return -1;
    return int(streams[size_t(current)]);
}

HRESULT MediaDetector::put_Filename(BSTR newVal)
{
    if (!newVal)
        return E_POINTER;
    try {
        std::u16string name(newVal, SysStringLen(newVal));
        std::unique_ptr<FfmpegInput> opened;
        // A failed open leaves no file behind: the old one is gone either way.
        input.reset();
        streams.clear();
        fileName.clear();
        current = 0;
        HRESULT hr = FfmpegInput::Open(quillet::Utf16ToUtf8(name), opened);
        if (FAILED(hr))
            return hr;
        streams = opened->MediaStreams();
        input = std::move(opened);
        fileName = std::move(name);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT MediaDetector::get_Filename(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    if (fileName.empty())
        return S_OK;
    *pVal = SysAllocStringLen(fileName.data(), UINT(fileName.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaDetector::get_OutputStreams(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = 0;
    if (!input)
        return E_INVALIDARG;
    *pVal = LONG(streams.size());
    return S_OK;
}

HRESULT MediaDetector::get_CurrentStream(LONG* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = current;
    return S_OK;
}

HRESULT MediaDetector::put_CurrentStream(LONG newVal)
{
    if (!input || newVal < 0 || size_t(newVal) >= streams.size())
        return E_INVALIDARG;
    current = newVal;
    return S_OK;
}

HRESULT MediaDetector::get_StreamType(GUID* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = GUID_NULL;
    int index = CurrentIndex();
    if (index < 0)
        return E_INVALIDARG;
    AVMediaType type = input->Stream(unsigned(index))->codecpar->codec_type;
    *pVal = type == AVMEDIA_TYPE_AUDIO ? MEDIATYPE_Audio : MEDIATYPE_Video;
    return S_OK;
}

HRESULT MediaDetector::get_StreamTypeB(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    GUID type{};
    HRESULT hr = get_StreamType(&type);
    if (FAILED(hr))
        return hr;
    OLECHAR text[40] = {};
    if (!StringFromGUID2(type, text, 40))
        return E_UNEXPECTED;
    *pVal = SysAllocString(text);
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaDetector::get_StreamLength(double* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = 0;
    int index = CurrentIndex();
    if (index < 0)
        return E_INVALIDARG;
    REFERENCE_TIME length = input->StreamLength(unsigned(index));
    if (length < 0)
        return S_OK; // nothing in the file tells its length
    *pVal = double(length) / 10'000'000.0;
    return S_OK;
}

HRESULT MediaDetector::get_StreamMediaType(AM_MEDIA_TYPE* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = AM_MEDIA_TYPE{};
    int index = CurrentIndex();
    if (index < 0)
        return E_INVALIDARG;
    const AVCodecParameters& parameters = *input->Stream(unsigned(index))->codecpar;
    if (parameters.codec_type != AVMEDIA_TYPE_AUDIO) {
        pVal->majortype = MEDIATYPE_Video;
        pVal->subtype = SubtypeFromTag(parameters.codec_tag);
        pVal->formattype = FORMAT_None;
        return S_OK;
    }
    // The stream as stored: its wave format, with the codec's private data behind it.
    size_t extra = parameters.extradata && parameters.extradata_size > 0
                       ? size_t(parameters.extradata_size)
                       : 0;
    if (extra > 0xFFFF)
        extra = 0;
    auto* format = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX) + extra));
    if (!format)
        return E_OUTOFMEMORY;
    WAVEFORMATEX wave{};
    uint32_t tag = WaveTagOf(parameters);
    wave.wFormatTag = WORD(tag);
    wave.nChannels = WORD(parameters.ch_layout.nb_channels);
    wave.nSamplesPerSec = DWORD(parameters.sample_rate);
    wave.nAvgBytesPerSec = DWORD(parameters.bit_rate / 8);
    wave.nBlockAlign = WORD(parameters.block_align);
    wave.wBitsPerSample = WORD(parameters.bits_per_coded_sample);
    wave.cbSize = WORD(extra);
    std::memcpy(format, &wave, sizeof wave);
    if (extra)
        std::memcpy(format + sizeof wave, parameters.extradata, extra);
    pVal->majortype = MEDIATYPE_Audio;
    pVal->subtype = SubtypeFromTag(tag);
    pVal->bFixedSizeSamples = tag == WAVE_FORMAT_PCM;
    pVal->lSampleSize = tag == WAVE_FORMAT_PCM ? ULONG(parameters.block_align) : 0;
    pVal->formattype = FORMAT_WaveFormatEx;
    pVal->cbFormat = ULONG(sizeof wave + extra);
    pVal->pbFormat = format;
    return S_OK;
}

HRESULT MediaDetector::get_Filter(IUnknown** pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return E_NOTIMPL;
}

HRESULT MediaDetector::put_Filter(IUnknown* newVal)
{
    if (!newVal)
        return E_POINTER;
    QUILLET_LOG("graph", "media detector: put_Filter is not built");
    return E_NOTIMPL;
}

HRESULT MediaDetector::GetBitmapBits(double, LONG* pBufferSize, char*, LONG, LONG)
{
    if (!pBufferSize)
        return E_POINTER;
    return E_NOTIMPL;
}

HRESULT MediaDetector::WriteBitmapBits(double, LONG, LONG, BSTR)
{
    return E_NOTIMPL;
}

HRESULT MediaDetector::GetSampleGrabber(ISampleGrabber** ppVal)
{
    if (!ppVal)
        return E_POINTER;
    *ppVal = nullptr;
    return E_NOTIMPL;
}

HRESULT MediaDetector::get_FrameRate(double* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = 0;
    return E_NOTIMPL;
}

HRESULT MediaDetector::EnterBitmapGrabMode(double)
{
    return E_NOTIMPL;
}
