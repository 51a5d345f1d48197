#include "app/StatusLine.h"

bool StatusLine::Report(bool ok)
{
    if (ok) {
        view_.ShowStatus("Comm OK\r\n" + link_.LastErrorText, kColourOk);
    } else {
        view_.ShowStatus("Error\r\n" + link_.LastErrorText, kColourError);
        identity_.EncoderConnected = false;
    }
    return ok;
}

void StatusLine::ShowMonitorOk()
{
    view_.ShowStatus("Comm OK", kColourOk);
}

void StatusLine::ShowMonitorError(const std::string& received)
{
    view_.ShowStatus("Error\r\n" + received + link_.LastErrorText, kColourError);
    identity_.EncoderConnected = false;
}

void StatusLine::FlipActivity()
{
    Rgb colour = view_.LampColour();
    colour.g = static_cast<uint8_t>(255 - colour.g);
    view_.SetLampColour(colour);
}
