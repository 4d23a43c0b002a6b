// The clip attributes dialog: shows a recorded file's Title, Author, Rating, Copyright and
// Description as the engine's attribute editor reads them, and writes the edited values back
// through the same editor (OK writes and closes, Apply writes and stays, Cancel only closes).
// User-interface thread only.
#pragma once

#include <QDialog>

#include "corvane_client.h"

class MessageBoxes;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QShowEvent;

class ClipAttributesDialog : public QDialog
{
    Q_OBJECT

public:
    // The boxes are not owned and outlive the dialog.
    explicit ClipAttributesDialog(MessageBoxes& boxes, QWidget* parent = nullptr);
    // Releases the editor, which ends its use of the file.
    ~ClipAttributesDialog() override;

    // Creates the editor when there is none and opens path in it, then loads the attributes
    // once the window exists. Throws the message text (QString) when the engine refuses.
    void Open(BSTR path);
    // Fills the path line and the five edits from the editor; the edits stay empty and disabled
    // when no file is open. Does nothing before the window exists.
    void LoadAttributes();
    // Writes the five edits, trimmed, when they changed; an empty edit removes its attribute.
    // Each refused attribute gets its own message box and leaves Apply enabled.
    void ApplyAttributes();
    // Whether there are edits not written yet; Apply is enabled exactly then.
    void SetModified(bool flag);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The template's controls, each named by its id.
    void BuildControls();
    // What the first show does: load the file and start unmodified, with the focus on Title.
    void InitialiseDialog();
    void OnTextChanged();
    void OnOk();
    void ShowPath(const QString& path);
    void SetEditsEnabled(bool enabled);
    QString EditText(int index) const;
    void SetEditText(int index, const QString& text);

    MessageBoxes& boxes;
    IClipAttributesEditorClient editor;
    // On while the dialog itself writes into the edits, so that only the user's changes count.
    bool loading = true;
    bool modified = false;
    // The first show stands for the window's creation: loads before it are left to it.
    bool windowCreated = false;

    // Title, Author, Rating and Copyright, in the order they are written.
    QLineEdit* lineEdits[4] = {};
    QPlainTextEdit* descriptionEdit = nullptr;
    // The description exactly as it was loaded, for as long as the user leaves it alone.
    QString loadedDescription;
    QLabel* pathLine = nullptr;
    QPushButton* applyButton = nullptr;
};
