#include "VersionPicker.h"

#include "ProfilePicker.h"

namespace {

// Version 9 has no single-stream audio profiles for capture, so it is not offered.
constexpr struct
{
    const char* text;
    wm_profile_version version;
} kVersions[] = {
    {"4", wm_profile_ver_4_0},
    {"7", wm_profile_ver_7_0},
    {"8", wm_profile_ver_8_0},
};

} // namespace

VersionPicker::VersionPicker(ProfilePicker* profiles, QWidget* parent)
    : PickerCombo(parent), profiles(profiles)
{
}

void VersionPicker::Fill(wm_profile_version version)
{
    Clear();
    for (const auto& entry : kVersions)
        addItem(QString::fromLatin1(entry.text), QVariant::fromValue(int(entry.version)));
    setEnabled(true);
    if (SelectByValue(version) < 0)
        SelectQuietly(0);
    OnSelectionChange();
}

int VersionPicker::SelectByValue(wm_profile_version version)
{
    int index = version > 0 ? findData(QVariant::fromValue(int(version))) : -1;
    if (index >= 0)
        SelectQuietly(index);
    return index;
}

wm_profile_version VersionPicker::Selected() const
{
    if (!isEnabled() || currentIndex() < 0)
        return wm_profile_ver_invalid;
    return static_cast<wm_profile_version>(currentData().toInt());
}

void VersionPicker::OnSelectionChange()
{
    if (profiles)
        profiles->Fill(Selected());
}
