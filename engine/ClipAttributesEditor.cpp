#include "ClipAttributesEditor.h"

#include "com/InterfaceGuard.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "ErrorReporting.h"
#include "KindOfPath.h"
#include "wmf/WmfErrors.h"

namespace {
constexpr WORD kValueBufferBytes = 65535;
} // namespace

ClipAttributesEditor::ClipAttributesEditor(IUnknown* outer, ModuleLock* module)
    : EngineObject(outer, module)
{
}

ClipAttributesEditor::~ClipAttributesEditor()
{
    Close();
}

HRESULT ClipAttributesEditor::Fail(const char* text, HRESULT hr)
{
    ReportError(CLSID_ClipAttributesEditor, text);
    return hr;
}

HRESULT ClipAttributesEditor::Close()
try {
    filePath.Reset();
    header.Reset();
    if (editor) {
        editor->Close();
        editor.Reset();
    }
    return S_OK;
} catch (...) {
    return GuardedResult("ClipAttributesEditor::Close");
}

HRESULT ClipAttributesEditor::get_FilePath(BSTR* pVal)
try {
    if (!pVal)
        return E_POINTER;
    *pVal = filePath.Copy();
    return IsOpen() && !*pVal ? E_OUTOFMEMORY : S_OK;
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_FilePath");
}

HRESULT ClipAttributesEditor::put_FilePath(BSTR newVal)
try {
    Close();
    if (SysStringLen(newVal) == 0)
        return E_INVALIDARG;
    std::string path = Bstr(newVal).Utf8();
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Missing) {
        std::string message = "File nor found (\"" + path + "\")";
        return Fail(message.c_str(), E_INVALIDARG);
    }
    // A folder goes on to the editor, which cannot open it; a pipe or a device is never
    // handed to it.
    if (kind == PathKind::Other)
        return Fail(NotRegularFileText(path).c_str(), E_INVALIDARG);
    HRESULT hr = WMCreateEditor(&editor);
    if (FAILED(hr))
        return Fail("WMCreateEditor failed", hr);
    hr = editor->Open(newVal);
    if (FAILED(hr)) {
        std::string message = "Could not open file (\"" + path + "\")";
        Fail(message.c_str(), hr);
        Close();
        return hr;
    }
    hr = editor.As(&header);
    if (FAILED(hr)) {
        Fail("Could not obtain the IWMHeaderInfo interface pointer", hr);
        Close();
        return hr;
    }
    filePath = Bstr(std::u16string_view(newVal, SysStringLen(newVal)));
    return S_OK;
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_FilePath");
}

HRESULT ClipAttributesEditor::ReadAttribute(const char16_t* name, BSTR* value)
{
    if (!value)
        return E_POINTER;
    if (!IsOpen())
        return Fail("No file is open", E_FAIL);
    *value = nullptr;
    std::vector<BYTE> buffer;
    buffer.resize(kValueBufferBytes);
    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD length = kValueBufferBytes;
    HRESULT hr = header->GetAttributeByName(&stream, name, &type, buffer.data(), &length);
    if (hr == ASF_E_NOTFOUND)
        return S_FALSE;
    if (FAILED(hr))
        return hr;
    if (type == WMT_TYPE_STRING && length >= sizeof(OLECHAR)) {
        UINT units = length / sizeof(OLECHAR) - 1; // the value without its terminator
        *value = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(buffer.data()), units);
        if (!*value)
            return E_OUTOFMEMORY;
    }
    return hr;
}

HRESULT ClipAttributesEditor::WriteAttribute(const char16_t* name, BSTR value)
{
    if (!IsOpen())
        return Fail("No file is open", E_FAIL);
    if (!value)
        return DeleteAttribute(name);
    if (value[0] == u'\0')
        return Fail("Attribute value cannot be set to an empty string\n Use NULL to clear the "
                    "attribute",
                    E_FAIL);
    size_t units = std::char_traits<char16_t>::length(value);
    // The header stores the value with its terminator behind a 16-bit byte length.
    if ((units + 1) * sizeof(OLECHAR) > 0xFFFF)
        return E_INVALIDARG;
    HRESULT hr =
        header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(value),
                             WORD(units * sizeof(OLECHAR)));
    if (FAILED(hr))
        return hr;
    return Save();
}

HRESULT ClipAttributesEditor::Save()
{
    HRESULT hr = editor->Flush();
    if (SUCCEEDED(hr))
        return hr;
    // The file kept its old header; reading it again keeps the values we answer equal to what
    // the file holds, so that a later write does not quietly save this one too.
    editor->Close();
    if (FAILED(editor->Open(filePath.Get())))
        Close();
    return hr;
}

HRESULT ClipAttributesEditor::DeleteAttribute(const char16_t* name)
{
    ComPtr<IWMHeaderInfo3> header3;
    HRESULT hr = header.As(&header3);
    if (FAILED(hr))
        return Fail("Could not obtain the IWMHeaderInfo3 interface pointer", hr);
    WORD count = 0;
    hr = header3->GetAttributeIndices(0, name, nullptr, nullptr, &count);
    if (FAILED(hr))
        return hr;
    if (count == 0)
        return S_FALSE;
    std::vector<WORD> indices;
    indices.resize(count);
    hr = header3->GetAttributeIndices(0, name, nullptr, indices.data(), &count);
    if (FAILED(hr))
        return hr;
    indices.resize(count);
    // Highest first, so that every removal leaves the indices still to remove valid.
    std::sort(indices.begin(), indices.end(), std::greater<WORD>());
    HRESULT removal = S_OK;
    for (WORD index : indices) {
        removal = header3->DeleteAttribute(0, index);
        if (FAILED(removal))
            break;
    }
    HRESULT flush = Save();
    return FAILED(removal) ? removal : flush;
}

HRESULT ClipAttributesEditor::get_Author(BSTR* pVal)
try {
    return ReadAttribute(u"Author", pVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_Author");
}

HRESULT ClipAttributesEditor::put_Author(BSTR newVal)
try {
    return WriteAttribute(u"Author", newVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_Author");
}

HRESULT ClipAttributesEditor::get_Copyright(BSTR* pVal)
try {
    return ReadAttribute(u"Copyright", pVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_Copyright");
}

HRESULT ClipAttributesEditor::put_Copyright(BSTR newVal)
try {
    return WriteAttribute(u"Copyright", newVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_Copyright");
}

HRESULT ClipAttributesEditor::get_Description(BSTR* pVal)
try {
    return ReadAttribute(u"Description", pVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_Description");
}

HRESULT ClipAttributesEditor::put_Description(BSTR newVal)
try {
    return WriteAttribute(u"Description", newVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_Description");
}

HRESULT ClipAttributesEditor::get_Rating(BSTR* pVal)
try {
    return ReadAttribute(u"Rating", pVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_Rating");
}

HRESULT ClipAttributesEditor::put_Rating(BSTR newVal)
try {
    return WriteAttribute(u"Rating", newVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_Rating");
}

HRESULT ClipAttributesEditor::get_Title(BSTR* pVal)
try {
    return ReadAttribute(u"Title", pVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::get_Title");
}

HRESULT ClipAttributesEditor::put_Title(BSTR newVal)
try {
    return WriteAttribute(u"Title", newVal);
} catch (...) {
    return GuardedResult("ClipAttributesEditor::put_Title");
}
