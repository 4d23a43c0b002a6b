#include "ProfilePicker.h"

#include <QGuiApplication>

#include "DescriptionPanel.h"
#include "PickerCatalogue.h"
#include "WaitCursor.h"
#include "com/ComApi.h"

ProfilePicker::ProfilePicker(QWidget* parent) : PickerCombo(parent) {}

ProfilePicker::~ProfilePicker()
{
    Clear();
}

void ProfilePicker::Clear()
{
    PickerCombo::Clear();
    profiles.clear();
}

void ProfilePicker::Fill(wm_profile_version version)
{
    Clear();
    if (version != wm_profile_ver_invalid) {
        WaitCursor wait;
        profiles = QueryProfiles(version);
        BubbleSort<ComPtr<IWMAProfileInfo>>(profiles, [](const auto& later, const auto& earlier) {
            LONG a = 0;
            LONG b = 0;
            return SUCCEEDED(later->get_Bitrate(&a)) && SUCCEEDED(earlier->get_Bitrate(&b)) &&
                   a < b;
        });
        for (const ComPtr<IWMAProfileInfo>& profile : profiles) {
            Bstr name;
            profile->get_Name(name.Out());
            addItem(QString::fromStdU16String(std::u16string(name.View())));
        }
        SetErrorInfo(0, nullptr);
    }
    if (profiles.empty()) {
        addItem(QStringLiteral("No profiles found"));
        setEnabled(false);
    } else {
        setEnabled(true);
    }
    SelectQuietly(0);
    UpdateDescription();
    OnSelectionChange();
}

int ProfilePicker::SelectById(BSTR id)
{
    if (SysStringLen(id) == 0)
        return -1;
    std::u16string_view wanted(id, SysStringLen(id));
    for (size_t i = 0; i < profiles.size(); ++i) {
        Bstr itemId;
        if (SUCCEEDED(profiles[i]->get_Id(itemId.Out())) && itemId.View() == wanted) {
            SelectQuietly(int(i));
            UpdateDescription();
            return int(i);
        }
    }
    SetErrorInfo(0, nullptr);
    return -1;
}

IWMAProfileInfo* ProfilePicker::SelectedProfile() const
{
    int index = currentIndex();
    if (index < 0 || size_t(index) >= profiles.size())
        return nullptr;
    return profiles[size_t(index)].Get();
}

Bstr ProfilePicker::SelectedId() const
{
    int index = SelectedDataIndex(profiles.size());
    Bstr id;
    if (index < 0 || FAILED(profiles[size_t(index)]->get_Id(id.Out())))
        return {};
    return id;
}

LONG ProfilePicker::SelectedBitrate() const
{
    LONG bitrate = 0;
    IWMAProfileInfo* profile = SelectedProfile();
    if (!profile || FAILED(profile->get_Bitrate(&bitrate)))
        return 0;
    return bitrate;
}

void ProfilePicker::UpdateDescription()
{
    if (!description)
        return;
    Bstr text;
    IWMAProfileInfo* profile = SelectedProfile();
    if (!profile || FAILED(profile->get_Description(text.Out())))
        text.Reset();
    description->setText(QString::fromStdU16String(std::u16string(text.View())));
}

void ProfilePicker::OnSelectionChange()
{
    UpdateDescription();
    NotifyListener();
}
