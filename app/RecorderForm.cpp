#include "RecorderForm.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStandardPaths>
#include <QUrl>
#include <cmath>

#include "dshow/FileSizeLimit.h"

#include "ClipAttributesDialog.h"
#include "DescriptionPanel.h"
#include "DesktopApplication.h"
#include "DialogUnits.h"
#include "DurationTexts.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "OutputPathEdit.h"
#include "PinPicker.h"
#include "PlaybackClient.h"
#include "ProfilePicker.h"
#include "SettingsStore.h"
#include "SignalGraph.h"
#include "SkinnedButton.h"
#include "SourcePicker.h"
#include "UpDownControl.h"
#include "VersionPicker.h"
#include "WaitCursor.h"
#include "res/RecorderFormTemplate.h"

namespace {

Bstr ToBstr(const QString& text)
{
    return Bstr(text.toStdU16String());
}

QString ToQString(const Bstr& text)
{
    return QString::fromStdU16String(std::u16string(text.View()));
}

} // namespace

RecorderForm::RecorderForm(SettingsStore& settings, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), settings(settings), boxes(boxes),
      captureClient(std::make_unique<CaptureClient>(this)), description(new DescriptionPanel(this)),
      graph(new SignalGraph(this)), profilePicker(new ProfilePicker(this)),
      versionPicker(new VersionPicker(profilePicker, this)),
      pinPicker(new PinPicker(PinPicker::Mode::InputPins, this)),
      sourcePicker(new SourcePicker(pinPicker, this))
{
    // The engine tells the signal graph the sample format while it builds, before the form is
    // laid out, so the graph exists from the start.
    graph->hide();
    description->hide();
    sendMail = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
}

RecorderForm::~RecorderForm()
{
    EndPlayback();
    // The engine's last events must not reach widgets that are going away.
    captureClient.reset();
}

void RecorderForm::BuildControls()
{
    using namespace recorder_form;
    DialogUnits units(font());
    setFixedSize(units.X(kWidth), units.Y(kHeight));
    for (const Item& item : kItems) {
        QRect rect = units.ToPixels(item.x, item.y, item.width, item.height);
        QString caption = QString::fromLatin1(item.caption);
        QWidget* widget = nullptr;
        switch (item.kind) {
        case Kind::Group:
            widget = new QGroupBox(caption, this);
            break;
        case Kind::Label:
        case Kind::CentredLabel:
        case Kind::RightLabel: {
            auto* label = new QLabel(caption, this);
            label->setAlignment(item.kind == Kind::CentredLabel ? Qt::AlignHCenter | Qt::AlignTop
                                : item.kind == Kind::RightLabel ? Qt::AlignRight | Qt::AlignTop
                                                                : Qt::AlignLeft | Qt::AlignTop);
            if (item.id == 1039)
                clipLengthLine = label;
            else if (item.id == 1043)
                clipInfo = label;
            widget = label;
            break;
        }
        case Kind::DropDown: {
            PickerCombo* picker = item.id == 1008   ? static_cast<PickerCombo*>(sourcePicker)
                                  : item.id == 1007 ? static_cast<PickerCombo*>(pinPicker)
                                  : item.id == 1030 ? static_cast<PickerCombo*>(versionPicker)
                                                    : static_cast<PickerCombo*>(profilePicker);
            picker->setEnabled(false);
            // The template's height includes the open list; the closed box is one line high.
            rect.setHeight(picker->sizeHint().height());
            widget = picker;
            break;
        }
        case Kind::PathEdit:
            outputPath = new OutputPathEdit(this);
            widget = outputPath;
            break;
        case Kind::CheckBox:
            limitBox = new QCheckBox(this);
            widget = limitBox;
            break;
        case Kind::DigitsEdit:
            sizeField = new QLineEdit(this);
            sizeField->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]*")), sizeField));
            widget = sizeField;
            break;
        case Kind::UpDown: {
            // Aligned to the right of its buddy, inside the buddy's rectangle.
            QRect buddy = sizeField->geometry();
            upDown = new UpDownControl(sizeField, this);
            int width = rect.width();
            sizeField->setGeometry(buddy.adjusted(0, 0, -width, 0));
            rect = QRect(buddy.right() - width + 1, buddy.top(), width, buddy.height());
            widget = upDown;
            break;
        }
        case Kind::Progress:
            progress = new QProgressBar(this);
            progress->setTextVisible(false);
            progress->hide();
            widget = progress;
            break;
        case Kind::Button: {
            auto* button = new SkinnedButton(SkinnedButton::Kind::Push, this);
            button->setText(caption);
            if (item.id == 1015)
                recordButton = button;
            else if (item.id == 1016)
                pauseButton = button;
            else if (item.id == 1017)
                stopButton = button;
            else
                playButton = button;
            widget = button;
            break;
        }
        case Kind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, this);
            slider->setTickPosition(QSlider::NoTicks);
            (item.id == 1027 ? recordLevel : playbackVolume) = slider;
            widget = slider;
            break;
        }
        case Kind::Placeholder:
            widget = new QLabel(caption, this);
            widget->hide();
            break;
        }
        if (item.id != 0)
            widget->setObjectName(QString::number(item.id));
        widget->setGeometry(rect);
    }
}

void RecorderForm::Create(QWidget* startupOwner)
{
    BuildControls();
    clipLengthLine->setText(QString());

    description->setGeometry(findChild<QWidget*>(QStringLiteral("1001"))->geometry());
    description->setFont(font());
    description->show();
    description->raise();

    bool created = true;
    try {
        captureClient->Create(settings.SourceFilterName().Get(),
                              settings.SourceFilterInputPin().Get(),
                              settings.EncodingProfile().Get());
    } catch (const QString& text) {
        boxes.Show(startupOwner ? startupOwner : this, text,
                   QStringLiteral("Error while initializing capture"), QMessageBox::Ok,
                   QMessageBox::Critical);
        created = false;
    }
    outputPath->setText(ToQString(settings.OutputPath()));
    FillPickers();

    const struct
    {
        SkinnedButton* button;
        const char* tip;
        int normal, pressed, hover, disabled;
    } skins[] = {
        {recordButton, "Record", 156, 154, 155, 166},
        {pauseButton, "Pause", 150, 148, 149, 164},
        {stopButton, "Stop", 144, 157, 158, 163},
        {playButton, "Play", 153, 151, 152, 165},
    };
    for (const auto& skin : skins) {
        skin.button->SetTooltip(QString::fromLatin1(skin.tip));
        skin.button->setText(QString());
        skin.button->SetSkin(skin.normal, skin.pressed, skin.hover, skin.disabled, 0, 159, 0, 0, 0);
    }
    limitBox->setText(QString());
    pauseButton->setEnabled(false);
    stopButton->setEnabled(false);
    playButton->setEnabled(false);
    progress->setRange(0, 100);
    LayOutTransportRow();

    QWidget* graphPlace = findChild<QWidget*>(QStringLiteral("1023"));
    graphFrame = new QFrame(this);
    graphFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    graphFrame->setLineWidth(2);
    graphFrame->setGeometry(graphPlace->geometry());
    graph->setParent(graphFrame);
    graph->setGeometry(graphFrame->contentsRect());
    graph->show();
    graphFrame->show();
    graphFrame->raise();

    upDown->SetRange(0, 32767);
    // The field's own rules would switch the limit on for any stored value, so they start
    // listening after the stored state is shown: a limit the user left off stays off.
    sizeField->setText(QString::number(settings.FileSizeLimitValue()));
    settings.SetApplyFileSizeLimit(settings.ApplyFileSizeLimit());
    limitBox->setChecked(settings.ApplyFileSizeLimit());
    connect(sizeField, &QLineEdit::textChanged, this, &RecorderForm::OnSizeTextChanged);
    UpdateMaxDurationText();

    recordLevel->setRange(1, 100);
    RefreshRecordLevel();
    playbackVolume->setRange(1, 100);
    playbackVolume->setValue(50);
    playbackVolume->setEnabled(false);
    clipInfo->setText(QString());

    connect(recordButton, &SkinnedButton::clicked, this, &RecorderForm::OnRecordClicked);
    connect(pauseButton, &SkinnedButton::clicked, this, &RecorderForm::OnPauseClicked);
    connect(stopButton, &SkinnedButton::clicked, this, &RecorderForm::OnStopClicked);
    connect(playButton, &SkinnedButton::clicked, this, &RecorderForm::OnPlayClicked);
    connect(playbackVolume, &QSlider::actionTriggered, this, &RecorderForm::OnVolumeScrolled);
    connect(outputPath, &OutputPathEdit::browseRequested, this, &RecorderForm::OnBrowse);
    connect(limitBox, &QCheckBox::clicked, this, &RecorderForm::OnLimitBoxClicked);
    // Every scroll the user makes, thumb tracking included; the form's own moves are none.
    connect(recordLevel, &QSlider::actionTriggered, this, &RecorderForm::OnRecordLevelScrolled);

    // Tab walks the form as a user reads it, top to bottom.
    QWidget* order[] = {sourcePicker, pinPicker,   versionPicker, profilePicker, outputPath,
                        limitBox,     sizeField,   recordButton,  pauseButton,   stopButton,
                        playButton,   recordLevel, playbackVolume};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    if (!created)
        DisableAllControls();
}

void RecorderForm::LayOutTransportRow()
{
    QRect rect = recordButton->geometry();
    int step = rect.width() + 6;
    for (SkinnedButton* button : {pauseButton, stopButton, playButton}) {
        rect.translate(step, 0);
        button->setGeometry(rect);
    }
    QRect bar = progress->geometry();
    bar.setRight(rect.right());
    progress->setGeometry(bar);
    QRect info = clipInfo->geometry();
    info.setLeft(rect.right() + 10);
    clipInfo->setGeometry(info);
}

QString RecorderForm::NormaliseOutputPath(const QString& text)
{
    QString path = text.trimmed();
    if (path.isEmpty())
        return path;
    // The extension starts at the last dot of the last path element.
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        return path + QStringLiteral(".wma");
    if (path.mid(dot).compare(QStringLiteral(".wma"), Qt::CaseInsensitive) == 0)
        return path;
    return path.left(dot) + QStringLiteral(".wma");
}

bool RecorderForm::HasRecordedFile() const
{
    return captureClient->HasRecordedFile();
}

void RecorderForm::ShowError(const QString& text, const QString& caption)
{
    boxes.Show(this, text, caption, QMessageBox::Ok, QMessageBox::Critical);
}

void RecorderForm::ShowExtensionChanged()
{
    boxes.Show(nullptr, QStringLiteral("Output file extension was set to \".wma\""),
               QStringLiteral("File extension changed"), QMessageBox::Ok, QMessageBox::Warning);
}

void RecorderForm::OnBrowse()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Windows Media Audio Files (*.wma)"));
    dialog.setDefaultSuffix(QStringLiteral("wma"));
    // The form asks about overwriting itself, when the user wants it to, at Record.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QString current = outputPath->text().trimmed();
    if (!current.isEmpty())
        dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        outputPath->setText(QString());
        return;
    }
    QString chosen = dialog.selectedFiles().constFirst().trimmed();
    QString normalised = NormaliseOutputPath(chosen);
    if (normalised != chosen)
        ShowExtensionChanged();
    outputPath->setText(normalised);
}

void RecorderForm::OnRecordClicked()
{
    progress->setValue(0);
    elapsedSeconds = 0;
    clipInfo->setText(QString());
    recordButton->SetCheck(true);

    QString typed = outputPath->text().trimmed();
    if (typed.isEmpty()) {
        recordButton->SetCheck(false);
        boxes.Show(this, QStringLiteral("The output path seems to be invalid - set it, please"),
                   QStringLiteral("Error"), QMessageBox::Ok, QMessageBox::Warning);
        outputPath->setFocus();
        return;
    }
    QString path = NormaliseOutputPath(typed);
    if (path != typed) {
        outputPath->setText(path);
        ShowExtensionChanged();
    }
    if (settings.OverwriteFilePrompt() && QFileInfo::exists(path)) {
        QString question =
            QStringLiteral("The file you specified (\"") + path +
            QStringLiteral("\") already exists, if you continue - it will be overwritten\n"
                           "Push \"OK\" button to continue and overwrite the file, or cancel "
                           "recording and choose another path\nYou can disable this warning in "
                           "the \"Options\" menu");
        if (boxes.Show(this, question, QStringLiteral("Warning"),
                       QMessageBox::Ok | QMessageBox::Cancel,
                       QMessageBox::NoIcon) != QMessageBox::Ok) {
            recordButton->SetCheck(false);
            outputPath->setFocus();
            return;
        }
    }
    SetPickersEnabled(false);
    // A limit that the first size report would already overrun cannot wait for it, and a packet
    // of audio would already break it: the clip is begun paused and finished at once.
    const bool limitLeavesNoRoom =
        settings.ApplyFileSizeLimit() &&
        FileSizeLimit(settings.FileSizeLimitValue(), uint32_t(profilePicker->SelectedBitrate()))
            .StopsAtOnce();
    try {
        captureClient->SetOutputPath(ToBstr(path).Get());
        if (limitLeavesNoRoom)
            captureClient->PauseFromStopped();
        else
            captureClient->Run();
    } catch (const QString& text) {
        recordButton->SetCheck(false);
        SetPickersEnabled(true);
        ShowError(text);
        return;
    }
    settings.SetSourceFilterName(captureClient->GetSourceId().Get());
    settings.SetSourceFilterInputPin(captureClient->GetInputPin().Get());
    settings.SetEncodingProfile(captureClient->GetProfileId().Get());
    settings.SetOutputPath(ToBstr(path).Get());
    settings.SaveRecorderSettings();
    if (limitLeavesNoRoom)
        OnStopClicked();
}

void RecorderForm::OnPauseClicked()
{
    pauseButton->SetCheck(true);
    try {
        if (playbackClient)
            playbackClient->TogglePause();
        else
            captureClient->TogglePause();
    } catch (const QString& text) {
        pauseButton->SetCheck(false);
        ShowError(text);
    }
}

void RecorderForm::OnStopClicked()
{
    try {
        if (playbackClient)
            playbackClient->Stop();
        else
            captureClient->Stop();
    } catch (const QString& text) {
        ShowError(text);
    }
}

void RecorderForm::SetProgressVisible(bool visible)
{
    if (progress->isVisibleTo(this) != visible)
        progress->setVisible(visible);
}

void RecorderForm::OnLimitBoxClicked()
{
    if (limitBox->isChecked()) {
        sizeField->setText(QString::number(settings.FileSizeLimitValue()));
        settings.SetApplyFileSizeLimit(true);
        if (captureClient->GetState() == dsg_running)
            SetProgressVisible(true);
    } else {
        settings.SetApplyFileSizeLimit(false);
        SetProgressVisible(false);
    }
    UpdateMaxDurationText();
}

void RecorderForm::OnSizeTextChanged(const QString& text)
{
    QString trimmed = text.trimmed();
    uint32_t value = trimmed.toUInt();
    if (value != 0) {
        // Stored first: switching the limit on writes the stored value into this field, which
        // must then be the number the user is typing, not the one before it.
        settings.SetFileSizeLimitValue(value);
        if (!limitBox->isChecked()) {
            limitBox->setChecked(true);
            OnLimitBoxClicked();
        }
    } else if (!text.isEmpty()) {
        // The change this causes comes back here with the empty text.
        sizeField->setText(QString());
        return;
    } else {
        if (limitBox->isChecked()) {
            limitBox->setChecked(false);
            OnLimitBoxClicked();
        }
        settings.SetFileSizeLimitValue(1);
    }
    UpdateMaxDurationText();
}

void RecorderForm::UpdateMaxDurationText()
{
    clipLengthLine->setText(MaxClipDurationText(settings.ApplyFileSizeLimit(),
                                                uint32_t(profilePicker->SelectedBitrate()),
                                                settings.FileSizeLimitValue()));
}

void RecorderForm::UpdateClipInfo(uint64_t bytes)
{
    uint32_t seconds = uint32_t(std::clamp<int64_t>(elapsedSeconds, 0, UINT32_MAX));
    QString text = DurationText(seconds) + QStringLiteral(", ") + SizeText(bytes) +
                   QStringLiteral(" recorded");
    // Sizes arrive several times a second; a label that is set repaints even when unchanged.
    if (clipInfo->text() != text)
        clipInfo->setText(text);
}

void RecorderForm::RefreshRecordLevel()
{
    BYTE level = captureClient->GetRecordLevel();
    if (level != 255) {
        recordLevel->setEnabled(true);
        recordLevel->setValue(level);
    } else {
        recordLevel->setValue(50);
        recordLevel->setEnabled(false);
    }
}

void RecorderForm::OnRecordLevelScrolled()
{
    captureClient->SetRecordLevel(BYTE(recordLevel->sliderPosition() + 1));
    RefreshRecordLevel();
}

void RecorderForm::SetPickersEnabled(bool enabled)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{versionPicker, profilePicker,
                                                           sourcePicker, pinPicker, outputPath})
        widget->setEnabled(enabled);
}

void RecorderForm::DisableAllControls()
{
    for (QWidget* widget : std::initializer_list<QWidget*>{
             recordButton, pauseButton, stopButton, playButton, limitBox, recordLevel,
             playbackVolume, description, versionPicker, profilePicker, sourcePicker, pinPicker,
             outputPath, sizeField, upDown, progress, clipInfo})
        widget->setEnabled(false);
}

void RecorderForm::FillPickers()
{
    profilePicker->SetDescriptionPanel(description);
    for (PickerCombo* picker :
         std::initializer_list<PickerCombo*>{versionPicker, profilePicker, sourcePicker, pinPicker})
        picker->SetListener(nullptr);
    wm_profile_version version = captureClient->GetProfileVersion();
    versionPicker->Fill(version);
    versionPicker->SelectByValue(version);
    profilePicker->SetDescriptionPanel(description);
    profilePicker->SelectById(captureClient->GetProfileId().Get());
    sourcePicker->Fill(captureClient->GetSourceId().Get());
    pinPicker->SelectById(captureClient->GetInputPin().Get());
    for (PickerCombo* picker :
         std::initializer_list<PickerCombo*>{profilePicker, pinPicker, sourcePicker})
        picker->SetListener(this);
}

void RecorderForm::OnSelectionChanged(PickerCombo* picker)
{
    WaitCursor wait;
    try {
        if (picker == profilePicker) {
            if (Bstr id = profilePicker->SelectedId(); id.Get())
                captureClient->SetProfile(id.Get());
        } else if (picker == sourcePicker) {
            if (Bstr name = sourcePicker->SelectedName(); name.Get())
                captureClient->RecreateWithSource(name.Get());
        } else if (picker == pinPicker) {
            if (Bstr pin = pinPicker->SelectedId(); pin.Get())
                captureClient->SetInputPin(pin.Get());
        }
    } catch (const QString& text) {
        ShowError(text);
        FillPickers();
        outputPath->setText(ToQString(captureClient->GetOutputPath()));
    }
    UpdateMaxDurationText();
    RefreshRecordLevel();
}

void RecorderForm::OnSampleFormat(const WAVEFORMATEX* format, VARIANT_BOOL* accept)
{
    bool taken = graph->SetFormat(format) == S_OK;
    *accept = taken ? VARIANT_TRUE : VARIANT_FALSE;
    if (!taken)
        boxes.Show(
            this, QStringLiteral("Unsupported sample format, no signal graph will be available"),
            QStringLiteral("Unsupported sample format"), QMessageBox::Ok, QMessageBox::Warning);
}

void RecorderForm::OnSampleError(BSTR description)
{
    QString detail = SysStringLen(description) > 0
                         ? ToQString(Bstr(description))
                         : QStringLiteral("no error description is available");
    boxes.Show(this,
               QStringLiteral("Error while creating sample grabber, no signal graph will be "
                              "available:\n") +
                   detail,
               QStringLiteral("Error while creating sample grabber"), QMessageBox::Ok,
               QMessageBox::Warning);
}

void RecorderForm::OnSampleData(const BYTE* data, uint32_t size, double)
{
    graph->ProcessSamples(data, size);
}

void RecorderForm::OnPositionProgress(double position)
{
    elapsedSeconds = int64_t(position * 1e-7);
}

void RecorderForm::OnFileSizeProgress(uint32_t low, uint32_t high)
{
    uint64_t bytes = uint64_t(high) << 32 | low;
    UpdateClipInfo(bytes);
    if (!settings.ApplyFileSizeLimit())
        return;
    uint32_t kb = uint32_t(bytes / 1024);
    if (kb == 0)
        return;
    uint32_t limit = settings.FileSizeLimitValue();
    // Stop while the finished file (the packets still to come, the index) stays within the limit.
    if (FileSizeLimit(limit, uint32_t(profilePicker->SelectedBitrate())).Reached(bytes)) {
        OnStopClicked();
        return;
    }
    int percent = std::min(100, int(double(kb) / limit * 100));
    progress->setValue(percent);
    progress->setFormat(QString::number(percent) + QLatin1Char('%'));
}

void RecorderForm::OnGraphError(LONG, LONG, LONG)
{
    sleepInhibitor.Release();
    // A failing Stop is shown like any other; it never reaches back into the engine's event.
    OnStopClicked();
    boxes.Show(this, QStringLiteral("Error"), QStringLiteral("Capture graph error"),
               QMessageBox::Ok, QMessageBox::Critical);
}

void RecorderForm::OnGraphStateChange(DSGraphStates state)
{
    // The machine stays awake for a running recording only; paused, it may sleep.
    if (state == dsg_running)
        sleepInhibitor.Hold(QStringLiteral("Recording audio"));
    else
        sleepInhibitor.Release();
    if (state == dsg_stopped) {
        SetProgressVisible(false);
        SetPickersEnabled(true);
        recordButton->setEnabled(true);
        pauseButton->setEnabled(false);
        stopButton->setEnabled(false);
        bool recorded = HasRecordedFile();
        playButton->setEnabled(recorded);
        recordButton->SetCheck(false);
        pauseButton->SetCheck(false);
        graph->active = false;
        graph->Clear(true);
        if (recorded)
            UpdateClipInfo(captureClient->GetOutputFileSize());
        else
            clipInfo->setText(QString());
    } else if (state == dsg_running) {
        SetProgressVisible(settings.ApplyFileSizeLimit());
        graph->active = true;
        pauseButton->setEnabled(true);
        pauseButton->SetCheck(false);
        stopButton->setEnabled(true);
        playButton->setEnabled(false);
    }
}

bool RecorderForm::CanPlayWithExternalPlayer() const
{
    return HasRecordedFile() && !playbackClient;
}

bool RecorderForm::CanEditAttributes() const
{
    return HasRecordedFile();
}

bool RecorderForm::CanEmail() const
{
    return !sendMail.isEmpty() && HasRecordedFile();
}

bool RecorderForm::RunToEnd(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QEventLoop wait;
    connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &wait, [&wait](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            wait.quit();
    });
    process.start(program, arguments);
    if (!process.waitForStarted())
        return false;
    if (process.state() != QProcess::NotRunning)
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    return true;
}

void RecorderForm::SendClipByMail()
{
    if (sendMail.isEmpty() || !HasRecordedFile())
        return;
    QString path = ToQString(captureClient->GetOutputPath());
    if (path.isEmpty())
        return;
    // The mail program's window must be able to come to the front.
    auto* main = qobject_cast<MainWindow*>(window());
    bool topmost = main && main->IsTopmost();
    if (topmost)
        main->SetTopmost(false, false);
    RunToEnd(sendMail, {QStringLiteral("--attach"), path});
    if (topmost) {
        main->SetTopmost(true, false);
    } else {
        window()->show();
        window()->raise();
    }
}

void RecorderForm::PlayWithExternalPlayer()
{
    QString path = ToQString(captureClient->GetOutputPath());
    // Quillet writes nothing but Windows Media Audio files.
    std::optional<DesktopCommand> command =
        DefaultApplicationCommand(QStringLiteral("audio/x-ms-wma"), path);
    if (!command) {
        // Handed to the desktop, which may give it to a player that runs already: there is
        // no process to wait for, and the window stays as it is.
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    QWidget* main = window();
    main->showMinimized();
    if (!RunToEnd(command->program, command->arguments)) {
        main->showNormal();
        return;
    }
    main->showNormal();
    main->raise();
}

void RecorderForm::OnPlayClicked()
{
    if (playbackClient || !HasRecordedFile())
        return;
    playButton->SetCheck(true);
    Bstr path = captureClient->GetOutputPath();
    try {
        playbackClient = new PlaybackClient(&playbackEvents);
        playbackClient->AddRef();
        playbackClient->Initialize(path.Get());
        playbackClient->Run();
        RefreshVolume();
    } catch (const QString& text) {
        EndPlayback();
        playButton->SetCheck(false);
        RefreshVolume();
        ShowError(text);
    }
}

void RecorderForm::EndPlayback()
{
    if (!playbackClient)
        return;
    // Forgotten before it is closed: closing stops the playback, whose last state change
    // must find no client to end a second time.
    PlaybackClient* ending = std::exchange(playbackClient, nullptr);
    ending->Close();
    ending->Release();
}

void RecorderForm::RefreshVolume()
{
    BYTE volume = playbackClient ? playbackClient->GetVolume() : 255;
    if (volume != 255) {
        playbackVolume->setEnabled(true);
        playbackVolume->setValue(volume);
    } else {
        playbackVolume->setValue(50);
        playbackVolume->setEnabled(false);
    }
}

void RecorderForm::OnVolumeScrolled()
{
    if (!playbackClient) {
        playbackVolume->setEnabled(false);
        return;
    }
    playbackVolume->setEnabled(true);
    playbackClient->SetVolume(BYTE(playbackVolume->sliderPosition()));
    RefreshVolume();
}

void RecorderForm::OnPlaybackStateChange(DSGraphStates state)
{
    if (state < 0)
        return;
    if (state == dsg_error || state == dsg_stopped) {
        recordButton->setEnabled(true);
        pauseButton->setEnabled(false);
        stopButton->setEnabled(false);
        playButton->setEnabled(HasRecordedFile());
        playButton->SetCheck(false);
        pauseButton->SetCheck(false);
        EndPlayback();
        RefreshVolume();
    } else if (state == dsg_running) {
        pauseButton->setEnabled(true);
        pauseButton->SetCheck(false);
        stopButton->setEnabled(true);
        recordButton->setEnabled(false);
    }
}

void RecorderForm::EditClipAttributes()
{
    Bstr path = captureClient->GetOutputPath();
    if (!HasRecordedFile() || path.Empty())
        return;
    ClipAttributesDialog dialog(boxes, this);
    try {
        dialog.Open(path.Get());
    } catch (const QString& text) {
        ShowError(text);
        return;
    }
    dialog.exec();
}
