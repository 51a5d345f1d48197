// The "Torvik Status" page against the simulated encoder with the tool's
// timers running: lamps and values follow the encoder's status words, the
// persistent status is shown and cleared by its command, the install chart
// gains points while the shaft turns, Copy and the chart's image files, and
// the page's layout with every tab shown.

#include "LayoutChecks.h"
#include "WindowHarness.h"

#include "monitor/TorvikStatus.h"
#include "monitor/ui/TorvikStatusPage.h"
#include "shell/ChartSaving.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "sim/Simulator.h"
#include "util/Bits.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr Rgb kGrey{128, 128, 128};

struct StatusTool {
    Simulator sim;
    WindowHarness h;
    TorvikStatusPage* page = nullptr;

    explicit StatusTool(SimFamily family = SimFamily::Torvik) : sim(Options(family)) { h->show(); }
    static SimOptions Options(SimFamily family)
    {
        SimOptions o;
        o.family = family;
        return o;
    }
    // Finds the box, identifies the encoder and shows the status page.
    bool Open()
    {
        if (!ConnectRunning(h, sim, [&] { return h->PageVisible(PageId::TabTorvikStatus); }))
            return false;
        h->SetActivePage(PageId::TabTorvikStatus);
        page = h.window->findChild<TorvikStatusPage*>();
        return page != nullptr;
    }
    MainWindow* operator->() { return h.window.get(); }
    QString Text(const char* name) const { return h.Find<QLabel>(name)->text(); }
    Rgb Colour(const char* name) const { return PanelColour(h.Find<QWidget>(name)); }
    void Click(const char* name) { h.Find<QAbstractButton>(name)->click(); }
    void SetStatus(uint16_t extra)
    {
        SimFaults f = sim.Faults();
        f.extraStatus = extra;
        sim.SetFaults(f);
    }
    long Sent(const std::string& command) const
    {
        const std::vector<std::string> log = CommandsSent(sim);
        return std::count(log.begin(), log.end(), command);
    }
    const ChartSeries& Series(size_t i) const { return page->InstallChart().Model().Series()[i]; }
};

QString Bits(uint16_t word)
{
    return QString::fromStdString(FormatBits(16, word));
}

Rgb Expected(LampColour colour)
{
    switch (colour) {
    case LampColour::Red:
        return {255, 0, 0};
    case LampColour::LightRed:
        return kColourError;
    case LampColour::Orange:
        return {255, 170, 0};
    default:
        return kGrey;
    }
}
} // namespace

class StatusPageEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void lampsAndValuesFollowTheStatusWords()
    {
        StatusTool t;
        QVERIFY(t.Open());
        QCOMPARE(t.Colour("pnlClipADC"), (Rgb{192, 192, 192})); // silver until the first reading
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0), 3000);
        for (const TorvikStatusBit& bit : kTorvikStatusBits) {
            t.SetStatus(bit.mask);
            QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(bit.mask), 3000);
            for (const TorvikStatusBit& other : kTorvikStatusBits)
                QVERIFY2(t.Colour(other.panel) == (other.mask == bit.mask ? Expected(bit.colour) : kGrey),
                         other.panel);
        }
        t.SetStatus(0x4001);
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0x4001), 3000);
        QCOMPARE(t.Colour("pnlClipADC"), (Rgb{255, 0, 0}));
        QCOMPARE(t.Colour("pnlSkokPozicije"), (Rgb{255, 0, 0}));

        // The values: warming up from 24 C, the healthy signal level, 10 rpm.
        const int temperature = t.Text("pnlTorviktemp").toInt();
        QVERIFY2(temperature >= 23 && temperature <= 34, qPrintable(t.Text("pnlTorviktemp")));
        const int level = t.Text("pnlTorviksignalLvl").toInt();
        QVERIFY2(level > 1500 && level < 3200, qPrintable(t.Text("pnlTorviksignalLvl")));
        QCOMPARE(t.Text("pnlTorvikvelocity"), QString("10"));
        QVERIFY2(t.Text("lblTorvikairGap").contains(QRegularExpression("^Air gap: \\d{3} \u00b5m \\(\u00b120 \u00b5m\\)$")),
                 qPrintable(t.Text("lblTorvikairGap")));

        // The status log: one line per set bit with a log line, on every tick.
        t.Click("cbLogErrorsTorvikStatus");
        QVERIFY(t->LogList()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(t->LogList()->toPlainText().count("E: Clipping\nE: Acceleration error") >= 2, 3000);
        t.Click("cbLogErrorsTorvikStatus");
        QVERIFY(!t->LogList()->isVisible());
    }

    void persistentStatusIsShownAndClearedByItsCommand()
    {
        StatusTool t;
        QVERIFY(t.Open());
        QVERIFY(t.h.Find<QCheckBox>("cbTorvikShowPersistentStatus")->isEnabled());
        QVERIFY(!t.h.Find<QPushButton>("btnTorvikClearPersistentStatus")->isEnabled());
        t.SetStatus(0x0018);
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0x0018), 3000);
        t.SetStatus(0);
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0), 3000);

        // The latched word keeps what the encoder raised.
        t.sim.ClearCommandLog();
        t.Click("cbTorvikShowPersistentStatus");
        QVERIFY(t.h.Find<QPushButton>("btnTorvikClearPersistentStatus")->isEnabled());
        QVERIFY(t.sim.WaitForCommand("Ws000:064", 2000)); // bank 0, where it lies
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0x0018), 3000);
        QCOMPARE(t.Colour("pnlTemperaturaAsic"), (Rgb{255, 170, 0}));
        QVERIFY(t.sim.WaitForCommand("R02:044", 2000));

        t.Click("btnTorvikClearPersistentStatus");
        QVERIFY(t.sim.WaitForCommand("Ws179:072", 2000)); // the command key to KEY
        QVERIFY(t.sim.WaitForCommand("Ws098:073", 2000)); // 0x62 to CMD
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0), 3000);
        QCOMPARE(t.Colour("pnlTemperaturaAsic"), kGrey);

        // Live again: the new bits show at once.
        t.Click("cbTorvikShowPersistentStatus");
        t.SetStatus(0x0002);
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("pnlTorvikstatus"), Bits(0x0002), 3000);
    }

    void installChartGainsPointsWhileTheShaftTurns()
    {
        StatusTool t;
        QVERIFY(t.Open());
        t.sim.SetShaftSpeed(0);
        t.sim.ClearCommandLog();
        // A tick has seen the shaft stand.
        QTRY_VERIFY_WITH_TIMEOUT(t.Sent("4") >= 2, 2000);
        t.Click("cbTinstallDraw");
        QTest::qWait(300);
        QCOMPARE(t.Series(0).Count(), size_t{0}); // a still shaft draws nothing
        QCOMPARE(t.Series(2).Count(), size_t{2}); // the limit lines
        QCOMPARE(t.Series(4).Count(), size_t{2});
        const ChartModel& chart = t.page->InstallChart().Model();
        QCOMPARE(chart.left.max, static_cast<double>(t.Series(4).Points().front().y) + 50);

        t.sim.SetShaftSpeed(30);
        QTRY_VERIFY_WITH_TIMEOUT(t.Series(0).Count() >= 20, 5000);
        float low = 1e9f, high = -1e9f;
        for (const ChartPoint& p : t.Series(0).Points()) {
            QVERIFY(p.x >= 0 && p.x <= 360);
            low = std::min(low, p.y);
            high = std::max(high, p.y);
        }
        // The ring's eccentricity swings the gap between the limit lines.
        QVERIFY2(high - low > 1 && low > t.Series(2).Points().front().y && high < t.Series(4).Points().front().y,
                 qPrintable(QString("%1..%2").arg(low).arg(high)));

        // Copy: the statistics of every point go to the clipboard.
        t.Click("btnTCopyClipboard");
        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY2(copied.startsWith("Serial number: " + QString::fromStdString(t->GetLink().EncoderSignature.Zolvan_Serial) +
                                   "\r\nMin: "),
                 qPrintable(copied));
        QVERIFY(copied.contains(QRegularExpression("\r\nAvg: \\d+ \u00b5m\r\n$")));

        // Clear empties the chart and draws the limit lines again; with
        // drawing off Copy has nothing to copy and says so.
        t.Click("cbTinstallDraw");
        t.Click("btnTinstallClear");
        QCOMPARE(t.Series(0).Count(), size_t{0});
        QCOMPARE(t.Series(2).Count(), size_t{2});
        QGuiApplication::clipboard()->setText("kept");
        t.h.dialogs.Clear();
        t.Click("btnTCopyClipboard");
        QCOMPARE(t.h.dialogs.Messages(), (std::vector<std::string>{"The install chart has no points to copy."}));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
    }

    void doubleClickSavesTheChartInTheChosenFormat()
    {
        StatusTool t;
        QVERIFY(t.Open());
        QTemporaryDir dir;
        auto* chart = t.h.Find<ChartView>("chartTinstall");
        auto save = [&](const QString& name, int filter) {
            t.h.dialogs.saveAnswers.push_back(FileChoice{dir.filePath(name).toStdString(), filter});
            QTest::mouseDClick(chart, Qt::LeftButton);
        };
        save("graph", 2);
        QVERIFY(QFile::exists(dir.filePath("graph.bmp")));
        save("graph.PNG", 2);
        QFile png(dir.filePath("graph.PNG"));
        QVERIFY(png.open(QIODevice::ReadOnly));
        QVERIFY(png.read(4) == "\x89PNG");
        save("graph", 5);
        QVERIFY(QFile::exists(dir.filePath("graph.svg")));
        QVERIFY(t.h.dialogs.Messages().empty());

        // The dialog proposes the last name without its folder.
        t.h.dialogs.Clear();
        save("missing/graph", 4);
        QCOMPARE(t.h.dialogs.Messages(), (std::vector<std::string>{kImageSaveFailed}));
        save("missing/graph.png", 1); // a failed PNG says so twice
        QCOMPARE(t.h.dialogs.Messages(), (std::vector<std::string>{kImageSaveFailed, kPngSaveFailed, kImageSaveFailed}));
    }

    void pageFitsWithEveryTabShown()
    {
        StatusTool t;
        QVERIFY(t.Open());
        t->FullServiceGesture();
        QCoreApplication::processEvents();
        // The widest texts the changing labels take.
        QTRY_VERIFY_WITH_TIMEOUT(!t.Text("lblTorvikSerial").isEmpty() && !t.Text("pnlTorviktemp").isEmpty(), 3000);
        t->SetLoopTimerActive(false);
        QCoreApplication::processEvents();
        t.h.Find<QLabel>("pnlTorvikstatus")->setText("1111111111111111");
        t.h.Find<QLabel>("pnlTorviktemp")->setText("-32768");
        t.h.Find<QLabel>("pnlTorviksignalLvl")->setText("65535");
        t.h.Find<QLabel>("pnlTorvikvelocity")->setText("-3.277E4");
        t.h.Find<QLabel>("lblTorvikairGap")->setText(QString::fromUtf8(AirGapText(-12345.6L).c_str()));
        QStringList faults;
        QWidget* content = t.h.Find<QWidget>("TorvikStatusContent");
        FindCutTexts(*content, faults);
        FindCutButtons(*content, faults);
        FindOverlaps(*content, faults);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        QVERIFY(t.h.Find<ChartView>("chartTinstall")->height() >= 100);
    }
};

QTEST_MAIN(StatusPageEndToEndTest)
#include "test_e2e_status.moc"
