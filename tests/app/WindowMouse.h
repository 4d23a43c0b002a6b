// Mouse events for widget tests, sent in through the widget's window as the platform delivers
// them, so that Qt routes them by the widgets' masks and keeps a press's grab. QTest's widget
// overloads would bypass both.
#pragma once

#include <QTest>
#include <QWidget>
#include <QWindow>

namespace window_mouse {

// pos is in the widget's coordinates.
inline QWindow* WindowOf(QWidget* widget)
{
    return widget->window()->windowHandle();
}

inline QPoint InWindow(QWidget* widget, QPoint pos)
{
    return widget->mapTo(widget->window(), pos);
}

inline void Press(QWidget* widget, QPoint pos)
{
    QTest::mousePress(WindowOf(widget), Qt::LeftButton, {}, InWindow(widget, pos));
}

inline void Release(QWidget* widget, QPoint pos)
{
    QTest::mouseRelease(WindowOf(widget), Qt::LeftButton, {}, InWindow(widget, pos));
}

inline void Click(QWidget* widget, QPoint pos)
{
    QTest::mouseClick(WindowOf(widget), Qt::LeftButton, {}, InWindow(widget, pos));
}

inline void DoubleClick(QWidget* widget, QPoint pos)
{
    QTest::mouseDClick(WindowOf(widget), Qt::LeftButton, {}, InWindow(widget, pos));
}

inline void Move(QWidget* widget, QPoint pos)
{
    QTest::mouseMove(WindowOf(widget), InWindow(widget, pos));
}

} // namespace window_mouse
