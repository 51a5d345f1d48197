#include "link/InterfaceSettingsPage.h"

#include "app/WidgetFactory.h"
#include "link/PowerCycle.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

namespace {
constexpr char kReadoutCommands[9] = {'v', 'i', '4', 'm', 'b', 'e', 't', 's', 'r'};

// A group with one setting: its spin edit, the unit and the result label.
struct SettingDesign {
    const char* group;
    const char* title;
    const char* spin;
    const char* unitLabel;
    const char* unit;
    const char* result;
    int top;
    int minimum, maximum, value;
};

QSpinBox* SettingGroup(QWidget* page, const SettingDesign& d, QLabel*& result)
{
    auto* group = Make<QGroupBox>(page, d.group, QRect(8, d.top, 385, 50));
    group->setTitle(d.title);
    auto* spin = Make<QSpinBox>(group, d.spin, QRect(10, 22, 50, 22));
    spin->setRange(d.minimum, d.maximum);
    spin->setValue(d.value);
    MakeLabel(group, d.unitLabel, d.unit, QRect(66, 24, 40, 18));
    result = MakeLabel(group, d.result, "(Result)", QRect(160, 24, 215, 18));
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return spin;
}
} // namespace

InterfaceSettingsPage::InterfaceSettingsPage(Link& link, std::function<void()> flipActivity, QWidget* parent)
    : QWidget(parent), link_(link), flipActivity_(std::move(flipActivity))
{
    rgEncoderPower_ = Make<QGroupBox>(this, "rgEncoderPower", QRect(8, 6, 150, 62));
    rgEncoderPower_->setTitle(" Set Encoder Power ");
    powerItems_ = new QButtonGroup(this);
    auto* on = Make<QRadioButton>(rgEncoderPower_, "rgEncoderPowerON", QRect(10, 20, 120, 18));
    on->setText("ON");
    auto* off = Make<QRadioButton>(rgEncoderPower_, "rgEncoderPowerOFF", QRect(10, 40, 120, 18));
    off->setText("OFF");
    powerItems_->addButton(on, 0);
    powerItems_->addButton(off, 1);
    off->setChecked(true);
    lblEncoderPowerResult_ = MakeLabel(this, "lblEncoderPowerResult", "(Result)", QRect(168, 32, 225, 18));
    lblEncoderPowerResult_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    seDataLength_ = SettingGroup(this, {"gDataLengthSet", " Set Data Length ", "seDataLength", "lblDataLengthUnit",
                                        "bits", "lblDataLengthResult", 72, 1, 8, 8},
                                 lblDataLengthResult_);
    // Offered but never enabled in this tool: the box keeps its data length.
    seDataLength_->setEnabled(false);
    seFrequency_ = SettingGroup(this, {"gFrequencySet", " Set Frequency ", "seFrequency", "lblFrequencyUnit", "units",
                                       "lblFrequencyResult", 126, 0, 30, 4},
                                lblFrequencyResult_);

    auto* gReadoutData = Make<QGroupBox>(this, "gReadoutData", QRect(8, 180, 385, 220));
    gReadoutData->setTitle(" Readout data ");
    for (int i = 0; i < 9; ++i) {
        const QString name = QStringLiteral("lblRX") + QChar(kReadoutCommands[i]);
        readout_[i] = MakeLabel(gReadoutData, name.toLatin1().constData(), name, QRect(10, 22 + 21 * i, 365, 20));
        readout_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Replies keep their CR, which would otherwise centre them a line too high.
        readout_[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    connect(powerItems_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            rgEncoderPowerClick();
    });
    connect(seFrequency_, &QSpinBox::textChanged, this, &InterfaceSettingsPage::seFrequencyChange);
    connect(seDataLength_, &QSpinBox::textChanged, this, &InterfaceSettingsPage::seDataLengthChange);
}

int InterfaceSettingsPage::PowerItem() const
{
    return powerItems_->checkedId();
}

void InterfaceSettingsPage::SetPowerItem(int item)
{
    // Checking the button that is already checked emits nothing, so nothing is sent.
    if (QAbstractButton* button = powerItems_->button(item))
        button->setChecked(true);
}

void InterfaceSettingsPage::SetFrequency(int value)
{
    seFrequency_->setValue(value);
}

void InterfaceSettingsPage::rgEncoderPowerClick()
{
    lblEncoderPowerResult_->setText(Latin1Text(SendSettingsCommand(link_, PowerCommand(IsOn()))));
}

void InterfaceSettingsPage::seFrequencyChange(const QString& text)
{
    std::optional<std::string> command = FrequencyCommand(text.toStdString());
    if (!command)
        return;
    if (flipActivity_)
        flipActivity_();
    lblFrequencyResult_->setText(Latin1Text(SendSettingsCommand(link_, *command)));
}

void InterfaceSettingsPage::seDataLengthChange(const QString& text)
{
    std::optional<std::string> command = DataLengthCommand(text.toStdString());
    if (!command)
        return;
    if (flipActivity_)
        flipActivity_();
    lblDataLengthResult_->setText(Latin1Text(SendSettingsCommand(link_, *command)));
}

QLabel* InterfaceSettingsPage::ReadoutLabel(char command) const
{
    for (int i = 0; i < 9; ++i)
        if (kReadoutCommands[i] == command)
            return readout_[i];
    return nullptr;
}

void InterfaceSettingsPage::ShowReadout(char command, const QString& text)
{
    if (QLabel* label = ReadoutLabel(command))
        label->setText(text);
}

PowerCyclePanel::PowerCyclePanel(PowerSwitch& power, QWidget* parent) : QGroupBox(parent), power_(power)
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
    if (checked)
        timerOnOff_->start();
    else
        timerOnOff_->stop();
}

void PowerCyclePanel::timerOnOffTimer()
{
    int remaining = seSteviloIzklopov_->value();
    const bool running = PowerCycleTick(remaining, power_);
    seSteviloIzklopov_->setValue(remaining);
    if (!running) {
        cbCiklirajIzklope_->setChecked(false);
        timerOnOff_->stop();
    }
}
