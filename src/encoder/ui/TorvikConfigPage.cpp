#include "encoder/ui/TorvikConfigPage.h"

#include <QLabel>
#include <QLineEdit>

namespace {
QLineEdit* FieldRow(QWidget* page, const char* editName, const ConfigField& field, int y,
                    const char* captionName = nullptr, QLabel** caption = nullptr)
{
    QLineEdit* edit = MakeRegisterField(page, captionName, QString::fromStdString(ConfigFieldCaption(field)),
                                        editName, y, caption);
    UseButtonFace(edit);
    return edit;
}

QString FieldText(const std::optional<std::string>& value)
{
    return value ? QString::fromStdString(*value) : QString();
}
} // namespace

TorvikConfigPage::TorvikConfigPage(Shell& shell, QWidget* parent)
    : ConfigPageBase(shell, ConfigPage::Torvik, parent)
{
    setObjectName("TorvikConfigContent");
    edTC0_00_ = FieldRow(this, "edTC0_00", ConfigFields::PositionOffset, 8);
    edTC0_04_ = FieldRow(this, "edTC0_04", ConfigFields::PosFilterValue, 34);
    edTC0_08_ = FieldRow(this, "edTC0_08", ConfigFields::PosFilterSpeed, 60);
    edTC0_0C_ = FieldRow(this, "edTC0_0C", ConfigFields::VelocityFilterValue, 86);
    edTC0_10_ = FieldRow(this, "edTC0_10", ConfigFields::VelocityFilterSpeed, 112);
    edTC0_18_ = FieldRow(this, "edTC0_18", ConfigFields::MultiturnErrorArc, 138, "lbl_edTC0_18", &lbl_edTC0_18_);
    lblTC0_18_ = MakeLabel(this, "lblTC0_18", "...", QRect(288, 141, 110, 16));

    BuildShared({"lbl_edTC0_2E", "edTC0_2E", "lblTC0_2E", "lbl_edTC_multiturn", "edTC_multiturn",
                 "btnTC_NewMultiturn", "btnTorvikconfigRead", "btnTorvikconfigWrite", "btnTC_ResetToFactory",
                 "grpTorvikZero", "btnTorvikSetZero", "lblTorvikZeroStatus"},
                {164, 198, 234, 300});
    lblCkecksumConfig_ = MakeLabel(this, "lblCkecksumConfig", "...", QRect(116, 238, 287, 18));
    SetPanelColour(lblCkecksumConfig_, ButtonFaceColour());
}

void TorvikConfigPage::Identified(const IdentificationOutcome&, const EncoderCapabilities& caps)
{
    if (!caps.torvikGates)
        return;
    const TorvikControlGates& g = *caps.torvikGates;
    writeProtect_->setEnabled(g.writeProtect);
    writeProtectCaption_->setEnabled(g.writeProtect);
    writeProtectInfo_->setVisible(g.writeProtect);
    for (QWidget* w : {static_cast<QWidget*>(edTC0_18_), static_cast<QWidget*>(lbl_edTC0_18_),
                       static_cast<QWidget*>(lblTC0_18_)})
        w->setEnabled(g.multiturnErrorArc);
}

ConfigurationTexts TorvikConfigPage::Texts() const
{
    ConfigurationTexts t;
    t.offset = edTC0_00_->text().toStdString();
    t.posFilterValue = edTC0_04_->text().toStdString();
    t.posFilterSpeed = edTC0_08_->text().toStdString();
    t.velocityFilterValue = edTC0_0C_->text().toStdString();
    t.velocityFilterSpeed = edTC0_10_->text().toStdString();
    t.errorArc = edTC0_18_->text().toStdString();
    return t;
}

void TorvikConfigPage::ShowReading(const ConfigurationReading& r)
{
    edTC0_00_->setText(r.page == ConfigPage::Quenra ? QString() : FieldText(r.offset));
    edTC0_04_->setText(FieldText(r.posFilterValue));
    edTC0_08_->setText(FieldText(r.posFilterSpeed));
    edTC0_0C_->setText(FieldText(r.velocityFilterValue));
    edTC0_10_->setText(FieldText(r.velocityFilterSpeed));
    edTC0_18_->setText(FieldText(r.errorArc));
    if (r.errorArcDegrees)
        lblTC0_18_->setText(Utf8Text(*r.errorArcDegrees));
    if (!r.checksumStarted)
        return;
    if (r.checksum) {
        lblCkecksumConfig_->setText(QString::fromStdString(ConfigChecksumText(*r.checksum)));
        SetPanelColour(lblCkecksumConfig_, r.checksum->Ok() ? kColourOk : kColourError);
    } else {
        lblCkecksumConfig_->setText(kReadingBankZeroText);
        SetPanelColour(lblCkecksumConfig_, ButtonFaceColour());
    }
}
