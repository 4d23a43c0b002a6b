// The four pickers filled from the real engine's catalogues on the private test audio server
// and virtual devices, and chosen from as a user does, with the keyboard.
#include <QTest>
#include <vector>

#include "AppTestEnvironment.h"
#include "AudioServer.h"
#include "DescriptionPanel.h"
#include "PickerCatalogue.h"
#include "PinPicker.h"
#include "ProfilePicker.h"
#include "SourcePicker.h"
#include "VersionPicker.h"
#include "VirtualDevices.h"
#include "com/Bstr.h"

namespace {

// Writes down each selection with what the picker then answers.
class SelectionLog : public PickerListener
{
public:
    struct Entry
    {
        PickerCombo* picker;
        std::string selected;
        bool none;
    };
    std::vector<Entry> entries;

    void OnSelectionChanged(PickerCombo* picker) override
    {
        Bstr value;
        if (auto* profiles = dynamic_cast<ProfilePicker*>(picker))
            value = profiles->SelectedId();
        else if (auto* sources = dynamic_cast<SourcePicker*>(picker))
            value = sources->SelectedName();
        else if (auto* pins = dynamic_cast<PinPicker*>(picker))
            value = pins->SelectedId();
        entries.push_back({picker, value.Utf8(), value.Get() == nullptr});
    }
};

std::vector<std::string> Items(const QComboBox& list)
{
    std::vector<std::string> items;
    for (int i = 0; i < list.count(); ++i)
        items.push_back(list.itemText(i).toStdString());
    return items;
}

std::string ProfileText(IWMAProfileInfo* profile, HRESULT (IWMAProfileInfo::*get)(BSTR*))
{
    Bstr text;
    (profile->*get)(text.Out());
    return text.Utf8();
}

class PickersTest : public AudioAppTest
{
protected:
    void SetUp() override
    {
        AudioAppTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        profiles.SetDescriptionPanel(&description);
        description.resize(300, 40);
    }

    VirtualDevices devices{kVirtualDeviceText};
    SelectionLog log;
    DescriptionPanel description;
    ProfilePicker profiles;
    VersionPicker versions{&profiles};
    PinPicker pins;
    SourcePicker sources{&pins};
};

} // namespace

TEST_F(PickersTest, WithoutAnyCaptureDeviceBothListsShowTheirPlaceholderDisabled)
{
    audio_test::ThrowawayServer empty;
    ASSERT_TRUE(empty.Started());
    std::string saved = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", empty.Address().c_str(), 1);
    VirtualDevices none{""};
    sources.SetListener(&log);
    pins.SetListener(&log);
    sources.Fill(Bstr::FromUtf8("Quillet Virtual Lines").Get());
    setenv("PULSE_SERVER", saved.c_str(), 1);

    EXPECT_EQ(Items(sources), (std::vector<std::string>{"No audio capture sources found"}));
    EXPECT_FALSE(sources.isEnabled());
    EXPECT_EQ(Items(pins), (std::vector<std::string>{"No input pins found"}));
    EXPECT_FALSE(pins.isEnabled());
    // Both report, but with nothing selected, so the form has nothing to hand the engine.
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_TRUE(log.entries[0].none);
    EXPECT_TRUE(log.entries[1].none);
    EXPECT_EQ(sources.SelectedName().Get(), nullptr);
    EXPECT_EQ(pins.SelectedId().Get(), nullptr);
}

TEST_F(PickersTest, SourcesSortByFriendlyNameAndAMissingNameSelectsTheFirst)
{
    sources.Fill(Bstr::FromUtf8("A source unplugged since").Get());
    std::vector<std::string> items = Items(sources);
    ASSERT_GE(items.size(), 3u);
    std::vector<std::u16string> names;
    for (int i = 0; i < sources.count(); ++i)
        names.push_back(sources.itemText(i).toStdU16String());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end())) << ::testing::PrintToString(items);
    EXPECT_EQ(sources.currentIndex(), 0);
    EXPECT_EQ(sources.SelectedName().Utf8(), items[0]);

    // A stored name that exists is selected, and its lines, sorted, fill the pin list.
    sources.Fill(Bstr::FromUtf8("Quillet Virtual Lines").Get());
    EXPECT_EQ(sources.SelectedName().Utf8(), "Quillet Virtual Lines");
    EXPECT_EQ(Items(pins), (std::vector<std::string>{"CD Audio", "Line In", "Microphone"}));
    EXPECT_EQ(pins.SelectedId().Utf8(), "CD Audio");
    EXPECT_EQ(pins.SelectById(Bstr::FromUtf8("Microphone").Get()), 2);
    EXPECT_EQ(pins.SelectById(Bstr::FromUtf8("microphone").Get()), -1);
    EXPECT_EQ(pins.SelectById(nullptr), -1);
    EXPECT_EQ(sources.SelectByName(Bstr::FromUtf8("quillet virtual lines").Get()), -1);
}

TEST_F(PickersTest, ProfilesSortByBitrateAndEqualRatesKeepTheCataloguesOrder)
{
    bool sawEqualRates = false;
    for (wm_profile_version version :
         {wm_profile_ver_4_0, wm_profile_ver_7_0, wm_profile_ver_8_0}) {
        std::vector<ComPtr<IWMAProfileInfo>> catalogue = QueryProfiles(version);
        ASSERT_FALSE(catalogue.empty());
        profiles.Fill(version);
        ASSERT_EQ(size_t(profiles.count()), catalogue.size());
        // What the list should hold: the catalogue, stably sorted by bit rate.
        std::vector<std::pair<LONG, std::string>> expected;
        for (const auto& profile : catalogue) {
            LONG rate = 0;
            profile->get_Bitrate(&rate);
            expected.emplace_back(rate, ProfileText(profile.Get(), &IWMAProfileInfo::get_Name));
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(profiles.itemText(int(i)).toStdString(), expected[i].second) << i;
            sawEqualRates |= i > 0 && expected[i].first == expected[i - 1].first;
        }
        EXPECT_EQ(profiles.SelectedBitrate(), expected[0].first);
    }
    EXPECT_TRUE(sawEqualRates) << "no two profiles of one version share a bit rate";
    // A list that cannot be filled offers a placeholder and no selection; the bit rate of the
    // selected item is still read when the list is disabled, and the placeholder has none.
    profiles.Fill(wm_profile_ver_invalid);
    EXPECT_EQ(Items(profiles), (std::vector<std::string>{"No profiles found"}));
    EXPECT_FALSE(profiles.isEnabled());
    EXPECT_EQ(profiles.SelectedId().Get(), nullptr);
    EXPECT_EQ(profiles.SelectedBitrate(), 0);
}

TEST_F(PickersTest, ChoosingVersionSevenHandsTheLowestProfileToTheListener)
{
    profiles.SetListener(&log);
    versions.Fill(wm_profile_ver_8_0);
    EXPECT_EQ(Items(versions), (std::vector<std::string>{"4", "7", "8"}));
    versions.Fill(wm_profile_ver_8_0);
    EXPECT_EQ(versions.count(), 3);
    EXPECT_EQ(versions.Selected(), wm_profile_ver_8_0);
    log.entries.clear();

    versions.show();
    versions.activateWindow();
    versions.setFocus();
    QTest::keyClick(&versions, Qt::Key_Up); // from "8" to "7"
    ASSERT_EQ(versions.Selected(), wm_profile_ver_7_0);

    std::vector<ComPtr<IWMAProfileInfo>> catalogue = QueryProfiles(wm_profile_ver_7_0);
    LONG lowest = INT32_MAX;
    std::string lowestId;
    for (const auto& profile : catalogue) {
        LONG rate = 0;
        profile->get_Bitrate(&rate);
        if (rate < lowest) {
            lowest = rate;
            lowestId = ProfileText(profile.Get(), &IWMAProfileInfo::get_Id);
        }
    }
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].picker, &profiles);
    EXPECT_EQ(log.entries[0].selected, lowestId);
    EXPECT_EQ(profiles.SelectedBitrate(), lowest);
}

TEST_F(PickersTest, TheDescriptionFollowsTheSelectedProfile)
{
    profiles.Fill(wm_profile_ver_8_0);
    std::vector<ComPtr<IWMAProfileInfo>> catalogue = QueryProfiles(wm_profile_ver_8_0);
    // The last profile of the sorted list is not the first one.
    IWMAProfileInfo* chosen = nullptr;
    LONG highest = -1;
    for (const auto& profile : catalogue) {
        LONG rate = 0;
        profile->get_Bitrate(&rate);
        if (rate > highest) {
            highest = rate;
            chosen = profile.Get();
        }
    }
    Bstr id;
    chosen->get_Id(id.Out());
    EXPECT_GT(profiles.SelectById(id.Get()), 0);
    EXPECT_EQ(description.text().toStdString(),
              ProfileText(chosen, &IWMAProfileInfo::get_Description));
    EXPECT_EQ(profiles.SelectedId().Utf8(), id.Utf8());
    EXPECT_EQ(profiles.SelectById(nullptr), -1);
    EXPECT_EQ(profiles.SelectById(Bstr::FromUtf8("").Get()), -1);
}

TEST_F(PickersTest, AListWithASingleItemNeverReportsAChange)
{
    sources.Fill(Bstr::FromUtf8("Quillet Virtual Plain").Get());
    ASSERT_EQ(pins.count(), 1);
    pins.SetListener(&log);
    pins.show();
    pins.activateWindow();
    pins.setFocus();
    QTest::keyClick(&pins, Qt::Key_Down);
    QTest::keyClick(&pins, Qt::Key_Up);
    EXPECT_TRUE(log.entries.empty());

    // With several lines a change is reported once, and choosing the same line again is none.
    sources.Fill(Bstr::FromUtf8("Quillet Virtual Lines").Get());
    log.entries.clear();
    QTest::keyClick(&pins, Qt::Key_Down);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].selected, "Line In");
}
