// The list of one capture source's pins, by identifier: its input pins (the recording lines)
// or its output pins.
#pragma once

#include <vector>

#include "PickerCombo.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

class PinPicker : public PickerCombo
{
    Q_OBJECT

public:
    enum class Mode
    {
        InputPins,
        OutputPins
    };

    explicit PinPicker(Mode mode = Mode::InputPins, QWidget* parent = nullptr);
    ~PinPicker() override;

    void Clear() override;
    // Lists source's pins (none for a null source), selects the first and answers how many.
    int Fill(IAudioCaptureSourceInfo* source);
    // Selects the pin called exactly id; answers its index or -1.
    int SelectById(BSTR id);
    // The selected pin's identifier, or null while the list is disabled.
    Bstr SelectedId() const;

protected:
    void OnSelectionChange() override;

private:
    Mode mode;
    ComPtr<IAudioCaptureSourceInfo> source;
    std::vector<Bstr> pins;
};
