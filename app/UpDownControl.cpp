#include "UpDownControl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

UpDownControl::UpDownControl(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), buddy(buddy), up(new QToolButton(this)), down(new QToolButton(this))
{
    for (QToolButton* button : {up, down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    connect(up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down, &QToolButton::clicked, this, [this] { Step(-1); });
    buddy->installEventFilter(this);
}

void UpDownControl::SetRange(int newMinimum, int newMaximum)
{
    minimum = newMinimum;
    maximum = newMaximum;
}

void UpDownControl::Step(int steps)
{
    bool ok = false;
    int value = buddy->text().trimmed().toInt(&ok);
    if (!ok)
        value = 0;
    value = std::clamp(value + steps, minimum, maximum);
    buddy->setText(QString::number(value));
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent*)
{
    int half = height() / 2;
    up->setGeometry(0, 0, width(), half);
    down->setGeometry(0, half, width(), height() - half);
}
