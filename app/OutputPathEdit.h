// The recorder form's output file field: a plain single-line edit with a "..." drop button
// inside its frame on the right. A click on the button or Alt+Enter browses, unless the field
// is disabled or read-only. User-interface thread only.
#pragma once

#include <QBasicTimer>
#include <QLineEdit>

class OutputPathEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit OutputPathEdit(QWidget* parent = nullptr);

    // The drop button's rectangle in the field's coordinates: the width of a scroll bar, at
    // the right edge inside the frame.
    QRect DropButtonRect() const;

signals:
    // The browse action (OnBrowse): the form opens its Save-As dialog.
    void browseRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Browses: called by a click on the drop button and by Alt+Enter.
    void OnBrowse();
    // Whether the drop button takes clicks and Alt+Enter now.
    bool CanBrowse() const;
    void SetPushed(bool push);
    // Lets go of a pressed drop button without browsing.
    void Release();
    // Narrows the text area by the drop button.
    void ApplyButtonWidth();
    // Grey text on the button face while disabled or read-only, the usual colours otherwise.
    void ApplyColours();
    // The arrow over the drop button, the edit's own cursor elsewhere.
    void UpdateCursor(const QPoint& pos);

    QBasicTimer repeatTimer; // ticks every 200 ms while the drop button is held
    bool pressed = false;    // the left button went down on the drop button and is held
    bool pushed = false;     // the drop button looks pushed
    QPoint cursorPos;        // where the cursor was last seen while pressed
};
