#include "monitor/ui/QuenraStatusPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

QuenraStatusPage::QuenraStatusPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("QuenraStatusContent");
    lblQuenraSerial_ = MakeLabel(this, "lblQuenraSerial", "", QRect(8, 8, 390, 48));
    lblQuenraSerial_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    session_.AddObserver(this);
}

QuenraStatusPage::~QuenraStatusPage()
{
    session_.RemoveObserver(this);
}

void QuenraStatusPage::Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& caps)
{
    if (outcome.signatureRead)
        lblQuenraSerial_->setText(Latin1Text(caps.serialCaption));
}
