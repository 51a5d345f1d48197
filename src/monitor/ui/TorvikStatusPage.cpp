#include "monitor/ui/TorvikStatusPage.h"

#include "shell/ChartSaving.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/TickerLabel.h"
#include "shell/WidgetFactory.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr char kNoPointsToCopy[] = "The install chart has no points to copy.";

Rgb RgbOf(LampColour colour)
{
    switch (colour) {
    case LampColour::Silver:
        return kColourSilver;
    case LampColour::Grey:
        return kColourGrey;
    case LampColour::Red:
        return kColourRed;
    case LampColour::LightRed:
        return kColourError;
    case LampColour::Orange:
        return kColourOrange;
    }
    return kColourSilver;
}

// A sunken panel showing one value, beside its caption.
TickerLabel* ValuePanel(QWidget* parent, const char* name, const char* caption, int x, int y, int width)
{
    MakeLabel(parent, nullptr, caption, QRect(x, y + 1, 78, 16));
    auto* panel = MakeTickerLabel(parent, name, QString(), QRect(x + 80, y, width, 18));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignCenter);
    return panel;
}

// Layout: the chart takes the room the page has below the controls.
constexpr int kChartTop = 258;
constexpr int kButtonRow = 26;
} // namespace

TorvikStatusPage::TorvikStatusPage(Shell& shell, QWidget* parent)
    : Page(parent), shell_(shell), session_(shell.GetSession()),
      readout_(session_.TorvikStatus())
{
    setObjectName("TorvikStatusContent");
    lblTorvikSerial_ = MakeLabel(this, "lblTorvikSerial", "", QRect(8, 4, 395, 44));
    lblTorvikSerial_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* group = Make<QGroupBox>(this, "gbTorvikStatus", QRect(8, 50, 395, 112));
    group->setTitle(" Encoder Status ");
    for (size_t i = 0; i < kTorvikStatusBits.size(); ++i) {
        const TorvikStatusBit& bit = kTorvikStatusBits[i];
        const int column = static_cast<int>(i) / 5, row = static_cast<int>(i) % 5;
        QLabel* lamp = MakeLabel(group, bit.panel, bit.caption, QRect(8 + column * 128, 20 + row * 18, 122, 16));
        lamp->setAlignment(Qt::AlignCenter);
        lamp->setFrameStyle(QFrame::Panel | QFrame::Raised);
        SetPanelColour(lamp, kColourSilver);
        lamps_[i] = lamp;
        lampColours_[i] = LampColour::Silver;
    }

    pnlTorvikstatus_ = ValuePanel(this, "pnlTorvikstatus", "Status bits", 8, 166, 140);
    pnlTorviksignalLvl_ = ValuePanel(this, "pnlTorviksignalLvl", "Signal Level", 236, 166, 87);
    pnlTorviktemp_ = ValuePanel(this, "pnlTorviktemp", "Temperature", 8, 188, 140);
    pnlTorvikvelocity_ = ValuePanel(this, "pnlTorvikvelocity", "Velocity", 236, 188, 87);
    lblTorvikairGap_ = MakeTickerLabel(this, "lblTorvikairGap", "", QRect(8, 210, 300, 18));

    cbTorvikShowPersistentStatus_ = Make<QCheckBox>(this, "cbTorvikShowPersistentStatus", QRect(8, 232, 170, 20));
    cbTorvikShowPersistentStatus_->setText("Show Persistent Status");
    btnTorvikClearPersistentStatus_ = Make<QPushButton>(this, "btnTorvikClearPersistentStatus", QRect(182, 230, 96, 24));
    btnTorvikClearPersistentStatus_->setText("Clear status");
    btnTorvikClearPersistentStatus_->setEnabled(false);
    cbLogErrorsTorvikStatus_ = Make<QCheckBox>(this, "cbLogErrorsTorvikStatus", QRect(296, 232, 100, 20));
    cbLogErrorsTorvikStatus_->setText("Log errors");

    chartTinstall_ = Make<ChartView>(this, "chartTinstall", QRect(8, kChartTop, 395, 150));
    chartTinstall_->setToolTip("Air gap in \xC2\xB5m over rotation angle.\r\nDouble-click to save chart to a file.");
    ChartModel& chart = chartTinstall_->Model();
    chart.left.SetRange(0, kLeftAxisStartMax);
    chart.left.title = "Air gap (\xC2\xB5m)";
    chart.SetBottomRange(0, 360);
    chart.bottom.increment = 45;
    chart.bottom.title = "Angle (deg)";
    serSignal_ = &chart.AddSeries(SeriesKind::Line, ChartColours::kSteelBlue, "serSignal");
    serPointErrWarn_ = &chart.AddSeries(SeriesKind::Points, ChartColours::kFuchsia, "serPointErrWarn");
    serAmplMax_ = &chart.AddSeries(SeriesKind::Line, ChartColours::kLimitOrange, "serAmplMax");
    serAmplWarning_ = &chart.AddSeries(SeriesKind::Line, ChartColours::kLimitOrange, "serAmplWarning");
    serAmplError_ = &chart.AddSeries(SeriesKind::Line, ChartColours::kRed, "serAmplError");

    cbTinstallDraw_ = Make<QCheckBox>(this, "cbTinstallDraw", QRect(8, 0, 70, 20));
    cbTinstallDraw_->setText("Draw ");
    btnTinstallClear_ = Make<QPushButton>(this, "btnTinstallClear", QRect(86, 0, 80, 24));
    btnTinstallClear_->setText("Clear");
    btnTCopyClipboard_ = Make<QPushButton>(this, "btnTCopyClipboard", QRect(172, 0, 80, 24));
    btnTCopyClipboard_->setText("Copy");
    btnTCopyClipboard_->setToolTip("Copy Min, Max, Avg from the chart to Clipboard");

    showLater_ = new QTimer(this);
    showLater_->setSingleShot(true);
    connect(showLater_, &QTimer::timeout, this, &TorvikStatusPage::Flush);

    connect(cbTorvikShowPersistentStatus_, &QCheckBox::clicked, this,
            &TorvikStatusPage::cbTorvikShowPersistentStatusClick);
    connect(btnTorvikClearPersistentStatus_, &QPushButton::clicked, this,
            &TorvikStatusPage::btnTorvikClearPersistentStatusClick);
    connect(cbLogErrorsTorvikStatus_, &QCheckBox::clicked, this, &TorvikStatusPage::cbLogErrorsTorvikStatusClick);
    connect(cbTinstallDraw_, &QCheckBox::clicked, this, &TorvikStatusPage::cbTinstallDrawClick);
    connect(btnTinstallClear_, &QPushButton::clicked, this, &TorvikStatusPage::btnTinstallClearClick);
    connect(btnTCopyClipboard_, &QPushButton::clicked, this, &TorvikStatusPage::btnTCopyClipboardClick);
    connect(chartTinstall_, &ChartView::doubleClicked, this, [this] { shell_.SaveChartImage(*chartTinstall_); });

    session_.AddObserver(this);
}

TorvikStatusPage::~TorvikStatusPage()
{
    session_.RemoveObserver(this);
}

void TorvikStatusPage::resizeEvent(QResizeEvent* event)
{
    Page::resizeEvent(event);
    const int buttonsTop = std::max(kChartTop + 60, height() - kButtonRow - 4);
    chartTinstall_->setGeometry(8, kChartTop, 395, buttonsTop - kChartTop - 4);
    cbTinstallDraw_->move(8, buttonsTop + 2);
    btnTinstallClear_->move(86, buttonsTop);
    btnTCopyClipboard_->move(172, buttonsTop);
}

void TorvikStatusPage::PageSwitched(PageId current)
{
    readout_.SetPageShown(current == PageId::TabTorvikStatus);
}

void TorvikStatusPage::Identified(const IdentificationOutcome& outcome, const EncoderCapabilities& caps)
{
    if (!outcome.signatureRead)
        return;
    lblTorvikSerial_->setText(Latin1Text(caps.serialCaption));
    if (caps.torvikGates)
        cbTorvikShowPersistentStatus_->setEnabled(caps.torvikGates->persistentStatus);
    chartTinstall_->Model().bottom.title =
        caps.family == EncoderFamily::Linear ? "Position (" + session_.Units().Unit() + ")" : "Angle (deg)";
    chartTinstall_->Changed();
}

void TorvikStatusPage::cbTorvikShowPersistentStatusClick()
{
    const bool on = cbTorvikShowPersistentStatus_->isChecked();
    btnTorvikClearPersistentStatus_->setEnabled(on);
    readout_.SetShowPersistent(on);
    if (on)
        SelectPersistentStatusBank(session_.GetLink(), session_.Identity());
}

void TorvikStatusPage::btnTorvikClearPersistentStatusClick()
{
    const EncoderOutcome outcome = ClearPersistentStatus(session_.GetLink());
    shell_.Status().FlipActivity();
    session_.Report(outcome.ok, outcome.statusText);
}

void TorvikStatusPage::cbLogErrorsTorvikStatusClick()
{
    const bool on = cbLogErrorsTorvikStatus_->isChecked();
    readout_.SetLog(on);
    shell_.ShowLogList(on);
    shell_.ClearLog();
}

void TorvikStatusPage::cbTinstallDrawClick()
{
    readout_.SetDraw(cbTinstallDraw_->isChecked());
    const InstallChartLimits limits =
        InstallLimits(session_.Identity(), session_.GetLink().EncoderSignature, session_.Units().Scale());
    ChartModel& chart = chartTinstall_->Model();
    // The limit lines are drawn anew: lines of an earlier encoder would stay
    // beside the new ones and be joined to them.
    const std::pair<ChartSeries*, float> lines[] = {
        {serAmplMax_, limits.strongest}, {serAmplWarning_, limits.warning}, {serAmplError_, limits.error}};
    for (const auto& [series, gap] : lines) {
        series->Clear();
        series->Add(0, gap);
        series->Add(360, gap);
    }
    chart.left.SetRange(limits.leftMin, limits.leftMax);
    chart.SetBottomRange(0, limits.bottomMax);
    chartTinstall_->Changed();
}

void TorvikStatusPage::btnTinstallClearClick()
{
    chartTinstall_->Model().ClearSeries();
    cbTinstallDrawClick();
}

void TorvikStatusPage::btnTCopyClipboardClick()
{
    GapStatistics statistics;
    for (const ChartPoint& p : serSignal_->Points())
        statistics.Add(p.y);
    const std::optional<std::string> text =
        InstallCopyText(session_.GetLink().EncoderSignature.Zolvan_Serial, statistics);
    if (!text) {
        shell_.UserDialogs().Message(kNoPointsToCopy);
        return;
    }
    CopyTextToClipboard(*text);
}

void TorvikStatusPage::Ticked(const TickReport&)
{
    if (readout_.Runs() == runsShown_)
        return;
    runsShown_ = readout_.Runs();
    const TorvikStatusReading& reading = readout_.Reading();
    for (const std::string& line : reading.logLines)
        shell_.AppendLog(line);
    if (reading.point)
        AddPoint(*reading.point);
    if (reading.valuesRead || reading.emptied)
        Show(reading);
}

void TorvikStatusPage::AddPoint(const InstallPoint& point)
{
    serSignal_->Add(point.angle, point.airGap, point.warning ? ChartColours::kOrange : ChartColours::kSteelBlue);
    if (point.crcError)
        serPointErrWarn_->Add(point.angle, static_cast<float>(chartTinstall_->Model().left.max - 20));
    chartTinstall_->Changed();
}

void TorvikStatusPage::Show(const TorvikStatusReading& reading)
{
    pendingReading_.valuesRead = reading.valuesRead;
    pendingReading_.emptied = reading.emptied;
    pendingReading_.word = reading.word;
    pendingReading_.bitsText = reading.bitsText;
    pendingReading_.temperatureText = reading.temperatureText;
    pendingReading_.signalText = reading.signalText;
    pendingReading_.velocityText = reading.velocityText;
    pendingReading_.airGapText = reading.airGapText;
    pending_ = true;
    if (reading.emptied || !lastShown_.isValid() || lastShown_.elapsed() >= kMinRepaintMs)
        Flush();
    else if (!showLater_->isActive())
        showLater_->start(static_cast<int>(kMinRepaintMs - lastShown_.elapsed()));
}

void TorvikStatusPage::Flush()
{
    showLater_->stop();
    if (!pending_)
        return;
    pending_ = false;
    lastShown_.start();
    const TorvikStatusReading& r = pendingReading_;
    if (r.emptied) {
        for (QLabel* panel : {pnlTorvikstatus_, pnlTorviktemp_, pnlTorviksignalLvl_, pnlTorvikvelocity_})
            panel->clear();
        return;
    }
    pnlTorvikstatus_->setText(Latin1Text(r.bitsText));
    pnlTorviktemp_->setText(Latin1Text(r.temperatureText));
    pnlTorviksignalLvl_->setText(Latin1Text(r.signalText));
    pnlTorvikvelocity_->setText(Utf8Text(r.velocityText));
    lblTorvikairGap_->setText(Utf8Text(r.airGapText));
    for (size_t i = 0; i < kTorvikStatusBits.size(); ++i)
        SetLamp(i, (r.word & kTorvikStatusBits[i].mask) ? kTorvikStatusBits[i].colour : LampColour::Grey);
}

void TorvikStatusPage::SetLamp(size_t index, LampColour colour)
{
    if (lampColours_[index] == colour)
        return;
    lampColours_[index] = colour;
    SetPanelColour(lamps_[index], RgbOf(colour));
}
