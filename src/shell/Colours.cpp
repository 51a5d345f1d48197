#include "shell/Colours.h"

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
