#pragma once
// What a widget under test repainted, noted from its paint events as they
// come, and a window as its backing store holds it (what a user sees).

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>
#include <QScreen>
#include <QWidget>

struct PaintNotes : QObject {
    QRegion painted; // of the watched widget, since the test last cleared it

    void Watch(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

inline QImage ScreenOf(const QWidget& window)
{
    return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
}
