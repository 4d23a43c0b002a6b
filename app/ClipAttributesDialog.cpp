#include "ClipAttributesDialog.h"

#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextDocument>

#include "DialogUnits.h"
#include "FormatComError.h"
#include "MessageBoxes.h"
#include "com/Bstr.h"
#include "com/ComApi.h"
#include "res/ClipAttributesTemplate.h"

namespace {

// The five attributes in the order they are read and written, with the edit that shows each.
struct Attribute
{
    int id;
    const char* name;
    HRESULT (IClipAttributesEditor::*get)(BSTR*);
    HRESULT (IClipAttributesEditorClient::*put)(BSTR) const;
};

const Attribute kAttributes[] = {
    {1011, "Title", &IClipAttributesEditor::get_Title, &IClipAttributesEditorClient::PutTitle},
    {1014, "Author", &IClipAttributesEditor::get_Author, &IClipAttributesEditorClient::PutAuthor},
    {1020, "Rating", &IClipAttributesEditor::get_Rating, &IClipAttributesEditorClient::PutRating},
    {1021, "Copyright", &IClipAttributesEditor::get_Copyright,
     &IClipAttributesEditorClient::PutCopyright},
    {1022, "Description", &IClipAttributesEditor::get_Description,
     &IClipAttributesEditorClient::PutDescription},
};
constexpr int kDescriptionIndex = 4;

QString ToQString(const Bstr& text)
{
    return QString::fromStdU16String(std::u16string(text.View()));
}

QString PathLineText(const QString& path)
{
    return QStringLiteral("Clip file path is \"%1\"").arg(path);
}

QString HexCode(HRESULT hr)
{
    return QString::number(uint32_t(hr), 16).toUpper();
}

// A template's group box draws its frame through the middle of its caption, and the controls
// inside are placed against that frame; a style that draws the frame below the caption crowds
// them. The box moves up until its frame runs where the template's does. Styles say nothing
// about where they draw that line, so it is found in the box's own picture: the first row that
// differs from the background in a column clear of the caption.
QRect FrameThroughCaption(QGroupBox* group)
{
    QImage picture = group->grab().toImage();
    qreal ratio = picture.devicePixelRatio();
    QColor background = group->palette().color(QPalette::Window);
    int column = picture.width() * 3 / 4;
    int frameTop = 0;
    while (frameTop < picture.height() && picture.pixelColor(column, frameTop) == background)
        ++frameTop;
    int lift = int(frameTop / ratio) - group->fontMetrics().height() / 2;
    QRect rect = group->geometry();
    return lift > 0 && frameTop < picture.height() ? rect.adjusted(0, -lift, 0, 0) : rect;
}

} // namespace

ClipAttributesDialog::ClipAttributesDialog(MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), boxes(boxes)
{
    setWindowTitle(QStringLiteral("Clip attributes"));
    // A modal frame with a system menu: a close button, nothing to resize or minimise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    BuildControls();
}

ClipAttributesDialog::~ClipAttributesDialog() = default;

void ClipAttributesDialog::BuildControls()
{
    using namespace clip_attributes;
    DialogUnits units(font());
    setFixedSize(units.X(kWidth), units.Y(kHeight));
    int lineEditCount = 0;
    for (const Item& item : kItems) {
        QRect rect = units.ToPixels(item.x, item.y, item.width, item.height);
        QString caption = QString::fromLatin1(item.caption);
        QWidget* widget = nullptr;
        switch (item.kind) {
        case Kind::Label: {
            // Centred on the edit beside it, whose text sits in the middle of its frame.
            auto* label = new QLabel(caption, this);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            rect.setHeight(units.Y(12));
            widget = label;
            break;
        }
        case Kind::LineEdit: {
            auto* edit = new QLineEdit(this);
            connect(edit, &QLineEdit::textChanged, this, &ClipAttributesDialog::OnTextChanged);
            lineEdits[lineEditCount++] = edit;
            widget = edit;
            break;
        }
        case Kind::Group: {
            auto* group = new QGroupBox(caption, this);
            group->setGeometry(rect);
            rect = FrameThroughCaption(group);
            widget = group;
            break;
        }
        case Kind::MultiLineEdit:
            descriptionEdit = new QPlainTextEdit(this);
            descriptionEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            descriptionEdit->setTabChangesFocus(true);
            connect(descriptionEdit, &QPlainTextEdit::textChanged, this,
                    &ClipAttributesDialog::OnTextChanged);
            widget = descriptionEdit;
            break;
        case Kind::PathLine:
            pathLine = new QLabel(caption, this);
            pathLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            pathLine->setWordWrap(true);
            pathLine->setTextFormat(Qt::PlainText);
            widget = pathLine;
            break;
        case Kind::Button:
        case Kind::DefaultButton: {
            auto* button = new QPushButton(caption, this);
            button->setDefault(item.kind == Kind::DefaultButton);
            if (item.id == 3) {
                applyButton = button;
                connect(button, &QPushButton::clicked, this,
                        &ClipAttributesDialog::ApplyAttributes);
            } else if (item.id == 1) {
                connect(button, &QPushButton::clicked, this, &ClipAttributesDialog::OnOk);
            } else {
                connect(button, &QPushButton::clicked, this, &QDialog::reject);
            }
            widget = button;
            break;
        }
        }
        if (item.id != 0)
            widget->setObjectName(QString::number(item.id));
        widget->setGeometry(rect);
    }
}

void ClipAttributesDialog::Open(BSTR path)
{
    if (!editor) {
        ComPtr<IClipAttributesEditor> created;
        HRESULT hr = CoCreateInstance(CLSID_ClipAttributesEditor, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&created));
        if (FAILED(hr))
            throw QStringLiteral(
                "Failed to create IClipAttributesEditor interface instance (error code 0x%1)")
                .arg(HexCode(hr));
        editor = IClipAttributesEditorClient(std::move(created));
    }
    try {
        SetErrorInfo(0, nullptr);
        editor.PutFilePath(path);
    } catch (const ComError& error) {
        throw FormatComError(QStringLiteral("Error"), error);
    }
    LoadAttributes();
}

void ClipAttributesDialog::showEvent(QShowEvent* event)
{
    if (!windowCreated)
        InitialiseDialog();
    QDialog::showEvent(event);
}

void ClipAttributesDialog::InitialiseDialog()
{
    windowCreated = true;
    LoadAttributes();
    modified = false;
    applyButton->setEnabled(false);
    lineEdits[0]->setFocus();
}

void ClipAttributesDialog::LoadAttributes()
{
    if (!windowCreated)
        return;
    loading = true;
    pathLine->clear();
    pathLine->setToolTip(QString());
    for (int i = 0; i < int(std::size(kAttributes)); ++i)
        SetEditText(i, QString());

    // Only an exact S_OK counts for the reads, so they go to the interface itself; what a
    // failed read leaves on the thread is dropped with it.
    Bstr path;
    if (!editor || editor.Get()->get_FilePath(path.Out()) != S_OK || path.Empty()) {
        SetErrorInfo(0, nullptr);
        SetEditsEnabled(false);
        loading = false;
        return;
    }
    ShowPath(ToQString(path));
    for (int i = 0; i < int(std::size(kAttributes)); ++i) {
        Bstr value;
        if ((editor.Get()->*kAttributes[i].get)(value.Out()) == S_OK && value.Get())
            SetEditText(i, ToQString(value));
    }
    SetErrorInfo(0, nullptr);
    SetEditsEnabled(true);
    loading = false;
}

void ClipAttributesDialog::ApplyAttributes()
{
    if (!editor || !modified)
        return;
    bool ok = true;
    for (int i = 0; i < int(std::size(kAttributes)); ++i) {
        const Attribute& attribute = kAttributes[i];
        QString text = EditText(i).trimmed();
        // An empty edit passes a null string, which removes the attribute.
        Bstr value = text.isEmpty() ? Bstr() : Bstr(text.toStdU16String());
        try {
            // A value that could not be copied must not reach the editor as a null string,
            // which would remove what the file holds.
            if (!text.isEmpty() && !value.Get())
                throw ComError(E_OUTOFMEMORY, {});
            // A failure that records no description must not be shown with an older one.
            SetErrorInfo(0, nullptr);
            (editor.*attribute.put)(value.Get());
        } catch (const ComError& error) {
            ok = false;
            QString firstLine =
                QStringLiteral("Failed to set the clip \"%1\" attribute\n").arg(attribute.name);
            boxes.Show(this, firstLine + FormatComError(QStringLiteral("Error"), error),
                       QStringLiteral("Error"), QMessageBox::Ok, QMessageBox::Critical);
        }
    }
    SetModified(!ok);
}

void ClipAttributesDialog::SetModified(bool flag)
{
    if (flag == modified)
        return;
    modified = flag;
    if (windowCreated)
        applyButton->setEnabled(flag);
}

void ClipAttributesDialog::OnTextChanged()
{
    if (!loading)
        SetModified(true);
}

void ClipAttributesDialog::OnOk()
{
    // Every refused attribute has had its own box by now, so the dialog closes all the same.
    ApplyAttributes();
    accept();
}

void ClipAttributesDialog::ShowPath(const QString& path)
{
    // The line has room for two rows; a path too long for them loses its middle rather than its
    // end, and the whole line goes into the tooltip.
    const QString whole = PathLineText(path);
    pathLine->setText(whole);
    QFontMetrics metrics(pathLine->font());
    int budget = metrics.horizontalAdvance(path);
    while (pathLine->heightForWidth(pathLine->width()) > pathLine->height() && budget > 0) {
        budget -= 4 * metrics.averageCharWidth();
        pathLine->setText(PathLineText(metrics.elidedText(path, Qt::ElideMiddle, budget)));
        pathLine->setToolTip(whole);
    }
}

void ClipAttributesDialog::SetEditsEnabled(bool enabled)
{
    for (QLineEdit* edit : lineEdits)
        edit->setEnabled(enabled);
    descriptionEdit->setEnabled(enabled);
}

QString ClipAttributesDialog::EditText(int index) const
{
    if (index != kDescriptionIndex)
        return lineEdits[index]->text();
    // A text document keeps neither "\r\n" nor a lone "\r" and turns no-break spaces into plain
    // ones, so a description the user left alone is written back as it was read, not as the
    // document would give it; every Apply writes all five.
    QTextDocument* document = descriptionEdit->document();
    if (!document->isModified())
        return loadedDescription;
    return document->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

void ClipAttributesDialog::SetEditText(int index, const QString& text)
{
    if (index == kDescriptionIndex) {
        loadedDescription = text;
        descriptionEdit->setPlainText(text);
    } else {
        lineEdits[index]->setText(text);
    }
}
