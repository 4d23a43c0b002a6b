// The clip handed to programs outside Quillet: the desktop's default player, found by the real
// xdg-mime in a private set of desktop folders, and the mail hand-off, a stand-in xdg-email
// that stands first on the PATH. Both stand-ins write down what they were given.
#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "DesktopApplication.h"
#include "FormTestSupport.h"
#include "MainWindow.h"
#include "RecorderForm.h"
#include "SkinnedButton.h"

namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

void WriteScript(const std::string& path, const std::string& text)
{
    std::ofstream(path) << "#!/bin/sh\n" << text;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Sets an environment variable for the length of a test.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, const std::string* value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        hadPrevious = std::getenv(name) != nullptr;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (hadPrevious)
            setenv(name, previous.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::string previous;
    bool hadPrevious = false;
};

class ClipSharingTest : public FormTest
{
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        std::filesystem::create_directories(desktop.Path() / "data/applications");
        std::filesystem::create_directories(desktop.Path() / "config");
        std::filesystem::create_directories(desktop.Path() / "bin");
        std::ofstream(desktop / "config/mimeapps.list")
            << "[Default Applications]\naudio/x-ms-wma=quillet-test-player.desktop\n";
        std::ofstream(desktop / "data/applications/quillet-test-player.desktop")
            << "[Desktop Entry]\nType=Application\nName=Test player\nExec=\"" +
                   (desktop / "player.sh") + "\" --play %f\nMimeType=audio/x-ms-wma;\n";
        // The player stays until the test lets it go, so the test can look at the window.
        WriteScript(desktop / "player.sh", "printf '%s\\n' \"$@\" > '" + (desktop / "player.args") +
                                               "'\nfor i in $(seq 1 200); do [ -e '" +
                                               (desktop / "release") +
                                               "' ] && exit 0; sleep 0.05; done\n");
        WriteScript(desktop / "bin/xdg-email",
                    "printf '%s\\n' \"$@\" > '" + (desktop / "mail.args") + "'\n");
        data = (desktop / "data");
        config = (desktop / "config");
        path = (desktop / "bin") + ":" + std::getenv("PATH");
        variables.emplace_back(std::make_unique<ScopedVariable>("XDG_DATA_HOME", &data));
        variables.emplace_back(std::make_unique<ScopedVariable>("XDG_DATA_DIRS", &data));
        variables.emplace_back(std::make_unique<ScopedVariable>("XDG_CONFIG_HOME", &config));
        variables.emplace_back(std::make_unique<ScopedVariable>("XDG_CURRENT_DESKTOP", nullptr));
        variables.emplace_back(std::make_unique<ScopedVariable>("DESKTOP_SESSION", nullptr));
    }
    void TearDown() override
    {
        window.reset();
        variables.clear();
        FormTest::TearDown();
    }

    // The window, with or without a mail program on the PATH, and a finished clip.
    void StartWithClip(bool withMail)
    {
        // A PATH that holds nothing at all, so not the system's own xdg-email either.
        std::string withoutMail = desktop / "config";
        ScopedVariable pathVariable("PATH", withMail ? &path : &withoutMail);
        window = std::make_unique<MainWindow>(*settings, boxes);
        window->Create();
        window->show();
        clip = folder / "shared clip.wma";
        window->Form()->findChild<QLineEdit*>("1019")->setText(QString::fromStdString(clip));
        auto* record = window->Form()->findChild<SkinnedButton*>("1015");
        QTest::mouseClick(record, Qt::LeftButton);
        ASSERT_TRUE(
            WaitUntil([&] { return window->Form()->Capture().GetState() == dsg_running; }, 3000ms));
        WaitFor(500ms);
        window->Form()->Capture().Stop();
        ASSERT_TRUE(WaitUntil([&] { return window->Form()->HasRecordedFile(); }, 3000ms));
    }
    QAction* Action(int id) { return window->findChild<QAction*>(QString::number(id)); }
    bool EnabledWhenOpened(int id)
    {
        for (QMenu* menu : window->menuBar()->findChildren<QMenu*>())
            if (menu->actions().contains(Action(id)))
                emit menu->aboutToShow();
        return Action(id)->isEnabled();
    }

    TempFolder desktop;
    std::string data;
    std::string config;
    std::string path;
    std::string clip;
    std::vector<std::unique_ptr<ScopedVariable>> variables;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST(DesktopApplicationTest, ExecLinesTakeTheFileWhereTheirFieldCodesSay)
{
    auto expand = [](const char* exec) {
        std::optional<DesktopCommand> command = ExpandExecLine(exec, "/clips/a b.wma");
        if (!command)
            return std::string("none");
        return (QStringList{command->program} + command->arguments).join("|").toStdString();
    };
    EXPECT_EQ(expand("player %f"), "player|/clips/a b.wma");
    EXPECT_EQ(expand("player --enqueue %U"), "player|--enqueue|/clips/a b.wma");
    EXPECT_EQ(expand("\"/opt/My Player/run\" %u --x"), "/opt/My Player/run|/clips/a b.wma|--x");
    EXPECT_EQ(expand("player %i %c %k %f"), "player|/clips/a b.wma");
    EXPECT_EQ(expand("player --volume=50%% %F"), "player|--volume=50%|/clips/a b.wma");
    EXPECT_EQ(expand("sh -c \"echo \\\"hi\\\"\""), "sh|-c|echo \"hi\"|/clips/a b.wma");
    EXPECT_EQ(expand("player"), "player|/clips/a b.wma");
    EXPECT_EQ(expand("\"unclosed %f"), "none");
    EXPECT_EQ(expand("   "), "none");
}

TEST_F(ClipSharingTest, TheDefaultPlayerGetsTheClipWhileTheWindowWaitsMinimised)
{
    StartWithClip(true);
    EXPECT_TRUE(EnabledWhenOpened(3271));
    bool minimisedWhilePlaying = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (std::filesystem::exists(desktop / "player.args")) {
            minimisedWhilePlaying = window->isMinimized();
            std::ofstream(desktop / "release") << "";
            watch.stop();
        }
    });
    watch.start(20);
    Action(3271)->trigger();
    EXPECT_TRUE(minimisedWhilePlaying);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(ReadFile(desktop / "player.args"), "--play\n" + clip + "\n");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ClipSharingTest, TheMailProgramGetsTheClipAndTopmostComesBackUnsaved)
{
    StartWithClip(true);
    window->SetTopmost(true, false);
    EXPECT_TRUE(EnabledWhenOpened(32777));
    Action(32777)->trigger();
    EXPECT_EQ(ReadFile(desktop / "mail.args"), "--attach\n" + clip + "\n");
    EXPECT_TRUE(window->IsTopmost());
    EXPECT_FALSE(ReloadedSettings()->AlwaysOnTop());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ClipSharingTest, WithoutAMailProgramEmailIsDisabledAndDoesNothing)
{
    StartWithClip(false);
    EXPECT_FALSE(EnabledWhenOpened(32777));
    EXPECT_TRUE(EnabledWhenOpened(32776));
    window->Form()->SendClipByMail();
    EXPECT_FALSE(std::filesystem::exists(desktop / "mail.args"));
}
