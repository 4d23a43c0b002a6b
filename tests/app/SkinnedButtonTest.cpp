// SkinnedButton on a shown form: its region from the mask and where clicks land, what clicks
// and the space key do to the check mark of each kind, and the look of each state by its pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <memory>

#include "Resources.h"
#include "SkinnedButton.h"
#include "WindowMouse.h"

namespace {

using namespace window_mouse;

// The recorder form's Record button: its four looks and the round mask.
constexpr int normalId = 156, pressedId = 154, hoverId = 155, disabledId = 166, maskId = 159;

// A form that counts the presses that reach it.
class Form : public QWidget
{
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++presses;
        event->accept();
    }
};

class SkinnedButtonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<Form>();
        form->resize(200, 100);
        other = new QLineEdit(form.get());
        other->setGeometry(100, 60, 80, 24);
    }

    void TearDown() override { form.reset(); }

    // A button with the Record skin at (20, 20), first given the template's size.
    SkinnedButton* AddButton(SkinnedButton::Kind kind, int mode = 0)
    {
        auto* button = new SkinnedButton(kind, form.get());
        button->setGeometry(20, 20, 43, 32);
        button->SetSkin(normalId, pressedId, hoverId, disabledId, 0, maskId, mode, 0, 0);
        return button;
    }

    void Show()
    {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    static QPoint Centre(QWidget* widget) { return widget->rect().center(); }

    // What the button shows, as the same kind of image as the bitmaps.
    static QImage Look(SkinnedButton* button)
    {
        return button->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // A bitmap as the button shows it: over the form's background (which shows through the
    // bitmap's transparent pixels when the button is grabbed on its own).
    static QImage Expected(SkinnedButton* button, int id)
    {
        const QImage bitmap = LoadBitmapResource(id, 1).toImage();
        QImage image(bitmap.size(), QImage::Format_ARGB32);
        image.fill(button->palette().color(QPalette::Window));
        QPainter painter(&image);
        painter.drawImage(0, 0, bitmap);
        painter.end();
        return image;
    }

    // Whether the button shows the bitmap inside its region, give or take rounding.
    static ::testing::AssertionResult Shows(SkinnedButton* button, int id)
    {
        const QImage look = Look(button);
        const QImage expected = Expected(button, id);
        if (look.size() != expected.size())
            return ::testing::AssertionFailure() << "the look has another size";
        const QRegion region = button->mask();
        for (int y = 0; y < look.height(); ++y) {
            for (int x = 0; x < look.width(); ++x) {
                const QRgb a = look.pixel(x, y), b = expected.pixel(x, y);
                if (!region.contains(QPoint(x, y)))
                    continue;
                if (std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 ||
                    std::abs(qBlue(a) - qBlue(b)) > 2) {
                    return ::testing::AssertionFailure()
                           << "pixel " << x << "," << y << " is " << QColor(a).name().toStdString()
                           << " where bitmap " << id << " has " << QColor(b).name().toStdString();
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    std::unique_ptr<Form> form;
    QLineEdit* other = nullptr;
};

} // namespace

TEST_F(SkinnedButtonTest, TheMaskSizesTheButtonAndCutsItRound)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Push);
    EXPECT_EQ(button->geometry(), QRect(20, 20, 32, 32)); // resized, not moved
    EXPECT_EQ(button->sizeHint(), QSize(32, 32));

    // The region is the mask's non-white pixels.
    const QImage mask = LoadBitmapResource(maskId, 1).toImage();
    const QRegion region = button->mask();
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(region.contains(QPoint(x, y)), mask.pixel(x, y) != qRgb(255, 255, 255))
                << x << "," << y;
        }
    }
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_TRUE(region.contains(QPoint(16, 0)));
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 32, 32));
}

TEST_F(SkinnedButtonTest, StretchedAndTiledButtonsKeepTheirSizeAndOutOfRangeModesFold)
{
    // Stretched and tiled buttons keep their size; the region still comes from the mask.
    for (int mode : {1, 2, 7}) {
        SkinnedButton* button = AddButton(SkinnedButton::Kind::Push, mode);
        EXPECT_EQ(button->size(), QSize(43, 32)) << "mode " << mode;
        EXPECT_FALSE(button->mask().contains(QPoint(0, 0)));
        delete button;
    }
    // A mode with the top bit set counts as 0.
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Push, INT32_MIN);
    EXPECT_EQ(button->size(), QSize(32, 32));

    // Mode 1 stretches the bitmap over the button, mode 2 (and above) tiles it.
    Show();
    auto* stretched = new SkinnedButton(SkinnedButton::Kind::Push, form.get());
    auto* tiled = new SkinnedButton(SkinnedButton::Kind::Push, form.get());
    for (auto* unmasked : {stretched, tiled})
        unmasked->setGeometry(20, 20, 43, 32);
    stretched->SetSkin(normalId, pressedId, hoverId, disabledId, 0, 0, 1, 0, 0);
    tiled->SetSkin(normalId, pressedId, hoverId, disabledId, 0, 0, 5, 0, 0);
    const QImage stretchedLook = stretched->grab().toImage();
    const QImage tiledLook = tiled->grab().toImage();
    // The tile starts again at x = 32; the stretched record dot reaches further right.
    EXPECT_EQ(tiledLook.pixel(32 + 5, 16), tiledLook.pixel(5, 16));
    EXPECT_GT(qRed(stretchedLook.pixel(26, 16)), 150);
    EXPECT_LT(qGreen(stretchedLook.pixel(26, 16)), 80);
    EXPECT_GT(qGreen(tiledLook.pixel(26, 16)), 150);
}

TEST_F(SkinnedButtonTest, ClicksOnTheMasksWhitePixelsReachTheFormUnderneath)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Push);
    Show();
    QSignalSpy clicks(button, &QAbstractButton::clicked);

    const QPoint corner = button->pos() + QPoint(1, 1);
    EXPECT_EQ(QApplication::widgetAt(form->mapToGlobal(corner)), form.get());
    EXPECT_EQ(QApplication::widgetAt(button->mapToGlobal(Centre(button))), button);

    Click(form.get(), corner);
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(form->presses, 1);

    Click(form.get(), button->pos() + QPoint(16, 16));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(form->presses, 1);
}

TEST_F(SkinnedButtonTest, APushKindButtonLeavesItsCheckMarkToTheForm)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Push);
    Show();
    QSignalSpy clicks(button, &QAbstractButton::clicked);

    Click(button, Centre(button));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(button->GetCheck());

    button->SetCheck(true);
    EXPECT_TRUE(button->GetCheck());
    Click(button, Centre(button));
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_TRUE(button->GetCheck());

    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_TRUE(button->GetCheck());

    button->SetCheck(false);
    EXPECT_FALSE(button->GetCheck());
}

TEST_F(SkinnedButtonTest, AToggleKindButtonTogglesOnAReleaseOverIt)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Toggle);
    Show();
    QSignalSpy clicks(button, &QAbstractButton::clicked);

    Click(button, Centre(button));
    EXPECT_TRUE(button->GetCheck());
    Click(button, Centre(button));
    EXPECT_FALSE(button->GetCheck());
    EXPECT_EQ(clicks.count(), 2);

    // Released away from the button: no click, no toggle.
    Press(button, Centre(button));
    Move(form.get(), QPoint(150, 20));
    Release(form.get(), QPoint(150, 20));
    EXPECT_FALSE(button->GetCheck());
    EXPECT_EQ(clicks.count(), 2);

    // Released on the mask's white corner, inside the rectangle but outside the button.
    Press(button, Centre(button));
    Move(button, QPoint(1, 1));
    Release(button, QPoint(1, 1));
    EXPECT_FALSE(button->GetCheck());
    EXPECT_EQ(clicks.count(), 2);

    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_TRUE(button->GetCheck());
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_FALSE(button->GetCheck());

    // A double click is two presses: the button toggles twice.
    DoubleClick(button, Centre(button));
    EXPECT_FALSE(button->GetCheck());
    EXPECT_EQ(clicks.count(), 6);
}

TEST_F(SkinnedButtonTest, ARadioKindButtonSetsItsCheckMark)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Radio);
    Show();
    Click(button, Centre(button));
    EXPECT_TRUE(button->GetCheck());
    Click(button, Centre(button));
    EXPECT_TRUE(button->GetCheck());

    button->SetCheck(false);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_TRUE(button->GetCheck());
}

TEST_F(SkinnedButtonTest, LosingTheFocusEndsAPress)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Toggle);
    Show();
    QSignalSpy clicks(button, &QAbstractButton::clicked);

    Press(button, Centre(button));
    ASSERT_TRUE(button->hasFocus());
    EXPECT_TRUE(Shows(button, pressedId));
    other->setFocus();
    EXPECT_TRUE(Shows(button, normalId));
    Move(button, Centre(button) + QPoint(1, 0));
    Release(button, Centre(button) + QPoint(1, 0));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(button->GetCheck());
}

TEST_F(SkinnedButtonTest, EachStateShowsItsBitmap)
{
    SkinnedButton* button = AddButton(SkinnedButton::Kind::Push);
    Show();
    Move(form.get(), QPoint(150, 20));
    EXPECT_TRUE(Shows(button, normalId));

    // Hover while the cursor is over the button, normal again once it leaves.
    Move(button, Centre(button));
    EXPECT_TRUE(Shows(button, hoverId));
    EXPECT_FALSE(Shows(button, normalId));
    Move(form.get(), QPoint(150, 20));
    EXPECT_TRUE(Shows(button, normalId));

    // Pushed exactly while the held cursor is over the button; a press ends the hover.
    Move(button, Centre(button));
    Press(button, Centre(button));
    EXPECT_TRUE(Shows(button, pressedId));
    Move(form.get(), QPoint(150, 20));
    EXPECT_TRUE(Shows(button, normalId));
    Move(button, Centre(button));
    EXPECT_TRUE(Shows(button, pressedId));
    Release(button, Centre(button));
    EXPECT_TRUE(Shows(button, normalId));
    // The next move over it lights it again.
    Move(button, Centre(button) + QPoint(1, 1));
    EXPECT_TRUE(Shows(button, hoverId));

    // Checked by the form: the pressed look, hover or not.
    button->SetCheck(true);
    EXPECT_TRUE(Shows(button, pressedId));
    button->SetCheck(false);

    button->setEnabled(false);
    EXPECT_TRUE(Shows(button, disabledId));
}

TEST_F(SkinnedButtonTest, TheDisabledLookDefaultsToTheNormalBitmap)
{
    auto* button = new SkinnedButton(SkinnedButton::Kind::Push, form.get());
    button->SetSkin(normalId, pressedId, hoverId, 0, 0, maskId, 0, 0, 0);
    Show();
    button->setEnabled(false);
    EXPECT_TRUE(Shows(button, normalId));
}

TEST_F(SkinnedButtonTest, WithoutBitmapsTheButtonShowsTheButtonFace)
{
    auto* button = new SkinnedButton(SkinnedButton::Kind::Push, form.get());
    button->setGeometry(20, 20, 40, 24);
    button->SetSkin(0, 0, 0, 0, 0, 0, 0, 1, 0);
    Show();
    EXPECT_EQ(button->size(), QSize(40, 24)); // no mask, no resize
    const QImage look = Look(button);
    EXPECT_EQ(look.pixel(20, 12), button->palette().color(QPalette::Button).rgb());
    // The raised edge: light at the top left, dark at the bottom right.
    EXPECT_NE(look.pixel(0, 0), look.pixel(39, 23));
}
