// The program's one window: titled "Quillet", of a fixed size fitted around the recorder form,
// with the menu, the saved position, "Always on top" and the shutdown order.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QSize>

class MessageBoxes;
class QAction;
class RecorderForm;
class SettingsStore;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(SettingsStore& settings, MessageBoxes& boxes);
    ~MainWindow() override;

    // Builds the menu and the form, fits the window around the form and places it; a message
    // from the capture engine's start-up is owned by startupOwner (the splash) when given.
    void Create(QWidget* startupOwner = nullptr);
    // Keeps the window above the others or lets it go; with save, the choice is stored.
    void SetTopmost(bool on, bool save);
    bool IsTopmost() const;
    RecorderForm* Form() const { return form; }
    // Where a window of windowSize goes on a screen of screenSize, from the stored position:
    // there, unless a coordinate is 0 or too near the far edge, then in the middle.
    static QPoint Placement(uint32_t x, uint32_t y, QSize screenSize, QSize windowSize);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void UpdateMenu();
    void ShowHelp();
    void ShowAbout();

    SettingsStore& settings;
    MessageBoxes& boxes;
    RecorderForm* form = nullptr;
    QAction* playExternal = nullptr;
    QAction* editAttributes = nullptr;
    QAction* email = nullptr;
    QAction* alwaysOnTop = nullptr;
    QAction* askOverwrite = nullptr;
};
