#include "shell/Colours.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

void SetPanelColour(QWidget* widget, Rgb colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(colour));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

Rgb PanelColour(const QWidget* widget)
{
    return FromQColor(widget->palette().color(QPalette::Window));
}

Rgb IndicatorRgb(IndicatorColour colour)
{
    switch (colour) {
    case IndicatorColour::Grey:
        return kColourGrey;
    case IndicatorColour::Red:
        return kColourRed;
    case IndicatorColour::Orange:
        return kColourOrange;
    case IndicatorColour::Green:
        return kColourGreen;
    case IndicatorColour::Lime:
        return kColourLime;
    }
    return kColourGrey;
}

Rgb ButtonFaceColour()
{
    return FromQColor(QApplication::palette().color(QPalette::Button));
}
