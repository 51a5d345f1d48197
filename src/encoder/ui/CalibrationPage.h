#pragma once
// The "Calibration" page: the self-calibration settings whose registers
// depend on the firmware.

#include "shell/Page.h"

class QLineEdit;

class CalibrationPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit CalibrationPage(Shell& shell, QWidget* parent = nullptr);
    ~CalibrationPage() override;

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;

    Session& session_;
    QLineEdit* edTC0_19_;
    QLineEdit* edTC0_21_;
};
