#pragma once
// The "Torvik Config" page (it also serves the linear family): the
// configuration fields whose registers depend on the firmware.

#include "shell/Page.h"

class QLabel;
class QLineEdit;

class TorvikConfigPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit TorvikConfigPage(Shell& shell, QWidget* parent = nullptr);
    ~TorvikConfigPage() override;

    // The service gesture makes the write-protect field editable.
    void ServiceRevealed(ServiceGesture gesture) override;

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;

    Session& session_;
    QLineEdit* edTC0_18_;
    QLabel* lblTC0_18_;
    QLineEdit* edTC0_2E_;
    QLabel* lblTC0_2E_;
};
