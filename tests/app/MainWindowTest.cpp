// The main window around the recorder form: its place on the screen, the menu, "Always on
// top", the About box and the position saved at close.
#include "MainWindow.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include "FormTestSupport.h"
#include "RecorderForm.h"
#include "SkinnedButton.h"

namespace {

using namespace std::chrono_literals;

class MainWindowTest : public FormTest
{
protected:
    void TearDown() override
    {
        window.reset();
        FormTest::TearDown();
    }

    void StartWindow()
    {
        window = std::make_unique<MainWindow>(*settings, boxes);
        window->Create();
        window->show();
    }
    QAction* Action(int id) { return window->findChild<QAction*>(QString::number(id)); }
    // The enablement a user sees when the menu opens.
    bool EnabledWhenOpened(int id)
    {
        QAction* action = Action(id);
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            if (menu->actions().contains(action))
                emit menu->aboutToShow();
        return action->isEnabled();
    }

    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST(MainWindowPlacementTest, AStoredPositionIsUsedOnlyWhenItIsOnTheScreen)
{
    const QSize screen(1280, 800);
    const QSize window(660, 480);
    const QPoint centre((1280 - 660) / 2, (800 - 480) / 2);
    // First start: the defaults are on the screen.
    EXPECT_EQ(MainWindow::Placement(200, 150, screen, window), QPoint(200, 150));
    EXPECT_EQ(MainWindow::Placement(0, 0, screen, window), centre);
    EXPECT_EQ(MainWindow::Placement(2000, 300, screen, window), centre);
    EXPECT_EQ(MainWindow::Placement(0, 300, screen, window), centre);
    EXPECT_EQ(MainWindow::Placement(300, 0, screen, window), centre);
    EXPECT_EQ(MainWindow::Placement(1180, 700, screen, window), QPoint(1180, 700));
    EXPECT_EQ(MainWindow::Placement(1181, 700, screen, window), centre);
    EXPECT_EQ(MainWindow::Placement(300, 701, screen, window), centre);
    // A negative edge, stored as its 32-bit pattern, is far off as well.
    EXPECT_EQ(MainWindow::Placement(uint32_t(-20), 300, screen, window), centre);
}

TEST_F(MainWindowTest, TheWindowFitsTheFormAndSitsWhereTheSettingsSay)
{
    settings->SetWindowPosition(120, 90);
    StartWindow();
    EXPECT_EQ(window->windowTitle().toStdString(), "Quillet");
    QSize form = window->Form()->size();
    EXPECT_EQ(window->centralWidget(), window->Form());
    EXPECT_EQ(window->size().width(), form.width());
    EXPECT_EQ(window->size().height(), form.height() + window->menuBar()->height());
    // It cannot be resized or maximised.
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(window->frameGeometry().topLeft(),
              MainWindow::Placement(120, 90, screen, window->frameGeometry().size()));
}

TEST_F(MainWindowTest, ClosingSavesThePosition)
{
    StartWindow();
    window->move(150, 110);
    QPoint corner = window->frameGeometry().topLeft();
    window->close();
    auto stored = ReloadedSettings();
    uint32_t x = 0;
    uint32_t y = 0;
    stored->GetWindowPosition(x, y);
    EXPECT_EQ(int(x), corner.x());
    EXPECT_EQ(int(y), corner.y());
}

TEST_F(MainWindowTest, AlwaysOnTopTwiceLeavesItOffAndStored)
{
    StartWindow();
    EXPECT_FALSE(window->IsTopmost());
    Action(32775)->trigger();
    EXPECT_TRUE(window->IsTopmost());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ReloadedSettings()->AlwaysOnTop());
    Action(32775)->trigger();
    EXPECT_FALSE(window->IsTopmost());
    EXPECT_FALSE(ReloadedSettings()->AlwaysOnTop());
    // Without saving, the registry keeps what it had.
    window->SetTopmost(true, false);
    EXPECT_TRUE(window->IsTopmost());
    EXPECT_FALSE(ReloadedSettings()->AlwaysOnTop());
}

TEST_F(MainWindowTest, AStoredAlwaysOnTopStartsTopmost)
{
    settings->SetAlwaysOnTop(true);
    StartWindow();
    EXPECT_TRUE(window->IsTopmost());
    EXPECT_TRUE(EnabledWhenOpened(32775));
    EXPECT_TRUE(Action(32775)->isChecked());
}

TEST_F(MainWindowTest, TheOverwriteOptionTogglesTheStoredSetting)
{
    StartWindow();
    EnabledWhenOpened(32774);
    EXPECT_FALSE(Action(32774)->isChecked());
    Action(32774)->trigger();
    EXPECT_TRUE(ReloadedSettings()->OverwriteFilePrompt());
    EnabledWhenOpened(32774);
    EXPECT_TRUE(Action(32774)->isChecked());
    Action(32774)->trigger();
    EXPECT_FALSE(ReloadedSettings()->OverwriteFilePrompt());
}

TEST_F(MainWindowTest, TheClipItemsAreDisabledBeforeAndDuringARecording)
{
    StartWindow();
    for (int id : {3271, 32776, 32777})
        EXPECT_FALSE(EnabledWhenOpened(id)) << id;
    auto* field = window->Form()->findChild<QWidget*>("1019");
    static_cast<QLineEdit*>(field)->setText(QString::fromStdString(folder / "menu.wma"));
    auto* record = window->Form()->findChild<SkinnedButton*>("1015");
    QTest::mouseClick(record, Qt::LeftButton);
    ASSERT_TRUE(
        WaitUntil([&] { return window->Form()->Capture().GetState() == dsg_running; }, 3000ms));
    for (int id : {3271, 32776, 32777})
        EXPECT_FALSE(EnabledWhenOpened(id)) << id;
    window->Form()->Capture().Stop();
    for (int id : {32772, 57670, 32773})
        EXPECT_TRUE(EnabledWhenOpened(id)) << id;
}

TEST_F(MainWindowTest, AboutSaysWhichVersionThisIs)
{
    StartWindow();
    Action(32773)->trigger();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "About Quillet");
    EXPECT_EQ(boxes.shown[0].text, "Quillet version 1.0");
    EXPECT_EQ(boxes.shown[0].buttons, QMessageBox::Ok);
}
