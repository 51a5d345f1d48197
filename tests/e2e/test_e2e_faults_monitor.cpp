// Every fault of the matrix during the monitor cycle, a position recording,
// a configuration write and the wait of a self-calibration: the window keeps
// serving its events within the reply limit and the error wait, the fault
// shows on the status line or the position read-out, a failure is never
// reported as success, the recorded file stays whole, and the position comes
// back once the fault clears.

#include "FaultMatrix.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

namespace {
// Reply limit, the monitor's wait after a failed read and the late-reply
// wait, with room for a loaded machine.
constexpr qint64 kMonitorGapMs = 1200;

SimOptions Options(double speed)
{
    SimOptions o;
    o.firmware = "2.5.8.9600";
    o.speed = speed;
    return o;
}

bool LampLit(const FaultRig& r, const char* name, Rgb lit)
{
    return PanelColour(r.Find<QWidget>(name)) == lit;
}

// Lets the monitor run for a while under the fault; true when the fault
// showed meanwhile (status line, position read-out or a lamp).
bool WatchMonitor(FaultRig& r, int ms, qint64& worstGap)
{
    Responsiveness watch;
    bool shown = false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QTest::qWait(10);
        shown = shown || !r.StatusOk() || !r.PositionShown() || LampLit(r, "pnlEncErr", kColourError) ||
                LampLit(r, "pnlEncWarn", kColourOrange) || LampLit(r, "pnlCRCerror", kColourError);
    }
    worstGap = watch.WorstGapMs();
    return shown;
}

uint32_t Stored32(const Simulator& sim, uint8_t address)
{
    const auto bank = sim.StoredBankImage(0);
    return (uint32_t(bank[address]) << 24) | (uint32_t(bank[address + 1]) << 16) |
           (uint32_t(bank[address + 2]) << 8) | bank[address + 3];
}
} // namespace

class FaultsOnTheMonitorTest : public QObject {
    Q_OBJECT

private slots:
    void monitorCycle()
    {
        FaultRig r(Options(10));
        QVERIFY(r.Open());
        r->SetActivePage(PageId::TabPosition);
        for (const FaultCase& fault : Faults()) {
            const std::string cell = std::string("monitor × ") + fault.name;
            r.Apply(fault, 0);
            qint64 gap = 0;
            const bool shown = WatchMonitor(r, 1200, gap);
            r.Check(gap <= kMonitorGapMs, cell, "the window went " + std::to_string(gap) + " ms without its events");
            FaultRig::Tell(cell, shown ? "shown" : "not shown", gap);
            if (fault.onPositions == Expect::Completes)
                r.Check(!shown, cell, "a harmless fault was shown as an error");
            if (fault.onPositions == Expect::Fails)
                r.Check(shown, cell, "the fault was not shown");
            r.Recover(cell);
        }
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void positionRecording()
    {
        FaultRig r(Options(10));
        QVERIFY(r.Open());
        r->SetActivePage(PageId::tabTest);
        r->GetSession().Recording().SetFolder(r.dir.path().toStdString());
        auto* box = r.Find<QCheckBox>("cbShranjujMeritvePos");
        const QRegularExpression row("^\\d+;[^;\r\n]*;[^;\r\n]*;[^;\r\n]*;[^;\r\n]*;$");
        for (const FaultCase& fault : Faults()) {
            const std::string cell = std::string("recording × ") + fault.name;
            r.Find<QSpinBox>("seSteviloShranjenihMeritev")->setValue(r.Find<QSpinBox>("seSteviloShranjenihMeritev")->maximum());
            box->click();
            const Recorder& recorder = r->GetSession().Recording();
            r.Check(QTest::qWaitFor([&] { return recorder.Rows() >= 5; }, 2000), cell, "the recording did not start");
            r.Apply(fault, 0);
            const uint64_t rowsBefore = recorder.Rows();
            qint64 gap = 0;
            WatchMonitor(r, 1000, gap);
            r.Check(gap <= kMonitorGapMs, cell, "the window went " + std::to_string(gap) + " ms without its events");
            r.Recover(cell);
            const bool stillRecording = box->isChecked();
            if (stillRecording)
                r.Check(QTest::qWaitFor([&] { return recorder.Rows() >= rowsBefore + 3; }, 2000), cell,
                        "no rows after the fault cleared");
            const uint64_t rows = recorder.Rows();
            FaultRig::Tell(cell, stillRecording ? "recording went on" : "recording stopped with a message", gap);
            const std::vector<std::string> messages = r.TakeMessages();
            r.Check(stillRecording || !messages.empty(), cell, "the recording stopped without a word");
            if (stillRecording)
                box->click();
            // Whole lines only, each a row of the header's five fields.
            const QString name = r.Find<QPlainTextEdit>("mmShranjujIme")->toPlainText();
            const std::string text = FileContent(name);
            r.Check(text.size() > 2 && text.compare(text.size() - 2, 2, "\r\n") == 0, cell,
                    "the file does not end with a whole line");
            QStringList lines = QString::fromLatin1(text.c_str()).split("\r\n");
            lines.removeLast();
            r.Check(!lines.isEmpty() && lines[0] == "Time(ms);RX;MT;ST;Error;", cell, "no header");
            r.Check(uint64_t(lines.size()) == rows + 1, cell,
                    std::to_string(rows) + " rows counted, " + std::to_string(lines.size() - 1) + " in the file");
            for (qsizetype i = 1; i < lines.size(); ++i)
                if (!row.match(lines[i]).hasMatch()) {
                    r.Check(false, cell, "broken row: " + lines[i].toStdString());
                    break;
                }
            QFile::remove(name);
        }
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void configurationWrite()
    {
        FaultRig r(Options(0));
        QVERIFY(r.Open());
        uint32_t value = 1000;
        // Showing the page reads the configuration.
        UnderEveryFault(r, "configuration write", PageId::TabTorvikConfig, [&](const FaultCase& fault,
                                                                                 const std::string& cell) {
            r.Find<QLineEdit>("edTC0_04")->setText(QString::number(++value));
            r.Apply(fault, 6); // in the middle of the writes
            Responsiveness watch;
            r.Find<QPushButton>("btnTorvikconfigWrite")->click();
            const qint64 gap = watch.WorstGapMs();
            r.Check(gap <= 3000, cell, "the write blocked the window for " + std::to_string(gap) + " ms");
            const bool claimed = r.StatusOk();
            FaultRig::Tell(cell, claimed ? "written" : "failed", gap);
            if (claimed)
                r.Check(Stored32(r.sim, 4) == value, cell, "\"Comm OK\" but the value is not stored");
            else
                r.Check(r.StatusError(), cell, "neither success nor an error on the status line");
            r.CheckExpected(fault, cell, claimed);
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void calibrationWait()
    {
        FaultRig r(Options(600));
        QVERIFY(r.Open());
        UnderEveryFault(r, "calibration wait", PageId::tabTorvikCalibration, [&](const FaultCase& fault,
                                                                                  const std::string& cell) {
            r.Find<QLineEdit>("edTC0_21")->setText("2");
            const uint32_t before = r.sim.CalibrationsRun();
            r.Apply(fault, 8); // after the start, while the tool waits for the outcome
            Responsiveness watch;
            QElapsedTimer clock;
            clock.start();
            r.Find<QPushButton>("btnTC_StartCal")->click();
            const qint64 took = clock.elapsed();
            const qint64 gap = watch.WorstGapMs();
            r.Check(gap <= kMonitorGapMs, cell, "the wait went " + std::to_string(gap) + " ms without events");
            r.Check(took <= 2000 + 3000, cell, "the wait took " + std::to_string(took) + " ms for a 2 s time-out");
            const bool ran = r.sim.CalibrationsRun() > before;
            const bool claimed = r.StatusOk() &&
                                 QTest::qWaitFor([&] { return LampLit(r, "pnlTselfCalSucessfull", kColourLime); }, 1500);
            FaultRig::Tell(cell, claimed ? "succeeded" : "failed", gap);
            if (claimed)
                r.Check(ran, cell, "success shown for a calibration that did not run");
            else
                r.Check(r.StatusError() || !ran, cell, "a calibration that ran was not shown as a success");
            r.CheckExpected(fault, cell, claimed);
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }
};

QTEST_MAIN(FaultsOnTheMonitorTest)
#include "test_e2e_faults_monitor.moc"
