// The recorder form playing its clip and editing its attributes, driven by clicks on the real
// engine; the Clip menu's rules while a clip plays.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "ClipAttributesDialog.h"
#include "FormTestSupport.h"
#include "MainWindow.h"
#include "RecorderForm.h"
#include "SkinnedButton.h"

namespace {

using namespace std::chrono_literals;

class FormPlaybackTest : public FormTest
{
protected:
    void TearDown() override
    {
        window.reset();
        FormTest::TearDown();
    }

    // The window with a clip of about a second and a half from the virtual tone device.
    void StartWithClip()
    {
        settings->SetSourceFilterName(Bstr::FromUtf8("Quillet Virtual Lines").Get());
        window = std::make_unique<MainWindow>(*settings, boxes);
        window->Create();
        window->show();
        form = window->Form();
        clip = folder / "played.wma";
        form->findChild<QLineEdit*>("1019")->setText(QString::fromStdString(clip));
        Click(1015);
        ASSERT_TRUE(WaitUntil([&] { return form->Capture().GetState() == dsg_running; }, 3000ms));
        // Play cannot start while recording.
        EXPECT_FALSE(Button(1018)->isEnabled());
        WaitFor(1500ms);
        Click(1017);
        ASSERT_TRUE(WaitUntil([&] { return Button(1018)->isEnabled(); }, 3000ms));
    }
    SkinnedButton* Button(int id) { return form->findChild<SkinnedButton*>(QString::number(id)); }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    QSlider* Volume() { return form->findChild<QSlider*>("1026"); }
    bool EnabledWhenOpened(int id)
    {
        QAction* action = window->findChild<QAction*>(QString::number(id));
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            if (menu->actions().contains(action))
                emit menu->aboutToShow();
        return action->isEnabled();
    }
    bool ReadyWithClip()
    {
        return !form->IsPlaying() && Button(1015)->isEnabled() && !Button(1016)->isEnabled() &&
               !Button(1017)->isEnabled() && Button(1018)->isEnabled() && !Button(1018)->GetCheck();
    }

    std::unique_ptr<MainWindow> window;
    RecorderForm* form = nullptr;
    std::string clip;
};

} // namespace

TEST_F(FormPlaybackTest, PlayingTheClipToItsEndReturnsToReady)
{
    StartWithClip();
    EXPECT_FALSE(Volume()->isEnabled());
    EXPECT_EQ(Volume()->value(), 50);
    EXPECT_TRUE(EnabledWhenOpened(3271));
    Click(1018);
    ASSERT_TRUE(form->IsPlaying());
    ASSERT_TRUE(WaitUntil([&] { return Button(1017)->isEnabled(); }, 3000ms));
    // Playing.
    EXPECT_TRUE(Button(1018)->GetCheck());
    EXPECT_FALSE(Button(1015)->isEnabled());
    EXPECT_TRUE(Button(1016)->isEnabled());
    EXPECT_TRUE(Volume()->isEnabled());
    EXPECT_FALSE(EnabledWhenOpened(3271));
    EXPECT_TRUE(EnabledWhenOpened(32776));
    // A second Play does nothing.
    Click(1018);
    EXPECT_TRUE(form->IsPlaying());

    ASSERT_TRUE(WaitUntil([&] { return ReadyWithClip(); }, 10000ms));
    EXPECT_FALSE(Volume()->isEnabled());
    EXPECT_EQ(Volume()->value(), 50);
    EXPECT_TRUE(EnabledWhenOpened(3271));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FormPlaybackTest, PauseAndStopGoToThePlaybackWhileItRuns)
{
    StartWithClip();
    Click(1018);
    ASSERT_TRUE(WaitUntil([&] { return Button(1016)->isEnabled(); }, 3000ms));
    Click(1016);
    EXPECT_TRUE(Button(1016)->GetCheck());
    // The capture stays stopped; it is the playback that pauses.
    EXPECT_EQ(form->Capture().GetState(), dsg_stopped);
    WaitFor(300ms);
    EXPECT_TRUE(form->IsPlaying());
    Click(1016);
    ASSERT_TRUE(WaitUntil([&] { return !Button(1016)->GetCheck(); }, 2000ms));
    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return ReadyWithClip(); }, 3000ms));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FormPlaybackTest, TheVolumeSliderShowsWhatTheEngineKept)
{
    StartWithClip();
    Click(1018);
    ASSERT_TRUE(WaitUntil([&] { return Volume()->isEnabled(); }, 3000ms));
    Volume()->setFocus();
    QTest::keyClick(Volume(), Qt::Key_Home);
    EXPECT_EQ(Volume()->value(), 1);
    QTest::keyClick(Volume(), Qt::Key_End);
    EXPECT_EQ(Volume()->value(), 100);
    QTest::keyClick(Volume(), Qt::Key_PageDown);
    int kept = Volume()->value();
    EXPECT_LT(kept, 100);
    EXPECT_GE(kept, 1);
    Click(1017);
    ASSERT_TRUE(WaitUntil([&] { return ReadyWithClip(); }, 3000ms));
    EXPECT_EQ(Volume()->value(), 50);
}

TEST_F(FormPlaybackTest, AClipThatCannotBeLoadedLeavesNoPlayback)
{
    StartWithClip();
    // The file is replaced by something that is no clip at all.
    std::filesystem::remove(clip);
    std::ofstream(clip) << "not a clip";
    Click(1018);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("Could not intialize the playback object", 0), 0u)
        << boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(form->IsPlaying());
    EXPECT_FALSE(Button(1018)->GetCheck());
    EXPECT_FALSE(Volume()->isEnabled());
    EXPECT_EQ(Volume()->value(), 50);
}

TEST_F(FormPlaybackTest, EditAttributesWritesTheTitleIntoTheClip)
{
    StartWithClip();
    EXPECT_TRUE(EnabledWhenOpened(32776));
    QTimer::singleShot(300, [&] {
        auto* dialog = qobject_cast<ClipAttributesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* title = dialog->findChild<QLineEdit*>("1011");
        ASSERT_NE(title, nullptr);
        QTest::keyClicks(title, "Morning take");
        QTest::mouseClick(dialog->findChild<QWidget*>("1"), Qt::LeftButton);
    });
    window->findChild<QAction*>("32776")->trigger();
    window.reset();
    std::string tags = audio_test::Shell(
        "ffprobe -v error -show_entries format_tags=title -of default=nw=1 '" + clip + "'");
    EXPECT_EQ(tags, "TAG:title=Morning take\n");
    EXPECT_TRUE(boxes.shown.empty());
}
