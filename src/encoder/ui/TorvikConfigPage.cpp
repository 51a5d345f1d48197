#include "encoder/ui/TorvikConfigPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

TorvikConfigPage::TorvikConfigPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("TorvikConfigContent");
    edTC0_18_ = MakeRegisterField(this, "lbl_edTC0_18", "0.18.u8 Multiturn Error Arc", "edTC0_18", 250);
    lblTC0_18_ = MakeLabel(this, "lblTC0_18", "...", QRect(288, 253, 110, 16));
    edTC0_2E_ = MakeRegisterField(this, "lbl_edTC0_2E", "0.2E.u8 Write protect", "edTC0_2E", 278);
    // Locking the encoder is for service engineers only.
    edTC0_2E_->setReadOnly(true);
    lblTC0_2E_ = MakeLabel(this, "lblTC0_2E", "...", QRect(288, 281, 110, 16));
    session_.AddObserver(this);
}

TorvikConfigPage::~TorvikConfigPage()
{
    session_.RemoveObserver(this);
}

void TorvikConfigPage::ServiceRevealed(ServiceGesture gesture)
{
    if (gesture == ServiceGesture::Service)
        edTC0_2E_->setReadOnly(false);
}

void TorvikConfigPage::Identified(const IdentificationOutcome&, const EncoderCapabilities& caps)
{
    if (!caps.torvikGates)
        return;
    const TorvikControlGates& g = *caps.torvikGates;
    for (QWidget* w : {static_cast<QWidget*>(edTC0_2E_), findChild<QWidget*>("lbl_edTC0_2E")})
        w->setEnabled(g.writeProtect);
    lblTC0_2E_->setVisible(g.writeProtect);
    for (QWidget* w : {static_cast<QWidget*>(edTC0_18_), findChild<QWidget*>("lbl_edTC0_18"), static_cast<QWidget*>(lblTC0_18_)})
        w->setEnabled(g.multiturnErrorArc);
}
