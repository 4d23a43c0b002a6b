// The encoding profile list of one profile version, sorted by bit rate, with the selected
// profile's description shown in a DescriptionPanel.
#pragma once

#include <QPointer>
#include <vector>

#include "PickerCombo.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

#include "DescriptionPanel.h"

class ProfilePicker : public PickerCombo
{
    Q_OBJECT

public:
    explicit ProfilePicker(QWidget* parent = nullptr);
    ~ProfilePicker() override;

    void Clear() override;
    // Lists the profiles of version (none for wm_profile_ver_invalid) and selects the first.
    void Fill(wm_profile_version version);
    // Selects the profile whose Id is id; answers its index or -1.
    int SelectById(BSTR id);
    // The selected profile's Id, or null while the list is disabled.
    Bstr SelectedId() const;
    // The selected profile's bit rate, or 0; whether the list is enabled does not matter.
    LONG SelectedBitrate() const;
    // Shows the selected profile's description in the linked panel.
    void UpdateDescription();
    // The panel that shows the description, or none; it is dropped when it goes away.
    void SetDescriptionPanel(DescriptionPanel* panel) { description = panel; }

protected:
    void OnSelectionChange() override;

private:
    IWMAProfileInfo* SelectedProfile() const;

    std::vector<ComPtr<IWMAProfileInfo>> profiles;
    QPointer<DescriptionPanel> description;
};
