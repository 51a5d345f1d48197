#pragma once
// What the maker's service pages share: the window's dialogs and waits for
// the service actions, and the look of their fields and lamps.

#include "link/PowerCycle.h"
#include "session/ServiceActions.h"
#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>

// The actions' messages and questions as the window's modal dialogs.
class DialogPrompts final : public ServicePrompts {
public:
    explicit DialogPrompts(Dialogs& dialogs) : dialogs_(dialogs) {}
    void Message(const std::string& text) override { dialogs_.Message(text); }
    bool Confirm(const std::string& question) override { return dialogs_.Confirm(question); }

private:
    Dialogs& dialogs_;
};

// Waits that serve the window, and blocking ones where nothing else may
// reach the encoder (between a key and its command, during a power cycle).
inline ServiceWaits WindowWaits(Shell& shell)
{
    return ServiceWaits{[&shell](int ms) { shell.WaitWithMessages(ms); }, SleepMs, {}};
}

// The service pages' edit fields have the button-face colour.
inline void UseButtonFace(QLineEdit* edit)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    edit->setPalette(palette);
}

// A lamp panel: its caption centred on a raised panel, silver until its first reading.
inline QLabel* MakeLamp(QWidget* parent, const char* name, const QString& caption, QRect geometry)
{
    QLabel* lamp = MakeLabel(parent, name, caption, geometry);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setFrameStyle(QFrame::Panel | QFrame::Raised);
    SetPanelColour(lamp, kColourSilver);
    return lamp;
}

// Colours a lamp; a lamp already in that colour is left alone (no repaint).
inline void SetLamp(QWidget* lamp, Rgb colour)
{
    if (PanelColour(lamp) != colour || !lamp->autoFillBackground())
        SetPanelColour(lamp, colour);
}
