#pragma once
// Coloured panels and labels: lamps, the status line, the banner.

#include "encoder/Indicator.h"
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

// Indicator panels: silver before their first reading, then grey when
// inactive, red for an error, orange for a warning, green or lime for done.
inline constexpr Rgb kColourSilver{192, 192, 192};
inline constexpr Rgb kColourGrey{128, 128, 128};
inline constexpr Rgb kColourRed{255, 0, 0};
inline constexpr Rgb kColourOrange{255, 170, 0};
inline constexpr Rgb kColourGreen{0, 128, 0};
inline constexpr Rgb kColourLime{0, 255, 0};
Rgb IndicatorRgb(IndicatorColour colour);
// The system's button-face colour (panels cleared for a new start).
Rgb ButtonFaceColour();

// Fills the widget's background with the colour (the widget paints it itself).
void SetPanelColour(QWidget* widget, Rgb colour);
Rgb PanelColour(const QWidget* widget);
