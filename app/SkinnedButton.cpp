#include "SkinnedButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

#include "Resources.h"

namespace {

bool IsWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

// The region of a mask bitmap: every maximal run of pixels in a row that are not pure white is
// a rectangle one row high, and the region is their union. Pixels the picture leaves
// transparent count as white, since they are nothing of the button.
QRegion RegionFromMask(const QImage& mask)
{
    QImage image(mask.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.drawImage(0, 0, mask);
    }
    QRegion region;
    const int width = image.width();
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < width) {
            while (x < width && IsWhite(row[x]))
                ++x;
            const int start = x;
            while (x < width && !IsWhite(row[x]))
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

} // namespace

SkinnedButton::SkinnedButton(Kind kind, QWidget* parent) : QAbstractButton(parent), kind(kind)
{
    // Every kind keeps a check mark for the form's SetCheck; nextCheckState decides what a
    // click does to it.
    setCheckable(true);
    // Hover follows plain mouse moves, not only entering.
    setMouseTracking(true);
}

void SkinnedButton::SetSkin(int normalId, int pressedId, int hoverId, int disabledId, int focusId,
                            int maskId, int newMode, int newBorder, int newFocusMargin)
{
    pictureIds = {normalId, pressedId, hoverId, disabledId != 0 ? disabledId : normalId, focusId};
    pictures = {};
    picturesRatio = 0;
    mode = newMode < 0 ? 0 : (newMode > 1 ? 2 : newMode);
    border = newBorder != 0;
    focusMargin = newFocusMargin < 0 ? 0 : newFocusMargin;
    normalSize = normalId != 0 ? LoadBitmapResource(normalId, 1).size() : QSize();

    if (maskId != 0) {
        // The region is in device-independent pixels, so the mask is read at its own size.
        const QImage mask = LoadBitmapResource(maskId, 1).toImage();
        if (!mask.isNull()) {
            region = RegionFromMask(mask);
            maskSize = mask.size();
            setMask(region);
            if (mode == 0)
                resize(maskSize);
        }
    }
    updateGeometry();
    update();
}

void SkinnedButton::SetTooltip(const QString& text)
{
    setToolTip(text);
}

void SkinnedButton::SetCheck(bool check)
{
    setChecked(check);
    update();
}

bool SkinnedButton::GetCheck() const
{
    return isChecked();
}

QSize SkinnedButton::sizeHint() const
{
    if (mode == 0 && maskSize.isValid())
        return maskSize;
    if (normalSize.isValid())
        return normalSize;
    return QAbstractButton::sizeHint();
}

const QPixmap& SkinnedButton::PictureFor(Picture picture)
{
    const qreal ratio = devicePixelRatioF();
    if (ratio != picturesRatio) {
        for (int i = 0; i < PictureCount; ++i)
            pictures[i] = pictureIds[i] != 0 ? LoadBitmapResource(pictureIds[i], ratio) : QPixmap();
        picturesRatio = ratio;
    }
    return pictures[picture];
}

void SkinnedButton::DrawPicture(QPainter& painter, Picture picture)
{
    const QPixmap& pixmap = PictureFor(picture);
    if (pixmap.isNull())
        painter.fillRect(rect(), palette().button());
    else if (mode == 1)
        painter.drawPixmap(rect(), pixmap);
    else if (mode == 2)
        painter.drawTiledPixmap(rect(), pixmap);
    else
        painter.drawPixmap(0, 0, pixmap);
}

void SkinnedButton::DrawCaption(QPainter& painter, QPoint offset, const QColor& colour)
{
    if (text().isEmpty())
        return;
    painter.setPen(colour);
    painter.drawText(rect().translated(offset), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void SkinnedButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    // Painting through the mask: nothing lands on the pixels that belong to the form.
    if (!region.isEmpty())
        painter.setClipRegion(region);
    const QPalette& colours = palette();

    if (!isEnabled()) {
        DrawPicture(painter, Disabled);
        if (border)
            qDrawWinButton(&painter, rect(), colours, false);
        DrawCaption(painter, QPoint(0, 0), colours.color(QPalette::Light));
        DrawCaption(painter, QPoint(-1, -1), colours.color(QPalette::Dark));
        return;
    }
    // isDown is the pushed look: on while the left button is held with the cursor over the
    // button, or while the space key is held.
    if (isDown() || isChecked()) {
        DrawPicture(painter, Pressed);
        if (border)
            qDrawWinButton(&painter, rect(), colours, true);
        DrawCaption(painter, QPoint(1, 1), colours.color(QPalette::ButtonText));
        return;
    }

    Picture picture = Normal;
    if (hover && !PictureFor(Hover).isNull())
        picture = Hover;
    else if (hasFocus() && !PictureFor(Focus).isNull())
        picture = Focus;
    DrawPicture(painter, picture);
    if (border)
        qDrawWinButton(&painter, rect(), colours, false);
    DrawCaption(painter, QPoint(0, 0), colours.color(QPalette::ButtonText));
    if (hasFocus() && focusMargin > 0) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void SkinnedButton::enterEvent(QEnterEvent* event)
{
    if (!pressed && !hover) {
        hover = true;
        update();
    }
    QAbstractButton::enterEvent(event);
}

void SkinnedButton::leaveEvent(QEvent* event)
{
    if (hover) {
        hover = false;
        update();
    }
    QAbstractButton::leaveEvent(event);
}

void SkinnedButton::mousePressEvent(QMouseEvent* event)
{
    // A double click arrives here too (QWidget's default) and counts as a second press.
    if (event->button() == Qt::LeftButton && hitButton(event->position().toPoint())) {
        hover = false;
        pressed = true;
    }
    QAbstractButton::mousePressEvent(event);
}

void SkinnedButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed) {
        if (!hover) {
            hover = true;
            update();
        }
        // A press that lost the focus is over: the base class must not push the button again.
        if (event->buttons() & Qt::LeftButton) {
            event->ignore();
            return;
        }
    }
    // While pressed the base class pushes the button exactly while hitButton holds.
    QAbstractButton::mouseMoveEvent(event);
}

void SkinnedButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const bool wasPressed = pressed;
        pressed = false;
        if (!wasPressed) {
            setDown(false);
            event->ignore();
            return;
        }
    }
    // Clicks (and the check change of nextCheckState) happen only over the button.
    QAbstractButton::mouseReleaseEvent(event);
}

void SkinnedButton::focusOutEvent(QFocusEvent* event)
{
    QAbstractButton::focusOutEvent(event);
    pressed = false;
    if (isDown())
        setDown(false);
}

bool SkinnedButton::hitButton(const QPoint& pos) const
{
    return region.isEmpty() ? QAbstractButton::hitButton(pos) : region.contains(pos);
}

void SkinnedButton::nextCheckState()
{
    switch (kind) {
    case Kind::Toggle:
        setChecked(!isChecked());
        break;
    case Kind::Radio:
        setChecked(true);
        break;
    case Kind::Push:
        // The form sets the check marks of push-kind buttons itself.
        break;
    }
}
