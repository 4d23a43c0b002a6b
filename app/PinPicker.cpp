#include "PinPicker.h"

#include "PickerCatalogue.h"
#include "com/ComApi.h"

PinPicker::PinPicker(Mode mode, QWidget* parent) : PickerCombo(parent), mode(mode) {}

PinPicker::~PinPicker()
{
    Clear();
}

void PinPicker::Clear()
{
    PickerCombo::Clear();
    pins.clear();
    source.Reset();
}

int PinPicker::Fill(IAudioCaptureSourceInfo* newSource)
{
    Clear();
    source = newSource;
    if (source) {
        bool inputs = mode == Mode::InputPins;
        LONG count = 0;
        if (SUCCEEDED(inputs ? source->get_InputPinsCount(&count)
                             : source->get_OutputPinsCount(&count))) {
            for (LONG i = 0; i < count; ++i) {
                Bstr id;
                HRESULT hr = inputs ? source->get_InputPinId(i, id.Out())
                                    : source->get_OutputPinId(i, id.Out());
                if (SUCCEEDED(hr) && !id.Empty())
                    pins.push_back(std::move(id));
            }
        }
        SetErrorInfo(0, nullptr);
        // Identifiers compare byte by byte in the program's multibyte text, which is UTF-8.
        BubbleSort<Bstr>(pins, [](const Bstr& later, const Bstr& earlier) {
            return later.Utf8() < earlier.Utf8();
        });
    }
    for (const Bstr& id : pins)
        addItem(QString::fromStdU16String(std::u16string(id.View())));
    if (pins.empty()) {
        addItem(mode == Mode::InputPins ? QStringLiteral("No input pins found")
                                        : QStringLiteral("No output pins found"));
        setEnabled(false);
    } else {
        setEnabled(true);
    }
    SelectQuietly(0);
    OnSelectionChange();
    return int(pins.size());
}

int PinPicker::SelectById(BSTR id)
{
    if (SysStringLen(id) == 0)
        return -1;
    std::u16string_view wanted(id, SysStringLen(id));
    for (size_t i = 0; i < pins.size(); ++i) {
        if (pins[i].View() == wanted) {
            SelectQuietly(int(i));
            return int(i);
        }
    }
    return -1;
}

Bstr PinPicker::SelectedId() const
{
    int index = SelectedDataIndex(pins.size());
    if (index < 0)
        return {};
    return pins[size_t(index)];
}

void PinPicker::OnSelectionChange()
{
    NotifyListener();
}
