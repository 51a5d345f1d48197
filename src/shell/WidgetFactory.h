#pragma once
// Building fixed-layout pages: a widget with its object name (the name tests
// and readers find it by) at its design position. Header-only, so every page
// library can use it without linking the window.

#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

#include <string>

// A new W inside parent, named and placed; a null name leaves it unnamed.
template <class W>
W* Make(QWidget* parent, const char* name, QRect geometry)
{
    auto* widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

// A label with its caption.
inline QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = Make<QLabel>(parent, name, geometry);
    label->setText(text);
    return label;
}

// Texts for widgets: from the box or the encoder's registers, 8-bit with one
// character per byte (Latin-1 keeps every byte); from our own logic, UTF-8.
inline QString Latin1Text(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString Utf8Text(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
