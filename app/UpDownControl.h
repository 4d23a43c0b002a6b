// A pair of arrow buttons at the right edge of an edit that step the edit's whole number, as
// the size field's spinner does; the Up and Down keys in the edit step it too.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

class UpDownControl : public QWidget
{
    Q_OBJECT

public:
    UpDownControl(QLineEdit* buddy, QWidget* parent);

    void SetRange(int minimum, int maximum);
    // Adds steps to the buddy's number (0 when it holds none), kept within the range, and
    // writes it back without thousands separators.
    void Step(int steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* buddy;
    QToolButton* up;
    QToolButton* down;
    int minimum = 0;
    int maximum = 100;
};
