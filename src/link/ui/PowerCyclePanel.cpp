#include "link/ui/PowerCyclePanel.h"

#include "link/PowerCycle.h"
#include "shell/WidgetFactory.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>

PowerCyclePanel::PowerCyclePanel(Session& session, QWidget* parent) : QGroupBox(parent), session_(session)
{
    setObjectName("GroupBoxPowerCycle");
    setTitle(" Power Cycling test ");
    lblonoff_ = MakeLabel(this, "lblonoff", "Number on/off cycles", QRect(10, 22, 130, 18));
    seSteviloIzklopov_ = Make<QSpinBox>(this, "seSteviloIzklopov", QRect(145, 20, 70, 22));
    seSteviloIzklopov_->setRange(0, 10000);
    seSteviloIzklopov_->setValue(0);
    lblonoffdelay_ = MakeLabel(this, "lblonoffdelay", "Delay (ms)", QRect(10, 48, 130, 18));
    seIzklopDelay_ = Make<QSpinBox>(this, "seIzklopDelay", QRect(145, 46, 70, 22));
    seIzklopDelay_->setRange(10, 10000);
    seIzklopDelay_->setValue(100);
    cbCiklirajIzklope_ = Make<QCheckBox>(this, "cbCiklirajIzklope", QRect(240, 20, 100, 20));
    cbCiklirajIzklope_->setText("Start");

    timerOnOff_ = new QTimer(this);
    timerOnOff_->setObjectName("timerOnOff");
    timerOnOff_->setInterval(100);

    for (QWidget* w : std::initializer_list<QWidget*>{lblonoff_, seSteviloIzklopov_, lblonoffdelay_, seIzklopDelay_,
                                                      cbCiklirajIzklope_})
        w->setVisible(false);
    setVisible(false);

    connect(cbCiklirajIzklope_, &QCheckBox::toggled, this, &PowerCyclePanel::cbCiklirajIzklopeClick);
    connect(seIzklopDelay_, &QSpinBox::valueChanged, this, [this](int ms) { timerOnOff_->setInterval(ms); });
    connect(timerOnOff_, &QTimer::timeout, this, &PowerCyclePanel::timerOnOffTimer);
}

void PowerCyclePanel::RevealControls()
{
    for (QWidget* w : std::initializer_list<QWidget*>{lblonoff_, seSteviloIzklopov_, lblonoffdelay_, seIzklopDelay_,
                                                      cbCiklirajIzklope_})
        w->setVisible(true);
}

void PowerCyclePanel::cbCiklirajIzklopeClick(bool checked)
{
    // A disconnected encoder is expected meanwhile: the position log leaves it out.
    session_.Monitor().SetPowerCycling(checked);
    if (checked)
        timerOnOff_->start();
    else
        timerOnOff_->stop();
}

void PowerCyclePanel::timerOnOffTimer()
{
    int remaining = seSteviloIzklopov_->value();
    const bool running = PowerCycleTick(remaining, session_);
    seSteviloIzklopov_->setValue(remaining);
    if (!running) {
        cbCiklirajIzklope_->setChecked(false);
        timerOnOff_->stop();
    }
}
