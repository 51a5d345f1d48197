#pragma once
// The power-cycling test: the encoder supply switched off and on a given
// number of times, one switch per interval.

#include "session/Session.h"

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QSpinBox;
class QTimer;

// The "Power Cycling test" group of the Test page. Hidden at design, its
// controls too: the service gestures reveal them.
class PowerCyclePanel : public QGroupBox {
    Q_OBJECT
public:
    // The group is GroupBoxPowerCycle, " Power Cycling test ".
    PowerCyclePanel(Session& session, QWidget* parent = nullptr);

    // Makes the controls inside the group visible (the group itself stays as it is).
    void RevealControls();

private:
    void cbCiklirajIzklopeClick(bool checked);
    void timerOnOffTimer();

    Session& session_;
    QLabel* lblonoff_;
    QSpinBox* seSteviloIzklopov_;
    QLabel* lblonoffdelay_;
    QSpinBox* seIzklopDelay_;
    QCheckBox* cbCiklirajIzklope_;
    QTimer* timerOnOff_;
};
