#include "link/ui/InterfaceSettingsPage.h"

#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {
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

InterfaceSettingsPage::InterfaceSettingsPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("InterfaceSettingsContent");
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
    // One label per command of the monitor cycle's read-out, in its order.
    for (size_t i = 0; i < readout_.size(); ++i) {
        const QString name = QStringLiteral("lblRX") + QChar(MonitorCycle::kInterfaceCommands[i][0]);
        readout_[i] = MakeLabel(gReadoutData, name.toLatin1().constData(), name,
                                QRect(10, 22 + 21 * static_cast<int>(i), 365, 20));
        readout_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Replies keep their CR, which would otherwise centre them a line too high.
        readout_[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    connect(powerItems_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            session_.Select(id == 0);
    });
    connect(seFrequency_, &QSpinBox::textChanged, this,
            [this](const QString& text) { session_.SendBoxSetting(BoxSetting::Clock, text.toStdString()); });
    connect(seDataLength_, &QSpinBox::textChanged, this,
            [this](const QString& text) { session_.SendBoxSetting(BoxSetting::DataLength, text.toStdString()); });
    session_.AddObserver(this);
}

InterfaceSettingsPage::~InterfaceSettingsPage()
{
    session_.RemoveObserver(this);
}

int InterfaceSettingsPage::PowerItem() const
{
    return powerItems_->checkedId();
}

void InterfaceSettingsPage::Select(bool on)
{
    // Checking the button that is already checked emits nothing, so nothing is sent.
    if (QAbstractButton* button = powerItems_->button(on ? 0 : 1))
        button->setChecked(true);
}

void InterfaceSettingsPage::PageSwitched(PageId current)
{
    session_.Monitor().SetInterfaceReadout(current == Id());
}

void InterfaceSettingsPage::PowerSwitched(bool on, const std::string& result)
{
    if (QAbstractButton* button = powerItems_->button(on ? 0 : 1)) {
        const QSignalBlocker quiet(powerItems_);
        button->setChecked(true);
    }
    lblEncoderPowerResult_->setText(Latin1Text(result));
}

void InterfaceSettingsPage::BoxSettingSent(BoxSetting setting, const std::string& value, const std::string& result)
{
    shell_.Status().FlipActivity();
    QSpinBox* spin = setting == BoxSetting::Clock ? seFrequency_ : seDataLength_;
    QLabel* label = setting == BoxSetting::Clock ? lblFrequencyResult_ : lblDataLengthResult_;
    // A setting sent from elsewhere ("Max update rate") shows in its field too.
    if (spin->text().toStdString() != value) {
        const QSignalBlocker quiet(spin);
        spin->setValue(QString::fromStdString(value).toInt());
    }
    label->setText(Latin1Text(result));
}

void InterfaceSettingsPage::Ticked(const TickReport& report)
{
    for (size_t i = 0; i < report.interfaceReplies && i < readout_.size(); ++i)
        readout_[i]->setText(Latin1Text(report.interfaceTexts[i]));
    // The debug recording asks for the supply on every tick, whatever page is shown.
    const Recorder& recorder = session_.Recording();
    if (recorder.SupplyReplies() != supplyRepliesShown_) {
        supplyRepliesShown_ = recorder.SupplyReplies();
        if (QLabel* supply = ReadoutLabel('e'))
            supply->setText(Latin1Text(recorder.SupplyText()));
    }
}

QLabel* InterfaceSettingsPage::ReadoutLabel(char command) const
{
    for (size_t i = 0; i < readout_.size(); ++i)
        if (MonitorCycle::kInterfaceCommands[i][0] == command)
            return readout_[i];
    return nullptr;
}

void InterfaceSettingsPage::ShowReadout(char command, const QString& text)
{
    if (QLabel* label = ReadoutLabel(command))
        label->setText(text);
}
