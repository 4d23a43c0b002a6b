#include "DialogUnits.h"

#include <QFontMetrics>

DialogUnits::DialogUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average width of the Latin letters, rounded, as dialog units are defined; a font's
    // own average width counts punctuation and digits too.
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth = (letters / 26 + 1) / 2;
    baseHeight = metrics.height();
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const
{
    QPoint topLeft(X(x), Y(y));
    QPoint bottomRight(X(x + width), Y(y + height));
    return QRect(topLeft, bottomRight - QPoint(1, 1));
}
