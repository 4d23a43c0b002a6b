#include "VelloxApplication.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QSplashScreen>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MessageQueuePump.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "com/ComApi.h"

namespace {

// The splash bitmap with a one-pixel black frame, or a null pixmap when it is missing.
QPixmap SplashPicture()
{
    QPixmap picture = LoadBitmapResource(167);
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    QSizeF size = picture.deviceIndependentSize();
    painter.drawRect(QRectF(0, 0, size.width() - 1, size.height() - 1));
    return picture;
}

// Without QUILLET_REGISTRY_DIR a program run from a build uses the registry that the build
// registers the engine into, beside its bin folder, so a fresh build starts without set-up.
void UseBuildRegistry()
{
    if (const char* folder = std::getenv("QUILLET_REGISTRY_DIR"); folder && *folder)
        return;
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return;
    std::filesystem::path registry = program.parent_path().parent_path() / "registry";
    if (std::filesystem::exists(registry / "classes.reg", error))
        setenv("QUILLET_REGISTRY_DIR", registry.c_str(), 1);
}

} // namespace

int RunVellox(int argc, char** argv)
{
    UseBuildRegistry();
    // The settings are read once, before the application object exists.
    SettingsStore& settings = SettingsStore::Instance();
    OleInitialize(nullptr);
    int result = 0;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Quillet"));
        QApplication::setApplicationVersion(QStringLiteral("1.0"));
        QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillet.Quillet"));
        QApplication::setWindowIcon(LoadIconResource(128));
        MessageQueuePump pump;
        DesktopMessageBoxes boxes;

        std::unique_ptr<QSplashScreen> splash;
        QPixmap picture = SplashPicture();
        if (!picture.isNull()) {
            splash = std::make_unique<QSplashScreen>(picture, Qt::WindowStaysOnTopHint);
            splash->show();
            // The splash stays for a second, painted, before the window is built.
            QEventLoop wait;
            QTimer::singleShot(1000, &wait, &QEventLoop::quit);
            wait.exec(QEventLoop::ExcludeUserInputEvents);
        }
        MainWindow window(settings, boxes);
        window.Create(splash.get());
        if (splash)
            splash->finish(&window);
        splash.reset();
        window.show();
        result = application.exec();
    }
    OleUninitialize();
    return result;
}
