// A button drawn from bitmaps: the recorder form's round transport buttons. Its region comes
// from a mask bitmap, so clicks on the mask's white pixels reach the widget underneath.
// User-interface thread only.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QRegion>
#include <array>

class SkinnedButton : public QAbstractButton
{
    Q_OBJECT

public:
    // What a click does to the check mark, from the button's style when it was attached:
    // an automatic check box toggles it, an automatic radio button sets it, anything else
    // (push buttons, non-automatic check boxes) leaves it to SetCheck.
    enum class Kind
    {
        Toggle,
        Radio,
        Push
    };

    explicit SkinnedButton(Kind kind = Kind::Push, QWidget* parent = nullptr);

    // Gives the button its bitmaps by resource id (0 = none): the disabled one defaults to the
    // normal one. mode 0 sizes the button to the mask, 1 stretches the bitmaps, 2 tiles them
    // (negative counts as 0, above 1 as 2); border draws a 3D edge; focusMargin insets the
    // focus rectangle (0 or negative: none). A mask rebuilds the button's region.
    void SetSkin(int normalId, int pressedId, int hoverId, int disabledId, int focusId, int maskId,
                 int newMode, int newBorder, int newFocusMargin);

    // Sets the text of the button's tooltip.
    void SetTooltip(const QString& text);

    // Sets or clears the check mark (the form's set-check) and repaints.
    void SetCheck(bool check);

    // The check mark (the form's get-check).
    bool GetCheck() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override;

private:
    enum Picture
    {
        Normal,
        Pressed,
        Hover,
        Disabled,
        Focus,
        PictureCount
    };

    // The bitmap of a picture at the widget's pixel ratio (drawn again when that changed);
    // null when the skin has none.
    const QPixmap& PictureFor(Picture picture);
    void DrawPicture(QPainter& painter, Picture picture);
    void DrawCaption(QPainter& painter, QPoint offset, const QColor& colour);

    const Kind kind;
    std::array<int, PictureCount> pictureIds{};
    std::array<QPixmap, PictureCount> pictures;
    qreal picturesRatio = 0;
    int mode = 0;
    bool border = false;
    int focusMargin = 0;
    QSize maskSize;   // of the last mask given, in device-independent pixels
    QSize normalSize; // of the normal bitmap
    QRegion region;   // from the last mask given, in device-independent pixels
    bool hover = false;
    bool pressed = false; // the left button went down on the button and is still held
};
