#include "AppTestEnvironment.h"

#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "AudioServer.h"
#include "TempFolder.h"
#include "com/ComApi.h"

namespace {

// Whether a thread of Qt's pools still runs in this process. Qt paints some style elements
// through its pool, and the application waits for the pool's work when it goes, but each thread
// then ends on its own time.
bool PoolThreadsRemain()
{
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == "Thread (pooled)")
            return true;
    }
    return false;
}

// Tests never touch a user's registry: the engine is registered into a folder of their own.
PrivateRegistry privateRegistry;

class AppEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // A run under a real X server may ask for it; everything else draws offscreen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QApplication>(argc, argv);
        std::string command =
            std::string(QUILLET_REGSVR) + " " + QUILLET_ENGINE_MODULE + " 2>/dev/null";
        ASSERT_EQ(CommandStatus(command), 0) << "registering the engine failed";
    }
    void TearDown() override
    {
        application.reset();
        // A pool thread still ending when the process exits holds the last reference to its
        // thread data; the leak check, which skips threads that are ending, would report it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (PoolThreadsRemain() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

private:
    int argc = 1;
    char name[10] = "app-tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace

int CommandStatus(const std::string& command)
{
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

void AppTest::SetUp()
{
    CoInitialize(nullptr);
}

void AppTest::TearDown()
{
    CoFreeUnusedLibraries();
    CoUninitialize();
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void WaitFor(std::chrono::milliseconds span)
{
    WaitUntil([] { return false; }, span);
}

std::string Thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const QString& text) {
        return text.toStdString();
    }
    return {};
}

void AudioAppTest::SetUp()
{
    std::string reason = audio_test::ServerUnavailableReason();
    if (!reason.empty()) {
        if (audio_test::ServerRequired())
            FAIL() << reason;
        GTEST_SKIP() << reason;
    }
    AppTest::SetUp();
}
