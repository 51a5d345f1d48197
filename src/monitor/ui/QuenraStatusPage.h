#pragma once
// The "Quenra Status" page: the serial caption of the attached encoder.

#include "shell/Page.h"

class QLabel;

class QuenraStatusPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit QuenraStatusPage(Shell& shell, QWidget* parent = nullptr);
    ~QuenraStatusPage() override;

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;

    Session& session_;
    QLabel* lblQuenraSerial_;
};
