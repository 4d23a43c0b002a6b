// The recorder form driven as a user drives it, with clicks and typing, on the real engine and
// the private test audio server; message boxes are answered by a script.
#include "RecorderForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "FormTestSupport.h"
#include "OutputPathEdit.h"
#include "PickerCatalogue.h"
#include "PinPicker.h"
#include "ProfilePicker.h"
#include "SignalAnalysis.h"
#include "SignalGraph.h"
#include "SkinnedButton.h"
#include "SourcePicker.h"
#include "VersionPicker.h"

namespace {

using namespace std::chrono_literals;

class RecorderFormTest : public FormTest
{
protected:
    void TearDown() override
    {
        form.reset();
        FormTest::TearDown();
    }

    void StartForm()
    {
        form = std::make_unique<RecorderForm>(*settings, boxes);
        form->Create();
        form->show();
    }
    template <class T> T* Get(int id) { return Control<T>(form.get(), id); }
    SkinnedButton* Button(int id) { return Get<SkinnedButton>(id); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    void TypePath(const std::string& path)
    {
        auto* field = Get<OutputPathEdit>(1019);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, QString::fromStdString(path));
    }
    // Chooses an item as a user does from the keyboard: one key press onto it.
    static void Choose(QComboBox* list, int index)
    {
        ASSERT_GE(index, 0);
        ASSERT_GT(list->count(), 1);
        int from = index > 0 ? index - 1 : index + 1;
        list->setCurrentIndex(from);
        list->setFocus();
        QTest::keyClick(list, index > from ? Qt::Key_Down : Qt::Key_Up);
    }
    SignalGraph* Graph() { return form->findChild<SignalGraph*>(); }
    bool Running() { return form->Capture().GetState() == dsg_running; }
    bool Stopped()
    {
        return form->Capture().GetState() == dsg_stopped && Button(1017) &&
               !Button(1017)->isEnabled();
    }
    std::string Text(int id) { return Get<QLabel>(id)->text().toStdString(); }
    // The pickers and the output field, enabled or not, all alike.
    bool ChoicesEnabled()
    {
        bool enabled = Get<QWidget>(1019)->isEnabled();
        for (int id : {1007, 1008, 1009, 1030})
            EXPECT_EQ(Get<QWidget>(id)->isEnabled(), enabled) << id;
        return enabled;
    }
    void SeedLimit(bool on, uint32_t kb)
    {
        settings->SetFileSizeLimitValue(kb);
        settings->SetApplyFileSizeLimit(on);
    }
    // A profile of the given bit rate, by Id.
    static Bstr ProfileWithBitrate(LONG rate)
    {
        for (wm_profile_version version : {wm_profile_ver_8_0, wm_profile_ver_7_0})
            for (const auto& profile : QueryProfiles(version)) {
                LONG bitrate = 0;
                Bstr id;
                if (SUCCEEDED(profile->get_Bitrate(&bitrate)) && bitrate == rate &&
                    SUCCEEDED(profile->get_Id(id.Out())))
                    return id;
            }
        return {};
    }

    std::unique_ptr<RecorderForm> form;
};

double DecodedDuration(const std::string& path)
{
    return std::atof(audio_test::Shell("ffprobe -v error -show_entries format=duration -of "
                                       "csv=p=0 '" +
                                       path + "'")
                         .c_str());
}

std::vector<int16_t> DecodedMono(const std::string& path, uint32_t rate)
{
    std::string raw = path + ".raw";
    audio_test::Shell("ffmpeg -nostdin -v error -y -i '" + path + "' -f s16le -ac 1 -ar " +
                      std::to_string(rate) + " '" + raw + "'");
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

} // namespace

TEST_F(RecorderFormTest, RecordsPausesAndStopsThroughTheButtonsAsTheStatesSay)
{
    StartForm();
    // Ready, no clip.
    EXPECT_TRUE(Button(1015)->isEnabled());
    EXPECT_FALSE(Button(1016)->isEnabled());
    EXPECT_FALSE(Button(1017)->isEnabled());
    EXPECT_FALSE(Button(1018)->isEnabled());
    EXPECT_TRUE(ChoicesEnabled());
    EXPECT_FALSE(Get<QProgressBar>(1040)->isVisible());
    EXPECT_FALSE(Graph()->active);
    EXPECT_EQ(Text(1043), "");
    EXPECT_TRUE(boxes.shown.empty());

    std::string path = folder / "take.wma";
    TypePath(path);
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    // Recording.
    EXPECT_TRUE(Button(1015)->GetCheck());
    EXPECT_TRUE(Button(1016)->isEnabled());
    EXPECT_FALSE(Button(1016)->GetCheck());
    EXPECT_TRUE(Button(1017)->isEnabled());
    EXPECT_FALSE(Button(1018)->isEnabled());
    EXPECT_FALSE(ChoicesEnabled());
    EXPECT_TRUE(Graph()->active);
    // The test server's monitor may be idle a while before its first sound.
    ASSERT_TRUE(WaitUntil([&] { return Graph()->Count() > 0; }, 5000ms));
    WaitFor(1500ms);

    Click(1016);
    EXPECT_TRUE(Button(1016)->GetCheck());
    ASSERT_TRUE(WaitUntil([&] { return form->Capture().GetState() == dsg_paused; }, 2000ms));
    // Paused keeps its picture and its buttons.
    EXPECT_TRUE(Graph()->active);
    EXPECT_TRUE(Button(1017)->isEnabled());
    WaitFor(300ms);
    Click(1016);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 2000ms));
    EXPECT_FALSE(Button(1016)->GetCheck());
    WaitFor(1500ms);
    EXPECT_NE(Text(1043).find(" recorded"), std::string::npos) << Text(1043);

    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
    // Ready, clip available.
    EXPECT_TRUE(Button(1015)->isEnabled());
    EXPECT_FALSE(Button(1015)->GetCheck());
    EXPECT_FALSE(Button(1016)->isEnabled());
    EXPECT_TRUE(Button(1018)->isEnabled());
    EXPECT_TRUE(ChoicesEnabled());
    EXPECT_FALSE(Graph()->active);
    EXPECT_EQ(Graph()->Count(), 0u);
    EXPECT_TRUE(form->HasRecordedFile());
    // The info line names the length and the size the file has on disk.
    std::string info = Text(1043);
    EXPECT_NE(info.find("seconds, "), std::string::npos) << info;
    EXPECT_NE(info.find(" KB recorded"), std::string::npos) << info;
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;

    // About three seconds of the server's 440 Hz tone are in the file.
    form.reset();
    EXPECT_NEAR(DecodedDuration(path), 3.0, 0.6);
    EXPECT_NEAR(audio_test::MedianToneFrequency(DecodedMono(path, 48000), 48000), 440.0, 10.0);
    // The choices that made the take are remembered.
    auto stored = ReloadedSettings();
    EXPECT_EQ(stored->OutputPath().Utf8(), path);
    EXPECT_EQ(stored->SourceFilterName().Utf8(), "Monitor of Quillet Test Output");
    EXPECT_EQ(stored->EncodingProfile().Utf8(), "{D508978A-11A0-4D15-B0DA-ACDC99D4F890}");
}

TEST_F(RecorderFormTest, ABlankPathStopsRecordWithAWarningAndFocusesTheField)
{
    StartForm();
    form->activateWindow();
    TypePath("   ");
    Click(1015);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "The output path seems to be invalid - set it, please");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.shown[0].owner, form.get());
    EXPECT_FALSE(Button(1015)->GetCheck());
    EXPECT_EQ(form->focusWidget(), Get<QWidget>(1019));
    EXPECT_EQ(form->Capture().GetState(), dsg_stopped);
}

TEST_F(RecorderFormTest, TheExtensionBecomesWmaWithAMessageUnlessItIsOneAlready)
{
    EXPECT_EQ(RecorderForm::NormaliseOutputPath("  /clips/take1  ").toStdString(),
              "/clips/take1.wma");
    EXPECT_EQ(RecorderForm::NormaliseOutputPath("/clips/take1.mp3").toStdString(),
              "/clips/take1.wma");
    EXPECT_EQ(RecorderForm::NormaliseOutputPath("/clips/take1.WMA").toStdString(),
              "/clips/take1.WMA");
    EXPECT_EQ(RecorderForm::NormaliseOutputPath("/clips.d/take1").toStdString(),
              "/clips.d/take1.wma");
    EXPECT_EQ(RecorderForm::NormaliseOutputPath("   ").toStdString(), "");

    StartForm();
    const struct
    {
        std::string typed;
        std::string recorded;
        bool message;
    } cases[] = {
        {folder / "take1", folder / "take1.wma", true},
        {folder / "take2.mp3", folder / "take2.wma", true},
        {folder / "take3.WMA", folder / "take3.WMA", false},
    };
    for (const auto& c : cases) {
        boxes.shown.clear();
        TypePath(c.typed);
        Click(1015);
        ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms)) << c.typed;
        EXPECT_EQ(Get<QLineEdit>(1019)->text().toStdString(), c.recorded);
        ASSERT_EQ(boxes.shown.size(), c.message ? 1u : 0u) << c.typed;
        if (c.message) {
            EXPECT_EQ(boxes.shown[0].text, "Output file extension was set to \".wma\"");
            EXPECT_EQ(boxes.shown[0].caption, "File extension changed");
            EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
            EXPECT_EQ(boxes.shown[0].owner, nullptr);
        }
        Click(1017);
        ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
        EXPECT_TRUE(std::filesystem::exists(c.recorded)) << c.recorded;
    }
}

TEST_F(RecorderFormTest, TheSaveAsDialogFillsTheFieldAndCancelEmptiesIt)
{
    StartForm();
    auto* field = Get<OutputPathEdit>(1019);
    TypePath(folder / "before.wma");
    std::string seenFilter;
    bool overwriteQuestion = true;
    // The dialog runs its own loop; it is answered from inside it.
    QTimer::singleShot(200, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seenFilter = dialog->nameFilters().join(";").toStdString();
        overwriteQuestion = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->reject();
    });
    emit field->browseRequested();
    EXPECT_EQ(seenFilter, "Windows Media Audio Files (*.wma)");
    EXPECT_FALSE(overwriteQuestion);
    EXPECT_EQ(field->text().toStdString(), "");

    QTimer::singleShot(200, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        // As a user types a name and presses Enter.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(folder / "chosen.ogg"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    emit field->browseRequested();
    EXPECT_EQ(field->text().toStdString(), folder / "chosen.wma");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "File extension changed");
}

TEST_F(RecorderFormTest, TheOverwriteQuestionIsAskedOnlyWhenWantedAndCancelChangesNothing)
{
    std::string path = folder / "exists.wma";
    std::ofstream(path) << "an older take";
    settings->SetOverwriteFilePrompt(true);
    StartForm();
    TypePath(path);
    boxes.answers.push_back(QMessageBox::Cancel);
    Click(1015);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Warning");
    EXPECT_EQ(boxes.shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes.shown[0].text,
              "The file you specified (\"" + path +
                  "\") already exists, if you continue - it will be overwritten\nPush \"OK\" "
                  "button to continue and overwrite the file, or cancel recording and choose "
                  "another path\nYou can disable this warning in the \"Options\" menu");
    WaitFor(200ms);
    EXPECT_FALSE(Button(1015)->GetCheck());
    EXPECT_TRUE(ChoicesEnabled());
    EXPECT_FALSE(Button(1016)->isEnabled());
    EXPECT_EQ(form->Capture().GetState(), dsg_stopped);
    EXPECT_EQ(audio_test::Shell("cat '" + path + "'"), "an older take");

    // OK records over it.
    boxes.shown.clear();
    boxes.answers.push_back(QMessageBox::Ok);
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    EXPECT_EQ(boxes.shown.size(), 1u);
    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));

    // Without the option nobody is asked.
    settings->SetOverwriteFilePrompt(false);
    boxes.shown.clear();
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    EXPECT_TRUE(boxes.shown.empty());
    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
}

TEST_F(RecorderFormTest, TheSizeLimitMovesTheBarAndStopsTheRecordingItsMarginEarly)
{
    // At 32 kbit/s the file may still grow by 8 KB after the report that stops it.
    Bstr rate32 = ProfileWithBitrate(32000);
    ASSERT_NE(rate32.Get(), nullptr);
    settings->SetEncodingProfile(rate32.Get());
    SeedLimit(true, 100);
    StartForm();
    EXPECT_TRUE(Get<QCheckBox>(1025)->isChecked());
    TypePath(folder / "limited.wma");
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    auto* bar = Get<QProgressBar>(1040);
    EXPECT_TRUE(bar->isVisible());
    // The size reports, as the engine sends them.
    form->OnFileSizeProgress(50 * 1024, 0);
    EXPECT_EQ(bar->value(), 50);
    EXPECT_EQ(bar->format().toStdString(), "50%");
    form->OnFileSizeProgress(91 * 1024 + 1023, 0);
    EXPECT_EQ(bar->value(), 91);
    EXPECT_TRUE(Running());
    form->OnFileSizeProgress(92 * 1024, 0);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RecorderFormTest, LimitsWithinTheirMarginStopARealRecordingAtOnce)
{
    for (uint32_t limit : {1u, 4u}) {
        form.reset();
        SeedLimit(true, limit);
        StartForm();
        std::string path = folder / ("small" + std::to_string(limit) + ".wma");
        TypePath(path);
        Click(1015);
        // The first size report would come too late, so the recording stops as it starts.
        ASSERT_TRUE(WaitUntil([&] { return Stopped() && std::filesystem::exists(path); }, 10000ms))
            << limit;
        EXPECT_LE(std::filesystem::file_size(path), limit * 1024);
        EXPECT_TRUE(boxes.shown.empty());
    }
}

TEST_F(RecorderFormTest, TheClipLengthLineFollowsProfileLimitAndSwitch)
{
    Bstr rate32 = ProfileWithBitrate(32000);
    Bstr rate64 = ProfileWithBitrate(64000);
    ASSERT_NE(rate32.Get(), nullptr);
    ASSERT_NE(rate64.Get(), nullptr);
    settings->SetEncodingProfile(rate32.Get());
    SeedLimit(true, 100);
    StartForm();
    EXPECT_EQ(Text(1039), "Maximum clip duration: about 24 seconds");

    auto* field = Get<QLineEdit>(1010);
    field->setText("1024");
    // The user picks a 64 kbit/s profile from the list.
    auto* profiles = Get<ProfilePicker>(1009);
    profiles->setFocus();
    for (int i = 0; i < profiles->count() && profiles->SelectedBitrate() != 64000; ++i)
        QTest::keyClick(profiles, Qt::Key_Down);
    ASSERT_EQ(profiles->SelectedBitrate(), 64000);
    EXPECT_EQ(form->Capture().GetProfileId().Utf8(), profiles->SelectedId().Utf8());
    EXPECT_EQ(Text(1039), "Maximum clip duration: about 2 minutes 9 seconds");
    field->setText("1");
    EXPECT_EQ(Text(1039), "Maximum clip duration: less than one second");
    // Switched off, the line is empty; switched on again it comes back.
    QTest::mouseClick(Get<QCheckBox>(1025), Qt::LeftButton);
    EXPECT_FALSE(Get<QCheckBox>(1025)->isChecked());
    EXPECT_EQ(Text(1039), "");
    QTest::mouseClick(Get<QCheckBox>(1025), Qt::LeftButton);
    EXPECT_EQ(Text(1039), "Maximum clip duration: less than one second");
}

TEST_F(RecorderFormTest, ZeroEmptiesTheSizeFieldAndAnEmptyFieldSwitchesTheLimitOff)
{
    SeedLimit(false, 250);
    StartForm();
    auto* field = Get<QLineEdit>(1010);
    auto* box = Get<QCheckBox>(1025);
    // A limit left off stays off at start-up, with its value shown.
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(field->text().toStdString(), "250");
    EXPECT_EQ(Text(1039), "");

    // Typing a number switches the limit on and stores it at once.
    field->selectAll();
    QTest::keyClicks(field, "80");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(ReloadedSettings()->FileSizeLimitValue(), 80u);
    EXPECT_TRUE(ReloadedSettings()->ApplyFileSizeLimit());

    field->selectAll();
    QTest::keyClicks(field, "0");
    EXPECT_EQ(field->text().toStdString(), "");
    EXPECT_FALSE(box->isChecked());
    auto stored = ReloadedSettings();
    EXPECT_EQ(stored->FileSizeLimitValue(), 1u);
    EXPECT_FALSE(stored->ApplyFileSizeLimit());

    // The spinner steps the field's number.
    QTest::keyClick(field, Qt::Key_Up);
    EXPECT_EQ(field->text().toStdString(), "1");
    EXPECT_TRUE(box->isChecked());
    // Checking the box writes the stored limit back into the field.
    field->setText("");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(field->text().toStdString(), "1");
}

TEST_F(RecorderFormTest, TheLimitBoxShowsAndHidesTheBarWhileRecording)
{
    SeedLimit(false, 500);
    StartForm();
    TypePath(folder / "bar.wma");
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    auto* bar = Get<QProgressBar>(1040);
    EXPECT_FALSE(bar->isVisible());
    QTest::mouseClick(Get<QCheckBox>(1025), Qt::LeftButton);
    EXPECT_TRUE(bar->isVisible());
    QTest::mouseClick(Get<QCheckBox>(1025), Qt::LeftButton);
    EXPECT_FALSE(bar->isVisible());
    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
}

TEST_F(RecorderFormTest, TheRecordLevelSliderSetsOneMoreThanItsPositionOrRestsAtFifty)
{
    Bstr lines = Bstr::FromUtf8("Quillet Virtual Lines");
    settings->SetSourceFilterName(lines.Get());
    StartForm();
    auto* slider = Get<QSlider>(1027);
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 50); // the device's level, 0.5
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left); // position 49, so the engine gets 50
    EXPECT_EQ(form->Capture().GetRecordLevel(), 50);
    EXPECT_EQ(slider->value(), 50);
    QTest::keyClick(slider, Qt::Key_Home); // position 1: level 2
    EXPECT_EQ(form->Capture().GetRecordLevel(), 2);
    EXPECT_EQ(slider->value(), 2);

    // A source without a mixer: disabled at 50. The volume slider rests there too.
    auto* sources = Get<SourcePicker>(1008);
    int plain = sources->findText("Quillet Virtual Plain");
    ASSERT_GE(plain, 0);
    Choose(sources, plain);
    EXPECT_EQ(form->Capture().GetSourceId().Utf8(), "Quillet Virtual Plain");
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->value(), 50);
    EXPECT_FALSE(Get<QSlider>(1026)->isEnabled());
    EXPECT_EQ(Get<QSlider>(1026)->value(), 50);
}

TEST_F(RecorderFormTest, PickerChoicesReachTheEngine)
{
    StartForm();
    auto* sources = Get<SourcePicker>(1008);
    int lines = sources->findText("Quillet Virtual Lines");
    ASSERT_GE(lines, 0);
    Choose(sources, lines);
    EXPECT_EQ(form->Capture().GetSourceId().Utf8(), "Quillet Virtual Lines");
    // The pin list was refilled and its first line handed to the engine.
    EXPECT_EQ(Get<PinPicker>(1007)->SelectedId().Utf8(), "CD Audio");
    EXPECT_EQ(form->Capture().GetInputPin().Utf8(), "CD Audio");
    auto* pins = Get<PinPicker>(1007);
    pins->setFocus();
    QTest::keyClick(pins, Qt::Key_Down);
    EXPECT_EQ(form->Capture().GetInputPin().Utf8(), "Line In");

    auto* versions = Get<VersionPicker>(1030);
    versions->setFocus();
    QTest::keyClick(versions, Qt::Key_Up); // 8 to 7
    Bstr chosen = Get<ProfilePicker>(1009)->SelectedId();
    ASSERT_NE(chosen.Get(), nullptr);
    EXPECT_EQ(form->Capture().GetProfileId().Utf8(), chosen.Utf8());
    EXPECT_EQ(form->Capture().GetProfileVersion(), wm_profile_ver_7_0);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(RecorderFormTest, ARefusedSourceChangeReturnsEveryPickerToTheEngine)
{
    StartForm();
    auto* sources = Get<SourcePicker>(1008);
    int lines = sources->findText("Quillet Virtual Lines");
    ASSERT_GE(lines, 0);
    // Every device goes away between the listing and the choice, as when the sound server
    // restarts without them: the engine cannot be built for the new choice.
    audio_test::ThrowawayServer empty;
    ASSERT_TRUE(empty.Started());
    std::string saved = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", empty.Address().c_str(), 1);
    {
        VirtualDevices none{""};
        Choose(sources, lines);
    }
    setenv("PULSE_SERVER", saved.c_str(), 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.shown[0].text, "Error while initializing capture (code 0x80004005):\n"
                                   "No audio capture source filter was found or it could not be "
                                   "created");
    // The engine holds nothing now, and the source and pin lists say so.
    EXPECT_FALSE(form->Capture().IsCreated());
    EXPECT_EQ(sources->itemText(0).toStdString(), "No audio capture sources found");
    EXPECT_FALSE(sources->isEnabled());
    EXPECT_EQ(Get<PinPicker>(1007)->itemText(0).toStdString(), "No input pins found");
    EXPECT_EQ(Get<PinPicker>(1007)->SelectedId().Get(), nullptr);
    EXPECT_EQ(Get<QLineEdit>(1019)->text().toStdString(), "");
    EXPECT_FALSE(Get<QSlider>(1027)->isEnabled());
}

TEST_F(RecorderFormTest, AnEngineThatCannotBeCreatedLeavesADeadForm)
{
    std::filesystem::remove(registry.Path() / "classes.reg");
    StartForm();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Failed to create an IWMACapture interface instance");
    EXPECT_EQ(boxes.shown[0].caption, "Error while initializing capture");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Critical);
    for (int id : {1015, 1016, 1017, 1018, 1025, 1027, 1026, 1030, 1009, 1008, 1007, 1019, 1010,
                   1012, 1040, 1043})
        EXPECT_FALSE(Get<QWidget>(id)->isEnabled()) << id;
    Click(1015);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(RecorderFormTest, SampleFormatsAndErrorsOfTheEngineAreShown)
{
    StartForm();
    VARIANT_BOOL accept = 0x1234;
    WAVEFORMATEX wide{WAVE_FORMAT_PCM, 2, 48000, 48000 * 8, 8, 32, 0};
    form->OnSampleFormat(&wide, &accept);
    EXPECT_EQ(accept, VARIANT_FALSE);
    form->OnSampleFormat(nullptr, &accept);
    EXPECT_EQ(accept, VARIANT_FALSE);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "Unsupported sample format, no signal graph will be available");
    EXPECT_EQ(boxes.shown[0].caption, "Unsupported sample format");
    WAVEFORMATEX fine{WAVE_FORMAT_PCM, 2, 48000, 48000 * 4, 4, 16, 0};
    form->OnSampleFormat(&fine, &accept);
    EXPECT_EQ(accept, VARIANT_TRUE);

    boxes.shown.clear();
    form->OnSampleError(nullptr);
    Bstr why = Bstr::FromUtf8("Failed to set grabber's callback");
    form->OnSampleError(why.Get());
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "Error while creating sample grabber, no signal graph will be "
                                   "available:\nno error description is available");
    EXPECT_EQ(boxes.shown[1].text, "Error while creating sample grabber, no signal graph will be "
                                   "available:\nFailed to set grabber's callback");
    EXPECT_EQ(boxes.shown[1].caption, "Error while creating sample grabber");
    EXPECT_EQ(boxes.shown[1].icon, QMessageBox::Warning);
}

TEST_F(RecorderFormTest, AGraphErrorStopsTheRecordingAndSaysSo)
{
    StartForm();
    TypePath(folder / "error.wma");
    Click(1015);
    ASSERT_TRUE(WaitUntil([&] { return Running(); }, 3000ms));
    form->OnGraphError(31, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return Stopped(); }, 3000ms));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Error");
    EXPECT_EQ(boxes.shown[0].caption, "Capture graph error");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(Button(1015)->isEnabled());
}
