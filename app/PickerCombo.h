// The base of the recorder form's four drop-down lists: a non-editable list that fills itself
// from the engine's catalogues and tells a PickerListener what the user chose. User-interface
// thread only.
#pragma once

#include <QComboBox>

#include "PickerListener.h"

class PickerCombo : public QComboBox
{
    Q_OBJECT

public:
    explicit PickerCombo(QWidget* parent = nullptr);

    // Empties and disables the list; pickers free what their items hold first.
    virtual void Clear();
    // The listener to tell of selections, or none.
    void SetListener(PickerListener* newListener) { listener = newListener; }

protected:
    // What the picker does when its selection changes, by the user or after a fill.
    virtual void OnSelectionChange() = 0;
    // Tells the listener, when there is one.
    void NotifyListener();
    // Selects index without reporting it as the user's choice.
    void SelectQuietly(int index);
    // The index of the selected item that holds data, or -1 (none, or a placeholder).
    int SelectedDataIndex(size_t itemCount) const;

private:
    void OnActivated(int index);

    PickerListener* listener = nullptr;
    int reportedIndex = -1;
};
