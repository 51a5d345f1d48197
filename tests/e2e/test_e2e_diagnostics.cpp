// The "Debug" page against the simulated encoder with the tool's timers
// running: the diagnostic banks refused before the unlock and the unlock's
// commands, the snapshot's values, the envelope growing read by read and tick
// by tick, the spectrum bars, the tilt's traffic light for sensors of a known
// tilt, the hard-fault dump, and the page's layout with every tab shown.

#include "LayoutChecks.h"
#include "WindowHarness.h"

#include "encoder/ui/DebugPage.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "sim/Simulator.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {
struct DebugTool {
    Simulator sim;
    WindowHarness h;

    explicit DebugTool(double tilt = 4) : sim(Options(tilt)) { h->show(); }
    static SimOptions Options(double tilt)
    {
        SimOptions o;
        o.sensorTilt = tilt;
        return o;
    }
    // Finds the box, identifies the encoder, reveals every page and shows "Debug".
    bool Open()
    {
        if (!ConnectRunning(h, sim, [&] { return h->PageVisible(PageId::tabTorvikCalibration); }))
            return false;
        h->FullServiceGesture();
        h->SetActivePage(PageId::TabTorvikDebug);
        return true;
    }
    bool Unlock()
    {
        h->DebugGesture();
        Click("btnTorvikDebugUnlock");
        return QTest::qWaitFor([&] { return Readout().Reads() >= 2; }, 3000);
    }
    MainWindow* operator->() { return h.window.get(); }
    QString Text(const char* name) const { return h.Find<QLabel>(name)->text(); }
    void Click(const char* name) { h.Find<QPushButton>(name)->click(); }
    DebugReadout& Readout() { return h->GetSession().Debug(); }
    const ChartSeries& Series(size_t i) { return h.Find<ChartView>("ChartDebug")->Model().Series()[i]; }
    long Sent(const std::string& command) const
    {
        const std::vector<std::string> log = CommandsSent(sim);
        return std::count(log.begin(), log.end(), command);
    }
    int Bar(const char* name) const { return h.Find<QFrame>(name)->isVisible() ? h.Find<QFrame>(name)->height() : 0; }
};
// Series of the debug chart, in the order the page adds them.
enum { kEnvelopeMax, kEnvelopeMin, kSamples, kDecoding, kFitMax, kFitMin };
} // namespace

class DiagnosticsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void unlockSnapshotEnvelopeAndBars()
    {
        DebugTool t;
        QVERIFY(t.Open());
        // Ticks try the bank and find it refused: nothing on the page changes, no error.
        t.sim.ClearCommandLog();
        QTRY_VERIFY_WITH_TIMEOUT(t.Sent("Ws223:064") >= 3, 2000);
        t.Click("btnTorvikDebugRead");
        t.Click("btnTorvikReadHardFault");
        QCOMPARE(t.Text("lblTorvikdbg_dekod"), QString("Dekod"));
        QCOMPARE(t.Text("lblTorvikdbg_cycle"), QString("Cycle"));
        QCOMPARE(t.Sent("R64:000"), 0);
        QVERIFY(!t->LogList()->isVisible());
        QTRY_COMPARE(t.Text("lblStatus"), QString("Comm OK"));

        // The debug gesture reveals the unlock: its commands, then the bank, then the page change's bank.
        QVERIFY(!t.h.Find<QPushButton>("btnTorvikDebugUnlock")->isVisible());
        t->DebugGesture();
        t->SetLoopTimerActive(false);
        t.sim.ClearCommandLog();
        t.Click("btnTorvikDebugUnlock");
        QCOMPARE(CommandsSent(t.sim),
                 (std::vector<std::string>{"Ws179:072", "Ws158:072", "Ws071:073", "Ws223:064", "Ws223:064"}));
        QVERIFY(!t.h.Find<QPushButton>("btnTorvikDebugUnlock")->isVisible());
        QCOMPARE(t.Text("lblStatus"), QString("Comm OK\r\n"));
        t->SetLoopTimerActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(t.Readout().Reads() >= 2, 3000);

        // The snapshot: decoding index, reset counter, a cycle of 10-10.5 us at 72 MHz, the code words.
        const int length = t->Identity().EncDolzinaKode;
        QVERIFY(QRegularExpression("^Decoding: \\d$").match(t.Text("lblTorvikdbg_dekod")).hasMatch());
        QVERIFY(QRegularExpression("^Sensor reset counter: \\d+$").match(t.Text("lblSensorResetCounter")).hasMatch());
        const QStringList cycle = t.Text("lblTorvikdbg_cycle").split('\n');
        QCOMPARE(cycle.size(), 4);
        QVERIFY(cycle[0] == "Encoder cycle time:" && cycle[1].toInt() >= 720 && cycle[1].toInt() <= 756);
        QCOMPARE(cycle[2], QString(" = 10 \u00b5s"));
        QVERIFY2(QRegularExpression("^ = (9[5-9]|100)\\.\\d kHz$").match(cycle[3]).hasMatch(), qPrintable(cycle[3]));
        QCOMPARE(t.Text("lblKodaNaGrafu").split('\n').value(1).remove(' ').size(), length);
        QCOMPARE(t.Series(kSamples).Count(), size_t{53});
        QCOMPARE(t.Series(kEnvelopeMax).Count(), size_t{54});
        QCOMPARE(t.Series(kDecoding).Count(), static_cast<size_t>(length));
        QVERIFY(!t.Series(kFitMax).Visible());
        QTest::mouseClick(t.h.Find<QLabel>("lblTorvikdbg_NaklonSenzorja"), Qt::LeftButton);
        QVERIFY(t.Series(kFitMax).Visible() && t.Series(kFitMin).Visible());
        // The code length's bin is the tallest.
        QVERIFY(t.Bar("shCenter") > std::max(t.Bar("shLevo"), t.Bar("shDesno")) && t.Bar("shLevo") > 0);

        // After a clear the envelope is the next snapshot; each read widens it by its own.
        t->SetLoopTimerActive(false);
        t.Click("btnDbgOvojnicaReset");
        t.Click("btnTorvikDebugRead");
        const Diagnostics& d = t.Readout().State();
        QVERIFY(d.EnvelopeNow().max == d.Snapshot().samples && d.EnvelopeNow().min == d.Snapshot().samples);
        QCOMPARE(t.Series(kEnvelopeMax).Points()[10].y, static_cast<float>(d.Snapshot().samples[10]));
        Envelope expected = d.EnvelopeNow();
        for (uint32_t read = 0; read < 4; ++read) {
            t.sim.SetShaftPosition(0, read * 4000 + 1000);
            t.Click("btnTorvikDebugRead");
            expected.Add(d.Snapshot().samples);
            QVERIFY(d.EnvelopeNow().max == expected.max && d.EnvelopeNow().min == expected.min);
        }
        QVERIFY(expected.max != d.Snapshot().samples);
        // Tick by tick, without a click.
        t->SetLoopTimerActive(true);
        for (int tick = 0; tick < 5; ++tick) {
            const Envelope before = d.EnvelopeNow();
            const uint64_t reads = t.Readout().Reads();
            QTRY_VERIFY_WITH_TIMEOUT(t.Readout().Reads() > reads, 2000);
            for (size_t i = 0; i < before.max.size(); ++i)
                QVERIFY(d.EnvelopeNow().max[i] >= std::max(before.max[i], d.Snapshot().samples[i]) &&
                        d.EnvelopeNow().min[i] <= std::min(before.min[i], d.Snapshot().samples[i]));
        }
    }

    void tiltTakesItsTrafficLight_data()
    {
        QTest::addColumn<double>("tilt");
        QTest::addColumn<uint>("colour");
        QTest::newRow("green") << 3.0 << 0xAEFFD7u;
        QTest::newRow("yellow") << -15.0 << 0xFFFF00u;
        QTest::newRow("red") << 32.0 << 0xFF5B5Bu;
    }

    void tiltTakesItsTrafficLight()
    {
        QFETCH(double, tilt);
        QFETCH(uint, colour);
        DebugTool t(tilt);
        QVERIFY(t.Open());
        QVERIFY(t.Unlock());
        // The envelope over three turns of the shaft gives back the sensor's
        // tilt: at 50 ms a tick, 45 reads came to hardly more than two turns
        // once the ticks kept their period, and missed a slope now and then.
        t.sim.SetShaftSpeed(60);
        QTRY_VERIFY_WITH_TIMEOUT(t.Readout().Reads() >= 60, 8000);
        const QString text = t.Text("lblTorvikdbg_NaklonSenzorja");
        QVERIFY2(text.startsWith("Sensor tilt = ") && std::abs(text.mid(14).toDouble() - tilt) < 2.5, qPrintable(text));
        const Rgb rgb = PanelColour(t.h.Find<QLabel>("lblTorvikdbg_NaklonSenzorja"));
        QCOMPARE(static_cast<uint>(rgb.r << 16 | rgb.g << 8 | rgb.b), colour);
    }

    void unlockRunsThePageChange()
    {
        DebugTool t;
        QVERIFY(t.Open());
        // The lamps show the persistent status, which lies in bank 0.
        t.h.Find<QCheckBox>("cbTorvikShowPersistentStatus")->click();
        t.Click("btnDbgMaxUpdate");
        QCOMPARE(t->LoopInterval(), 1);
        t->DebugGesture();
        t->SetLoopTimerActive(false);
        t.sim.ClearCommandLog();
        t.Click("btnTorvikDebugUnlock");
        // The page change after the unlock selects the page's bank and ends the fastest interval.
        QCOMPARE(CommandsSent(t.sim), (std::vector<std::string>{"Ws179:072", "Ws158:072", "Ws071:073", "Ws223:064",
                                                                "Ws223:064", "Ws000:064"}));
        QCOMPARE(t->LoopInterval(), 50);
        QVERIFY(t->LoopTimerActive());
        QCOMPARE(t.Text("lblStatus"), QString("Comm OK\r\n"));

        // So does the unlock at the start of a debug recording.
        QTemporaryDir folder;
        t->GetSession().Recording().SetFolder(folder.path().toStdString());
        t->SetActivePage(PageId::tabTest);
        t.Click("btn2");
        QCOMPARE(t->LoopInterval(), 1);
        t.h.Find<QCheckBox>("cbShranjujMeritveDebug")->click();
        QVERIFY(t->GetSession().Recording().Running());
        QCOMPARE(t->LoopInterval(), 50);
        t.h.Find<QCheckBox>("cbShranjujMeritveDebug")->click();
    }

    void hardFaultDumpUnticksThePositionLog()
    {
        DebugTool t;
        QVERIFY(t.Open());
        QVERIFY(t.Unlock());
        auto* log = t.h.Find<QCheckBox>("cbLogErrorsPos");
        log->click();
        QVERIFY(t->GetSession().Monitor().PositionLog());
        // Every position word carries the error bit: the position log would add a line per tick.
        SimFaults faults = t.sim.Faults();
        faults.errorBit = true;
        t.sim.SetFaults(faults);
        t.Click("btnTorvikReadHardFault");
        QVERIFY(!log->isChecked());
        QVERIFY(!t->GetSession().Monitor().PositionLog());
        QVERIFY(t->LogList()->isVisible());
        t.sim.ClearCommandLog();
        QTRY_VERIFY_WITH_TIMEOUT(t.Sent("4") >= 5, 3000);
        QCOMPARE(t->LogList()->toPlainText().split('\n').size(), 34);
    }

    void hardFaultDumpAndLayout()
    {
        DebugTool t;
        QVERIFY(t.Open());
        QVERIFY(t.Unlock());
        t.Click("btnTorvikReadHardFault");
        QVERIFY(t->LogList()->isVisible());
        const QStringList lines = t->LogList()->toPlainText().split('\n');
        QCOMPARE(lines.size(), 34);
        for (int page = 0; page < 2; ++page) {
            const std::array<uint8_t, 64> image = t.sim.BankImage(static_cast<uint8_t>(0xE0 + page));
            QCOMPARE(lines[17 * page], QString("Page %1").arg(224 + page));
            for (int r = 0; r < 16; ++r)
                QCOMPARE(lines[17 * page + 1 + r], QString::asprintf("%02X%02X%02X%02X", image[4 * r], image[4 * r + 1],
                                                                     image[4 * r + 2], image[4 * r + 3]));
        }
        QCOMPARE(t.Text("lblStatus"), QString("Comm OK\r\n"));

        // With every tab shown the widest texts fit.
        t->SetLoopTimerActive(false);
        QCoreApplication::processEvents();
        t.h.Find<QLabel>("lblTorvikdbg_dekod")->setText("Decoding: 255");
        t.h.Find<QLabel>("lblSensorResetCounter")->setText("Sensor reset counter: 65535");
        t.h.Find<QLabel>("lblTorvikdbg_NaklonSenzorja")->setText(QString::fromStdString(TiltText(-25400)));
        t.h.Find<QLabel>("lblTorvikdbg_cycle")->setText(QString::fromStdString(*CycleReportText(65535, 72)).replace("\r\n", "\n"));
        t.h.Find<QLabel>("lblSpectrumBins")->setText("Bins 10, 11, 12");
        const QStringList faults = LayoutFaults(*t.h.Find<QWidget>("DebugContent"));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        QVERIFY(t.h.Find<ChartView>("ChartDebug")->height() >= 150);
    }
};

QTEST_MAIN(DiagnosticsEndToEndTest)
#include "test_e2e_diagnostics.moc"
