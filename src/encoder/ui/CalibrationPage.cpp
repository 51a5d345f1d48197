#include "encoder/ui/CalibrationPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

CalibrationPage::CalibrationPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("CalibrationContent");
    edTC0_19_ = MakeRegisterField(this, "lbl_edTC0_19", "Calibration arc length (deg)", "edTC0_19", 250);
    edTC0_21_ = MakeRegisterField(this, "lbl_edTC0_21", "Calibration Timeout (sec)", "edTC0_21", 278);
    session_.AddObserver(this);
}

CalibrationPage::~CalibrationPage()
{
    session_.RemoveObserver(this);
}

void CalibrationPage::Identified(const IdentificationOutcome&, const EncoderCapabilities& caps)
{
    if (!caps.torvikGates)
        return;
    for (QWidget* w : {static_cast<QWidget*>(edTC0_19_), findChild<QWidget*>("lbl_edTC0_19")})
        w->setEnabled(caps.torvikGates->calibrationArc);
    for (QWidget* w : {static_cast<QWidget*>(edTC0_21_), findChild<QWidget*>("lbl_edTC0_21")})
        w->setEnabled(caps.torvikGates->calibrationTimeout);
}
