#pragma once
// The "Interface Settings" page: encoder power, data length, clock frequency,
// and the read-outs of the box that the monitor cycle fills.

#include "link/InterfaceSettings.h"

#include <QGroupBox>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSpinBox;

class InterfaceSettingsPage : public QWidget, public PowerSwitch {
    Q_OBJECT
public:
    // flipActivity blinks the window's activity lamp (frequency and data-length commands).
    InterfaceSettingsPage(Link& link, std::function<void()> flipActivity, QWidget* parent = nullptr);

    // rgEncoderPower: item 0 "ON", item 1 "OFF".
    int PowerItem() const;
    void SetPowerItem(int item);
    bool IsOn() const override { return PowerItem() == 0; }
    void Select(bool on) override { SetPowerItem(on ? 0 : 1); }

    // Sets seFrequency as program code does ("Max update" sets 1); sends on change.
    void SetFrequency(int value);

    // Shows the reply to one of the read-out commands "v", "i", "4", "m", "b", "e", "t", "s", "r".
    void ShowReadout(char command, const QString& text);
    QLabel* ReadoutLabel(char command) const;

private:
    void rgEncoderPowerClick();
    void seFrequencyChange(const QString& text);
    void seDataLengthChange(const QString& text);

    Link& link_;
    std::function<void()> flipActivity_;
    QGroupBox* rgEncoderPower_;
    QButtonGroup* powerItems_;
    QLabel* lblEncoderPowerResult_;
    QSpinBox* seDataLength_;
    QLabel* lblDataLengthResult_;
    QSpinBox* seFrequency_;
    QLabel* lblFrequencyResult_;
    QLabel* readout_[9];
};

// The "Power Cycling test" group of the Test page. Hidden at design, its
// controls too: the service gestures reveal them.
class PowerCyclePanel : public QGroupBox {
    Q_OBJECT
public:
    // The group is GroupBoxPowerCycle, " Power Cycling test ".
    PowerCyclePanel(PowerSwitch& power, QWidget* parent = nullptr);

    // Makes the controls inside the group visible (the group itself stays as it is).
    void RevealControls();

private:
    void cbCiklirajIzklopeClick(bool checked);
    void timerOnOffTimer();

    PowerSwitch& power_;
    QLabel* lblonoff_;
    QSpinBox* seSteviloIzklopov_;
    QLabel* lblonoffdelay_;
    QSpinBox* seIzklopDelay_;
    class QCheckBox* cbCiklirajIzklope_;
    class QTimer* timerOnOff_;
};
