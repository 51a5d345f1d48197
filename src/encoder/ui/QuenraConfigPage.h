#pragma once
// The "Quenra Config" page: the position offset, the write-protect field, the
// new multiturn counter and the shared configuration actions.

#include "encoder/ui/ConfigPageBase.h"

class QLineEdit;

class QuenraConfigPage : public ConfigPageBase {
    Q_OBJECT
public:
    explicit QuenraConfigPage(Shell& shell, QWidget* parent = nullptr);

private:
    ConfigurationTexts Texts() const override;
    void ShowReading(const ConfigurationReading& reading) override;

    QLineEdit* edQC0_00_;
};
