#include "FileSource.h"

#include <new>

#include "FfmpegInput.h"
#include "com/Bstr.h"
#include "com/DebugLog.h"

FileSource::FileSource(IUnknown* outer, ModuleLock* module)
    : ExtendInterfaces(outer, module, CLSID_FileSource)
{
}

FileSource::~FileSource()
{
    // Streaming threads call into this filter; they end before any of it goes.
    for (auto& pin : pins)
        pin->StopStreaming();
}

BasePin* FileSource::PinAt(size_t index)
{
    return index < pins.size() ? pins[index].get() : nullptr;
}

HRESULT FileSource::Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE*)
{
    if (!pszFileName)
        return E_POINTER;
    // The pins are fixed once made: a graph may already hold them.
    if (!fileName.empty())
        return E_UNEXPECTED;
    try {
        std::u16string name(pszFileName);
        std::string path = quillet::Utf16ToUtf8(name);
        std::unique_ptr<FfmpegInput> input;
        HRESULT hr = FfmpegInput::Open(path, input);
        if (FAILED(hr))
            return hr;
        std::vector<unsigned> audio = input->AudioStreams();
        std::vector<std::unique_ptr<FileSourcePin>> made;
        for (unsigned index : audio) {
            FfmpegAudioDecoder::Format format;
            if (FAILED(FfmpegAudioDecoder::FormatOf(*input, index, &format)))
                continue;
            std::u16string pinName =
                made.empty() ? u"Audio"
                             : u"Audio " + quillet::Utf8ToUtf16(std::to_string(made.size() + 1));
            made.push_back(std::make_unique<FileSourcePin>(this, pinName, path, index, format,
                                                           input->StreamLength(index)));
        }
        if (!audio.empty() && made.empty())
            return VFW_E_UNSUPPORTED_STREAM;
        pins = std::move(made);
        fileName = std::move(name);
        QUILLET_LOG("graph", "file source: \"%s\" with %zu audio pins", path.c_str(), pins.size());
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT FileSource::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt)
{
    if (!ppszFileName)
        return E_POINTER;
    *ppszFileName = nullptr;
    if (pmt)
        *pmt = AM_MEDIA_TYPE{};
    if (fileName.empty())
        return E_FAIL;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((fileName.size() + 1) * sizeof(OLECHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    CopyToFixed(fileName, copy, fileName.size() + 1);
    if (pmt) {
        // The file's own type: a stream of bytes, as the framework describes a file.
        pmt->majortype = MEDIATYPE_Stream;
        pmt->formattype = FORMAT_None;
    }
    *ppszFileName = copy;
    return S_OK;
}

HRESULT FileSource::OnPause(FILTER_STATE previous)
{
    if (previous != State_Stopped)
        return S_OK;
    for (auto& pin : pins) {
        HRESULT hr = pin->StartStreaming();
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

void FileSource::OnStop()
{
    for (auto& pin : pins)
        pin->StopStreaming();
}
