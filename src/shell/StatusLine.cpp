#include "app/StatusLine.h"

bool StatusLine::Report(bool ok)
{
    if (ok) {
        Show("Comm OK\r\n" + link_.LastErrorText, kColourOk);
    } else {
        Show("Error\r\n" + link_.LastErrorText, kColourError);
        identity_.EncoderConnected = false;
    }
    return ok;
}

void StatusLine::ShowMonitorOk()
{
    Show("Comm OK", kColourOk);
}

void StatusLine::ShowMonitorError(const std::string& received)
{
    Show("Error\r\n" + received + link_.LastErrorText, kColourError);
    identity_.EncoderConnected = false;
}

void StatusLine::ShowText(const std::string& text)
{
    view_.ShowStatus(text, shown_);
}

void StatusLine::Show(const std::string& text, Rgb colour)
{
    shown_ = colour;
    view_.ShowStatus(text, colour);
}

void StatusLine::FlipActivity()
{
    Rgb colour = view_.LampColour();
    colour.g = static_cast<uint8_t>(255 - colour.g);
    view_.SetLampColour(colour);
}
