#pragma once
// The "Torvik Config" page (it also serves the linear family): the
// configuration fields of bank 0, its checksum, and the shared configuration
// actions. Which fields the encoder has depends on its firmware.

#include "encoder/ui/ConfigPageBase.h"

class QLabel;
class QLineEdit;

class TorvikConfigPage : public ConfigPageBase {
    Q_OBJECT
public:
    explicit TorvikConfigPage(Shell& shell, QWidget* parent = nullptr);

private:
    void Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& capabilities) override;
    ConfigurationTexts Texts() const override;
    void ShowReading(const ConfigurationReading& reading) override;

    QLineEdit* edTC0_00_;
    QLineEdit* edTC0_04_;
    QLineEdit* edTC0_08_;
    QLineEdit* edTC0_0C_;
    QLineEdit* edTC0_10_;
    QLineEdit* edTC0_18_;
    QLabel* lbl_edTC0_18_;
    QLabel* lblTC0_18_;
    QLabel* lblCkecksumConfig_;
};
