#include "PickerCombo.h"

PickerCombo::PickerCombo(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &PickerCombo::OnActivated);
}

void PickerCombo::Clear()
{
    clear();
    reportedIndex = -1;
    setEnabled(false);
}

void PickerCombo::NotifyListener()
{
    if (listener)
        listener->OnSelectionChanged(this);
}

void PickerCombo::SelectQuietly(int index)
{
    setCurrentIndex(index);
    reportedIndex = currentIndex();
}

int PickerCombo::SelectedDataIndex(size_t itemCount) const
{
    int index = currentIndex();
    if (!isEnabled() || index < 0 || size_t(index) >= itemCount)
        return -1;
    return index;
}

void PickerCombo::OnActivated(int index)
{
    // Choosing the item that is already selected changes nothing, and a single item leaves
    // nothing to choose.
    if (count() < 2 || index == reportedIndex)
        return;
    reportedIndex = index;
    OnSelectionChange();
}
