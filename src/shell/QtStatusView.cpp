#include "shell/QtStatusView.h"

#include "shell/Colours.h"
#include "shell/WidgetFactory.h"

#include <QLabel>

void QtStatusView::ShowStatus(const std::string& text, Rgb background)
{
    status_->setText(Latin1Text(text));
    status_->setToolTip(status_->text());
    SetPanelColour(status_, background);
}

Rgb QtStatusView::LampColour() const
{
    return PanelColour(lamp_);
}

void QtStatusView::SetLampColour(Rgb colour)
{
    SetPanelColour(lamp_, colour);
}
