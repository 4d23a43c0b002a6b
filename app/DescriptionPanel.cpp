#include "DescriptionPanel.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

namespace {

// Lays text out in width, as an edit control wraps: at word boundaries, and inside a word that
// is wider than the line. Answers the height of all lines.
qreal LayOut(QTextLayout& layout, int width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

DescriptionPanel::DescriptionPanel(QWidget* parent) : QWidget(parent)
{
    // The panel fills all it owns itself; nothing is erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DescriptionPanel::setText(const QString& text)
{
    description = text;
    Layout();
}

QString DescriptionPanel::LayoutText() const
{
    QString text = description;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

int DescriptionPanel::TextHeight(int width) const
{
    if (description.isEmpty() || width <= 0)
        return 0;
    QTextLayout layout(LayoutText(), font());
    return static_cast<int>(std::ceil(LayOut(layout, width)));
}

void DescriptionPanel::Layout()
{
    const int clientWidth = width();
    const int clientHeight = height();
    textWidth = clientWidth;
    int textHeight = TextHeight(textWidth);
    if (textHeight > clientHeight) {
        const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        textWidth = clientWidth - barWidth - 2;
        textHeight = TextHeight(textWidth);
        if (!scrollBar) {
            scrollBar = new QScrollBar(Qt::Vertical, this);
            connect(scrollBar, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
        }
        scrollBar->setGeometry(clientWidth - barWidth, 0, barWidth, clientHeight);
        scrollBar->setRange(0, textHeight - clientHeight);
        scrollBar->setPageStep(1);
        scrollBar->setSingleStep(1);
        scrollBar->setValue(0);
        scrollBar->show();
    } else if (scrollBar) {
        delete scrollBar;
        scrollBar = nullptr;
    }
    update();
}

void DescriptionPanel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    QRect client = rect();
    if (scrollBar)
        client.setRight(scrollBar->geometry().left() - 1);
    painter.fillRect(client, palette().button());
    if (description.isEmpty() || textWidth <= 0)
        return;

    painter.setClipRect(client);
    painter.setPen(Qt::black);
    QTextLayout layout(LayoutText(), font());
    LayOut(layout, textWidth);
    const int position = scrollBar ? scrollBar->value() : 0;
    layout.draw(&painter, QPointF(0, -position));
}

void DescriptionPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

void DescriptionPanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Layout();
}
