#include "app/QtStatusView.h"

#include "app/Colours.h"

#include <QLabel>

void QtStatusView::ShowStatus(const std::string& text, Rgb background)
{
    // Box replies are 8-bit text; Latin-1 keeps every byte as one character.
    status_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
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
