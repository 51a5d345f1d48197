#include "monitor/ui/TorvikStatusPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QCheckBox>

TorvikStatusPage::TorvikStatusPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("TorvikStatusContent");
    lblTorvikSerial_ = MakeLabel(this, "lblTorvikSerial", "", QRect(8, 8, 390, 48));
    lblTorvikSerial_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    cbTorvikShowPersistentStatus_ = Make<QCheckBox>(this, "cbTorvikShowPersistentStatus", QRect(8, 380, 200, 20));
    cbTorvikShowPersistentStatus_->setText("Show Persistent Status");
    session_.AddObserver(this);
}

TorvikStatusPage::~TorvikStatusPage()
{
    session_.RemoveObserver(this);
}

void TorvikStatusPage::Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& caps)
{
    if (!outcome.signatureRead)
        return;
    lblTorvikSerial_->setText(Latin1Text(caps.serialCaption));
    if (caps.torvikGates)
        cbTorvikShowPersistentStatus_->setEnabled(caps.torvikGates->persistentStatus);
}
