#include "encoder/ui/QuenraConfigPage.h"

#include <QLineEdit>

QuenraConfigPage::QuenraConfigPage(Shell& shell, QWidget* parent) : ConfigPageBase(shell, ConfigPage::Quenra, parent)
{
    setObjectName("QuenraConfigContent");
    const QString caption = QString::fromStdString(ConfigFieldCaption(ConfigFields::PositionOffset));
    edQC0_00_ = MakeRegisterField(this, nullptr, caption, "edQC0_00", 8);
    UseButtonFace(edQC0_00_);
    BuildShared({"lbl_edQC0_2E", "edQC0_2E", "lblQC0_2E", "lbl_edQC_multiturn", "edQC_multiturn",
                 "btnQC_NewMultiturn", "btnQuenraConfigRead", "btnQuenraConfigWrite", "btnQC_ResetToFactory",
                 "grpQuenraZero", "btnQuenraZero", "lblQuenraZeroStatus"},
                {34, 68, 104, 172});
}

ConfigurationTexts QuenraConfigPage::Texts() const
{
    ConfigurationTexts t;
    t.offset = edQC0_00_->text().toStdString();
    return t;
}

void QuenraConfigPage::ShowReading(const ConfigurationReading& r)
{
    edQC0_00_->setText(r.page == ConfigPage::Quenra && r.offset ? QString::fromStdString(*r.offset) : QString());
}
