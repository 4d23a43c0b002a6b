// The one way the window program shows a message box, so that tests can answer them. User
// interface thread only.
#pragma once

#include <QMessageBox>
#include <QString>

class MessageBoxes
{
public:
    // Shows a modal box and answers the button that closed it. A null owner shows the box on
    // its own, as the extension warning does.
    virtual QMessageBox::StandardButton Show(QWidget* owner, const QString& text,
                                             const QString& caption,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::Icon icon) = 0;

protected:
    ~MessageBoxes() = default;
};

// Message boxes as QMessageBox shows them.
class DesktopMessageBoxes final : public MessageBoxes
{
public:
    QMessageBox::StandardButton Show(QWidget* owner, const QString& text, const QString& caption,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::Icon icon) override
    {
        QMessageBox box(icon, caption, text, buttons, owner);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }
};
