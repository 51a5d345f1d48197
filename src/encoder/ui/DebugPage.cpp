#include "encoder/ui/DebugPage.h"

#include "chart/ChartRenderer.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kNavy{0, 0, 128};
constexpr Rgb kWhite{255, 255, 255};
constexpr ChartColour kSampleBlue = 0x0000FF;
constexpr ChartColour kEnvelopeGrey = 0x808080;
constexpr int kBarWidth = 9;
constexpr int kChartTop = 228;
constexpr int kSpectrumLeft = 300;
constexpr int kSpectrumWidth = 60;
constexpr int kTop = 40;

Rgb TiltColour(TiltLevel level)
{
    switch (level) {
    case TiltLevel::Good:
        return kColourOk;
    case TiltLevel::Marginal:
        return kYellow;
    case TiltLevel::Bad:
        return kColourError;
    }
    return kColourOk;
}

// Texts of the logic end their lines with CR LF; a label breaks at LF.
QString LabelText(const std::string& text)
{
    QString q = Utf8Text(text);
    q.replace("\r\n", "\n");
    return q;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, QRect geometry)
{
    auto* button = Make<QPushButton>(parent, name, geometry);
    button->setText(caption);
    return button;
}

void SetLine(ChartSeries& series, const ChartLine& line)
{
    series.Clear();
    series.Add(line.x1, line.y1);
    series.Add(line.x2, line.y2);
}
} // namespace

DebugPage::DebugPage(Shell& shell, QWidget* parent) : Page(parent), shell_(shell), session_(shell.GetSession())
{
    setObjectName("DebugContent");
    btnTorvikDebugRead_ = Button(this, "btnTorvikDebugRead", "Read", QRect(8, 6, 84, 26));
    btnDbgOvojnicaReset_ = Button(this, "btnDbgOvojnicaReset", "Clear", QRect(96, 6, 84, 26));
    btnDbgMaxUpdate_ = Button(this, "btnDbgMaxUpdate", "Max update", QRect(184, 6, 96, 26));
    btnTorvikReadHardFault_ = Button(this, "btnTorvikReadHardFault", "Hard Fault", QRect(284, 6, 96, 26));
    btnTorvikDebugUnlock_ = Button(this, "btnTorvikDebugUnlock", "Debug Unlock", QRect(196, kTop - 2, 96, 26));
    btnTorvikDebugUnlock_->setVisible(false);
    btnDbgOvojnicaReset_->setToolTip("Start the envelope again");
    btnDbgMaxUpdate_->setToolTip("Fastest interface clock and a 1 ms reading interval");
    btnTorvikReadHardFault_->setToolTip("Show the hard-fault record (banks 224 and 225) in the log list");

    lblTorvikdbg_dekod_ = MakeLabel(this, "lblTorvikdbg_dekod", "Dekod", QRect(8, kTop, 184, 18));
    lblSensorResetCounter_ = MakeLabel(this, "lblSensorResetCounter", "ResetCounter", QRect(8, kTop + 20, 184, 18));
    lblTorvikdbg_NaklonSenzorja_ =
        MakeLabel(this, "lblTorvikdbg_NaklonSenzorja", "NaklonSenzorja", QRect(8, kTop + 42, 200, 22));
    lblTorvikdbg_NaklonSenzorja_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblTorvikdbg_NaklonSenzorja_->setAlignment(Qt::AlignCenter);
    lblTorvikdbg_NaklonSenzorja_->setAutoFillBackground(true);
    lblTorvikdbg_NaklonSenzorja_->setCursor(Qt::PointingHandCursor);
    lblTorvikdbg_NaklonSenzorja_->setToolTip("Click to show the fit lines of the envelope");
    lblTorvikdbg_NaklonSenzorja_->installEventFilter(this);
    lblTorvikdbg_cycle_ = MakeLabel(this, "lblTorvikdbg_cycle", "Cycle", QRect(8, kTop + 70, 270, 68));
    lblTorvikdbg_cycle_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The three spectrum bars stand side by side on the bottom of their background.
    shBgFFT_ = Make<QFrame>(this, "shBgFFT", QRect(kSpectrumLeft, kTop, kSpectrumWidth, kSpectrumHeight));
    shBgFFT_->setFrameStyle(QFrame::Box | QFrame::Plain);
    SetPanelColour(shBgFFT_, kWhite);
    shBgFFT_->setToolTip("Spectrum of the snapshot around the code length");
    const char* names[3] = {"shLevo", "shCenter", "shDesno"};
    const Rgb colours[3] = {kNavy, kColourGreen, kNavy};
    const int barsLeft = (kSpectrumWidth - 3 * kBarWidth) / 2;
    for (size_t i = 0; i < bars_.size(); ++i) {
        const int x = barsLeft + static_cast<int>(i) * kBarWidth;
        bars_[i] = Make<QFrame>(shBgFFT_, names[i], QRect(x, kSpectrumHeight, kBarWidth, 0));
        bars_[i]->setVisible(false);
        SetPanelColour(bars_[i], colours[i]);
    }
    lblSpectrumBins_ = MakeLabel(this, "lblSpectrumBins", "",
                                 QRect(kSpectrumLeft - 20, kTop + kSpectrumHeight + 1, kSpectrumWidth + 40, 16));
    lblSpectrumBins_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    ChartDebug_ = Make<ChartView>(this, "ChartDebug", QRect(8, kChartTop, 395, 200));
    ChartDebug_->setToolTip("Double-click to save chart to a file.");
    ChartModel& chart = ChartDebug_->Model();
    chart.left.SetRange(-128, 128);
    chart.left.increment = 64;
    chart.left.title = "Signal";
    chart.SetBottomRange(0, 54);
    chart.bottom.increment = 6;
    chart.bottom.title = "Sample";
    SeriesMISovojnicaMax_ = &chart.AddSeries(SeriesKind::Stairs, kEnvelopeGrey, "SeriesMISovojnicaMax");
    SeriesMISovojnicaMin_ = &chart.AddSeries(SeriesKind::Stairs, kEnvelopeGrey, "SeriesMISovojnicaMin");
    seriesMIS_ = &chart.AddSeries(SeriesKind::Line, kSampleBlue, "seriesMIS");
    seriesDekodiranje_ = &chart.AddSeries(SeriesKind::Points, ChartColours::kOrange, "seriesDekodiranje");
    Series1_ = &chart.AddSeries(SeriesKind::Line, kEnvelopeGrey, "Series1");
    Series2_ = &chart.AddSeries(SeriesKind::Line, kEnvelopeGrey, "Series2");
    Series1_->SetVisible(false);
    Series2_->SetVisible(false);

    lblKodaNaGrafu_ = MakeLabel(ChartDebug_, "lblKodaNaGrafu", "Koda", QRect(40, 6, 340, 40));
    lblKodaNaGrafu_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblKodaNaGrafu_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont code = lblKodaNaGrafu_->font();
    code.setBold(true);
    lblKodaNaGrafu_->setFont(code);

    connect(btnTorvikDebugRead_, &QPushButton::clicked, this, &DebugPage::btnTorvikDebugReadClick);
    connect(btnTorvikDebugUnlock_, &QPushButton::clicked, this, &DebugPage::btnTorvikDebugUnlockClick);
    connect(btnTorvikReadHardFault_, &QPushButton::clicked, this, &DebugPage::btnTorvikReadHardFaultClick);
    connect(btnDbgOvojnicaReset_, &QPushButton::clicked, this, &DebugPage::btnDbgOvojnicaResetClick);
    connect(btnDbgMaxUpdate_, &QPushButton::clicked, this, &DebugPage::btnDbgMaxUpdateClick);
    connect(ChartDebug_, &ChartView::doubleClicked, this, [this] { shell_.SaveChartImage(*ChartDebug_); });
    session_.AddObserver(this);
}

DebugPage::~DebugPage()
{
    session_.RemoveObserver(this);
}

void DebugPage::resizeEvent(QResizeEvent* event)
{
    Page::resizeEvent(event);
    ChartDebug_->setGeometry(8, kChartTop, 395, std::max(120, height() - kChartTop - 4));
    PlaceCodeLabel();
}

void DebugPage::PageSwitched(PageId current)
{
    const bool shown = current == Id();
    DebugReadout& debug = session_.Debug();
    debug.SetPageShown(shown);
    // The spectrum's window follows the code length of the last identification.
    debug.State().UpdateWindow(session_.Identity().EncDolzinaKode);
    if (!shown)
        return;
    // Entering the page selects the debug bank, and bank 0 again while the
    // status lamps show the persistent status, which lies there. The
    // results are not shown.
    if (!session_.Identity().EncoderConnected)
        return;
    session_.GetLink().WriteRegister(BankSelectRegister, DebugBank);
    if (session_.TorvikStatus().ShowPersistent())
        SelectPersistentStatusBank(session_.GetLink(), session_.Identity());
}

void DebugPage::ServiceRevealed(ServiceGesture gesture)
{
    if (gesture == ServiceGesture::Debug)
        btnTorvikDebugUnlock_->setVisible(true);
}

bool DebugPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblTorvikdbg_NaklonSenzorja_ && event->type() == QEvent::MouseButtonRelease)
        lblTorvikdbg_NaklonSenzorjaClick();
    return Page::eventFilter(watched, event);
}

void DebugPage::btnTorvikDebugReadClick()
{
    switch (session_.Debug().ReadNow(session_.GetLink())) {
    case DebugRead::Failed:
        session_.Report(false);
        return;
    case DebugRead::Refused:
        return;
    case DebugRead::Read:
        shell_.Status().FlipActivity();
        readsShown_ = session_.Debug().Reads();
        Show(session_.Debug().State());
        session_.Report(true);
        return;
    }
}

void DebugPage::btnTorvikDebugUnlockClick()
{
    const EncoderOutcome outcome = session_.UnlockDebugBanks();
    session_.Report(outcome.ok, outcome.statusText);
}

void DebugPage::DebugUnlocked(bool)
{
    btnTorvikDebugUnlock_->setVisible(false);
}

void DebugPage::btnTorvikReadHardFaultClick()
{
    const HardFaultDump dump = ReadHardFaultDump(session_.GetLink());
    if (dump.result == DebugRead::Refused)
        return;
    if (dump.result == DebugRead::Failed) {
        session_.Report(false);
        return;
    }
    // The monitor's log lines must not mix into the dump.
    session_.SetPositionLog(false);
    shell_.ShowLogList(true);
    shell_.ClearLog();
    size_t start = 0;
    for (size_t end = dump.text.find("\r\n"); end != std::string::npos; end = dump.text.find("\r\n", start)) {
        shell_.AppendLog(dump.text.substr(start, end - start));
        start = end + 2;
    }
    session_.Report(true);
}

void DebugPage::btnDbgOvojnicaResetClick()
{
    session_.Debug().State().ClearEnvelope();
}

void DebugPage::btnDbgMaxUpdateClick()
{
    session_.SendBoxSetting(BoxSetting::Clock, "1");
    session_.SetMonitorInterval(1);
}

void DebugPage::lblTorvikdbg_NaklonSenzorjaClick()
{
    Series1_->SetVisible(true);
    Series2_->SetVisible(true);
    ChartDebug_->Changed();
}

void DebugPage::Ticked(const TickReport&)
{
    const DebugReadout& debug = session_.Debug();
    if (debug.Reads() == readsShown_)
        return;
    readsShown_ = debug.Reads();
    Show(debug.State());
}

void DebugPage::Show(const Diagnostics& diagnostics)
{
    const DebugView& view = diagnostics.View();
    const int length = session_.Identity().EncDolzinaKode;
    lblTorvikdbg_dekod_->setText(Utf8Text(view.decodingText));
    lblSensorResetCounter_->setText(Utf8Text(view.resetText));
    if (view.cycleText)
        lblTorvikdbg_cycle_->setText(LabelText(*view.cycleText));
    lblTorvikdbg_NaklonSenzorja_->setText(Utf8Text(view.tiltText));
    const Rgb tilt = TiltColour(view.tiltLevel);
    if (PanelColour(lblTorvikdbg_NaklonSenzorja_) != tilt)
        SetPanelColour(lblTorvikdbg_NaklonSenzorja_, tilt);
    // Blanks after the last bit would only run past the chart.
    QStringList code = LabelText(view.codeText).split('\n');
    for (QString& line : code)
        while (line.endsWith(' '))
            line.chop(1);
    lblKodaNaGrafu_->setText(code.join('\n'));
    const int index = view.decodingLayout ? diagnostics.Snapshot().decodingIndex : 1;
    if (index != codeLabelIndex_ || length != codeLabelLength_) {
        codeLabelIndex_ = index;
        codeLabelLength_ = length;
        PlaceCodeLabel();
    }
    ShowBars(view.bars, length);
    ShowChart(diagnostics);
}

void DebugPage::ShowChart(const Diagnostics& diagnostics)
{
    const DebugView& view = diagnostics.View();
    const DebugSamples& samples = diagnostics.Snapshot().samples;
    const Envelope& envelope = diagnostics.EnvelopeNow();
    seriesMIS_->Clear();
    SeriesMISovojnicaMax_->Clear();
    SeriesMISovojnicaMin_->Clear();
    for (size_t i = 0; i < samples.size(); ++i) {
        const float x = static_cast<float>(i);
        seriesMIS_->Add(x + 1, samples[i]);
        SeriesMISovojnicaMax_->Add(x + 0.5f, envelope.max[i]);
        SeriesMISovojnicaMin_->Add(x + 0.5f, envelope.min[i]);
    }
    SeriesMISovojnicaMax_->Add(kDebugSampleCount + 0.5f, envelope.max.back());
    SeriesMISovojnicaMin_->Add(kDebugSampleCount + 0.5f, envelope.min.back());
    if (view.decodingLayout) {
        seriesDekodiranje_->Clear();
        for (const DecodingPoint& p : view.decodingPoints)
            seriesDekodiranje_->Add(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    SetLine(*Series1_, view.fits.maxLine);
    SetLine(*Series2_, view.fits.minLine);
    ChartDebug_->Changed();
}

void DebugPage::ShowBars(const std::array<int, 3>& bars, int codeLength)
{
    for (size_t i = 0; i < bars_.size(); ++i) {
        // A bar taller than its background is cut at the top; the tooltip has the value.
        const int height = std::clamp(bars[i], 0, kSpectrumHeight);
        const QRect geometry(bars_[i]->x(), kSpectrumHeight - height, kBarWidth, height);
        if (bars_[i]->geometry() != geometry)
            bars_[i]->setGeometry(geometry);
        bars_[i]->setVisible(height > 0);
        bars_[i]->setToolTip(QString("Bin %1: %2").arg(codeLength - 1 + static_cast<int>(i)).arg(bars[i]));
    }
    lblSpectrumBins_->setText(QString("Bins %1, %2, %3").arg(codeLength - 1).arg(codeLength).arg(codeLength + 1));
}

void DebugPage::PlaceCodeLabel()
{
    // Each bit and its spacer span one decoding step of the chart, so that the
    // bits stand above their decoding points: in a proportional font the
    // blanks are narrow and the bits large.
    const ChartModel& chart = ChartDebug_->Model();
    const ChartLayout layout = LayOutChart(chart, QRectF(ChartDebug_->rect()), ChartDebug_->font());
    const double perSample = layout.plot.width() / (chart.bottom.max - chart.bottom.min);
    const DecodingSpacing spacing = SpacingFor(codeLabelLength_ ? codeLabelLength_ : 7);
    QFont font = lblKodaNaGrafu_->font();
    constexpr int kReferencePixels = 100;
    font.setPixelSize(kReferencePixels);
    const double stepAtReference =
        QFontMetricsF(font).horizontalAdvance(QString("0") + QString(spacing.spacer, QLatin1Char(' ')));
    const double step = perSample * std::max(spacing.step, 1);
    font.setPixelSize(std::clamp(static_cast<int>(step / stepAtReference * kReferencePixels), 9, 28));
    lblKodaNaGrafu_->setFont(font);
    const QFontMetricsF metrics(font);
    const double x = layout.plot.left() + (codeLabelIndex_ - chart.bottom.min) * perSample -
                     metrics.horizontalAdvance(QLatin1Char('0')) / 2;
    const int left = std::clamp(static_cast<int>(std::lround(x)), 0, std::max(0, ChartDebug_->width() - 40));
    lblKodaNaGrafu_->setGeometry(left, static_cast<int>(layout.plot.top()) + 2, ChartDebug_->width() - left - 2,
                                 static_cast<int>(std::ceil(metrics.lineSpacing() * 2)) + 2);
}
