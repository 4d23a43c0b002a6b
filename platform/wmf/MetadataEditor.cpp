#include "MetadataEditor.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include <unistd.h>

#include <taglib/asffile.h>
#include <taglib/tbytevectorstream.h>

#include "AsfFileCheck.h"
#include "RewriteAsfFile.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "com/DebugLog.h"
#include "com/InterfaceGuard.h"

namespace {

// Stream numbers of an ASF file take seven bits; 0 names the file itself.
constexpr WORD kMaxStreamNumber = 63;

// What a name and a value need of the caller's buffers, and whether the buffers given hold
// them. A null buffer only asks for its length.
template <class Length> struct OutputSizes
{
    size_t nameChars; // with the terminator
    size_t valueBytes;

    bool Describable() const
    {
        return nameChars <= 0xFFFF && valueBytes <= std::numeric_limits<Length>::max();
    }
};

template <class Length>
HRESULT CopyAttributeOut(const HeaderAttribute& instance, WCHAR* name, WORD* nameLength,
                         BYTE* value, Length* valueLength)
{
    const OutputSizes<Length> sizes{instance.name.size() + 1, instance.value.size()};
    if (!sizes.Describable()) {
        // Only TagLib's large values (pictures) come here, and only through the WORD lengths.
        *valueLength = std::numeric_limits<Length>::max();
        return ASF_E_BUFFERTOOSMALL;
    }
    const bool nameFits = !name || *nameLength >= sizes.nameChars;
    const bool valueFits = !value || *valueLength >= sizes.valueBytes;
    *nameLength = WORD(sizes.nameChars);
    *valueLength = Length(sizes.valueBytes);
    if (!nameFits || !valueFits)
        return ASF_E_BUFFERTOOSMALL;
    if (name) {
        std::copy(instance.name.begin(), instance.name.end(), name);
        name[instance.name.size()] = u'\0';
    }
    if (value)
        std::copy(instance.value.begin(), instance.value.end(), value);
    return S_OK;
}

// TagLib over a header object held in memory: the file itself is never opened for writing.
struct HeaderInMemory
{
    explicit HeaderInMemory(const std::vector<BYTE>& header)
        : stream(TagLib::ByteVector(reinterpret_cast<const char*>(header.data()),
                                    static_cast<unsigned int>(header.size()))),
          file(&stream, false)
    {
    }

    bool Readable() { return file.isValid() && file.tag(); }

    TagLib::ByteVectorStream stream;
    TagLib::ASF::File file;
};

} // namespace

MetadataEditor::MetadataEditor() = default;

MetadataEditor::~MetadataEditor() = default;

void* MetadataEditor::FindInterface(REFIID riid)
{
    // The bases of IWMHeaderInfo3, which ComObject does not list by themselves.
    if (riid == IID_IWMHeaderInfo)
        return static_cast<IWMHeaderInfo*>(this);
    if (riid == IID_IWMHeaderInfo2)
        return static_cast<IWMHeaderInfo2*>(this);
    return ComObject::FindInterface(riid);
}

HRESULT MetadataEditor::NotBuilt(const char* method) const
{
    QUILLET_LOG("wmf", "editor %p: %s is not built", static_cast<const void*>(this), method);
    return E_NOTIMPL;
}

HRESULT MetadataEditor::Open(const WCHAR* pwszFilename)
{
    if (!pwszFilename)
        return E_POINTER;
    if (IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!*pwszFilename)
        return E_INVALIDARG;
    return CallGuarded("MetadataEditor::Open", [&] {
        std::string utf8 = quillet::Utf16ToUtf8(pwszFilename);
        // TagLib trusts the sizes in the header; a damaged one must not reach it.
        std::vector<BYTE> header;
        HRESULT hr = ReadAsfHeader(utf8, &header);
        if (FAILED(hr))
            return hr;
        HeaderInMemory parsed(header);
        if (!parsed.Readable()) {
            QUILLET_LOG("wmf", "editor %p: TagLib cannot read the header of %s",
                        static_cast<void*>(this), utf8.c_str());
            return NS_E_INVALID_INPUT_FORMAT;
        }
        HeaderAttributes read = HeaderAttributes::FromTag(*parsed.file.tag());
        attributes = std::move(read);
        // Nothing stays open until Flush, so the file is held by its full name instead: a
        // change of the working folder meanwhile must not send the save elsewhere.
        if (char* full = realpath(utf8.c_str(), nullptr)) {
            utf8 = full;
            free(full);
        }
        path = std::move(utf8);
        readOnly = access(path.c_str(), W_OK) != 0;
        open = true;
        dirty = false;
        QUILLET_LOG("wmf", "editor %p: opened %s%s", static_cast<void*>(this), path.c_str(),
                    readOnly ? " (read only)" : "");
        return S_OK;
    });
}

HRESULT MetadataEditor::Close()
{
    // Closing what is not open is harmless, so callers may close on every failure path.
    if (dirty)
        QUILLET_LOG("wmf", "editor %p: closing %s drops changes not flushed",
                    static_cast<void*>(this), path.c_str());
    open = false;
    readOnly = false;
    attributes = HeaderAttributes();
    path.clear();
    dirty = false;
    return S_OK;
}

HRESULT MetadataEditor::RenderHeader(std::vector<BYTE>& header) const
{
    HeaderInMemory parsed(header);
    if (!parsed.Readable())
        return NS_E_INVALID_INPUT_FORMAT; // the file changed since it was opened
    attributes.ApplyTo(*parsed.file.tag());
    if (!parsed.file.save())
        return E_FAIL;
    const TagLib::ByteVector* rendered = parsed.stream.data();
    header.assign(rendered->begin(), rendered->end());
    return S_OK;
}

HRESULT MetadataEditor::Flush()
{
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!dirty)
        return S_OK;
    return CallGuarded("MetadataEditor::Flush", [&] {
        if (readOnly) {
            QUILLET_LOG("wmf", "editor %p: %s is read only", static_cast<void*>(this),
                        path.c_str());
            return E_ACCESSDENIED;
        }
        // The changes stay in memory after a failure, so that a later Flush may still save
        // them.
        HRESULT hr = RewriteAsfFile(
            path, [this](std::vector<BYTE>& header) { return RenderHeader(header); });
        if (FAILED(hr)) {
            QUILLET_LOG("wmf", "editor %p: saving %s failed: 0x%08X", static_cast<void*>(this),
                        path.c_str(), unsigned(hr));
            return hr;
        }
        dirty = false;
        return S_OK;
    });
}

HRESULT MetadataEditor::GetAttributeCount(WORD wStreamNum, WORD* pcAttributes)
{
    if (!pcAttributes)
        return E_POINTER;
    *pcAttributes = 0;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    *pcAttributes = attributes.Count(wStreamNum);
    return S_OK;
}

HRESULT MetadataEditor::GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                            WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType,
                                            BYTE* pValue, WORD* pcbLength)
{
    if (!pwStreamNum || !pcchNameLen || !pType || !pcbLength)
        return E_POINTER;
    *pType = WMT_TYPE_DWORD;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    const HeaderAttribute* instance = attributes.At(*pwStreamNum, wIndex);
    if (!instance)
        return ASF_E_NOTFOUND;
    *pType = instance->type;
    return CopyAttributeOut(*instance, pwszName, pcchNameLen, pValue, pcbLength);
}

HRESULT MetadataEditor::GetAttributeByName(WORD* pwStreamNum, const WCHAR* pszName,
                                           WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength)
{
    if (!pwStreamNum || !pszName || !pType || !pcbLength)
        return E_POINTER;
    *pType = WMT_TYPE_DWORD;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    const HeaderAttribute* instance = attributes.Find(*pwStreamNum, pszName);
    if (!instance)
        return ASF_E_NOTFOUND;
    *pType = instance->type;
    WORD nameLength = 0;
    return CopyAttributeOut(*instance, nullptr, &nameLength, pValue, pcbLength);
}

HRESULT MetadataEditor::SetAttribute(WORD wStreamNum, const WCHAR* pszName, WMT_ATTR_DATATYPE Type,
                                     const BYTE* pValue, WORD cbLength)
{
    if (!pszName || !pValue)
        return E_POINTER;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!*pszName || wStreamNum > kMaxStreamNumber)
        return E_INVALIDARG;
    return CallGuarded("MetadataEditor::SetAttribute", [&] {
        std::vector<BYTE> value;
        HRESULT hr = HeaderAttributes::NormaliseValue(Type, pValue, cbLength, &value);
        if (FAILED(hr))
            return hr;
        HeaderAttribute* existing = attributes.Find(wStreamNum, pszName);
        if (existing && existing->language == 0) {
            existing->type = Type;
            existing->value = std::move(value);
            existing->original.reset();
        } else {
            if (attributes.Count(wStreamNum) == 0xFFFF)
                return E_INVALIDARG;
            HeaderAttribute added;
            added.name = pszName;
            added.stream = wStreamNum;
            added.type = Type;
            added.value = std::move(value);
            attributes.Add(std::move(added));
        }
        dirty = true;
        return S_OK;
    });
}

HRESULT MetadataEditor::GetMarkerCount(WORD* pcMarkers)
{
    if (!pcMarkers)
        return E_POINTER;
    *pcMarkers = 0;
    return NotBuilt("GetMarkerCount");
}

HRESULT MetadataEditor::GetMarker(WORD, WCHAR*, WORD*, QWORD*)
{
    return NotBuilt("GetMarker");
}

HRESULT MetadataEditor::AddMarker(const WCHAR*, QWORD)
{
    return NotBuilt("AddMarker");
}

HRESULT MetadataEditor::RemoveMarker(WORD)
{
    return NotBuilt("RemoveMarker");
}

HRESULT MetadataEditor::GetScriptCount(WORD* pcScripts)
{
    if (!pcScripts)
        return E_POINTER;
    *pcScripts = 0;
    return NotBuilt("GetScriptCount");
}

HRESULT MetadataEditor::GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*)
{
    return NotBuilt("GetScript");
}

HRESULT MetadataEditor::AddScript(const WCHAR*, const WCHAR*, QWORD)
{
    return NotBuilt("AddScript");
}

HRESULT MetadataEditor::RemoveScript(WORD)
{
    return NotBuilt("RemoveScript");
}

HRESULT MetadataEditor::GetCodecInfoCount(DWORD* pcCodecInfos)
{
    if (!pcCodecInfos)
        return E_POINTER;
    *pcCodecInfos = 0;
    return NotBuilt("GetCodecInfoCount");
}

HRESULT MetadataEditor::GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*,
                                     WORD*, BYTE*)
{
    return NotBuilt("GetCodecInfo");
}

HRESULT MetadataEditor::GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes)
{
    return GetAttributeCount(wStreamNum, pcAttributes);
}

HRESULT MetadataEditor::GetAttributeIndices(WORD wStreamNum, const WCHAR* pwszName,
                                            WORD* pwLangIndex, WORD* pwIndices, WORD* pwCount)
{
    if (!pwszName || !pwCount)
        return E_POINTER;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    return CallGuarded("MetadataEditor::GetAttributeIndices", [&] {
        const std::vector<WORD> indices = attributes.Indices(wStreamNum, pwszName, pwLangIndex);
        const WORD count = WORD(indices.size());
        if (!pwIndices) {
            *pwCount = count;
            return S_OK;
        }
        if (*pwCount < count) {
            *pwCount = count;
            return ASF_E_BUFFERTOOSMALL;
        }
        std::copy(indices.begin(), indices.end(), pwIndices);
        *pwCount = count;
        return S_OK;
    });
}

HRESULT MetadataEditor::GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, WCHAR* pwszName,
                                              WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                              WORD* pwLangIndex, BYTE* pValue, DWORD* pdwDataLength)
{
    if (!pwNameLen || !pType || !pwLangIndex || !pdwDataLength)
        return E_POINTER;
    *pType = WMT_TYPE_DWORD;
    *pwLangIndex = 0;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    const HeaderAttribute* instance = attributes.At(wStreamNum, wIndex);
    if (!instance)
        return ASF_E_NOTFOUND;
    *pType = instance->type;
    *pwLangIndex = instance->language;
    return CopyAttributeOut(*instance, pwszName, pwNameLen, pValue, pdwDataLength);
}

HRESULT MetadataEditor::ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type,
                                        WORD wLangIndex, const BYTE* pValue, DWORD dwLength)
{
    if (!pValue)
        return E_POINTER;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    HeaderAttribute* instance = attributes.At(wStreamNum, wIndex);
    if (!instance)
        return ASF_E_NOTFOUND;
    return CallGuarded("MetadataEditor::ModifyAttribute", [&] {
        std::vector<BYTE> value;
        HRESULT hr = HeaderAttributes::NormaliseValue(Type, pValue, dwLength, &value);
        if (FAILED(hr))
            return hr;
        instance->type = Type;
        instance->language = wLangIndex;
        instance->value = std::move(value);
        instance->original.reset();
        dirty = true;
        return S_OK;
    });
}

HRESULT MetadataEditor::AddAttribute(WORD wStreamNum, const WCHAR* pszName, WORD* pwIndex,
                                     WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                     DWORD dwLength)
{
    if (!pszName || !pwIndex || !pValue)
        return E_POINTER;
    *pwIndex = 0;
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!*pszName || wStreamNum > kMaxStreamNumber || attributes.Count(wStreamNum) == 0xFFFF)
        return E_INVALIDARG;
    return CallGuarded("MetadataEditor::AddAttribute", [&] {
        HeaderAttribute added;
        HRESULT hr = HeaderAttributes::NormaliseValue(Type, pValue, dwLength, &added.value);
        if (FAILED(hr))
            return hr;
        added.name = pszName;
        added.stream = wStreamNum;
        added.language = wLangIndex;
        added.type = Type;
        *pwIndex = attributes.Add(std::move(added));
        dirty = true;
        return S_OK;
    });
}

HRESULT MetadataEditor::DeleteAttribute(WORD wStreamNum, WORD wIndex)
{
    if (!IsOpen())
        return NS_E_INVALID_REQUEST;
    if (!attributes.Remove(wStreamNum, wIndex))
        return ASF_E_NOTFOUND;
    dirty = true;
    return S_OK;
}

HRESULT MetadataEditor::AddCodecInfo(const WCHAR*, const WCHAR*, WMT_CODEC_INFO_TYPE, WORD, BYTE*)
{
    return NotBuilt("AddCodecInfo");
}

QUILLET_EXPORT HRESULT WMCreateEditor(IWMMetadataEditor** ppEditor)
{
    if (!ppEditor)
        return E_POINTER;
    *ppEditor = nullptr;
    return CallGuarded("WMCreateEditor", [&] {
        *ppEditor = new MetadataEditor(); // the caller's reference
        return S_OK;
    });
}
