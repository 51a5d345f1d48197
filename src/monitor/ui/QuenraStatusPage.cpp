#include "monitor/ui/QuenraStatusPage.h"

#include "encoder/ui/ServicePageSupport.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>

namespace {
constexpr Rgb kSignalBarColour{0, 193, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr QRect kSignalBackground{300, 150, 16, kQuenraSignalBarRoom};
constexpr int kSignalBarWidth = 9;

// A sunken panel showing one value, beside its caption.
QLabel* ValuePanel(QWidget* parent, const char* name, const char* caption, int y)
{
    MakeLabel(parent, nullptr, caption, QRect(8, y + 2, 124, 16));
    auto* panel = Make<QLabel>(parent, name, QRect(136, y, 150, 20));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    // Only the panel repaints when its text changes on every tick.
    panel->setAutoFillBackground(true);
    return panel;
}

// A group of lamps in rows of columns, each with its caption and hint.
template <class Lamps, size_t N>
void MakeLamps(QWidget* group, const Lamps& lamps, int columns, int width, std::array<QLabel*, N>& out)
{
    for (size_t i = 0; i < N; ++i) {
        const int column = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
        out[i] = MakeLamp(group, lamps[i].panel, lamps[i].caption,
                          QRect(8 + column * (width + 6), 20 + row * 22, width, 20));
        out[i]->setToolTip(Utf8Text(lamps[i].hint));
    }
}

void SetText(QLabel* label, const std::optional<std::string>& text)
{
    if (text)
        label->setText(Utf8Text(*text));
}
} // namespace

QuenraStatusPage::QuenraStatusPage(Shell& shell, QWidget* parent)
    : Page(parent), session_(shell.GetSession()),
      readout_(session_.QuenraStatus())
{
    setObjectName("QuenraStatusContent");
    lblQuenraSerial_ = MakeLabel(this, "lblQuenraSerial", "", QRect(8, 4, 395, 44));
    lblQuenraSerial_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* status = Make<QGroupBox>(this, "gbQuenraStatus", QRect(8, 52, 395, 92));
    status->setTitle(" Encoder Status ");
    MakeLamps(status, kQuenraStatusLamps, 3, 122, statusLamps_);

    pnlQuenraStatus_ = ValuePanel(this, "pnlQuenraStatus", "Status bits", 150);
    pnlQuenraTemp_ = ValuePanel(this, "pnlQuenraTemp", "Temperature", 174);
    pnlQuenraVelocity_ = ValuePanel(this, "pnlQuenraVelocity", "Velocity", 198);
    pnlQuenraSignalLvl_ = ValuePanel(this, "pnlQuenraSignalLvl", "Signal Level", 222);
    pnlQuenraBBMstatus_ = ValuePanel(this, "pnlQuenraBBMstatus", "BBM multiturn status", 246);
    lblQuenraAirGap_ = MakeLabel(this, "lblQuenraAirGap", "", QRect(8, 272, 285, 18));
    lblQuenraAirGap_->setToolTip("Valid for 12 mm magnet");
    lblQuenraAirGap_->setAutoFillBackground(true);

    shQBgSignal_ = Make<QFrame>(this, "shQBgSignal", kSignalBackground);
    shQBgSignal_->setFrameStyle(QFrame::Box | QFrame::Plain);
    SetPanelColour(shQBgSignal_, kWhite);
    // The bar lies on its background and grows upwards from its bottom edge.
    shQSignalLevel_ = Make<QFrame>(shQBgSignal_, "shQSignalLevel",
                                   QRect((kSignalBackground.width() - kSignalBarWidth) / 2, kQuenraSignalBarRoom,
                                         kSignalBarWidth, 0));
    SetPanelColour(shQSignalLevel_, kSignalBarColour);

    auto* bbm = Make<QGroupBox>(this, "gbQuenraBBMStatus", QRect(8, 300, 395, 70));
    bbm->setTitle(" BBM Multiturn Status ");
    MakeLamps(bbm, kBbmLamps, 4, 90, bbmLamps_);

    session_.AddObserver(this);
}

QuenraStatusPage::~QuenraStatusPage()
{
    session_.RemoveObserver(this);
}

void QuenraStatusPage::PageSwitched(PageId current)
{
    readout_.SetPageShown(current == Id());
}

void QuenraStatusPage::Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& caps)
{
    if (outcome.signatureRead)
        lblQuenraSerial_->setText(Latin1Text(caps.serialCaption));
}

void QuenraStatusPage::Ticked(const TickReport&)
{
    if (readout_.Runs() == runsShown_)
        return;
    runsShown_ = readout_.Runs();
    Show(readout_.Reading());
}

void QuenraStatusPage::Show(const QuenraStatusReading& r)
{
    SetText(pnlQuenraStatus_, r.bitsText);
    SetText(pnlQuenraTemp_, r.temperatureText);
    SetText(pnlQuenraVelocity_, r.velocityText);
    SetText(pnlQuenraSignalLvl_, r.signalText);
    SetText(pnlQuenraBBMstatus_, r.bbmText);
    if (!r.complete)
        return;
    shQSignalLevel_->setGeometry(shQSignalLevel_->x(), kQuenraSignalBarRoom - r.barHeight, kSignalBarWidth,
                                 r.barHeight);
    lblQuenraAirGap_->setText(Utf8Text(r.airGapText));
    for (size_t i = 0; i < kQuenraStatusLamps.size(); ++i)
        SetLamp(statusLamps_[i], IndicatorRgb(QuenraLampColour(kQuenraStatusLamps[i], r.heldWord)));
    for (size_t i = 0; i < kBbmLamps.size(); ++i)
        SetLamp(bbmLamps_[i], IndicatorRgb(r.bbm & kBbmLamps[i].mask ? kBbmLamps[i].colour : IndicatorColour::Grey));
}
