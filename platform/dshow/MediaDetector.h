// The media detector: put_Filename opens a file with FFmpeg and describes its streams (audio and
// video, in file order): how many, their major type, their media type and their length in
// seconds. Opening fails as the file source's Load does (VFW_E_NOT_FOUND,
// VFW_E_UNKNOWN_FILE_TYPE, VFW_E_INVALID_FILE_FORMAT); the detector then holds no file.
//
// Lengths come from the stream's duration, else the container's; for ASF they are measured from
// the packets, which is exact to one codec frame (FfmpegInput::StreamLength). Frame grabbing,
// sample grabbers and filters are not built (E_NOTIMPL).
//
// Threads: the thread that created the object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com/ComObject.h"
#include "dshow/Strmif.h"

class FfmpegInput;

class MediaDetector final : public ComObject<IMediaDet>
{
public:
    MediaDetector(IUnknown* outer, ModuleLock* module);
    ~MediaDetector() override;

    HRESULT get_Filter(IUnknown** pVal) override;
    HRESULT put_Filter(IUnknown* newVal) override;
    HRESULT get_OutputStreams(LONG* pVal) override;
    HRESULT get_CurrentStream(LONG* pVal) override;
    HRESULT put_CurrentStream(LONG newVal) override;
    HRESULT get_StreamType(GUID* pVal) override;
    HRESULT get_StreamTypeB(BSTR* pVal) override;
    HRESULT get_StreamLength(double* pVal) override;
    HRESULT get_Filename(BSTR* pVal) override;
    HRESULT put_Filename(BSTR newVal) override;
    HRESULT GetBitmapBits(double StreamTime, LONG* pBufferSize, char* pBuffer, LONG Width,
                          LONG Height) override;
    HRESULT WriteBitmapBits(double StreamTime, LONG Width, LONG Height, BSTR Filename) override;
    HRESULT get_StreamMediaType(AM_MEDIA_TYPE* pVal) override;
    HRESULT GetSampleGrabber(ISampleGrabber** ppVal) override;
    HRESULT get_FrameRate(double* pVal) override;
    HRESULT EnterBitmapGrabMode(double SeekTime) override;

private:
    // The FFmpeg index of the current stream, or -1 without a file.
    int CurrentIndex() const;

    std::unique_ptr<FfmpegInput> input;
    std::u16string fileName;
    std::vector<unsigned> streams; // FFmpeg indices of the streams offered
    LONG current = 0;
};
