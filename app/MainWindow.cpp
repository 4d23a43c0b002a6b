#include "MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QUrl>

#include "MessageBoxes.h"
#include "RecorderForm.h"
#include "Resources.h"
#include "SettingsStore.h"

MainWindow::MainWindow(SettingsStore& settings, MessageBoxes& boxes)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      settings(settings), boxes(boxes)
{
    setWindowTitle(QStringLiteral("Quillet"));
    setWindowIcon(LoadIconResource(128));
    setAttribute(Qt::WA_DeleteOnClose, false);
}

MainWindow::~MainWindow() = default;

void MainWindow::Create(QWidget* startupOwner)
{
    BuildMenu();
    form = new RecorderForm(settings, boxes, this);
    setCentralWidget(form);
    form->Create(startupOwner);
    // The form has a fixed size; the window follows it and cannot be resized or maximised.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();

    uint32_t x = 0;
    uint32_t y = 0;
    settings.GetWindowPosition(x, y);
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize screenSize = screen ? screen->geometry().size() : QSize(1024, 768);
    move(Placement(x, y, screenSize, frameGeometry().size()));
    if (settings.AlwaysOnTop())
        SetTopmost(true, false);
}

QPoint MainWindow::Placement(uint32_t x, uint32_t y, QSize screenSize, QSize windowSize)
{
    // Unsigned, so a negative stored edge counts as too far as well.
    uint32_t width = uint32_t(screenSize.width());
    uint32_t height = uint32_t(screenSize.height());
    if (x == 0 || y == 0 || x > width - 100 || y > height - 100)
        return QPoint((screenSize.width() - windowSize.width()) / 2,
                      (screenSize.height() - windowSize.height()) / 2);
    return QPoint(int(x), int(y));
}

void MainWindow::BuildMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    exit->setObjectName(QStringLiteral("32772"));

    QMenu* clip = menuBar()->addMenu(QStringLiteral("&Clip"));
    // The Clip commands belong to the form, which holds the clip.
    playExternal = clip->addAction(QStringLiteral("Play with external player"), this, [this] {
        if (form)
            form->PlayWithExternalPlayer();
    });
    playExternal->setObjectName(QStringLiteral("3271"));
    editAttributes = clip->addAction(QStringLiteral("Edit attributes"), this, [this] {
        if (form)
            form->EditClipAttributes();
    });
    editAttributes->setObjectName(QStringLiteral("32776"));
    email = clip->addAction(QStringLiteral("Email"), this, [this] {
        if (form)
            form->SendClipByMail();
    });
    email->setObjectName(QStringLiteral("32777"));

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    alwaysOnTop = options->addAction(QStringLiteral("Always on top"), this,
                                     [this] { SetTopmost(!IsTopmost(), true); });
    alwaysOnTop->setObjectName(QStringLiteral("32775"));
    alwaysOnTop->setCheckable(true);
    askOverwrite =
        options->addAction(QStringLiteral("Ask to overwrite existing file"), this, [this] {
            settings.SetOverwriteFilePrompt(!settings.OverwriteFilePrompt());
        });
    askOverwrite->setObjectName(QStringLiteral("32774"));
    askOverwrite->setCheckable(true);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Help"), this, &MainWindow::ShowHelp)
        ->setObjectName(QStringLiteral("57670"));
    help->addAction(QStringLiteral("&About"), this, &MainWindow::ShowAbout)
        ->setObjectName(QStringLiteral("32773"));

    // Enablement and check marks are asked for each time a menu opens.
    for (QMenu* menu : {clip, options})
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateMenu);
    UpdateMenu();
}

void MainWindow::UpdateMenu()
{
    playExternal->setEnabled(form && form->CanPlayWithExternalPlayer());
    editAttributes->setEnabled(form && form->CanEditAttributes());
    email->setEnabled(form && form->CanEmail());
    alwaysOnTop->setChecked(IsTopmost());
    askOverwrite->setChecked(settings.OverwriteFilePrompt());
}

void MainWindow::SetTopmost(bool on, bool save)
{
    bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing a window's flags hides it; a shown window comes back where it was.
    if (shown)
        show();
    if (save) {
        settings.SetAlwaysOnTop(on);
        settings.SaveWindowSettings();
    }
}

bool MainWindow::IsTopmost() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void MainWindow::ShowHelp()
{
    // The page sits beside the program in a build, in the documentation folder once installed.
    QString folder = QCoreApplication::applicationDirPath();
    QString page = folder + QStringLiteral("/Vellox.html");
    if (!QFileInfo::exists(page))
        page = folder + QStringLiteral("/../share/doc/quillet/Vellox.html");
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
}

void MainWindow::ShowAbout()
{
    boxes.Show(this, QStringLiteral("Quillet version ") + QStringLiteral("1.0"),
               QStringLiteral("About Quillet"), QMessageBox::Ok, QMessageBox::Information);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QPoint corner = frameGeometry().topLeft();
    settings.SetWindowPosition(uint32_t(corner.x()), uint32_t(corner.y()));
    settings.SaveWindowSettings();
    event->accept();
}
