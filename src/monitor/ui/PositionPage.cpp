#include "monitor/ui/PositionPage.h"

#include "shell/Colours.h"
#include "shell/TickerLabel.h"
#include "shell/WidgetFactory.h"
#include "util/Text.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

namespace {
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kOrange{255, 170, 0};
constexpr char kDisconnected[] = "ENCODER DISCONNECTED";

// A spin edit whose every text edit counts, including texts outside the
// range that are still being typed (a spin box reports only valid values).
class SpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    QLineEdit* Editor() const { return lineEdit(); }
};

SpinEdit* MakeSpin(QWidget* parent, const char* name, QRect geometry, int minimum, int maximum, int value)
{
    auto* spin = Make<SpinEdit>(parent, name, geometry);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

// A raised panel holding one big value label.
TickerLabel* ValuePanel(QWidget* parent, const char* panelName, const char* labelName, const QString& caption,
                   const QString& hint, QRect geometry)
{
    auto* panel = Make<QFrame>(parent, panelName, geometry);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setToolTip(hint);
    auto* label = MakeTickerLabel(panel, labelName, caption, QRect(4, 2, geometry.width() - 8, geometry.height() - 4));
    QFont big = label->font();
    big.setPointSize(12);
    big.setBold(true);
    label->setFont(big);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

Rgb ButtonFace()
{
    return FromQColor(QApplication::palette().color(QPalette::Button));
}
} // namespace

long long SpinValue(const QSpinBox* spin)
{
    const QByteArray text = spin->cleanText().toLatin1();
    long long value = 0;
    std::string_view view(text.constData(), static_cast<size_t>(text.size()));
    if (view.find('$') != std::string_view::npos || !ParseInteger(view, value))
        return spin->minimum();
    return value;
}

PositionPage::PositionPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession()), strip_(shell.PositionStrip())
{
    setObjectName("PositionContent");
    lblPosRX_ = ValuePanel(this, "Panel1", "lblPosRX", "RX", "Data received from the encoder over BiSS interface",
                           QRect(8, 8, 395, 40));
    lblRxBin_ = MakeTickerLabel(this, "lblRxBin", "", QRect(8, 52, 395, 18));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(7);
    lblRxBin_->setFont(fixed);

    MakeLabel(this, nullptr, "Multiturn", QRect(8, 83, 60, 16));
    sePosMTlen_ = MakeSpin(this, "sePosMTlen", QRect(68, 80, 50, 22), 0, PositionLimits::kMultiturnLengthMax, 1);
    MakeLabel(this, nullptr, "Singleturn", QRect(130, 83, 60, 16));
    sePosSTlen_ = MakeSpin(this, "sePosSTlen", QRect(190, 80, 50, 22), 0, PositionLimits::kSingleturnLengthMax, 1);
    MakeLabel(this, nullptr, "Status", QRect(252, 83, 40, 16));
    auto* sePosStatusLen = MakeSpin(this, "sePosStatusLen", QRect(292, 80, 50, 22), 0, 6, 2);
    sePosStatusLen->setEnabled(false); // shows the fixed status field length

    lblEDSreportDataLen_ = MakeLabel(this, "lblEDSreportDataLen", "EDS reported DataLen", QRect(8, 110, 250, 74));
    lblEDSreportDataLen_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblEDSreportDataLen_->setFont(fixed);

    // The spin edits are wide enough for every value of their ranges ("-10000000").
    MakeLabel(this, nullptr, "Encoder resolution", QRect(8, 195, 110, 16));
    seNominator_ = MakeSpin(this, "seNominator", QRect(120, 192, 94, 22), static_cast<int>(PositionLimits::kNominatorMin),
                            static_cast<int>(PositionLimits::kNominatorMax), 360);
    seNominator_->setToolTip("Nominator");
    MakeLabel(this, nullptr, "/", QRect(217, 195, 8, 16));
    seDenominator_ = MakeSpin(this, "seDenominator", QRect(227, 192, 90, 22),
                              static_cast<int>(PositionLimits::kDenominatorMin),
                              static_cast<int>(PositionLimits::kDenominatorMax), 1);
    seDenominator_->setToolTip("Denominator");
    edUnit_ = Make<QLineEdit>(this, "edUnit", QRect(322, 192, 70, 22));
    edUnit_->setText("deg");
    edUnit_->setToolTip("Units");

    lblPosMT_ = ValuePanel(this, "Panel2", "lblPosMT", "Position MT", "Encoder Multiturn position",
                           QRect(8, 226, 395, 44));
    lblPosST_ = ValuePanel(this, "Panel3", "lblPosST", "Position ST", "Encoder Singleturn position",
                           QRect(8, 274, 395, 44));

    auto* crc = MakeLabel(this, "pnlCRCerror", "CRC error", QRect(8, 328, 90, 22));
    crc->setAlignment(Qt::AlignCenter);
    SetPanelColour(crc, kColourError);
    pnlCRCerror_ = crc;
    cbLogErrorsPos_ = Make<QCheckBox>(this, "cbLogErrorsPos", QRect(112, 329, 100, 20));
    cbLogErrorsPos_->setText("Log Errors");

    showLater_ = new QTimer(this);
    showLater_->setSingleShot(true);
    connect(showLater_, &QTimer::timeout, this, &PositionPage::Flush);

    // The handlers run on every change of the text: values set by the
    // program, and every edit as the value is typed (the editor's own signal
    // also reports texts that the spin box does not take yet).
    auto onEdit = [this](QSpinBox* spin, void (PositionPage::*handler)()) {
        connect(spin, &QSpinBox::textChanged, this, handler);
        connect(static_cast<SpinEdit*>(spin)->Editor(), &QLineEdit::textEdited, this, handler);
    };
    onEdit(seNominator_, &PositionPage::seNominatorChange);
    onEdit(seDenominator_, &PositionPage::seNominatorChange);
    onEdit(sePosMTlen_, &PositionPage::sePosMTlenChange);
    onEdit(sePosSTlen_, &PositionPage::sePosSTlenChange);
    connect(edUnit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { session_.Units().SetUnit(text.toStdString()); });
    connect(cbLogErrorsPos_, &QCheckBox::toggled, this, &PositionPage::cbLogErrorsPosClick);
    session_.AddObserver(this);
}

PositionPage::~PositionPage()
{
    session_.RemoveObserver(this);
}

void PositionPage::seNominatorChange()
{
    session_.Units().ScaleChanged(SpinValue(seNominator_), SpinValue(seDenominator_));
}

void PositionPage::sePosMTlenChange()
{
    session_.Units().MultiturnLengthChanged(static_cast<int>(SpinValue(sePosMTlen_)));
}

void PositionPage::sePosSTlenChange()
{
    const std::optional<long long> denominator =
        session_.Units().SingleturnLengthChanged(static_cast<int>(SpinValue(sePosSTlen_)), session_.Identity().DruzinaEnkoderja);
    if (denominator)
        seDenominator_->setValue(static_cast<int>(*denominator));
    seNominatorChange();
}

void PositionPage::ScaleChanged(const PositionUnits& units)
{
    // The session has the scale already: the fields only show it.
    for (QSpinBox* spin : {sePosMTlen_, sePosSTlen_, seNominator_, seDenominator_})
        spin->blockSignals(true);
    sePosMTlen_->setValue(units.MultiturnLength());
    sePosSTlen_->setValue(units.SingleturnLength());
    seNominator_->setValue(static_cast<int>(units.Nominator()));
    seDenominator_->setValue(static_cast<int>(units.Denominator()));
    for (QSpinBox* spin : {sePosMTlen_, sePosSTlen_, seNominator_, seDenominator_})
        spin->blockSignals(false);
    const QSignalBlocker quiet(edUnit_);
    edUnit_->setText(Utf8Text(units.Unit()));
}

void PositionPage::PageSwitched(PageId)
{
    RefreshDataLengthReport();
}

void PositionPage::RefreshDataLengthReport()
{
    lblEDSreportDataLen_->setText(Utf8Text(EdsDataLengthReport(session_.GetLink())));
}

void PositionPage::Ticked(const TickReport& report)
{
    if (report.positionRead && report.positionDecoded && !report.disconnected) {
        // The reply and the position it holds reach the labels together, in one repaint.
        pendingRaw_ = session_.GetLink().EncoderPosition.RxData;
        rawPending_ = true;
        ShowPosition(session_.GetLink().EncoderPosition, session_.Monitor().LastTexts());
    } else {
        if (report.positionRead)
            ShowRaw(session_.GetLink().EncoderPosition.RxData);
        if (report.disconnected)
            ShowDisconnected();
        else if (report.positionDecoded)
            ShowPosition(session_.GetLink().EncoderPosition, session_.Monitor().LastTexts());
    }
    if (report.ending == TickReport::Ending::Error)
        ShowError(report.singleturnError);
}

void PositionPage::cbLogErrorsPosClick()
{
    session_.SetPositionLog(cbLogErrorsPos_->isChecked());
}

void PositionPage::PositionLogSwitched(bool on)
{
    if (cbLogErrorsPos_->isChecked() != on) {
        const QSignalBlocker quiet(cbLogErrorsPos_);
        cbLogErrorsPos_->setChecked(on);
    }
    shell_.ShowLogList(on);
    shell_.ClearLog();
}

void PositionPage::SetLamp(QWidget* panel, Lamp& state, Lamp wanted, Rgb lit)
{
    if (!panel || state == wanted)
        return;
    state = wanted;
    SetPanelColour(panel, wanted == Lamp::Lit ? lit : wanted == Lamp::Grey ? kGrey : ButtonFace());
}

void PositionPage::ShowRaw(const std::string& reply)
{
    pendingRaw_ = reply;
    rawPending_ = true;
    Schedule();
}

void PositionPage::ShowPosition(const TEncoderPosition& position, const PositionTexts& texts)
{
    pendingBits_ = position.RxBinDebug;
    pendingTexts_ = texts;
    positionPending_ = true;
    Schedule();
}

void PositionPage::Schedule()
{
    if (!lastShown_.isValid() || lastShown_.elapsed() >= kMinRepaintMs)
        Flush();
    else if (!showLater_->isActive())
        showLater_->start(static_cast<int>(kMinRepaintMs - lastShown_.elapsed()));
}

void PositionPage::Flush()
{
    showLater_->stop();
    lastShown_.start();
    if (rawPending_) {
        rawPending_ = false;
        lblPosRX_->setText(Latin1Text(pendingRaw_));
    }
    if (!positionPending_)
        return;
    positionPending_ = false;
    const PositionTexts& texts = pendingTexts_;
    lblRxBin_->setText(Latin1Text(pendingBits_));
    lblPosMT_->setText(Latin1Text(texts.multiturn));
    lblPosST_->setText(Latin1Text(texts.singleturn));
    SetLamp(strip_.pnlEncErr, errLamp_, texts.errorLamp ? Lamp::Lit : Lamp::Grey, kColourError);
    SetLamp(strip_.pnlEncWarn, warnLamp_, texts.warningLamp ? Lamp::Lit : Lamp::Grey, kOrange);
    SetLamp(pnlCRCerror_, crcLamp_, texts.crcLamp ? Lamp::Lit : Lamp::Grey, kColourError);
    if (strip_.lblPosUnit)
        strip_.lblPosUnit->setText(Utf8Text(texts.unitText));
}

void PositionPage::ShowDisconnected()
{
    Flush();
    lblPosMT_->setText(kDisconnected);
    lblPosST_->setText(kDisconnected);
    if (strip_.lblPosUnit)
        strip_.lblPosUnit->setText(kDisconnected);
    SetLamp(strip_.pnlEncErr, errLamp_, Lamp::ButtonFace, kColourError);
    SetLamp(strip_.pnlEncWarn, warnLamp_, Lamp::ButtonFace, kOrange);
}

void PositionPage::ShowError(const std::string& singleturnText)
{
    Flush();
    lblPosST_->setText(Latin1Text(singleturnText));
}
