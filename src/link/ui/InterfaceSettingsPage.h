#pragma once
// The "Interface Settings" page: encoder power, data length, clock frequency,
// and the read-outs of the box that the monitor cycle fills.

#include "shell/Page.h"

#include <array>
#include <cstdint>

class Shell;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QSpinBox;

class InterfaceSettingsPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit InterfaceSettingsPage(Shell& shell, QWidget* parent = nullptr);
    ~InterfaceSettingsPage() override;

    // rgEncoderPower: item 0 "ON", item 1 "OFF".
    int PowerItem() const;
    // Selects an item as the user does: a change switches the encoder supply.
    void Select(bool on);

    // Shows the reply to one of the read-out commands "v", "i", "4", "m", "b", "e", "t", "s", "r".
    void ShowReadout(char command, const QString& text);
    QLabel* ReadoutLabel(char command) const;

    // The read-outs run in the monitor cycle while this page is shown.
    void PageSwitched(PageId current) override;

private:
    void PowerSwitched(bool on, const std::string& result) override;
    void BoxSettingSent(BoxSetting setting, const std::string& value, const std::string& result) override;
    void Ticked(const TickReport& report) override;

    Shell& shell_;
    Session& session_;
    QGroupBox* rgEncoderPower_;
    QButtonGroup* powerItems_;
    QLabel* lblEncoderPowerResult_;
    QSpinBox* seDataLength_;
    QLabel* lblDataLengthResult_;
    QSpinBox* seFrequency_;
    QLabel* lblFrequencyResult_;
    std::array<QLabel*, MonitorCycle::kInterfaceCommands.size()> readout_{};
    uint64_t supplyRepliesShown_ = 0;
};

