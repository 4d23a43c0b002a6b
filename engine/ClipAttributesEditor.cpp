#include "ClipAttributesEditor.h"

#include "com/DebugLog.h"

namespace {
// Members whose behaviour is not built yet say so instead of pretending to succeed.
HRESULT NotBuilt(const char* member)
{
    QUILLET_LOG("engine", "ClipAttributesEditor::%s is not built yet", member);
    return E_NOTIMPL;
}
} // namespace

ClipAttributesEditor::ClipAttributesEditor(IUnknown* outer, ModuleLock* module)
    : EngineObject(outer, module)
{
}

ClipAttributesEditor::~ClipAttributesEditor() = default;

HRESULT ClipAttributesEditor::Close()
{
    return NotBuilt("Close");
}

HRESULT ClipAttributesEditor::get_FilePath(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_FilePath");
}

HRESULT ClipAttributesEditor::put_FilePath(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_FilePath");
}

HRESULT ClipAttributesEditor::get_Author(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Author");
}

HRESULT ClipAttributesEditor::put_Author(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_Author");
}

HRESULT ClipAttributesEditor::get_Copyright(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Copyright");
}

HRESULT ClipAttributesEditor::put_Copyright(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_Copyright");
}

HRESULT ClipAttributesEditor::get_Description(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Description");
}

HRESULT ClipAttributesEditor::put_Description(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_Description");
}

HRESULT ClipAttributesEditor::get_Rating(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Rating");
}

HRESULT ClipAttributesEditor::put_Rating(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_Rating");
}

HRESULT ClipAttributesEditor::get_Title(BSTR* pVal)
{
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return NotBuilt("get_Title");
}

HRESULT ClipAttributesEditor::put_Title(BSTR newVal)
{
    (void)newVal;
    return NotBuilt("put_Title");
}
