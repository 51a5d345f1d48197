#pragma once
// Building fixed-layout pages: a widget with its object name (the name tests
// and readers find it by) at its design position. Header-only, so every page
// library can use it without linking the window.

#include <QLabel>
#include <QLineEdit>
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

// A register field of a service page: its caption on the left (captionName),
// the edit (editName) at x = 180 and 100 wide, on the row at y. The caption
// goes to *captionLabel when asked for.
inline QLineEdit* MakeRegisterField(QWidget* parent, const char* captionName, const QString& caption,
                                    const char* editName, int y, QLabel** captionLabel = nullptr)
{
    QLabel* label = MakeLabel(parent, captionName, caption, QRect(8, y + 2, 170, 16));
    if (captionLabel)
        *captionLabel = label;
    return Make<QLineEdit>(parent, editName, QRect(180, y, 100, 22));
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
