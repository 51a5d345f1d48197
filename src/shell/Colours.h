#pragma once
// Coloured panels and labels: lamps, the status line, the banner.

#include "shell/StatusLine.h"

#include <QColor>

class QWidget;

inline QColor ToQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

inline Rgb FromQColor(const QColor& c)
{
    return Rgb{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

// Fills the widget's background with the colour (the widget paints it itself).
void SetPanelColour(QWidget* widget, Rgb colour);
Rgb PanelColour(const QWidget* widget);
