#include "OutputPathEdit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <utility>

namespace {

constexpr int repeatInterval = 200; // milliseconds between two looks at a held drop button

} // namespace

OutputPathEdit::OutputPathEdit(QWidget* parent) : QLineEdit(parent)
{
    // The cursor changes to an arrow over the drop button without a button held.
    setMouseTracking(true);
    ApplyButtonWidth();
    ApplyColours();
}

QRect OutputPathEdit::DropButtonRect() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // A field narrower than the button is all button and has no room left for text.
    if (contents.width() <= width)
        return contents;
    return QRect(contents.right() - width + 1, contents.top(), width, contents.height());
}

void OutputPathEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);

    QPainter painter(this);
    const QRect button = DropButtonRect();
    const QPalette& colours = palette();
    painter.fillRect(button, colours.button());

    // A 3D rectangle whose light and shadow sides swap while it is pushed.
    QColor topLeft = colours.color(QPalette::Light);
    QColor bottomRight = colours.color(QPalette::Dark);
    if (pushed)
        std::swap(topLeft, bottomRight);
    painter.setPen(topLeft);
    painter.drawLine(button.topLeft(), button.topRight());
    painter.drawLine(button.topLeft(), button.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(button.bottomLeft(), button.bottomRight());
    painter.drawLine(button.topRight(), button.bottomRight());

    QRect dots = button.adjusted(1, 1, -1, -1);
    if (pushed)
        dots.translate(1, 1);
    painter.setPen(CanBrowse() ? colours.color(QPalette::ButtonText)
                               : colours.color(QPalette::Disabled, QPalette::Text));
    painter.drawText(dots, Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("..."));
}

void OutputPathEdit::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (!pressed && !DropButtonRect().contains(pos)) {
        QLineEdit::mousePressEvent(event);
        return;
    }
    // The edit's own mouse handling never sees the drop button.
    if (!pressed && event->button() == Qt::LeftButton && CanBrowse()) {
        pressed = true;
        cursorPos = pos;
        SetPushed(true);
        repeatTimer.start(repeatInterval, this);
    }
    event->accept();
}

void OutputPathEdit::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    UpdateCursor(pos);
    if (pressed) {
        // The next tick of the timer shows whether the cursor is over the button.
        cursorPos = pos;
        event->accept();
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void OutputPathEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pressed) {
        QLineEdit::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const bool over = DropButtonRect().contains(event->position().toPoint());
        Release();
        if (over)
            OnBrowse();
    }
    event->accept();
}

void OutputPathEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click on the button is no second browse, and selects no word.
    if (pressed || DropButtonRect().contains(event->position().toPoint())) {
        event->accept();
        return;
    }
    QLineEdit::mouseDoubleClickEvent(event);
}

void OutputPathEdit::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::AltModifier) && CanBrowse()) {
        if (pressed)
            Release();
        OnBrowse();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void OutputPathEdit::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != repeatTimer.timerId()) {
        QLineEdit::timerEvent(event);
        return;
    }
    // Qt delivers the release wherever it happens, so a tick only follows the cursor.
    if (pressed)
        SetPushed(DropButtonRect().contains(cursorPos));
    else
        repeatTimer.stop();
}

void OutputPathEdit::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
    case QEvent::ReadOnlyChange:
        if (!CanBrowse() && pressed)
            Release();
        ApplyColours();
        update();
        break;
    case QEvent::StyleChange:
        ApplyButtonWidth();
        break;
    default:
        break;
    }
    QLineEdit::changeEvent(event);
}

void OutputPathEdit::OnBrowse()
{
    emit browseRequested();
}

bool OutputPathEdit::CanBrowse() const
{
    return isEnabled() && !isReadOnly();
}

void OutputPathEdit::SetPushed(bool push)
{
    if (pushed == push)
        return;
    pushed = push;
    update(DropButtonRect());
}

void OutputPathEdit::Release()
{
    repeatTimer.stop();
    pressed = false;
    SetPushed(false);
}

void OutputPathEdit::ApplyButtonWidth()
{
    const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setTextMargins(0, 0, width, 0);
}

void OutputPathEdit::ApplyColours()
{
    if (CanBrowse()) {
        // Back to the colours the field inherits.
        setPalette(QPalette());
        return;
    }
    const QPalette inherited = QApplication::palette(this);
    QPalette colours;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, inherited.color(group, QPalette::Button));
        colours.setColor(group, QPalette::Text,
                         inherited.color(QPalette::Disabled, QPalette::Text));
    }
    setPalette(colours);
}

void OutputPathEdit::UpdateCursor(const QPoint& pos)
{
    const bool overButton = pressed || DropButtonRect().contains(pos);
    const Qt::CursorShape shape = overButton || isReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor;
    if (cursor().shape() != shape)
        setCursor(shape);
}
