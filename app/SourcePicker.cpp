#include "SourcePicker.h"

#include "PickerCatalogue.h"
#include "PinPicker.h"
#include "WaitCursor.h"
#include "com/ComApi.h"

namespace {

Bstr FriendlyName(IAudioCaptureSourceInfo* source)
{
    Bstr name;
    if (FAILED(source->get_FriendlyName(name.Out())))
        return {};
    return name;
}

} // namespace

SourcePicker::SourcePicker(PinPicker* pins, QWidget* parent) : PickerCombo(parent), pins(pins) {}

SourcePicker::~SourcePicker()
{
    Clear();
}

void SourcePicker::Clear()
{
    PickerCombo::Clear();
    sources.clear();
}

void SourcePicker::Fill(BSTR name)
{
    Clear();
    {
        WaitCursor wait;
        sources = QueryCaptureSources();
        // Friendly names compare as UTF-16 code units, upper case before lower case.
        BubbleSort<ComPtr<IAudioCaptureSourceInfo>>(
            sources, [](const auto& later, const auto& earlier) {
                Bstr a;
                Bstr b;
                return SUCCEEDED(later->get_FriendlyName(a.Out())) &&
                       SUCCEEDED(earlier->get_FriendlyName(b.Out())) && a.View() < b.View();
            });
        for (const ComPtr<IAudioCaptureSourceInfo>& source : sources)
            addItem(QString::fromStdU16String(std::u16string(FriendlyName(source.Get()).View())));
        SetErrorInfo(0, nullptr);
    }
    if (!sources.empty()) {
        setEnabled(true);
        if (SelectByName(name) < 0)
            SelectQuietly(0);
    } else {
        addItem(QStringLiteral("No audio capture sources found"));
        SelectQuietly(0);
        setEnabled(false);
    }
    OnSelectionChange();
}

int SourcePicker::SelectByName(BSTR name)
{
    if (SysStringLen(name) == 0)
        return -1;
    std::u16string_view wanted(name, SysStringLen(name));
    for (size_t i = 0; i < sources.size(); ++i) {
        if (FriendlyName(sources[i].Get()).View() == wanted) {
            SelectQuietly(int(i));
            return int(i);
        }
    }
    return -1;
}

Bstr SourcePicker::SelectedName() const
{
    int index = SelectedDataIndex(sources.size());
    if (index < 0)
        return {};
    return FriendlyName(sources[size_t(index)].Get());
}

void SourcePicker::OnSelectionChange()
{
    NotifyListener();
    if (pins) {
        int index = currentIndex();
        bool valid = index >= 0 && size_t(index) < sources.size();
        pins->Fill(valid ? sources[size_t(index)].Get() : nullptr);
    }
}
