#include "monitor/ui/TestPage.h"

#include "link/ui/PowerCyclePanel.h"
#include "shell/Shell.h"
#include "shell/TickerLabel.h"
#include "shell/WidgetFactory.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

namespace {
constexpr char kFinished[] = "  FINISHED.";
constexpr char kStopped[] = "Recording stopped.\r\n";
} // namespace

TestPage::TestPage(Shell& shell, QWidget* parent) : Page(parent), shell_(shell), session_(shell.GetSession())
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

    auto* gRecording = Make<QGroupBox>(this, "gRecording", QRect(8, 150, 385, 190));
    gRecording->setTitle(" Recording ");
    cbShranjujMeritvePos_ = Make<QCheckBox>(gRecording, "cbShranjujMeritvePos", QRect(10, 22, 300, 20));
    cbShranjujMeritvePos_->setText("Record position to file (Fast)");
    cbShranjujMeritveDebug_ = Make<QCheckBox>(gRecording, "cbShranjujMeritveDebug", QRect(10, 44, 300, 20));
    cbShranjujMeritveDebug_->setText("Record measurements to file (Debug)");
    auto* lblSamples =
        MakeLabel(gRecording, "lblSteviloShranjenihMeritev", "Save only N samples \n(0 = no limit)", QRect(10, 68, 170, 32));
    lblSamples->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    seSteviloShranjenihMeritev_ = Make<QSpinBox>(gRecording, "seSteviloShranjenihMeritev", QRect(192, 72, 90, 22));
    seSteviloShranjenihMeritev_->setRange(0, 1000000);
    seSteviloShranjenihMeritev_->setValue(100);
    seSteviloShranjenihMeritev_->setToolTip(Utf8Text("\xC5\xA0tevilo meritev, ki jih shrani  (0 = brez omejitve)"));
    mmShranjujIme_ = Make<QPlainTextEdit>(gRecording, "mmShranjujIme", QRect(10, 104, 365, 52));
    mmShranjujIme_->setReadOnly(true);
    mmShranjujIme_->setToolTip("The file of the current recording (in the working folder)");
    lblShraniElapsedTimeMs_ = MakeTickerLabel(gRecording, "lblShraniElapsedTimeMs", "Elapsed Time", QRect(10, 162, 365, 18));

    flushTimer_ = new QTimer(this);
    flushTimer_->setObjectName("recordingFlushTimer");
    flushTimer_->setInterval(kFlushCheckMs);
    connect(flushTimer_, &QTimer::timeout, this, [this] {
        session_.Recording().FlushIfDue();
        CheckEnd();
    });
    connect(cbShranjujMeritvePos_, &QCheckBox::toggled, this, &TestPage::cbShranjujMeritvePosClick);
    connect(cbShranjujMeritveDebug_, &QCheckBox::toggled, this, &TestPage::cbShranjujMeritveDebugClick);
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

void TestPage::WindowClosing()
{
    // Every row written so far stays in the file.
    flushTimer_->stop();
    session_.Recording().Stop();
}

void TestPage::MonitorIntervalChanged(int ms)
{
    const QSignalBlocker quiet(seFrekvencaBranja_);
    seFrekvencaBranja_->setValue(ms);
}

void TestPage::cbShranjujMeritvePosClick()
{
    RecordingSwitched(RecordingKind::Position, cbShranjujMeritvePos_, cbShranjujMeritveDebug_);
}

void TestPage::cbShranjujMeritveDebugClick()
{
    RecordingSwitched(RecordingKind::Debug, cbShranjujMeritveDebug_, cbShranjujMeritvePos_);
}

void TestPage::RecordingSwitched(RecordingKind kind, QCheckBox* box, QCheckBox* other)
{
    const bool on = box->isChecked();
    other->setEnabled(!on);
    Recorder& recorder = session_.Recording();
    if (!on) {
        flushTimer_->stop();
        const std::optional<std::string> error = recorder.Stop();
        lblShraniElapsedTimeMs_->setText(lblShraniElapsedTimeMs_->text() + kFinished);
        if (error)
            shell_.UserDialogs().Message(kStopped + *error, MessageKind::Error);
        return;
    }
    // No tick writes a row before the header.
    session_.StopMonitor();
    if (kind == RecordingKind::Debug) {
        const EncoderOutcome unlock = session_.UnlockDebugBanks();
        session_.Report(unlock.ok, unlock.statusText);
    }
    const RecordingStart start =
        recorder.Start(kind, seSteviloShranjenihMeritev_->value(), session_.GetLink().EncoderSignature);
    mmShranjujIme_->setPlainText(Utf8Text(start.fileName));
    if (!start.ok) {
        // Nothing is being written: the box does not claim a recording.
        {
            const QSignalBlocker quiet(box);
            box->setChecked(false);
        }
        other->setEnabled(true);
        session_.ResumeMonitor();
        shell_.UserDialogs().Message(start.errorText, MessageKind::Error);
        return;
    }
    rowsShown_ = 0;
    elapsedShown_.invalidate();
    lblShraniElapsedTimeMs_->setText(Utf8Text(ElapsedText(0)));
    flushTimer_->start();
    session_.ResumeMonitor();
}

void TestPage::Ticked(const TickReport&)
{
    const Recorder& recorder = session_.Recording();
    if (recorder.Rows() != rowsShown_ && (!elapsedShown_.isValid() || elapsedShown_.elapsed() >= kElapsedRepaintMs))
        ShowElapsed();
    CheckEnd();
}

void TestPage::ShowElapsed()
{
    const Recorder& recorder = session_.Recording();
    rowsShown_ = recorder.Rows();
    elapsedShown_.start();
    lblShraniElapsedTimeMs_->setText(Utf8Text(ElapsedText(recorder.ElapsedMs())));
}

void TestPage::CheckEnd()
{
    const std::optional<RecordingEnd> end = session_.Recording().TakeEnd();
    if (!end)
        return;
    ShowElapsed();
    // Turning the box off runs its handler: the mark, the other box enabled.
    for (QCheckBox* box : {cbShranjujMeritvePos_, cbShranjujMeritveDebug_})
        if (box->isChecked())
            box->setChecked(false);
    if (end->reason == RecordingEnd::Reason::WriteFailed) {
        // Told once the tick is over; the monitor goes on meanwhile.
        const std::string text = kStopped + end->errorText;
        QTimer::singleShot(0, this, [this, text] { shell_.UserDialogs().Message(text, MessageKind::Error); });
    }
}
