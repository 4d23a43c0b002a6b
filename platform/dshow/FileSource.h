// The file source: Load opens a file with FFmpeg and makes one output pin per audio stream that a
// decoder reads, each offering 16-bit PCM at the stream's rate and channel count. Each connected
// pin streams on a thread of its own from Pause until Stop (FileSourcePin).
//
// Load answers VFW_E_NOT_FOUND for a file that cannot be read, VFW_E_UNKNOWN_FILE_TYPE for one
// that no demultiplexer recognises, VFW_E_INVALID_FILE_FORMAT for a damaged header, and
// VFW_E_UNSUPPORTED_STREAM when the file has audio but none that decodes. A file without audio
// loads with no pins.
//
// Threads: as BaseFilter; everything here runs on the graph's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BaseFilter.h"
#include "ExtendInterfaces.h"
#include "FileSourcePin.h"

class FileSource final : public ExtendInterfaces<BaseFilter, IFileSourceFilter>
{
public:
    FileSource(IUnknown* outer, ModuleLock* module);
    ~FileSource() override;

    HRESULT Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
    HRESULT GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

    size_t PinCount() override { return pins.size(); }
    BasePin* PinAt(size_t index) override;

protected:
    HRESULT OnPause(FILTER_STATE previous) override;
    void OnStop() override;

private:
    std::u16string fileName; // empty until Load succeeded
    std::vector<std::unique_ptr<FileSourcePin>> pins;
};
