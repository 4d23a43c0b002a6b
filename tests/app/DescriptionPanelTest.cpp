// DescriptionPanel: when it grows a scroll bar and how far that scrolls, relayout on resizes,
// text and font changes, and what it paints.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <algorithm>
#include <memory>

#include "DescriptionPanel.h"

namespace {

const QString shortText = QStringLiteral("Voice, 16 kbps, mono.");
const QString longText = QStringLiteral(
    "Meant for speech: lectures, interviews and memos. Sixteen kilobits per second in one "
    "channel at sixteen kilohertz keep an hour under eight megabytes, and every player of the "
    "format since its first version plays it. Music sounds thin at this rate; choose a profile "
    "of at least sixty-four kilobits per second in stereo for it.");

class DescriptionPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel = std::make_unique<DescriptionPanel>();
        panel->resize(300, 50);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    }

    QScrollBar* ScrollBar() const { return panel->findChild<QScrollBar*>(); }

    int BarWidth() const
    {
        return panel->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, panel.get());
    }

    // The height of text wrapped at words in width, as Qt's own text drawing measures it.
    int TextHeight(const QString& text, int width) const
    {
        return QFontMetrics(panel->font())
            .boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text)
            .height();
    }

    // The panel's pixels left of the scroll bar.
    QImage TextArea() const
    {
        const int width = ScrollBar() ? ScrollBar()->x() : panel->width();
        return panel->grab(QRect(0, 0, width, panel->height()))
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<DescriptionPanel> panel;
};

} // namespace

TEST_F(DescriptionPanelTest, ADescriptionThatFitsHasNoScrollBar)
{
    panel->setText(shortText);
    ASSERT_LE(TextHeight(shortText, 300), 50);
    EXPECT_EQ(ScrollBar(), nullptr);
    panel->setText(QString());
    EXPECT_EQ(ScrollBar(), nullptr);
}

TEST_F(DescriptionPanelTest, ALongerDescriptionScrollsByItsOverflow)
{
    panel->setText(longText);
    QScrollBar* bar = ScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->orientation(), Qt::Vertical);
    EXPECT_EQ(bar->geometry(), QRect(300 - BarWidth(), 0, BarWidth(), 50));
    // The text wraps again beside the bar, and the bar scrolls it a pixel at a time.
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), TextHeight(longText, 300 - BarWidth() - 2) - 50);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(bar->singleStep(), 1);
    EXPECT_EQ(bar->pageStep(), 1);
}

TEST_F(DescriptionPanelTest, EveryResizeTextAndFontChangeLaysItOutAgain)
{
    panel->setText(longText);
    ASSERT_NE(ScrollBar(), nullptr);
    ScrollBar()->setValue(5);

    // Tall enough: the bar goes.
    panel->resize(300, TextHeight(longText, 300));
    EXPECT_EQ(ScrollBar(), nullptr);
    // Narrower again: it comes back, at the top.
    panel->resize(200, 50);
    ASSERT_NE(ScrollBar(), nullptr);
    EXPECT_EQ(ScrollBar()->geometry(), QRect(200 - BarWidth(), 0, BarWidth(), 50));
    EXPECT_EQ(ScrollBar()->maximum(), TextHeight(longText, 200 - BarWidth() - 2) - 50);

    ScrollBar()->setValue(7);
    panel->setText(longText + QStringLiteral(" And more."));
    EXPECT_EQ(ScrollBar()->value(), 0);
    panel->setText(shortText);
    EXPECT_EQ(ScrollBar(), nullptr);

    // A larger font overflows the panel.
    QFont large = panel->font();
    large.setPixelSize(30);
    panel->setFont(large);
    ASSERT_NE(ScrollBar(), nullptr);
    EXPECT_EQ(ScrollBar()->maximum(), TextHeight(shortText, 200 - BarWidth() - 2) - 50);
}

TEST_F(DescriptionPanelTest, ItPaintsBlackTextOnTheButtonFace)
{
    panel->setText(shortText);
    const QImage look = TextArea();
    const QRgb face = panel->palette().color(QPalette::Button).rgb();
    EXPECT_EQ(look.pixel(look.width() - 2, look.height() - 2), face);
    int darkest = 255;
    for (int y = 0; y < look.height(); ++y) {
        for (int x = 0; x < look.width(); ++x)
            darkest = std::min(darkest, qGray(look.pixel(x, y)));
    }
    EXPECT_LT(darkest, 40);
}

TEST_F(DescriptionPanelTest, ScrollingShiftsTheTextUpByThePosition)
{
    panel->setText(longText);
    QScrollBar* bar = ScrollBar();
    ASSERT_NE(bar, nullptr);
    const QImage top = TextArea();

    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 1);
    QImage one = TextArea();
    // Each row now shows what the row below it showed.
    EXPECT_EQ(one.copy(0, 0, one.width(), one.height() - 1),
              top.copy(0, 1, top.width(), top.height() - 1));

    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), 2);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_NE(TextArea(), top);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(TextArea(), top);
}
