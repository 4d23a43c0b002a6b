// Reads and writes the five descriptive header attributes of a Windows Media file.
// Apartment object: every method runs on the thread that created it.
#pragma once

#include "EngineObject.h"
#include "corvane_dispatch.h"

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
    // FIXME: the members of this class come with its behaviour.
};
