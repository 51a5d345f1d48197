#include "shell/StatusLine.h"

void StatusLine::StatusReported(const StatusReport& report)
{
    if (report.kind == StatusKind::Ok)
        shown_ = kColourOk;
    else if (report.kind == StatusKind::Error)
        shown_ = kColourError;
    if (shownOnce_ && report.text == shownText_ && shown_ == shownColour_)
        return;
    shownOnce_ = true;
    shownText_ = report.text;
    shownColour_ = shown_;
    view_.ShowStatus(report.text, shown_);
}

void StatusLine::FlipActivity()
{
    Rgb colour = view_.LampColour();
    colour.g = static_cast<uint8_t>(255 - colour.g);
    view_.SetLampColour(colour);
}
