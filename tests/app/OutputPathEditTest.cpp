// OutputPathEdit on a shown form: the drop button's clicks, presses and keyboard trigger, the
// looks of a pushed and of an unusable button, and the plain editing of the field.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <algorithm>
#include <memory>

#include "OutputPathEdit.h"
#include "WindowMouse.h"

namespace {

using namespace window_mouse;

class OutputPathEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->resize(300, 60);
        edit = new OutputPathEdit(form.get());
        edit->setGeometry(10, 10, 240, 24);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        edit->setFocus();
        browses = std::make_unique<QSignalSpy>(edit, &OutputPathEdit::browseRequested);
    }

    void TearDown() override
    {
        browses.reset();
        form.reset();
    }

    QPoint ButtonCentre() const { return edit->DropButtonRect().center(); }

    // The drop button as it is painted.
    QImage ButtonLook() const
    {
        return edit->grab(edit->DropButtonRect()).toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The darkest grey level in the drop button: the "..." when it is drawn black.
    int DarkestDots() const
    {
        const QImage look = ButtonLook();
        int darkest = 255;
        // The dots sit in the lower half, inside the button's edges.
        for (int y = look.height() / 2; y < look.height() - 1; ++y) {
            for (int x = 1; x < look.width() - 1; ++x)
                darkest = std::min(darkest, qGray(look.pixel(x, y)));
        }
        return darkest;
    }

    // The field's colour between the end of a short text and the drop button.
    QRgb Background() const
    {
        return edit->grab().toImage().pixel(edit->DropButtonRect().left() - 10, edit->height() / 2);
    }

    std::unique_ptr<QWidget> form;
    OutputPathEdit* edit = nullptr;
    std::unique_ptr<QSignalSpy> browses;
};

} // namespace

TEST_F(OutputPathEditTest, TheDropButtonSitsInsideTheFrameOnTheRight)
{
    const QRect button = edit->DropButtonRect();
    EXPECT_EQ(button.width(),
              edit->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, edit));
    EXPECT_TRUE(edit->rect().contains(button));
    EXPECT_GT(button.top(), 0);
    EXPECT_LT(edit->width() - 1 - button.right(), 4); // only the frame is right of it
    // The text never runs under the button.
    edit->setText(QString(200, QLatin1Char('w')));
    edit->end(false);
    edit->grab(); // the edit scrolls its text when it paints
    const QRect cursor = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_LT(cursor.center().x(), button.left());
    EXPECT_GT(cursor.center().x(), button.left() - 8);
}

TEST_F(OutputPathEditTest, PressingAndReleasingOverTheButtonBrowsesOnce)
{
    edit->setText(QStringLiteral("/home/ann/clip.wma"));
    edit->selectAll();
    const QImage up = ButtonLook();

    Press(edit, ButtonCentre());
    EXPECT_NE(ButtonLook(), up); // pushed
    EXPECT_EQ(browses->count(), 0);
    Release(edit, ButtonCentre());
    EXPECT_EQ(browses->count(), 1);
    EXPECT_EQ(ButtonLook(), up);
    // The edit's own mouse handling never saw the click: the selection stands.
    EXPECT_EQ(edit->selectedText(), QStringLiteral("/home/ann/clip.wma"));

    // A double click browses once, on its first click.
    DoubleClick(edit, ButtonCentre());
    EXPECT_EQ(browses->count(), 2);
}

TEST_F(OutputPathEditTest, ReleasingAwayFromTheButtonDoesNotBrowse)
{
    const QImage up = ButtonLook();
    Press(edit, ButtonCentre());
    const QImage down = ButtonLook();
    ASSERT_NE(down, up);

    // While held, the button follows the cursor on each tick of its timer.
    Move(edit, QPoint(20, 12));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ButtonLook() == up; }, 1000));
    Move(edit, ButtonCentre());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ButtonLook() == down; }, 1000));
    Move(form.get(), QPoint(280, 50)); // off the field altogether
    EXPECT_TRUE(QTest::qWaitFor([&] { return ButtonLook() == up; }, 1000));

    Release(form.get(), QPoint(280, 50));
    EXPECT_EQ(browses->count(), 0);
    EXPECT_EQ(ButtonLook(), up);
    // The press is over: moving back over the button pushes nothing.
    Move(edit, ButtonCentre());
    QTest::qWait(250);
    EXPECT_EQ(ButtonLook(), up);
}

TEST_F(OutputPathEditTest, AltEnterBrowsesAndPlainEnterDoesNot)
{
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(browses->count(), 0);
    QTest::keyClick(edit, Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(browses->count(), 1);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
    EXPECT_EQ(browses->count(), 2);
}

TEST_F(OutputPathEditTest, AReadOnlyOrDisabledFieldIgnoresTheButtonAndAltEnter)
{
    edit->setText(QStringLiteral("/home/ann/clip.wma"));
    const int usableDots = DarkestDots();
    const QImage usable = ButtonLook();
    const QRgb usableBackground = Background();
    EXPECT_EQ(usableBackground, edit->palette().color(QPalette::Base).rgb());

    for (bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "disabled");
        if (readOnly)
            edit->setReadOnly(true);
        else
            edit->setEnabled(false);
        const QImage idle = ButtonLook();
        // The "..." is grey, and so is the field: grey text on the button face.
        EXPECT_GT(DarkestDots(), usableDots + 40);
        EXPECT_EQ(Background(), edit->palette().color(QPalette::Button).rgb());

        Press(edit, ButtonCentre());
        EXPECT_EQ(ButtonLook(), idle); // not pushed
        Release(edit, ButtonCentre());
        QTest::keyClick(edit, Qt::Key_Return, Qt::AltModifier);
        EXPECT_EQ(browses->count(), 0);
        EXPECT_EQ(edit->text(), QStringLiteral("/home/ann/clip.wma"));

        edit->setReadOnly(false);
        edit->setEnabled(true);
        EXPECT_EQ(ButtonLook(), usable);
        EXPECT_EQ(Background(), usableBackground);
    }
    // Usable again, it browses.
    Click(edit, ButtonCentre());
    EXPECT_EQ(browses->count(), 1);
}

TEST_F(OutputPathEditTest, ItEditsAsAPlainSingleLineEdit)
{
    QTest::keyClicks(edit, QStringLiteral("/tmp/clip.wmx"));
    EXPECT_EQ(edit->text(), QStringLiteral("/tmp/clip.wmx"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("a"));
    EXPECT_EQ(edit->text(), QStringLiteral("/tmp/clip.wma"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("tmp/clip.wma"));

    // Cut the file name and paste it back at the start.
    QTest::keyClick(edit, Qt::Key_End);
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("tmp/"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("clip.wma"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("clip.wmatmp/"));

    // A click in the text places the cursor there, as in any edit.
    edit->setText(QStringLiteral("abcdef"));
    EXPECT_EQ(edit->cursorPosition(), 6);
    Click(edit, QPoint(3, 12));
    EXPECT_EQ(edit->cursorPosition(), 0);
}
