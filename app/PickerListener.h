// What the recorder form hears of the pickers: a selection the user made.
#pragma once

class PickerCombo;

class PickerListener
{
public:
    // The user chose another item of picker (also called after the picker refills itself).
    virtual void OnSelectionChanged(PickerCombo* picker) = 0;

protected:
    ~PickerListener() = default;
};
