// Message boxes for tests: every box is written down, none is shown, and each is answered
// from a script (OK, or the first button offered, when the script has run out).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "MessageBoxes.h"

struct ShownBox
{
    QWidget* owner;
    std::string text;
    std::string caption;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
};

class ScriptedMessageBoxes final : public MessageBoxes
{
public:
    std::vector<ShownBox> shown;
    std::deque<QMessageBox::StandardButton> answers;

    QMessageBox::StandardButton Show(QWidget* owner, const QString& text, const QString& caption,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::Icon icon) override
    {
        shown.push_back({owner, text.toStdString(), caption.toStdString(), buttons, icon});
        if (!answers.empty()) {
            QMessageBox::StandardButton answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::Cancel;
    }
};
