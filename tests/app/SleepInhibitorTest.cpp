#include "SleepInhibitor.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "FormTestSupport.h"
#include "PrivateBus.h"
#include "RecorderForm.h"
#include "SkinnedButton.h"

namespace {

using namespace std::chrono_literals;

constexpr int RecordButton = 1015;
constexpr int PauseButton = 1016;
constexpr int StopButton = 1017;
constexpr int OutputField = 1019;

// The recorder form on the real engine, with a portal of the test's own on a private session bus.
class SleepInhibitorTest : public FormTest
{
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(bus.Started()) << bus.Why();
    }
    void TearDown() override
    {
        form.reset();
        FormTest::TearDown();
    }

    void StartRecording(const std::string& name)
    {
        if (!form) {
            form = std::make_unique<RecorderForm>(*settings, boxes);
            form->Create();
            form->show();
        }
        auto* field = Control<QLineEdit>(form.get(), OutputField);
        field->setText(QString::fromStdString(folder / name));
        Click(RecordButton);
        ASSERT_TRUE(WaitUntil([&] { return State() == dsg_running; }, 3000ms));
    }
    void Click(int id)
    {
        QTest::mouseClick(Control<SkinnedButton>(form.get(), id), Qt::LeftButton);
    }
    DSGraphStates State() { return form->Capture().GetState(); }
    // Waits until the portal holds `count` inhibitions; the form's calls are asynchronous.
    bool PortalHolds(unsigned count)
    {
        return WaitUntil([&] { return bus.Active() == count; }, 3000ms);
    }

    PrivateBus bus;
    std::unique_ptr<RecorderForm> form;
};

TEST_F(SleepInhibitorTest, ARecordingHoldsOneInhibitionAgainstSuspendAndIdleUntilItStops)
{
    StartRecording("held.wma");
    ASSERT_TRUE(PortalHolds(1));
    EXPECT_EQ(bus.Granted(), 1u);
    EXPECT_EQ(bus.LastFlags(), 4u | 8u);
    EXPECT_EQ(bus.LastReason(), "Recording audio");
    // Ticks and size reports of a running recording ask for nothing more.
    WaitFor(500ms);
    EXPECT_EQ(bus.Granted(), 1u);

    Click(StopButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_stopped; }, 3000ms));
    EXPECT_TRUE(PortalHolds(0));

    // The next recording asks again.
    StartRecording("again.wma");
    EXPECT_TRUE(PortalHolds(1));
    EXPECT_EQ(bus.Granted(), 2u);
}

TEST_F(SleepInhibitorTest, PauseGivesTheInhibitionBackAndResumeTakesItAgain)
{
    StartRecording("paused.wma");
    ASSERT_TRUE(PortalHolds(1));
    for (int cycle = 0; cycle < 3; ++cycle) {
        Click(PauseButton);
        ASSERT_TRUE(WaitUntil([&] { return State() == dsg_paused; }, 3000ms));
        EXPECT_TRUE(PortalHolds(0)) << cycle;
        Click(PauseButton);
        ASSERT_TRUE(WaitUntil([&] { return State() == dsg_running; }, 3000ms));
        EXPECT_TRUE(PortalHolds(1)) << cycle;
    }
    EXPECT_EQ(bus.Granted(), 4u);
    // A quick pause and resume, faster than the portal answers, still ends with exactly one.
    Click(PauseButton);
    Click(PauseButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_running; }, 3000ms));
    WaitFor(300ms);
    EXPECT_EQ(bus.Active(), 1u);
    Click(StopButton);
    EXPECT_TRUE(PortalHolds(0));
}

TEST_F(SleepInhibitorTest, AGraphErrorAndClosingTheWindowGiveTheInhibitionBack)
{
    StartRecording("error.wma");
    ASSERT_TRUE(PortalHolds(1));
    form->OnGraphError(31, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_stopped; }, 3000ms));
    EXPECT_TRUE(PortalHolds(0));

    StartRecording("closed.wma");
    ASSERT_TRUE(PortalHolds(1));
    form.reset();
    EXPECT_TRUE(PortalHolds(0));
}

TEST_F(SleepInhibitorTest, AnInhibitorGoneBeforeThePortalAnswersLeavesNothingHeld)
{
    {
        SleepInhibitor inhibitor;
        inhibitor.Hold("Recording audio");
    }
    WaitFor(500ms);
    EXPECT_EQ(bus.Granted(), 1u);
    EXPECT_EQ(bus.Active(), 0u);
}

// Without a portal and without any bus to ask, a recording runs as before.
class SleepInhibitorWithoutDesktopTest : public FormTest
{
protected:
    void TearDown() override
    {
        form.reset();
        FormTest::TearDown();
    }
    PrivateBus bus{PrivateBus::Service::None};
    std::unique_ptr<RecorderForm> form;
};

TEST_F(SleepInhibitorWithoutDesktopTest, ARecordingRunsWhenNobodyGrantsTheInhibition)
{
    ASSERT_TRUE(bus.Started()) << bus.Why();
    // The system bus is nowhere either, so logind cannot be asked.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder / "no-system-bus").c_str(), 1);
    form = std::make_unique<RecorderForm>(*settings, boxes);
    form->Create();
    Control<QLineEdit>(form.get(), OutputField)->setText(QString::fromStdString(folder / "a.wma"));
    QTest::mouseClick(Control<SkinnedButton>(form.get(), RecordButton), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return form->Capture().GetState() == dsg_running; }, 3000ms));
    WaitFor(1000ms);
    QTest::mouseClick(Control<SkinnedButton>(form.get(), StopButton), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return form->Capture().GetState() == dsg_stopped; }, 3000ms));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_GT(std::filesystem::file_size(folder / "a.wma"), 2000u);
}

// Where no portal answers, logind is asked on the system bus: its inhibition lasts while the
// descriptor it hands out is open.
class SleepInhibitorThroughLogindTest : public FormTest
{
protected:
    void TearDown() override
    {
        form.reset();
        FormTest::TearDown();
    }
    DSGraphStates State() { return form->Capture().GetState(); }
    void Click(int id)
    {
        QTest::mouseClick(Control<SkinnedButton>(form.get(), id), Qt::LeftButton);
    }
    bool LogindHolds(unsigned count)
    {
        return WaitUntil([&] { return logind.Active() == count; }, 3000ms);
    }

    PrivateBus session{PrivateBus::Service::None};
    PrivateBus logind{PrivateBus::Service::Logind};
    std::unique_ptr<RecorderForm> form;
};

TEST_F(SleepInhibitorThroughLogindTest, ARecordingHoldsLogindsLockWhileItRuns)
{
    ASSERT_TRUE(session.Started()) << session.Why();
    ASSERT_TRUE(logind.Started()) << logind.Why();
    form = std::make_unique<RecorderForm>(*settings, boxes);
    form->Create();
    Control<QLineEdit>(form.get(), OutputField)
        ->setText(QString::fromStdString(folder / "logind.wma"));
    Click(RecordButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_running; }, 3000ms));
    ASSERT_TRUE(LogindHolds(1));
    EXPECT_EQ(logind.LastReason(), "Recording audio");

    Click(PauseButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_paused; }, 3000ms));
    EXPECT_TRUE(LogindHolds(0));
    Click(PauseButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_running; }, 3000ms));
    EXPECT_TRUE(LogindHolds(1));
    Click(StopButton);
    ASSERT_TRUE(WaitUntil([&] { return State() == dsg_stopped; }, 3000ms));
    EXPECT_TRUE(LogindHolds(0));
    EXPECT_EQ(logind.Granted(), 2u);
}

} // namespace
