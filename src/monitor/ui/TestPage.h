#pragma once
// The "Test" page: the power-cycling test and the monitor's reading interval.

#include "shell/Page.h"

class PowerCyclePanel;
class QSpinBox;

class TestPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit TestPage(Shell& shell, QWidget* parent = nullptr);
    ~TestPage() override;

    void ServiceRevealed(ServiceGesture gesture) override;

private:
    void MonitorIntervalChanged(int ms) override;

    Session& session_;
    PowerCyclePanel* powerCycle_;
    QSpinBox* seFrekvencaBranja_;
};
