// The capture source list, sorted by friendly name, which refills its PinPicker on every
// change.
#pragma once

#include <vector>

#include "PickerCombo.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

class PinPicker;

class SourcePicker : public PickerCombo
{
    Q_OBJECT

public:
    explicit SourcePicker(PinPicker* pins, QWidget* parent = nullptr);
    ~SourcePicker() override;

    void Clear() override;
    // Lists the capture sources and selects name (the first when it is missing).
    void Fill(BSTR name);
    // Selects the source called exactly name; answers its index or -1.
    int SelectByName(BSTR name);
    // The selected source's friendly name, or null while the list is disabled.
    Bstr SelectedName() const;

protected:
    void OnSelectionChange() override;

private:
    std::vector<ComPtr<IAudioCaptureSourceInfo>> sources;
    PinPicker* pins;
};
