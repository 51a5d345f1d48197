#pragma once
// The "Torvik Status" page (it also serves the linear family): the serial
// caption and the persistent-status switch, enabled by firmware.

#include "shell/Page.h"

class QCheckBox;
class QLabel;

class TorvikStatusPage : public Page, private SessionObserver {
    Q_OBJECT
public:
    explicit TorvikStatusPage(Shell& shell, QWidget* parent = nullptr);
    ~TorvikStatusPage() override;

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;

    Session& session_;
    QLabel* lblTorvikSerial_;
    QCheckBox* cbTorvikShowPersistentStatus_;
};
