#include "encoder/ui/ConfigPageBase.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

ConfigPageBase::ConfigPageBase(Shell& shell, ConfigPage kind, QWidget* parent)
    : Page(parent), session_(shell.GetSession()), shell_(shell), kind_(kind), prompts_(shell.UserDialogs()),
      actions_(session_, prompts_, WindowWaits(shell))
{
    session_.AddObserver(this);
}

ConfigPageBase::~ConfigPageBase()
{
    session_.RemoveObserver(this);
}

void ConfigPageBase::BuildShared(const Names& n, const Rows& rows)
{
    writeProtect_ = MakeRegisterField(this, n.writeProtectCaption,
                                      QString::fromStdString(ConfigFieldCaption(ConfigFields::WriteProtect)),
                                      n.writeProtect, rows.writeProtect, &writeProtectCaption_);
    UseButtonFace(writeProtect_);
    // Locking the encoder is for service engineers only.
    writeProtect_->setReadOnly(true);
    writeProtectInfo_ = MakeLabel(this, n.writeProtectInfo, "...", QRect(288, rows.writeProtect + 3, 110, 16));

    MakeLabel(this, n.multiturnCaption, "New Multiturn counter", QRect(8, rows.multiturn + 2, 170, 16));
    multiturn_ = Make<QLineEdit>(this, n.multiturn, QRect(180, rows.multiturn, 100, 22));
    UseButtonFace(multiturn_);
    auto* apply = Make<QPushButton>(this, n.apply, QRect(288, rows.multiturn - 1, 90, 24));
    apply->setText("Apply");

    read_ = Make<QPushButton>(this, n.read, QRect(8, rows.buttons, 100, 26));
    read_->setText("Read");
    auto* write = Make<QPushButton>(this, n.write, QRect(8, rows.buttons + 32, 100, 26));
    write->setText("Write");
    auto* reset = Make<QPushButton>(this, n.reset, QRect(116, rows.buttons + 32, 120, 26));
    reset->setText("Reset to factory");

    auto* zero = Make<QGroupBox>(this, n.zeroGroup, QRect(8, rows.zero, 395, 96));
    zero->setTitle(" Zero preset  ");
    auto* setZero = Make<QPushButton>(zero, n.setZero, QRect(8, 22, 110, 26));
    setZero->setText("Set zero here");
    setZero->setToolTip("Preset zero position on current encoder position");
    zeroStatus_ = MakeLabel(zero, n.zeroStatus, "...", QRect(126, 18, 261, 72));
    zeroStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    zeroStatus_->setWordWrap(true);

    connect(writeProtect_, &QLineEdit::textEdited, this,
            [this](const QString& text) { WriteProtectText() = text.toStdString(); });
    connect(apply, &QPushButton::clicked, this, &ConfigPageBase::NewMultiturnClick);
    connect(read_, &QPushButton::clicked, this, &ConfigPageBase::ReadClick);
    connect(write, &QPushButton::clicked, this, &ConfigPageBase::WriteClick);
    connect(reset, &QPushButton::clicked, this, &ConfigPageBase::ResetToFactoryClick);
    connect(setZero, &QPushButton::clicked, this, &ConfigPageBase::SetZeroClick);
}

std::string& ConfigPageBase::WriteProtectText()
{
    ConfigurationState& state = session_.Configuration();
    return kind_ == ConfigPage::Quenra ? state.quenraWriteProtect : state.writeProtect;
}

void ConfigPageBase::PageSwitched(PageId current)
{
    if (current == Id() && session_.Identity().EncoderConnected)
        actions_.Read(kind_);
}

void ConfigPageBase::ServiceRevealed(ServiceGesture gesture)
{
    if (gesture == ServiceGesture::Service)
        writeProtect_->setReadOnly(false);
}

void ConfigPageBase::ConfigurationRead(const ConfigurationReading& reading)
{
    if (reading.writeProtect) {
        const std::string& text = WriteProtectText();
        writeProtect_->setText(Latin1Text(text));
        writeProtectInfo_->setText(WriteProtectCaption(text));
    }
    ShowReading(reading);
}

void ConfigPageBase::ReadClick()
{
    actions_.Read(kind_);
}

void ConfigPageBase::WriteClick()
{
    actions_.Write(kind_, Texts());
}

void ConfigPageBase::NewMultiturnClick()
{
    actions_.NewMultiturn(kind_, multiturn_->text().toStdString());
}

void ConfigPageBase::ResetToFactoryClick()
{
    actions_.FactoryReset(kind_);
}

void ConfigPageBase::SetZeroClick()
{
    zeroStatus_->setText("...");
    zeroStatus_->repaint();
    const ZeroPresetOutcome outcome = actions_.SetZero(kind_);
    if (!outcome.computed)
        return;
    multiturn_->setText("0");
    zeroStatus_->setText(Utf8Text(outcome.report));
}
