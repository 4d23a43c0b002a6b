// The clip attributes dialog driven with clicks and typing on real clips that ffmpeg makes,
// through the real engine; what it writes is read back by a fresh editor and by ffprobe, and
// its message boxes are answered by a script.
#include "ClipAttributesDialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AppTestEnvironment.h"
#include "AudioServer.h"
#include "DialogUnits.h"
#include "ScriptedMessageBoxes.h"
#include "TempFolder.h"
#include "com/ComApi.h"
#include "res/ClipAttributesTemplate.h"

namespace {

using Attributes = std::map<std::string, std::string>;

enum : int
{
    kTitle = 1011,
    kAuthor = 1014,
    kRating = 1020,
    kCopyright = 1021,
    kDescription = 1022,
    kPathLine = 1031,
    kApply = 3,
    kOk = 1,
    kCancel = 2
};

struct Accessor
{
    const char* name;
    HRESULT (IClipAttributesEditor::*get)(BSTR*);
    HRESULT (IClipAttributesEditor::*put)(BSTR);
};
const Accessor kAccessors[] = {
    {"Title", &IClipAttributesEditor::get_Title, &IClipAttributesEditor::put_Title},
    {"Author", &IClipAttributesEditor::get_Author, &IClipAttributesEditor::put_Author},
    {"Rating", &IClipAttributesEditor::get_Rating, &IClipAttributesEditor::put_Rating},
    {"Copyright", &IClipAttributesEditor::get_Copyright, &IClipAttributesEditor::put_Copyright},
    {"Description", &IClipAttributesEditor::get_Description,
     &IClipAttributesEditor::put_Description},
};

// A fresh editor on the file, as another program would open it.
ComPtr<IClipAttributesEditor> FreshEditor(const std::string& path)
{
    ComPtr<IClipAttributesEditor> editor;
    EXPECT_EQ(CoCreateInstance(CLSID_ClipAttributesEditor, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&editor)),
              S_OK);
    if (!editor || editor->put_FilePath(Bstr::FromUtf8(path).Get()) != S_OK) {
        ADD_FAILURE() << "the editor cannot open " << path;
        return {};
    }
    return editor;
}

// What a fresh editor reads from the file: the attributes present, by name.
Attributes ReadBack(const std::string& path)
{
    Attributes found;
    ComPtr<IClipAttributesEditor> editor = FreshEditor(path);
    if (!editor)
        return found;
    for (const Accessor& accessor : kAccessors) {
        Bstr value;
        HRESULT hr = (editor.Get()->*accessor.get)(value.Out());
        if (hr == S_OK)
            found[accessor.name] = value.Utf8();
        else
            EXPECT_EQ(hr, S_FALSE) << accessor.name;
    }
    return found;
}

// Writes attributes as an earlier session of the program did, through an editor of its own.
void Tag(const std::string& path, const Attributes& values)
{
    ComPtr<IClipAttributesEditor> editor = FreshEditor(path);
    ASSERT_TRUE(editor);
    for (const Accessor& accessor : kAccessors) {
        auto value = values.find(accessor.name);
        if (value == values.end())
            continue;
        ASSERT_EQ((editor.Get()->*accessor.put)(Bstr::FromUtf8(value->second).Get()), S_OK);
    }
}

// The format tags as ffprobe prints them; it shows Author as "artist", Description as
// "comment", and Rating not at all.
Attributes ProbeTags(const std::string& path)
{
    std::string output = audio_test::Shell(
        "ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "'");
    Attributes tags;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        size_t equals = line.find('=');
        if (line.rfind("TAG:", 0) == 0 && equals != std::string::npos) {
            std::string name = line.substr(4, equals - 4);
            if (name != "encoder") // ffmpeg's own, from making the clip
                tags[name] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return tags;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A file that this process cannot write. Mode bits do not stop root, so for root the file is
// made immutable as well; the guard undoes that, or the test folder could not be removed.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(std::string path) : path(std::move(path))
    {
        chmod(this->path.c_str(), 0444);
        if (Writable())
            immutable = CommandStatus("chattr +i '" + this->path + "' 2>/dev/null") == 0;
    }
    ~ReadOnlyFile()
    {
        if (immutable)
            CommandStatus("chattr -i '" + path + "'");
        chmod(path.c_str(), 0644);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool Writable() const
    {
        int fd = open(path.c_str(), O_WRONLY);
        if (fd < 0)
            return false;
        close(fd);
        return true;
    }

private:
    std::string path;
    bool immutable = false;
};

class ClipAttributesDialogTest : public AppTest
{
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        dialog = std::make_unique<ClipAttributesDialog>(boxes);
    }
    void TearDown() override
    {
        // The editor goes with the dialog, before the engine may be unloaded.
        dialog.reset();
        AppTest::TearDown();
    }

    // A two-second tone as a fresh clip; extra holds ffmpeg options such as metadata.
    std::string MakeClip(const std::string& name, const std::string& extra = {})
    {
        std::string path = (folder.Path() / name).string();
        int status = CommandStatus("ffmpeg -nostdin -v error -y -f lavfi -i "
                                   "sine=frequency=440:duration=2 -c:a wmav2 -b:a 64k " +
                                   extra + " '" + path + "'");
        EXPECT_EQ(status, 0) << "ffmpeg cannot make " << path;
        return path;
    }

    // Opens the clip and shows the dialog as the recorder form does, without its modal loop.
    void OpenAndShow(const std::string& path)
    {
        dialog->Open(Bstr::FromUtf8(path).Get());
        ShowDialog();
    }
    void ShowDialog()
    {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    template <class T> T* Get(int id) const { return dialog->findChild<T*>(QString::number(id)); }
    QLineEdit* Line(int id) const { return Get<QLineEdit>(id); }
    QPlainTextEdit* DescriptionEdit() const { return Get<QPlainTextEdit>(kDescription); }
    QPushButton* Button(int id) const { return Get<QPushButton>(id); }
    QString PathLine() const { return Get<QLabel>(kPathLine)->text(); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    // Destroys the dialog and with it the editor, which lets go of the file.
    void Release() { dialog.reset(); }

    // Replaces an edit's text as a user does: into it, select everything, type over it.
    void Type(int id, const QString& text)
    {
        QWidget* edit = id == kDescription ? static_cast<QWidget*>(DescriptionEdit()) : Line(id);
        QTest::mouseClick(id == kDescription ? DescriptionEdit()->viewport() : edit,
                          Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        TypeText(edit, text);
    }
    // Types text key by key; each key carries its character, so any letter can be typed.
    static void TypeText(QWidget* edit, const QString& text)
    {
        for (QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    std::vector<QString> EditTexts() const
    {
        return {Line(kTitle)->text(), Line(kAuthor)->text(), Line(kRating)->text(),
                Line(kCopyright)->text(), DescriptionEdit()->toPlainText()};
    }
    bool EditsEnabled(bool enabled) const
    {
        for (int id : {kTitle, kAuthor, kRating, kCopyright})
            if (Line(id)->isEnabled() != enabled)
                return false;
        return DescriptionEdit()->isEnabled() == enabled;
    }

    static std::string FailureText(const char* attribute, const std::string& composed)
    {
        return std::string("Failed to set the clip \"") + attribute + "\" attribute\n" + composed;
    }

    TempFolder folder;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<ClipAttributesDialog> dialog;
};

const std::vector<QString> kNoTexts(5);

} // namespace

// The template: every control by its id, in its place, with its caption readable in full.
TEST_F(ClipAttributesDialogTest, LayoutFollowsTheTemplateOnTheDialogFont)
{
    using namespace clip_attributes;
    ShowDialog();
    EXPECT_EQ(dialog->windowTitle(), "Clip attributes");
    DialogUnits units(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(units.X(kWidth), units.Y(kHeight)));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "the frame must not resize";

    for (const Item& item : kItems) {
        SCOPED_TRACE(item.caption);
        QRect rect = units.ToPixels(item.x, item.y, item.width, item.height);
        EXPECT_TRUE(dialog->rect().contains(rect));
        if (item.id != 0) {
            QWidget* widget = dialog->findChild<QWidget*>(QString::number(item.id));
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->geometry(), rect);
        }
        if (item.kind == Kind::Label || item.kind == Kind::Group || item.kind == Kind::Button ||
            item.kind == Kind::DefaultButton) {
            QFontMetrics metrics(dialog->font());
            EXPECT_LE(metrics.horizontalAdvance(QString::fromLatin1(item.caption)),
                      rect.width() - 4)
                << "the caption is cut off";
        }
    }
    EXPECT_TRUE(Button(kOk)->isDefault());
    EXPECT_FALSE(Button(kApply)->isDefault());

    // The Description edit is drawn over its group box, not hidden behind it.
    QImage picture = dialog->grab().toImage();
    QRect description = DescriptionEdit()->geometry();
    EXPECT_EQ(picture.pixelColor(description.center()),
              DescriptionEdit()->palette().color(QPalette::Disabled, QPalette::Base));
    // And its group's frame runs clear of it, as a frame through the caption would: above the
    // edit is the group's inside, as beside it.
    QColor inside = picture.pixelColor(description.left() - 4, description.center().y());
    for (int gap = 2; gap <= 4; ++gap)
        EXPECT_EQ(picture.pixelColor(description.center().x(), description.top() - gap), inside)
            << gap << " pixels above the Description edit";
}

TEST_F(ClipAttributesDialogTest, APathTooLongForTheLineLosesItsMiddleNotItsEnd)
{
    std::filesystem::path deep = folder.Path();
    for (const char* part : {"recordings-of-the-morning-session", "second-microphone-takes",
                             "archive-for-the-whole-year", "one-folder-for-every-week"})
        deep /= part;
    std::filesystem::create_directories(deep);
    std::string clip = MakeClip((deep / "final-take.wma").string());
    OpenAndShow(clip);
    std::string whole = "Clip file path is \"" + clip + "\"";
    auto* pathLabel = Get<QLabel>(kPathLine);
    std::string shown = PathLine().toStdString();
    EXPECT_NE(shown, whole);
    EXPECT_EQ(shown.rfind("Clip file path is \"" + folder.Path().string(), 0), 0u) << shown;
    EXPECT_TRUE(PathLine().endsWith("/final-take.wma\"")) << shown;
    EXPECT_TRUE(PathLine().contains(QChar(0x2026))) << shown;
    EXPECT_LE(pathLabel->heightForWidth(pathLabel->width()), pathLabel->height());
    EXPECT_EQ(pathLabel->toolTip().toStdString(), whole);
}

TEST_F(ClipAttributesDialogTest, AFileWithoutAttributesOpensEmptyAndUnmodified)
{
    std::string clip = MakeClip("plain clip.wma");
    OpenAndShow(clip);
    EXPECT_EQ(EditTexts(), kNoTexts);
    EXPECT_TRUE(EditsEnabled(true));
    EXPECT_EQ(PathLine().toStdString(), "Clip file path is \"" + clip + "\"");
    EXPECT_FALSE(Button(kApply)->isEnabled());
    EXPECT_TRUE(Button(kOk)->isEnabled());
    EXPECT_TRUE(Button(kCancel)->isEnabled());
    EXPECT_EQ(dialog->focusWidget(), Line(kTitle));

    // The path is drawn in full: a typical path takes one of the line's two rows.
    auto* pathLabel = Get<QLabel>(kPathLine);
    EXPECT_LE(pathLabel->heightForWidth(pathLabel->width()), pathLabel->height());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ClipAttributesDialogTest, ValuesThatOtherToolsWroteAreShown)
{
    std::string clip = MakeClip("tagged.wma", "-metadata title='Morning take' -metadata "
                                              "artist='Ana Ruiz' -metadata copyright='(c) 2024' "
                                              "-metadata comment='Two lines'");
    OpenAndShow(clip);
    EXPECT_EQ(EditTexts(),
              (std::vector<QString>{"Morning take", "Ana Ruiz", "", "(c) 2024", "Two lines"}));
    // Loading is not an edit.
    EXPECT_FALSE(Button(kApply)->isEnabled());
}

// Every Apply writes all five attributes, so one the user left alone must go back unchanged,
// line breaks and no-break spaces included, whatever the multi-line edit makes of them.
TEST_F(ClipAttributesDialogTest, AnUntouchedDescriptionIsWrittenBackAsItWasRead)
{
    const std::string description = "First line\r\nsecond\u00a0line\rthird";
    std::string clip = MakeClip("clip.wma");
    Tag(clip, {{"Description", description}});
    OpenAndShow(clip);
    Type(kTitle, "Only the title changes");
    Click(kApply);
    EXPECT_TRUE(boxes.shown.empty());
    Release();
    EXPECT_EQ(ReadBack(clip),
              (Attributes{{"Title", "Only the title changes"}, {"Description", description}}));
}

TEST_F(ClipAttributesDialogTest, TypingEnablesApplyAndASuccessfulApplyDisablesIt)
{
    std::string clip = MakeClip("clip.wma");
    OpenAndShow(clip);
    Type(kTitle, "First take");
    EXPECT_TRUE(Button(kApply)->isEnabled());
    Click(kApply);
    EXPECT_FALSE(Button(kApply)->isEnabled());
    EXPECT_TRUE(dialog->isVisible()) << "Apply keeps the dialog open";

    // Each of the five edits counts as a change, the multi-line one included.
    for (int id : {kAuthor, kRating, kCopyright, kDescription}) {
        SCOPED_TRACE(id);
        Type(id, "x");
        EXPECT_TRUE(Button(kApply)->isEnabled());
        Click(kApply);
        EXPECT_FALSE(Button(kApply)->isEnabled());
    }

    Type(kTitle, QString::fromUtf8("Grüße ♪"));
    Type(kAuthor, "Ana Ruiz");
    Type(kRating, "5 stars");
    Type(kCopyright, "(c) 2024 Ana Ruiz");
    Type(kDescription, "");
    QTest::keyClicks(DescriptionEdit(), "Recorded at dawn");
    QTest::keyClick(DescriptionEdit(), Qt::Key_Return);
    QTest::keyClicks(DescriptionEdit(), "second line");
    EXPECT_TRUE(dialog->isVisible()) << "Return in the description is a new line, not OK";
    Click(kApply);
    EXPECT_FALSE(Button(kApply)->isEnabled());
    EXPECT_TRUE(boxes.shown.empty());

    Release();
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Grüße ♪"},
                                          {"Author", "Ana Ruiz"},
                                          {"Rating", "5 stars"},
                                          {"Copyright", "(c) 2024 Ana Ruiz"},
                                          {"Description", "Recorded at dawn\nsecond line"}}));
    Attributes tags = ProbeTags(clip);
    EXPECT_EQ(tags["title"], "Grüße ♪");
    EXPECT_EQ(tags["artist"], "Ana Ruiz");
    EXPECT_EQ(tags["copyright"], "(c) 2024 Ana Ruiz");
    // ffprobe prints one line per line of a tag, so only the first shows as the value.
    EXPECT_EQ(tags["comment"], "Recorded at dawn");
}

// Apply leaves the dialog open, so what it wrote must already be whole in the file for every
// other reader: a player, ffprobe, or the next start after a crash.
TEST_F(ClipAttributesDialogTest, WhatApplyWroteIsWholeOnDiskWhileTheDialogStaysOpen)
{
    std::string clip = MakeClip("clip.wma");
    OpenAndShow(clip);
    Type(kTitle, "First take");
    Type(kDescription, "Written before closing");
    Click(kApply);
    ASSERT_FALSE(Button(kApply)->isEnabled());
    ASSERT_TRUE(dialog->isVisible());

    EXPECT_EQ(ReadBack(clip),
              (Attributes{{"Title", "First take"}, {"Description", "Written before closing"}}));
    EXPECT_EQ(ProbeTags(clip),
              (Attributes{{"title", "First take"}, {"comment", "Written before closing"}}));
    std::string duration = audio_test::Shell(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + clip + "'");
    EXPECT_NEAR(std::atof(duration.c_str()), 2.0, 0.1) << duration;
}

TEST_F(ClipAttributesDialogTest, EmptyingAnEditRemovesTheAttribute)
{
    std::string clip = MakeClip("tagged.wma");
    Tag(clip, {{"Title", "Keep me"}, {"Author", "Remove me"}});
    OpenAndShow(clip);
    ASSERT_EQ(Line(kAuthor)->text(), "Remove me");
    Type(kAuthor, "");
    EXPECT_TRUE(Button(kApply)->isEnabled());
    Click(kApply);
    EXPECT_FALSE(Button(kApply)->isEnabled());
    EXPECT_TRUE(boxes.shown.empty());
    Release();
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Keep me"}}));
    EXPECT_EQ(ProbeTags(clip), (Attributes{{"title", "Keep me"}}));
}

TEST_F(ClipAttributesDialogTest, SurroundingBlanksAreTrimmedAndBlanksAloneRemove)
{
    std::string clip = MakeClip("tagged.wma");
    Tag(clip, {{"Copyright", "Old notice"}, {"Rating", "Old rating"}});
    OpenAndShow(clip);
    Type(kTitle, "   Padded title  ");
    Type(kAuthor, " Ana  Ruiz ");
    Type(kRating, " 4 ");
    Type(kCopyright, "    ");
    Type(kDescription, "");
    QTest::keyClick(DescriptionEdit(), Qt::Key_Return);
    QTest::keyClicks(DescriptionEdit(), "  inner  blanks stay  ");
    QTest::keyClick(DescriptionEdit(), Qt::Key_Return);
    Click(kApply);
    EXPECT_TRUE(boxes.shown.empty());
    // Only the written values are trimmed; the edits keep what was typed.
    EXPECT_EQ(Line(kTitle)->text(), "   Padded title  ");
    Release();
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Padded title"},
                                          {"Author", "Ana  Ruiz"},
                                          {"Rating", "4"},
                                          {"Description", "inner  blanks stay"}}));
    EXPECT_EQ(ProbeTags(clip), (Attributes{{"title", "Padded title"},
                                           {"artist", "Ana  Ruiz"},
                                           {"comment", "inner  blanks stay"}}));
}

TEST_F(ClipAttributesDialogTest, EachRefusedAttributeGetsItsOwnBoxInOrder)
{
    std::string clip = MakeClip("locked.wma");
    ReadOnlyFile locked(clip);
    if (locked.Writable())
        GTEST_SKIP() << "this process can write " << clip << " whatever its mode";
    std::string before = FileBytes(clip);
    OpenAndShow(clip);
    ASSERT_TRUE(EditsEnabled(true));
    // Typed out of order: the boxes follow the attributes' order, not the typing.
    Type(kCopyright, "(c) 2024");
    Type(kTitle, "Locked take");
    Click(kApply);

    const std::string refused = "Error (code 0x80070005):\nno additional info is available";
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, FailureText("Title", refused));
    EXPECT_EQ(boxes.shown[1].text, FailureText("Copyright", refused));
    for (const ShownBox& box : boxes.shown) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.owner, dialog.get());
    }
    EXPECT_TRUE(Button(kApply)->isEnabled()) << "what was refused is still to be written";
    EXPECT_TRUE(dialog->isVisible());
    Release();
    EXPECT_EQ(FileBytes(clip), before);
    EXPECT_EQ(ReadBack(clip), Attributes{});
}

TEST_F(ClipAttributesDialogTest, ARefusedValueDoesNotStopTheOthers)
{
    // The editor refuses a value longer than an attribute's 16-bit byte length.
    std::string clip = MakeClip("clip.wma");
    OpenAndShow(clip);
    Type(kTitle, "Short title");
    // Pasted, as the edit takes a paste; the offscreen clipboard itself would leak its copy.
    QTest::mouseClick(DescriptionEdit()->viewport(), Qt::LeftButton);
    DescriptionEdit()->insertPlainText(QString(40000, QLatin1Char('d')));
    ASSERT_EQ(DescriptionEdit()->toPlainText().size(), 40000);
    Type(kRating, "3");
    Click(kApply);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(
        boxes.shown[0].text,
        FailureText("Description", "Error (code 0x80070057):\nno additional info is available"));
    EXPECT_TRUE(Button(kApply)->isEnabled());
    Release();
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Short title"}, {"Rating", "3"}}));
}

// The longest line an edit takes must be written whole or refused with a box, and never cost
// the file its other attributes.
TEST_F(ClipAttributesDialogTest, AValueAsLongAsAnEditTakesLeavesTheOtherAttributesWhole)
{
    std::string clip = MakeClip("clip.wma");
    Tag(clip, {{"Author", "Ana Ruiz"}, {"Copyright", "(c) 2024"}});
    OpenAndShow(clip);
    const QString longest(Line(kTitle)->maxLength(), QLatin1Char('t'));
    QTest::mouseClick(Line(kTitle), Qt::LeftButton);
    Line(kTitle)->insert(longest);
    ASSERT_EQ(Line(kTitle)->text(), longest);
    Click(kApply);
    Release();

    Attributes stored = ReadBack(clip);
    if (boxes.shown.empty())
        EXPECT_TRUE(stored["Title"] == longest.toStdString()) << "the title is not stored whole";
    else
        EXPECT_EQ(boxes.shown.size(), 1u);
    stored.erase("Title");
    EXPECT_EQ(stored, (Attributes{{"Author", "Ana Ruiz"}, {"Copyright", "(c) 2024"}}));
    std::string duration = audio_test::Shell(
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + clip + "'");
    EXPECT_NEAR(std::atof(duration.c_str()), 2.0, 0.1) << duration;
}

TEST_F(ClipAttributesDialogTest, OkWritesAndClosesEvenAfterFailures)
{
    std::string clip = MakeClip("clip.wma");
    dialog->Open(Bstr::FromUtf8(clip).Get());
    QTimer::singleShot(0, dialog.get(), [&] {
        Type(kTitle, "Taken with OK");
        // Return in an edit presses the default button.
        QTest::keyClick(Line(kTitle), Qt::Key_Return);
    });
    QTimer::singleShot(10000, dialog.get(), &QDialog::reject);
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    EXPECT_TRUE(boxes.shown.empty());
    Release();
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Taken with OK"}}));

    std::string locked = MakeClip("locked.wma");
    ReadOnlyFile guard(locked);
    if (guard.Writable())
        GTEST_SKIP() << "this process can write " << locked << " whatever its mode";
    auto second = std::make_unique<ClipAttributesDialog>(boxes);
    second->Open(Bstr::FromUtf8(locked).Get());
    QTimer::singleShot(0, second.get(), [&] {
        QLineEdit* author = second->findChild<QLineEdit*>(QString::number(kAuthor));
        QTest::keyClicks(author, "Not saved");
        QTest::mouseClick(second->findChild<QPushButton*>(QString::number(kOk)), Qt::LeftButton);
    });
    QTimer::singleShot(10000, second.get(), &QDialog::reject);
    EXPECT_EQ(second->exec(), QDialog::Accepted);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              FailureText("Author", "Error (code 0x80070005):\nno additional info is available"));
    EXPECT_EQ(boxes.shown[0].owner, second.get());
    second.reset();
    EXPECT_EQ(ReadBack(locked), Attributes{});
}

TEST_F(ClipAttributesDialogTest, CancelAndEscapeWriteNothing)
{
    std::string clip = MakeClip("clip.wma", "-metadata title='Original'");
    std::string before = FileBytes(clip);
    dialog->Open(Bstr::FromUtf8(clip).Get());
    QTimer::singleShot(0, dialog.get(), [&] {
        Type(kTitle, "Changed");
        Type(kDescription, "Changed too");
        Click(kCancel);
    });
    QTimer::singleShot(10000, dialog.get(), &QDialog::accept);
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);

    QTimer::singleShot(0, dialog.get(), [&] {
        Type(kAuthor, "Changed");
        QTest::keyClick(Line(kAuthor), Qt::Key_Escape);
    });
    QTimer::singleShot(10000, dialog.get(), &QDialog::accept);
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);

    Release();
    EXPECT_EQ(FileBytes(clip), before);
    EXPECT_EQ(ReadBack(clip), (Attributes{{"Title", "Original"}}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ClipAttributesDialogTest, OpenFailuresAreRaisedWithTheEnginesWords)
{
    auto thrown = [&](const std::string& path) -> std::string {
        try {
            dialog->Open(Bstr::FromUtf8(path).Get());
        } catch (const QString& text) {
            return text.toStdString();
        }
        return "(nothing thrown)";
    };
    std::string missing = folder / "missing.wma";
    EXPECT_EQ(thrown(missing), "Error (code 0x80070057):\nFile nor found (\"" + missing + "\")");
    std::string notes = folder / "notes.wma";
    std::ofstream(notes) << "not a clip\n";
    std::string text = thrown(notes);
    EXPECT_EQ(text.rfind("Error (code 0x", 0), 0u) << text;
    EXPECT_NE(text.find("):\nCould not open file (\"" + notes + "\")"), std::string::npos) << text;

    // Without the engine's registration there is nothing to create.
    TempFolder emptyRegistry;
    std::string shared = std::getenv("QUILLET_REGISTRY_DIR");
    setenv("QUILLET_REGISTRY_DIR", emptyRegistry.Path().c_str(), 1);
    ClipAttributesDialog unregistered(boxes);
    std::string created;
    try {
        unregistered.Open(Bstr::FromUtf8(MakeClip("clip.wma")).Get());
    } catch (const QString& message) {
        created = message.toStdString();
    }
    setenv("QUILLET_REGISTRY_DIR", shared.c_str(), 1);
    EXPECT_EQ(created,
              "Failed to create IClipAttributesEditor interface instance (error code 0x80040154)");
}

TEST_F(ClipAttributesDialogTest, WithoutAnOpenFileTheEditsAreDisabledAndNothingIsWritten)
{
    // Shown after a failed open, as only a test does: the editor has no file to name.
    EXPECT_THROW(dialog->Open(Bstr::FromUtf8(folder / "missing.wma").Get()), QString);
    ShowDialog();
    EXPECT_EQ(EditTexts(), kNoTexts);
    EXPECT_TRUE(EditsEnabled(false));
    EXPECT_EQ(PathLine(), "");
    EXPECT_FALSE(Button(kApply)->isEnabled());

    // Opening a file while the dialog shows loads it at once, with the same editor.
    std::string clip = MakeClip("clip.wma", "-metadata title='Found'");
    dialog->Open(Bstr::FromUtf8(clip).Get());
    EXPECT_TRUE(EditsEnabled(true));
    EXPECT_EQ(Line(kTitle)->text(), "Found");
    EXPECT_EQ(PathLine().toStdString(), "Clip file path is \"" + clip + "\"");

    // A dialog that never had an editor closes with OK and writes nothing.
    ClipAttributesDialog bare(boxes);
    QTimer::singleShot(0, &bare, [&] {
        EXPECT_FALSE(bare.findChild<QLineEdit*>(QString::number(kTitle))->isEnabled());
        bare.SetModified(true);
        QTest::mouseClick(bare.findChild<QPushButton*>(QString::number(kOk)), Qt::LeftButton);
    });
    QTimer::singleShot(10000, &bare, &QDialog::reject);
    EXPECT_EQ(bare.exec(), QDialog::Accepted);
    EXPECT_TRUE(boxes.shown.empty());
}
