// The metadata editor: reads the attributes of an ASF file's header through TagLib, lets the
// header interfaces read and change them in memory, and on Flush writes the file anew with the
// new header (RewriteAsfFile), so that a failed or interrupted save leaves the old file whole.
// Nothing is held open between calls. Used on the thread that created it.
#pragma once

#include <string>
#include <vector>

#include "HeaderAttributes.h"
#include "com/ComObject.h"
#include "wmf/Wmf.h"

class MetadataEditor final : public ComObject<IWMMetadataEditor, IWMHeaderInfo3>
{
public:
    MetadataEditor();
    ~MetadataEditor() override;

    // IWMMetadataEditor
    HRESULT Open(const WCHAR* pwszFilename) override;
    HRESULT Close() override;
    HRESULT Flush() override;

    // IWMHeaderInfo
    HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName, WORD* pcchNameLen,
                                WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength) override;
    HRESULT GetAttributeByName(WORD* pwStreamNum, const WCHAR* pszName, WMT_ATTR_DATATYPE* pType,
                               BYTE* pValue, WORD* pcbLength) override;
    HRESULT SetAttribute(WORD wStreamNum, const WCHAR* pszName, WMT_ATTR_DATATYPE Type,
                         const BYTE* pValue, WORD cbLength) override;
    HRESULT GetMarkerCount(WORD* pcMarkers) override;
    HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                      QWORD* pcnsMarkerTime) override;
    HRESULT AddMarker(const WCHAR* pwszMarkerName, QWORD cnsMarkerTime) override;
    HRESULT RemoveMarker(WORD wIndex) override;
    HRESULT GetScriptCount(WORD* pcScripts) override;
    HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                      WORD* pcchCommandLen, QWORD* pcnsScriptTime) override;
    HRESULT AddScript(const WCHAR* pwszType, const WCHAR* pwszCommand,
                      QWORD cnsScriptTime) override;
    HRESULT RemoveScript(WORD wIndex) override;

    // IWMHeaderInfo2
    HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) override;
    HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName, WORD* pcchDescription,
                         WCHAR* pwszDescription, WMT_CODEC_INFO_TYPE* pCodecType,
                         WORD* pcbCodecInfo, BYTE* pbCodecInfo) override;

    // IWMHeaderInfo3
    HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeIndices(WORD wStreamNum, const WCHAR* pwszName, WORD* pwLangIndex,
                                WORD* pwIndices, WORD* pwCount) override;
    HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, WCHAR* pwszName, WORD* pwNameLen,
                                  WMT_ATTR_DATATYPE* pType, WORD* pwLangIndex, BYTE* pValue,
                                  DWORD* pdwDataLength) override;
    HRESULT ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type, WORD wLangIndex,
                            const BYTE* pValue, DWORD dwLength) override;
    HRESULT AddAttribute(WORD wStreamNum, const WCHAR* pszName, WORD* pwIndex,
                         WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                         DWORD dwLength) override;
    HRESULT DeleteAttribute(WORD wStreamNum, WORD wIndex) override;
    HRESULT AddCodecInfo(const WCHAR* pwszName, const WCHAR* pwszDescription,
                         WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                         BYTE* pbCodecInfo) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    bool IsOpen() const { return open; }
    HRESULT NotBuilt(const char* method) const;
    // Replaces the attributes of a header object by ours, through TagLib.
    HRESULT RenderHeader(std::vector<BYTE>& header) const;

    bool open = false;
    bool readOnly = false; // the file may not be written, so Flush is refused
    std::string path;      // UTF-8, the file's full path once it resolves
    HeaderAttributes attributes;
    bool dirty = false; // attributes differ from what the file holds
};
