// The profile version list ("4", "7", "8"), which refills its ProfilePicker on every change.
#pragma once

#include "PickerCombo.h"
#include "corvane.h"

class ProfilePicker;

class VersionPicker : public PickerCombo
{
    Q_OBJECT

public:
    explicit VersionPicker(ProfilePicker* profiles, QWidget* parent = nullptr);

    // Lists the versions, selects version (the first when it is not offered) and refills the
    // profile list for it.
    void Fill(wm_profile_version version);
    // The index of version, or -1.
    int SelectByValue(wm_profile_version version);
    // The selected version, or wm_profile_ver_invalid while the list is disabled.
    wm_profile_version Selected() const;

protected:
    void OnSelectionChange() override;

private:
    ProfilePicker* profiles;
};
