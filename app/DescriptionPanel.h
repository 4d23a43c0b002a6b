// The recorder form's profile description: word-wrapped black text on the button face, with a
// vertical scroll bar of its own exactly while the text is taller than the panel. The scroll
// bar moves the text a pixel per step. User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>

class QScrollBar;

class DescriptionPanel : public QWidget
{
    Q_OBJECT

public:
    explicit DescriptionPanel(QWidget* parent = nullptr);

    // Sets the text (the panel's window text) and lays the panel out again.
    void setText(const QString& text);
    QString text() const { return description; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Wraps the text in the panel's width, and again beside a scroll bar when it
    // does not fit; then repaints.
    void Layout();
    // The height in pixels of the text wrapped in width.
    int TextHeight(int width) const;
    // The text as one paragraph per line, in the form that QTextLayout breaks.
    QString LayoutText() const;

    QString description;
    QScrollBar* scrollBar = nullptr; // present exactly while the text does not fit
    int textWidth = 0;               // the width the text is wrapped in
};
