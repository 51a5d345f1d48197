#include "monitor/ui/TestPage.h"

#include "link/ui/PowerCyclePanel.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QGroupBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

TestPage::TestPage(Shell& shell, QWidget* parent) : Page(parent), session_(shell.GetSession())
{
    setObjectName("TestPageContent");
    powerCycle_ = new PowerCyclePanel(session_, this);
    powerCycle_->setGeometry(8, 8, 385, 78);

    auto* gMonitor = Make<QGroupBox>(this, "gMonitorInterval", QRect(8, 92, 385, 52));
    gMonitor->setTitle(" Reading ");
    MakeLabel(gMonitor, "lblFrekvencaBranja", "Delay between readings (ms)", QRect(10, 22, 180, 18));
    seFrekvencaBranja_ = Make<QSpinBox>(gMonitor, "seFrekvencaBranja", QRect(192, 20, 62, 22));
    seFrekvencaBranja_->setRange(1, 10000);
    seFrekvencaBranja_->setValue(session_.MonitorInterval() > 0 ? session_.MonitorInterval() : 50);
    auto* btn2 = Make<QPushButton>(gMonitor, "btn2", QRect(260, 18, 115, 26));
    btn2->setText("Max update rate");
    connect(seFrekvencaBranja_, &QSpinBox::valueChanged, this, [this](int ms) { session_.SetMonitorInterval(ms); });
    // The fastest read-out: the box's fastest clock setting and a 1 ms interval.
    connect(btn2, &QPushButton::clicked, this, [this] {
        session_.SendBoxSetting(BoxSetting::Clock, "1");
        session_.SetMonitorInterval(1);
    });
    session_.AddObserver(this);
}

TestPage::~TestPage()
{
    session_.RemoveObserver(this);
}

void TestPage::ServiceRevealed(ServiceGesture gesture)
{
    if (gesture == ServiceGesture::Service)
        powerCycle_->RevealControls();
    else if (gesture == ServiceGesture::FullService)
        powerCycle_->setVisible(true);
}

void TestPage::MonitorIntervalChanged(int ms)
{
    const QSignalBlocker quiet(seFrekvencaBranja_);
    seFrekvencaBranja_->setValue(ms);
}
