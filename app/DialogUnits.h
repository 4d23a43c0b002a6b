// Dialog templates keep their geometry in dialog units, so a form follows the user's font and
// scaling: a horizontal unit is a quarter of the font's average character width, a vertical
// unit an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

class DialogUnits
{
public:
    explicit DialogUnits(const QFont& font);

    // The pixel rectangle of a template's (x, y, width, height).
    QRect ToPixels(int x, int y, int width, int height) const;
    int X(int units) const { return units * baseWidth / 4; }
    int Y(int units) const { return units * baseHeight / 8; }

private:
    int baseWidth;
    int baseHeight;
};
