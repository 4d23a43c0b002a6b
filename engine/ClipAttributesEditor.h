// Reads and writes the five descriptive header attributes of a Windows Media file. Every write
// is saved to the file at once.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane_dispatch.h"
#include "wmf/Wmf.h"

class ClipAttributesEditor final
    : public EngineObject<IClipAttributesEditor, SupportsErrorInfo<IClipAttributesEditor>>
{
public:
    ClipAttributesEditor(IUnknown* outer, ModuleLock* module);
    ~ClipAttributesEditor() override;

    // IClipAttributesEditor
    HRESULT Close() override;
    HRESULT get_FilePath(BSTR* pVal) override;
    HRESULT put_FilePath(BSTR newVal) override;
    HRESULT get_Author(BSTR* pVal) override;
    HRESULT put_Author(BSTR newVal) override;
    HRESULT get_Copyright(BSTR* pVal) override;
    HRESULT put_Copyright(BSTR newVal) override;
    HRESULT get_Description(BSTR* pVal) override;
    HRESULT put_Description(BSTR newVal) override;
    HRESULT get_Rating(BSTR* pVal) override;
    HRESULT put_Rating(BSTR newVal) override;
    HRESULT get_Title(BSTR* pVal) override;
    HRESULT put_Title(BSTR newVal) override;

private:
    HRESULT Fail(const char* text, HRESULT hr);
    HRESULT ReadAttribute(const char16_t* name, BSTR* value);
    HRESULT WriteAttribute(const char16_t* name, BSTR value);
    // Removes every instance of the attribute, in every language.
    HRESULT DeleteAttribute(const char16_t* name);
    // Flushes the editor. A failed save leaves the file as it was, and the editor is opened on
    // it again so that it answers what the file holds; the failure is returned.
    HRESULT Save();
    bool IsOpen() const { return !filePath.Empty(); }

    Bstr filePath; // set only once the editor and the header were obtained
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo> header;
};
