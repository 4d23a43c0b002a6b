#include "VelloxApplication.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QSplashScreen>
#include <QTimer>

#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MessageQueuePump.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "com/ComApi.h"
#include "registry/BuildRegistry.h"

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

} // namespace

int RunVellox(int argc, char** argv)
{
    // A failed first-start registration needs no report of its own: the recorder form's
    // creation of the capture engine fails next and says so in its message box.
    quillet::UseProgramRegistry();
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
