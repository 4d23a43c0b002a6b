// Records through the real recorder window for a while and reports what the user-interface
// thread spends (waveform, texts, the engine's events) as a share of one core, beside what the
// rest of the process (the capture and encoding threads) spends in the same run; and how long
// the window takes from start to usable.
// Usage: recorder-form-bench [SECONDS]   (default 60; the desktop's or the test audio server)
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CpuTime.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MessageQueuePump.h"
#include "RecorderForm.h"
#include "SettingsStore.h"
#include "SkinnedButton.h"
#include "com/ComApi.h"

namespace {

// Runs the event loop as the program does: it sleeps until something arrives.
void RunFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Answers every box with OK and says what it was, so a run never waits for a person.
class PrintedMessageBoxes final : public MessageBoxes
{
public:
    QMessageBox::StandardButton Show(QWidget*, const QString& text, const QString& caption,
                                     QMessageBox::StandardButtons, QMessageBox::Icon) override
    {
        std::fprintf(stderr, "message box \"%s\": %s\n", qPrintable(caption), qPrintable(text));
        return QMessageBox::Ok;
    }
};

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0)
        seconds = 60;
    // The engine's registration from the build, and settings of this run's own.
    std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::filesystem::path scratch = std::filesystem::temp_directory_path() / "quillet-form-bench";
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    std::filesystem::copy_file(bin.parent_path() / "registry" / "classes.reg",
                               scratch / "classes.reg");
    setenv("QUILLET_REGISTRY_DIR", scratch.c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QElapsedTimer sinceStart;
    sinceStart.start();
    SettingsStore settings;
    OleInitialize(nullptr);
    {
        QApplication application(argc, argv);
        MessageQueuePump pump;
        PrintedMessageBoxes boxes;
        MainWindow window(settings, boxes);
        window.Create();
        window.show();
        QCoreApplication::processEvents();
        double startup = double(sinceStart.nsecsElapsed()) * 1e-6;
        std::printf("start to usable window: %.0f ms, plus the splash's 1000 ms = %.0f ms\n",
                    startup, startup + 1000);

        std::string clip = (scratch / "bench.wma").string();
        window.Form()->findChild<QLineEdit*>("1019")->setText(QString::fromStdString(clip));
        QTest::mouseClick(window.Form()->findChild<SkinnedButton*>("1015"), Qt::LeftButton);
        RunFor(1000); // past an idle server's first silence
        double threadBefore = ThreadCpuSeconds();
        double processBefore = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunFor(seconds * 1000);
        double elapsed = double(wall.nsecsElapsed()) * 1e-9;
        double ui = ThreadCpuSeconds() - threadBefore;
        double rest = ProcessCpuSeconds() - processBefore - ui;
        window.Form()->Capture().Stop();
        RunFor(200);
        std::printf("recorded %.1f s through the window\n", elapsed);
        std::printf("user-interface thread: %.1f ms of CPU per second = %.2f %% of one core\n",
                    ui / elapsed * 1000, ui / elapsed * 100);
        std::printf("capture and encoding threads: %.1f ms per second = %.2f %% of one core\n",
                    rest / elapsed * 1000, rest / elapsed * 100);
        std::printf("user-interface thread / capture and encoding threads: %.3f\n",
                    rest > 0 ? ui / rest : 0.0);
    }
    OleUninitialize();
    std::filesystem::remove_all(scratch);
    return 0;
}
