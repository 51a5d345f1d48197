// The Direct registers, EDS and Encoder Position pages driven through their
// controls against the simulated box, with the monitor cycle held still.

#include "LayoutChecks.h"
#include "WindowHarness.h"

#include "shell/Colours.h"
#include "shell/PageControl.h"
#include "monitor/ui/PositionPage.h"
#include "shell/Locale.h"
#include "sim/Simulator.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {
Rgb Colour(const QWidget* w)
{
    return FromQColor(w->palette().color(QPalette::Window));
}

// A window with every page, connected to a simulated box; the monitor
// timer is off so that only the actions under test talk to the box.
struct Rig {
    Simulator sim;
    WindowHarness h;
    explicit Rig(const SimOptions& options) : sim(options) { h->show(); }
    bool Connect()
    {
        if (!sim.Start())
            return false;
        h.ports = {sim.PortPath()};
        if (!h->initTimerTimer())
            return false;
        h->SetLoopTimerActive(false);
        sim.ClearCommandLog();
        return true;
    }
    MainWindow* operator->() { return h.window.get(); }
    template <class T>
    T* Find(const char* name) const
    {
        return h.Find<T>(name);
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    QString Text(const char* field) const
    {
        if (auto* edit = Find<QLineEdit>(field))
            return edit->text();
        return Find<QLabel>(field)->text();
    }
    bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }
};

SimOptions Family(SimFamily family, const std::string& firmware = {})
{
    SimOptions o;
    o.family = family;
    o.firmware = firmware;
    return o;
}
} // namespace

class IdentificationPagesTest : public QObject {
    Q_OBJECT

private slots:
    void torvikReadFillsThePageAndDecides()
    {
        Rig r(Family(SimFamily::Torvik, "2.5.8.9600"));
        QVERIFY(r.Connect());
        QCOMPARE(r.Text("lbl0x42"), QString("?"));
        r.Click("btnReadDirect");

        QCOMPARE(CommandsSent(r.sim), (std::vector<std::string>{"R64:064", "R64:064", "Ws000:064", "R08:047", "Ws001:064",
                                                       "R16:000"}));
        QCOMPARE(r.Text("pnl0x41"), QString("0x10"));
        QCOMPARE(r.Text("lbl0x42"), QString("Profile BP3"));
        QCOMPARE(r.Text("pnl0x7E"), QString("0x4B58 = \"XK\""));
        QCOMPARE(r.Text("lblManufIDTxt"), QString("Zolvan"));
        QCOMPARE(r.Text("pnl0x64"), QString("TV657-18B16-000"));
        QCOMPARE(r.Text("pnlEncoderFWrev"), QString("2.5.8.9600"));
        auto* grid = r.Find<QTableWidget>("stgr0x4A");
        QCOMPARE(grid->rowCount(), 18);
        QCOMPARE(grid->item(17, 0)->text(), QString("0x5B"));
        QCOMPARE(VisibleTabs(*r.h), (std::vector<int>{0, 1, 2, 3, 6, 7, 9}));
        QCOMPARE(r->Identity().DruzinaEnkoderja, EncoderFamily::Torvik);
        QCOMPARE(r.Find<QSpinBox>("seNominator")->value(), 360);
        QCOMPARE(r.Text("edUnit"), QString("deg"));
        QVERIFY(r.Text("lblTorvikSerial").startsWith("Serial BiSS: 0x0012D687\r\nSerial decoded: "));
        QCOMPARE(r.Text("lblQuenraSerial"), r.Text("lblTorvikSerial"));
        // Build 9600: write protect no longer offered, the rest is.
        QVERIFY(!r.Enabled("edTC0_2E"));
        QVERIFY(!r.Find<QWidget>("lblTC0_2E")->isVisibleTo(r->PageWidget(PageId::TabTorvikConfig)));
        for (const char* name : {"edTC0_18", "lblTC0_18", "edTC0_19", "edTC0_21", "cbTorvikShowPersistentStatus",
                                 "pnlEncoderExtSerial"})
            QVERIFY2(r.Enabled(name), name);
        QVERIFY(r.h.dialogs.Messages().empty());
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
        QCOMPARE(Colour(r.Find<QWidget>("lblStatus")), kColourOk);
    }

    void oldTorvikFirmwareIsReadAtTheAlternateAddressAndWarned()
    {
        Rig r(Family(SimFamily::Torvik, "1.2.7.1600"));
        QVERIFY(r.Connect());
        r.Click("btnReadDirect");
        const std::vector<std::string> log = CommandsSent(r.sim);
        QVERIFY(std::find(log.begin(), log.end(), "R08:051") != log.end());
        QCOMPARE(r.Text("pnlEncoderFWrev"), QString("1.2.7.1600"));
        QCOMPARE(r.h.dialogs.Messages(),
                 (std::vector<std::string>{
                     "FW version of the encoder (1.2.7.1600) is not compatible with this software version."}));
        QVERIFY(r.Enabled("edTC0_2E"));
        QVERIFY(r.Find<QWidget>("lblTC0_2E")->isVisibleTo(r->PageWidget(PageId::TabTorvikConfig)));
        for (const char* name : {"edTC0_18", "edTC0_19", "edTC0_21", "cbTorvikShowPersistentStatus",
                                 "pnlEncoderExtSerial"})
            QVERIFY2(!r.Enabled(name), name);
    }

    void otherFamiliesAndForeignEncoders()
    {
        {
            Rig r(Family(SimFamily::Quenra));
            QVERIFY(r.Connect());
            r.Click("btnReadDirect");
            QCOMPARE(VisibleTabs(*r.h), (std::vector<int>{0, 1, 2, 3, 9, 11, 12}));
            QCOMPARE(r->Identity().TipMagnetaQuenra, std::string("12"));
            QVERIFY(r.h.dialogs.Messages().empty());
        }
        {
            Rig r(Family(SimFamily::Linear));
            QVERIFY(r.Connect());
            r.Click("btnReadDirect");
            QCOMPARE(VisibleTabs(*r.h), (std::vector<int>{0, 1, 2, 3, 6, 7}));
            QCOMPARE(r.Find<QSpinBox>("seNominator")->value(), 1);
            QCOMPARE(r.Find<QSpinBox>("seDenominator")->value(), 10000);
            QCOMPARE(r.Text("edUnit"), QString("mm"));
        }
        {
            Rig r(Family(SimFamily::Foreign));
            QVERIFY(r.Connect());
            r->FullServiceGesture();
            r.Click("btnReadDirect");
            QCOMPARE(CommandsSent(r.sim), (std::vector<std::string>{"R64:064"}));
            QCOMPARE(r.Text("lblManufIDTxt"), QString("unknown"));
            QCOMPARE(VisibleTabs(*r.h).size(), size_t(kPageCount)); // pages untouched
            QCOMPARE(r->Identity().DruzinaEnkoderja, EncoderFamily::Unidentified);
            QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
        }
    }

    void failedReadKeepsPagesAndStartsDiscoveryWhenThePortIsGone()
    {
        Rig r(Family(SimFamily::Torvik));
        QVERIFY(r.Connect());
        r.Click("btnReadDirect");
        r->Identity().EncoderConnected = true;
        r.sim.Unplug();
        r.Click("btnReadDirect");
        QVERIFY(r.Text("lblStatus").startsWith("Error\r\nUSB Comm Err "));
        QCOMPARE(Colour(r.Find<QWidget>("lblStatus")), kColourError);
        QVERIFY(!r->Identity().EncoderConnected);
        QCOMPARE(r.Text("pnl0x64"), QString());
        QCOMPARE(r.Text("lbl0x42"), QString("Profile BP3")); // not refilled, kept
        QCOMPARE(VisibleTabs(*r.h), (std::vector<int>{0, 1, 2, 3, 6, 7, 9}));
        QVERIFY(r->InitTimerActive());
    }

    void keyAndCommandWrites()
    {
        Rig r(Family(SimFamily::Torvik));
        QVERIFY(r.Connect());
        auto* status = r.Find<QWidget>("lblStatus");
        const Rgb before = Colour(status);
        r.Find<QLineEdit>("ed0x49")->setText("  0X1f ");
        r.Click("btn0x49wr");
        r.Find<QLineEdit>("ed0x48")->setText("179");
        r.Click("btn0x48wr");
        QCOMPARE(CommandsSent(r.sim), (std::vector<std::string>{"Ws031:073", "Ws179:072"}));
        QCOMPARE(r.Text("lblStatus"), QString("Write OK\r\n"));
        QCOMPARE(Colour(status), before);

        for (const char* bad : {"256", "0x", "seven", "-1"}) {
            r.h.dialogs.Clear();
            r.Find<QLineEdit>("ed0x49")->setText(bad);
            r.Click("btn0x49wr");
            QCOMPARE(r.h.dialogs.Messages().size(), size_t(1));
        }
        QCOMPARE(CommandsSent(r.sim).size(), size_t(2)); // nothing more was sent
    }

    void datasheetPageAndHandOver()
    {
        SimOptions o = Family(SimFamily::Torvik);
        o.faults.badProfileChecksum = true;
        Rig r(o);
        QVERIFY(r.Connect());
        r.Click("btnReadEDS"); // nothing identified yet: no traffic
        QVERIFY(CommandsSent(r.sim).empty());
        QCOMPARE(r.Text("lblEDS1"), QString("..."));

        r.Click("btnReadDirect");
        r.sim.ClearCommandLog();
        r.Click("btnReadEDS");
        QCOMPARE(CommandsSent(r.sim), (std::vector<std::string>{"Ws016:064", "R64:000", "Ws017:064", "R64:000"}));
        QVERIFY(r.Text("lblEDS1").startsWith("EDS ver: "));
        QVERIFY(r.Text("lblEDS1").contains(QString::fromUtf8(" µs\r\n")));
        QVERIFY(r.Text("lblEDS1checksum").startsWith("Checksum: "));
        QCOMPARE(Colour(r.Find<QWidget>("lblEDS1checksum")), kColourOk);
        QVERIFY(r.Text("lblEDS2").contains("Multiturn data length: 16 bits\r\n"));
        QCOMPARE(Colour(r.Find<QWidget>("lblEDS2checksum")), kColourError);
        QVERIFY(!r->GetLink().EdsProfileChecksumOk);
        // Handed over to the position page despite the checksum.
        QCOMPARE(r.Find<QSpinBox>("sePosMTlen")->value(), 16);
        QCOMPARE(r.Find<QSpinBox>("sePosSTlen")->value(), 18);
        QCOMPARE(r.Find<QSpinBox>("seDenominator")->value(), 262144);
        QCOMPARE(r->GetLink().PositionSTLength, 18);
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));

        // The report follows every page switch.
        r->SetActivePage(PageId::TabPosition);
        QCOMPARE(r.Text("lblEDSreportDataLen"),
                 QString("Total data length\r\nwritten in EDS:  36\r\nwritten in 0x43: 36\r\n"
                         "Multiturn:       16\r\nSingleturn:      18"));
    }

    void positionScaleControls()
    {
        Rig r(Family(SimFamily::Torvik));
        auto* page = r.h.window->findChild<PositionPage*>();
        QVERIFY(page);
        auto* st = r.Find<QSpinBox>("sePosSTlen");
        auto* den = r.Find<QSpinBox>("seDenominator");
        auto* nom = r.Find<QSpinBox>("seNominator");

        st->setValue(20);
        QCOMPARE(den->value(), 1048576);
        QCOMPARE(page->Units().Scale().resolution, 360.0f / 1048576.0f);
        st->setValue(32);
        QCOMPARE(den->value(), 10000000);
        QCOMPARE(page->Units().Scale().stMaxCount, int64_t{1} << 32);

        // A 0 typed into the denominator counts as 1.
        nom->setValue(7);
        QLineEdit* denText = den->findChild<QLineEdit*>();
        denText->selectAll();
        QTest::keyClicks(denText, "0");
        QCOMPARE(den->text(), QString("0"));
        QCOMPARE(page->Units().Scale().resolution, 7.0f);

        // Linear encoders keep their denominator.
        r->Identity().DruzinaEnkoderja = EncoderFamily::Linear;
        den->setValue(10000);
        st->setValue(12);
        QCOMPARE(den->value(), 10000);

        // The log switch widens the window and clears the log list.
        r->LogList()->appendPlainText("old");
        r.Find<QCheckBox>("cbLogErrorsPos")->setChecked(true);
        QCOMPARE(r->width(), MainWindow::kDesignWidth);
        QVERIFY(r->LogList()->isVisible());
        QCOMPARE(r->LogList()->toPlainText(), QString());
        r.Find<QCheckBox>("cbLogErrorsPos")->setChecked(false);
        QCOMPARE(r->width(), MainWindow::kNarrowWidth);
    }

    void captionsAndValuesFitWithoutOverlapping()
    {
        Rig r(Family(SimFamily::Torvik));
        QVERIFY(r.Connect());
        r.Click("btnReadDirect");
        r.Click("btnReadEDS");
        r->FullServiceGesture(); // every tab shown: the most rows of tabs, the least room for a page
        // The widest texts the changing labels take.
        r.Find<QLabel>("lbl0x42")->setText("Unknown Profile");
        r.Find<QLabel>("lbl0x43")->setText("SCD Length = 255");
        r.Find<QLabel>("lblPosUnit")->setText("-1,234,567.891 deg");
        r.Find<QLabel>("lblPosST")->setText("4294967295");
        QStringList faults;
        const std::pair<PageId, const char*> areas[] = {
            {PageId::TabRegDirect, "DirectRegistersContent"}, {PageId::TabEDS, "EdsContent"}, {PageId::TabPosition, "PositionContent"}};
        for (const auto& [page, area] : areas) {
            r->SetActivePage(page); // a page takes its size when shown
            QCoreApplication::processEvents();
            FindCutTexts(*r.Find<QWidget>(area), faults);
            FindOverlaps(*r.Find<QWidget>(area), faults);
        }
        FindCutTexts(*r.Find<QWidget>("pnl1"), faults);
        FindOverlaps(*r.Find<QWidget>("pnl1"), faults);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    void numberTextsTakeTheLocaleSeparatorsUntilACsvFileSwitchesToPoint()
    {
        const NumberSeparators before = CurrentNumberSeparators();
        const NumberSeparators german = SeparatorsOf(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(german.decimal, std::string(","));
        QCOMPARE(german.thousands, std::string("."));
        QCOMPARE(SeparatorsOf(QLocale(QLocale::English, QLocale::UnitedStates)).decimal, std::string("."));
        SetNumberSeparators(german);

        Rig r(Family(SimFamily::Torvik));
        QVERIFY(r.Connect());
        r.Click("btnReadDirect");
        r.Click("btnReadEDS");
        QVERIFY2(r.Text("lblEDS1").contains(QRegularExpression("Min Timeout: \\d+,\\d\\d ")), qPrintable(r.Text("lblEDS1")));
        r->SetLoopTimerActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(r.Text("lblPosUnit").contains(QRegularExpression("^-?[\\d.]+,\\d{3} deg$")), 3000);

        // After a CSV file the decimal separator is "." for the rest of the run.
        UsePointAsDecimalSeparator();
        QCOMPARE(CurrentNumberSeparators().decimal, std::string("."));
        QCOMPARE(CurrentNumberSeparators().thousands, std::string(","));
        QCOMPARE(FormatNumberText(1234.5, 8, 3), std::string("1,234.500"));
        SetNumberSeparators(before);
    }

    void fastTicksRepaintAtMostEveryFewMillisecondsInOrder()
    {
        Rig r(Family(SimFamily::Torvik));
        auto* page = r.h.window->findChild<PositionPage*>();
        TEncoderPosition word;
        PositionTexts texts;
        texts.singleturn = "1";
        page->ShowPosition(word, texts);
        QCOMPARE(r.Text("lblPosST"), QString("1"));
        texts.singleturn = "2";
        page->ShowPosition(word, texts);
        texts.singleturn = "3";
        page->ShowPosition(word, texts); // only the latest is shown, a little later
        QCOMPARE(r.Text("lblPosST"), QString("1"));
        QTRY_COMPARE_WITH_TIMEOUT(r.Text("lblPosST"), QString("3"), 200);

        // An error ending right after a waiting display is not overwritten by it.
        texts.singleturn = "4";
        page->ShowPosition(word, texts);
        page->ShowError("Error: lost");
        QTest::qWait(2 * PositionPage::kMinRepaintMs);
        QCOMPARE(r.Text("lblPosST"), QString("Error: lost"));
    }
};

QTEST_MAIN(IdentificationPagesTest)
#include "test_ui_identification.moc"
