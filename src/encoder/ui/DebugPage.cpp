#include "encoder/ui/DebugPage.h"

#include "shell/WidgetFactory.h"

#include <QPushButton>

DebugPage::DebugPage(Shell&, QWidget* parent) : Page(parent)
{
    setObjectName("DebugContent");
    btnTorvikDebugUnlock_ = Make<QPushButton>(this, "btnTorvikDebugUnlock", QRect(8, 8, 120, 26));
    btnTorvikDebugUnlock_->setText("Debug Unlock");
    btnTorvikDebugUnlock_->setVisible(false);
}

void DebugPage::ServiceRevealed(ServiceGesture gesture)
{
    if (gesture == ServiceGesture::Debug)
        btnTorvikDebugUnlock_->setVisible(true);
}
