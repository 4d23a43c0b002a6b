// The recorder form, the one screen of the program: the pickers, the output file, the size
// limit, the transport buttons, the record level and the live signal graph, and the state
// machine that decides what the user may do next. It owns the CaptureClient for its whole
// life. User-interface thread only.
#pragma once

#include <QWidget>
#include <memory>

#include "CaptureClient.h"
#include "CaptureListener.h"
#include "PickerListener.h"
#include "PlaybackListener.h"
#include "SleepInhibitor.h"

class DescriptionPanel;
class MessageBoxes;
class OutputPathEdit;
class PlaybackClient;
class PinPicker;
class ProfilePicker;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;
class SettingsStore;
class SignalGraph;
class SkinnedButton;
class SourcePicker;
class UpDownControl;
class VersionPicker;

class RecorderForm : public QWidget, public CaptureListener, public PickerListener
{
    Q_OBJECT

public:
    RecorderForm(SettingsStore& settings, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~RecorderForm() override;

    // Lays the form out and starts the capture engine from the settings. A capture engine
    // that cannot be created leaves every control disabled; startupOwner (the splash, while it
    // shows) owns the message that says why.
    void Create(QWidget* startupOwner = nullptr);

    // Trims the text and makes its extension ".wma" (kept as typed in any letter case).
    static QString NormaliseOutputPath(const QString& text);

    // Whether the last recording left a file to play, edit or send.
    bool HasRecordedFile() const;
    CaptureClient& Capture() { return *captureClient; }

    // The Clip menu's commands and whether each can run now.
    bool CanPlayWithExternalPlayer() const;
    bool CanEditAttributes() const;
    bool CanEmail() const;
    // Opens the clip in the desktop's default player and waits, minimised, until it ends.
    void PlayWithExternalPlayer();
    // Hands the clip to the desktop's mail program as an attachment of a new message.
    void SendClipByMail();
    // Opens the clip's attributes dialog on the recorded file.
    void EditClipAttributes();
    // Whether the form's own playback of the clip runs.
    bool IsPlaying() const { return playbackClient != nullptr; }

    void OnSampleFormat(const WAVEFORMATEX* format, VARIANT_BOOL* accept) override;
    void OnSampleError(BSTR description) override;
    void OnSampleData(const BYTE* data, uint32_t size, double time) override;
    void OnPositionProgress(double position) override;
    void OnFileSizeProgress(uint32_t low, uint32_t high) override;
    void OnGraphError(LONG code, LONG param1, LONG param2) override;
    void OnGraphStateChange(DSGraphStates state) override;
    void OnSelectionChanged(PickerCombo* picker) override;

private:
    // The playback's events: a listener of its own, since the capture's events carry the
    // same names.
    class PlaybackEvents final : public PlaybackListener
    {
    public:
        explicit PlaybackEvents(RecorderForm* form) : form(form) {}
        void OnPositionProgress(double) override {}
        void OnGraphError(LONG, LONG, LONG) override {}
        void OnGraphStateChange(DSGraphStates state) override
        {
            form->OnPlaybackStateChange(state);
        }

    private:
        RecorderForm* form;
    };

    void BuildControls();
    void OnPlayClicked();
    void OnVolumeScrolled();
    void RefreshVolume();
    void OnPlaybackStateChange(DSGraphStates state);
    void EndPlayback();
    void LayOutTransportRow();
    void OnRecordClicked();
    void OnPauseClicked();
    void OnStopClicked();
    void OnBrowse();
    void OnLimitBoxClicked();
    void OnSizeTextChanged(const QString& text);
    void OnRecordLevelScrolled();
    void FillPickers();
    void SetPickersEnabled(bool enabled);
    void DisableAllControls();
    void UpdateMaxDurationText();
    void UpdateClipInfo(uint64_t bytes);
    void RefreshRecordLevel();
    void SetProgressVisible(bool visible);
    void ShowError(const QString& text, const QString& caption = QStringLiteral("Error"));
    void ShowExtensionChanged();

    // Runs a program to its end with the window still painting and engine events still
    // arriving, but no user input; false when it could not start.
    bool RunToEnd(const QString& program, const QStringList& arguments);

    SettingsStore& settings;
    MessageBoxes& boxes;
    // The desktop's mail hand-off, found on the PATH at start-up; empty when there is none.
    QString sendMail;
    // Keeps the machine awake while a recording runs.
    SleepInhibitor sleepInhibitor;
    std::unique_ptr<CaptureClient> captureClient;
    PlaybackEvents playbackEvents{this};
    // Holds one reference from a successful Play to the end of that playback.
    PlaybackClient* playbackClient = nullptr;
    int64_t elapsedSeconds = 0;

    DescriptionPanel* description;
    SignalGraph* graph;
    ProfilePicker* profilePicker;
    VersionPicker* versionPicker;
    PinPicker* pinPicker;
    SourcePicker* sourcePicker;
    OutputPathEdit* outputPath = nullptr;
    QCheckBox* limitBox = nullptr;
    QLineEdit* sizeField = nullptr;
    UpDownControl* upDown = nullptr;
    QLabel* clipLengthLine = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* clipInfo = nullptr;
    SkinnedButton* recordButton = nullptr;
    SkinnedButton* pauseButton = nullptr;
    SkinnedButton* stopButton = nullptr;
    SkinnedButton* playButton = nullptr;
    QSlider* recordLevel = nullptr;
    QSlider* playbackVolume = nullptr;
    QFrame* graphFrame = nullptr;
};
