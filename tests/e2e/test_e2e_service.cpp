// The maker's service pages against the simulated encoder, driven through
// their controls with scripted dialogs: "Torvik Config" and "Quenra Config"
// (read, write and save, write protection, new multiturn counter, zero
// preset, factory reset), "Calibration" (start, wait, outcome and report)
// and "Quenra Status", checked against the commands the box received, the
// encoder's memory, the messages and the status line; the layout of the
// four pages with every tab shown.

#include "LayoutChecks.h"
#include "WindowHarness.h"

#include "encoder/EncoderCommands.h"
#include "encoder/QuenraStatus.h"
#include "shell/Colours.h"
#include "sim/Simulator.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <chrono>

namespace {
using Log = std::vector<std::string>;

std::string Ws(unsigned value, unsigned address)
{
    return "Ws" + PadNumber(value, 3) + ":" + PadNumber(address, 3);
}

// The writes of a 32-bit value, most significant byte first.
Log Writes32(uint32_t value, unsigned address)
{
    Log out;
    for (unsigned i = 0; i < 4; ++i)
        out.push_back(Ws((value >> (24 - 8 * i)) & 0xFF, address + i));
    return out;
}

Log operator+(Log a, const Log& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Log kSave{Ws(0xB3, 0x48), Ws(0x63, 0x49)};
const Log kNewMultiturn{Ws(0xB3, 0x48), Ws(0x6D, 0x49)};
const Log kFactoryReset{Ws(0xB3, 0x48), Ws(0x72, 0x49), "F", "N"};
const Log kTorvikRead{"Ws000:064", "R04:000", "R04:004", "R04:008", "R04:012", "R04:016", "R01:024",
                      "R02:025",   "R01:033", "R01:046", "Ws000:064", "R64:000"};
const Log kQuenraRead{"Ws000:064", "R04:000", "Ws000:064", "R64:000"};
const std::string kDegreeSign = "\xC2\xB0";

SimOptions Options(SimFamily family, const std::string& firmware = {}, double speed = 0)
{
    SimOptions o;
    o.family = family;
    o.firmware = firmware;
    o.speed = speed;
    return o;
}

// A window with every page against a simulated box, the encoder identified
// and its datasheet read. The monitor stays still unless a test runs it, so
// that the log holds only what the page under test sends.
struct Rig {
    Simulator sim;
    WindowHarness h;

    explicit Rig(const SimOptions& options) : sim(options) { h->show(); }
    bool Open()
    {
        if (!ConnectIdentified(h, sim))
            return false;
        h->Identity().EncoderConnected = true;
        return true;
    }
    MainWindow* operator->() { return h.window.get(); }
    template <class T>
    T* Find(const char* name) const
    {
        return h.Find<T>(name);
    }
    // Shows a page (which may read the configuration) and takes the log.
    Log Show(PageId page)
    {
        h->SetActivePage(page);
        return Take();
    }
    Log Take()
    {
        Log log = CommandsSent(sim);
        sim.ClearCommandLog();
        return log;
    }
    void Click(const char* button) { Find<QPushButton>(button)->click(); }
    QString Text(const char* name) const
    {
        if (auto* edit = Find<QLineEdit>(name))
            return edit->text();
        return Find<QLabel>(name)->text();
    }
    std::string Status() const { return Text("lblStatus").toStdString(); }
    void Type(const char* field, const QString& text)
    {
        auto* edit = Find<QLineEdit>(field);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
    }
    bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }
    Rgb Colour(const char* name) const { return PanelColour(Find<QWidget>(name)); }
    std::vector<std::string> Messages() const { return h.dialogs.Messages(); }
    void SetFaults(const std::function<void(SimFaults&)>& change)
    {
        SimFaults f = sim.Faults();
        change(f);
        sim.SetFaults(f);
    }
    uint32_t Stored32(uint8_t address) const
    {
        const auto bank = sim.StoredBankImage(0);
        return BigEndianValue(&bank[address], 4);
    }
};

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.c_str());
}
} // namespace

class ServiceEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void configurationReadFillsThePagesByFirmware()
    {
        Rig r(Options(SimFamily::Torvik, "2.5.8.9600"));
        QVERIFY(r.Open());
        QCOMPARE(r.Show(PageId::TabTorvikConfig), kTorvikRead);
        const std::pair<const char*, const char*> torvik[] = {
            {"edTC0_00", "0"}, {"edTC0_04", "4"}, {"edTC0_08", "1000"}, {"edTC0_0C", "8"}, {"edTC0_10", "500"},
            {"edTC0_18", "32"}, {"edTC0_2E", "0xC6"}, {"lblTC0_2E", "Write allowed"},
            {"edTC0_19", "360"}, {"edTC0_21", "10"}, {"edQC0_2E", "0xC6"}, {"lblQC0_2E", "Write allowed"}};
        for (const auto& [field, text] : torvik)
            QVERIFY2(r.Text(field) == text, field);
        QCOMPARE(r.Text("lblTC0_18"), Utf8("\xC2\xB1" "45.0 deg"));
        const ChecksumCheck check = ConfigBankChecksum(r.sim.BankImage(0));
        QCOMPARE(r.Text("lblCkecksumConfig"), QString::fromStdString("Checksum: " + check.Text()));
        QCOMPARE(r.Colour("lblCkecksumConfig"), kColourOk);
        QCOMPARE(r.Status(), std::string("Comm OK\r\n"));
        // From build 9573 on the write-protect field is disabled again.
        QVERIFY(!r.Enabled("edTC0_2E") && r.Enabled("edTC0_18") && r.Enabled("edTC0_21"));

        // The calibration page reads the offset but not the filters.
        QCOMPARE(r.Show(PageId::tabTorvikCalibration),
                 (Log{"Ws000:064", "R04:000", "R01:024", "R02:025", "R01:033", "R01:046", "Ws000:064", "R64:000"}));
        QCOMPARE(r.Text("edTC0_00"), QString("0"));
        QCOMPARE(r.Text("edTC0_04"), QString());

        // A Quenra encoder: the offset and the checksum only.
        Rig q(Options(SimFamily::Quenra));
        QVERIFY(q.Open());
        QCOMPARE(q.Show(PageId::tabQuenraConfig), kQuenraRead);
        QCOMPARE(q.Text("edQC0_00"), QString("0"));
        QCOMPARE(q.Text("edQC0_2E"), QString());
        QCOMPARE(q.Text("lblQC0_2E"), QString("..."));
        q.Show(PageId::tabTorvikCalibration);
        QVERIFY(!q.Enabled("edTC0_19") && !q.Enabled("edTC0_21"));

        // Without an encoder nothing is read.
        q->Identity().EncoderConnected = false;
        QVERIFY(q.Show(PageId::tabQuenraConfig).empty());
    }

    void writeSendsTheFieldsThenSaves()
    {
        Rig r(Options(SimFamily::Torvik, "2.5.8.9600"));
        QVERIFY(r.Open());
        r.Show(PageId::TabTorvikConfig);
        r.Type("edTC0_04", "4294967280");
        r.Type("edTC0_08", "");
        r.Type("edTC0_18", "300");
        r.Click("btnTorvikconfigWrite");
        // Big-endian, ascending, the empty field skipped, the arc's low byte, then the save.
        QCOMPARE(r.Take(), Log{"Ws000:064"} + Writes32(0, 0) + Writes32(0xFFFFFFF0, 4) + Writes32(8, 0x0C) +
                               Writes32(500, 0x10) + Log{Ws(44, 0x18)} + kSave);
        QCOMPARE(r.Status(), std::string("Comm OK\r\n"));
        QCOMPARE(r.Stored32(4), 0xFFFFFFF0u);
        QVERIFY(r.Messages().empty());

        // The value read back as it stands writes back unchanged.
        r.Click("btnTorvikconfigRead");
        QCOMPARE(r.Text("edTC0_04"), QString("4294967280"));
        r.Take();
        r.Click("btnTorvikconfigWrite");
        const Log written = r.Take();
        QCOMPARE(Log(written.begin() + 5, written.begin() + 9), Writes32(0xFFFFFFF0, 4));
        QCOMPARE(r.Stored32(4), 0xFFFFFFF0u);

        // A text that is not a number ends the write with its message, without the save.
        r.Type("edTC0_0C", "8x");
        r.Click("btnTorvikconfigWrite");
        QCOMPARE(r.Messages(), std::vector<std::string>{"'8x' is not a valid integer value"});
        QCOMPARE(r.Take(), Log{"Ws000:064"} + Writes32(0, 0) + Writes32(0xFFFFFFF0, 4) + Writes32(1000, 8));

        // An offset outside the singleturn range: nothing is sent.
        r.h.dialogs.Clear();
        r.Type("edTC0_0C", "8");
        r.Type("edTC0_00", QString::number(1 << r->GetLink().PositionSTLength));
        r.Click("btnTorvikconfigWrite");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Zero position is out of range"});
        QVERIFY(r.Take().empty());
    }

    void writeProtectionWarnsAndAsksBeforeTheLock()
    {
        // A Quenra encoder knows write protection, but its field is never read:
        // the warning comes, the write goes on without asking.
        Rig q(Options(SimFamily::Quenra));
        QVERIFY(q.Open());
        q.Show(PageId::tabQuenraConfig);
        q.Type("edQC0_00", "17");
        q.Click("btnQuenraConfigWrite");
        QCOMPARE(q.Messages(), std::vector<std::string>{"Encoder is write protected."});
        QCOMPARE(q.Take(), Log{"Ws000:064"} + Writes32(17, 0) + kSave);
        QCOMPARE(q.Stored32(0), 17u);

        // A locked Torvik encoder whose firmware writes the register: warned and asked.
        SimOptions options = Options(SimFamily::Torvik, "2.5.8.1600");
        options.writeProtected = true;
        Rig t(options);
        QVERIFY(t.Open());
        t.Show(PageId::TabTorvikConfig);
        QCOMPARE(t.Text("edTC0_2E"), QString("0x5A"));
        QCOMPARE(t.Text("lblTC0_2E"), QString("Read Only"));
        const std::string statusBefore = t.Status();
        t.h.dialogs.confirmAnswers = {false};
        t.Click("btnTorvikconfigWrite");
        QCOMPARE(t.Messages(), std::vector<std::string>{"Encoder is write protected."});
        QCOMPARE(t.h.dialogs.Log().back().text, std::string(kLockQuestion));
        QVERIFY(t.Take().empty());
        QCOMPARE(t.Status(), statusBefore);
        // Yes: the writes go out, and the locked encoder refuses them.
        t.h.dialogs.confirmAnswers = {true};
        t.Click("btnTorvikconfigWrite");
        QCOMPARE(t.Take(), (Log{"Ws000:064", "Ws000:000"}));
        QVERIFY(t.Status().rfind("Error\r\nNon-writable address", 0) == 0);
        QVERIFY(!t->Identity().EncoderConnected);

        // The service gesture makes the field editable; typing a lock asks first.
        Rig w(Options(SimFamily::Torvik, "2.5.8.9000"));
        QVERIFY(w.Open());
        w.Show(PageId::TabTorvikConfig);
        QVERIFY(w.Find<QLineEdit>("edTC0_2E")->isReadOnly());
        w->ServiceGesture();
        QVERIFY(!w.Find<QLineEdit>("edTC0_2E")->isReadOnly());
        w.Type("edTC0_2E", "0x5");
        w.Click("btnTorvikconfigWrite");
        QCOMPARE(w.h.dialogs.Log().back().text, std::string(kLockQuestion));
        QVERIFY(w.Take().empty());
        // Other pages' actions warn from the edited field (until a read refreshes it).
        w->Identity().EncoderConnected = false;
        w.Show(PageId::tabTorvikCalibration);
        w.h.dialogs.Clear();
        w.Type("edTC0_19", "abc");
        w.Click("btnTC_StartCal");
        QCOMPARE(w.Messages(),
                 (std::vector<std::string>{"Encoder is write protected.", "'abc' is not a valid integer value"}));
    }

    void newMultiturnAndZeroPreset()
    {
        Rig r(Options(SimFamily::Torvik));
        QVERIFY(r.Open());
        r.Show(PageId::TabTorvikConfig);
        r.Type("edTC_multiturn", "7");
        r.Click("btnTC_NewMultiturn");
        QCOMPARE(r.Take(), kTorvikRead + Log{"Ws000:064"} + Writes32(7, 0x14) + kNewMultiturn);
        QCOMPARE(r.sim.ReportedPosition().multiturn, 7);
        // An empty counter is not a number: refreshed, then the message.
        r.Type("edTC_multiturn", "");
        r.Click("btnTC_NewMultiturn");
        QCOMPARE(r.Messages(), std::vector<std::string>{"'' is not a valid integer value"});
        QCOMPARE(r.Take(), kTorvikRead + Log{"Ws000:064"});

        // Zero here: the offset takes the current reading, the counter 0.
        r.h.dialogs.Clear();
        r.sim.SetShaftPosition(3, 1000);
        r.Click("btnTorvikSetZero");
        QVERIFY(r.Messages().empty());
        QCOMPARE(r.Text("lblTorvikZeroStatus"),
                 QString("Current zero pos: 0\r\nEncoder pos: 1000\r\nNew zero pos: 1000\r\nMultiturn preset: 0"));
        QCOMPARE(r.Text("edTC_multiturn"), QString("0"));
        QCOMPARE(r.Text("edTC0_00"), QString("1000"));
        QCOMPARE(r.Stored32(0), 1000u);
        const SimPosition now = r.sim.ReportedPosition();
        QCOMPARE(now.singleturn, 0u);
        QCOMPARE(now.multiturn, 0);

        // Not with a bad position word: no traffic after the position read.
        r.SetFaults([](SimFaults& f) { f.crcError = true; });
        r.Take();
        r.Click("btnTorvikSetZero");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Unable to set zero position. Errors encountered: CRC, "});
        QCOMPARE(r.Take().back(), std::string("4"));
        QCOMPARE(r.Text("lblTorvikZeroStatus"), QString("..."));

        // The Quenra page presets its own counter registers.
        Rig q(Options(SimFamily::Quenra));
        QVERIFY(q.Open());
        q.Show(PageId::tabQuenraConfig);
        q.Type("edQC_multiturn", "-2");
        q.Click("btnQC_NewMultiturn");
        QCOMPARE(q.Take(), kQuenraRead + Log{"Ws000:064"} + Writes32(0xFFFFFFFE, 0x04) + kNewMultiturn);
        // The multiturn preset warns about write protection for Torvik encoders only.
        QCOMPARE(q.Messages(), std::vector<std::string>{});
    }

    void factoryResetOnlyAfterYesWithItsWaitsAndPowerCycle()
    {
        Rig r(Options(SimFamily::Torvik));
        QVERIFY(r.Open());
        r.Show(PageId::TabTorvikConfig);
        r.Type("edTC0_08", "99");
        r.Click("btnTorvikconfigWrite");
        QCOMPARE(r.Stored32(8), 99u);
        r.Take();

        r.h.dialogs.confirmAnswers = {false};
        r.Click("btnTC_ResetToFactory");
        QCOMPARE(r.h.dialogs.Log().back().text, std::string(kFactoryResetQuestion));
        QVERIFY(r.Take().empty());

        r.h.dialogs.confirmAnswers = {true};
        r.Click("btnTC_ResetToFactory");
        // Monitor ticks ("4") may run only in the 500 ms the window is served.
        std::vector<SimLogEntry> log;
        Log commands, beforeOff;
        for (const SimLogEntry& e : r.sim.CommandLog()) {
            if (e.command != "4") {
                log.push_back(e);
                commands.push_back(e.command);
            } else if (commands.size() != kTorvikRead.size() + 2) {
                beforeOff.push_back(std::to_string(commands.size()));
            }
        }
        QCOMPARE(commands, kTorvikRead + kFactoryReset + kTorvikRead);
        QCOMPARE(beforeOff, Log{});
        auto at = [&](size_t i) { return log[i].time; };
        const size_t command = kTorvikRead.size() + 1;
        auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
        QVERIFY(ms(at(command + 1) - at(command)) >= 500);     // served wait, then off
        QVERIFY(ms(at(command + 2) - at(command + 1)) >= 1200); // off for 1200 ms
        QVERIFY(ms(at(command + 3) - at(command + 2)) >= 200);  // on, 200 ms before the read
        QCOMPARE(r.Messages(), std::vector<std::string>{"Reset to factory settings is complete."});
        QCOMPARE(r.Text("edTC0_08"), QString("1000"));
        QCOMPARE(r.Stored32(8), 1000u);
        QCOMPARE(r.Status(), std::string("Comm OK\r\n"));
        QVERIFY(r.sim.EncoderPowered());
    }

    void selfCalibrationSucceedsOrTellsWhyNot()
    {
        Rig r(Options(SimFamily::Torvik, "2.5.8.9600", 600));
        QVERIFY(r.Open());
        r.Show(PageId::tabTorvikCalibration);
        QCOMPARE(r.Text("edTC0_19"), QString("360"));
        r.Type("edTC0_21", "20");
        // While the encoder calibrates no page can be chosen and the monitor is still.
        bool lockedDuringWait = false;
        QTimer::singleShot(30, [&] {
            lockedDuringWait = !r->Pages()->isEnabled() && !r.Enabled("btnTC_StartCal") && !r->LoopTimerActive();
        });
        r.Click("btnTC_StartCal");
        QVERIFY(lockedDuringWait);
        QVERIFY(r->Pages()->isEnabled() && r.Enabled("btnTC_StartCal") && r->LoopTimerActive());
        const Log log = r.Take();
        QCOMPARE(Log(log.begin(), log.begin() + 8), (Log{"Ws000:064", "Ws001:025", "Ws104:026", "Ws000:064",
                                                        "Ws020:033", "R01:082", Ws(0xB3, 0x48), Ws(0x41, 0x49)}));
        QVERIFY(std::all_of(log.begin() + 8, log.end(), [](const std::string& c) { return c == "R01:082"; }));
        QCOMPARE(r.Text("pnlTselfCalTimeout"), QString("Timeout - 21 seconds expired"));
        auto* bar = r.Find<QProgressBar>("progBarCal");
        QCOMPARE(bar->maximum(), 200);
        QVERIFY(r.Status().rfind("Comm OK\r\n", 0) == 0);
        QTRY_COMPARE(r.Colour("pnlTselfCalSucessfull"), kColourLime);
        QCOMPARE(r.Colour("pnlTselfCalFinished"), kColourGreen);
        QCOMPARE(r.Colour("pnlTselfCalTimeout"), kColourGrey);
        QCOMPARE(r.Colour("pnlTSelfCalUserErrMap"), kColourGrey);
        QCOMPARE(bar->value(), 200);
        QTRY_VERIFY(r.Text("lblTselfCalResult").startsWith("Counter: 1\r\nRing eccentricity: 18 "));
        QCOMPARE(r.sim.CalibrationsRun(), 1u);

        // The shaft stands still: the encoder gives up at its time-out.
        r->SetLoopTimerActive(false);
        r.sim.SetShaftSpeed(0);
        r.Type("edTC0_21", "1");
        r.Click("btnTC_StartCal");
        QCOMPARE(r.Text("pnlTselfCalTimeout"), QString("Timeout - 1 seconds expired"));
        QTRY_COMPARE(r.Colour("pnlTselfCalTimeout"), kColourRed);
        QCOMPARE(r.Colour("pnlTselfCalFinished"), kColourGreen);
        QCOMPARE(r.Colour("pnlTselfCalSucessfull"), kColourGrey);
        QCOMPARE(bar->value(), 0);
        // An arc the encoder does not take.
        r->SetLoopTimerActive(false);
        r.Type("edTC0_19", "100");
        r.Click("btnTC_StartCal");
        QTRY_COMPARE(r.Colour("pnlTselfCalParamOutOfRange"), kColourRed);
        QCOMPARE(r.Colour("pnlTselfCalTimeout"), kColourGrey);

        // A negative time-out is refused before anything is written.
        r->SetLoopTimerActive(false);
        r.Take();
        r.h.dialogs.Clear();
        r.Type("edTC0_21", "-3");
        r.Click("btnTC_StartCal");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Calibration Timeout (sec) must not be negative."});
        QVERIFY(r.Take().empty());
        QCOMPARE(r.sim.CalibrationsRun(), 3u);
    }

    void calibrationReadoutShowsSetRegisters()
    {
        Rig r(Options(SimFamily::Torvik, "2.5.8.9600"));
        QVERIFY(r.Open());
        // Results as a calibration leaves them, and a user's error map in use.
        Link& link = r->GetLink();
        QVERIFY(SelectBank(link, 0) && WriteBigEndian(link, 0x1B, 20, 2) && WriteBigEndian(link, 0x1D, 137, 2) &&
                WriteBigEndian(link, 0x1F, static_cast<uint16_t>(-12), 2));
        QVERIFY(SelectBank(link, 8) && link.WriteRegister(0, 1) && IssueEncoderCommand(link, CmdSaveToFlash).ok);
        r->SetActivePage(PageId::tabTorvikCalibration);
        r->SetLoopTimerActive(true);
        QTRY_COMPARE(r.Text("lblTselfCalResult"),
                     Utf8("Counter: 0\r\nRing eccentricity: 20 \xC2\xB5m\r\nEccentricity angle: 137 deg\r\n"
                          "Readhead radial shift: -12 \xC2\xB5m\r\nEst. accuracy before calib.: \xC2\xB1" "0.064" +
                          kDegreeSign + "\r\nEst. accuracy after calib.: \xC2\xB1" "0.011" + kDegreeSign));
        QTRY_COMPARE(r.Colour("pnlTSelfCalUserErrMap"), kColourLime);
        QCOMPARE(r.Colour("pnlTselfCalFinished"), kColourGrey);
        QCOMPARE(r.Colour("pnlTselfCalSucessfull"), kColourGrey);
    }

    void calibrationReadoutSelectsTheConfigurationBank()
    {
        Rig r(Options(SimFamily::Torvik, "2.5.8.9600"));
        QVERIFY(r.Open());
        Link& link = r->GetLink();
        QVERIFY(SelectBank(link, 0) && WriteBigEndian(link, 0x1B, 18, 2));
        r->SetActivePage(PageId::tabTorvikCalibration);
        // A new identification and datasheet read leave another bank selected.
        r->GetSession().Identify();
        r->GetSession().ReadDatasheet();
        QVERIFY(link.ReadRegisters(0x40, 1) && link.RxBank[0] != 0);
        r->SetLoopTimerActive(true);
        QTRY_VERIFY(r.Text("lblTselfCalResult").startsWith(Utf8("Counter: 0\r\nRing eccentricity: 18 \xC2\xB5m\r\n")));
        QVERIFY2(r.Text("lblTselfCalResult").endsWith(Utf8("after calib.: \xC2\xB1" "0.010") + Utf8(kDegreeSign)),
                 qPrintable(r.Text("lblTselfCalResult")));
    }

    void quenraCalibrationReportMakesUpNoAccuracy()
    {
        Rig r(Options(SimFamily::Quenra));
        QVERIFY(r.Open());
        QVERIFY(SelectBank(r->GetLink(), 0) && WriteBigEndian(r->GetLink(), 0x1B, 18, 2));
        r->SetActivePage(PageId::tabTorvikCalibration);
        r->SetLoopTimerActive(true);
        // The code ring's diameter is unknown: nothing to estimate the accuracy from.
        QTRY_VERIFY(r.Text("lblTselfCalResult").startsWith(Utf8("Counter: 0\r\nRing eccentricity: 18 \xC2\xB5m\r\n")));
        QVERIFY2(r.Text("lblTselfCalResult").endsWith("Est. accuracy before calib.: n/a\r\nEst. accuracy after calib.: n/a"),
                 qPrintable(r.Text("lblTselfCalResult")));
    }

    void quenraStatusPanelsFollowTheRegisters()
    {
        Rig r(Options(SimFamily::Quenra, {}, 60));
        QVERIFY(r.Open());
        r.SetFaults([](SimFaults& f) {
            f.extraStatus = 0x0380;
            f.bbmStatus = 0x10;
        });
        r->SetActivePage(PageId::tabQuenraStatus);
        r->SetLoopTimerActive(true);
        QTRY_COMPARE(r.Text("pnlQuenraBBMstatus"), QString("16"));
        QTRY_COMPARE(r.Colour("pnlQSignalHigh"), kColourRed);
        QCOMPARE(r.Colour("pnlQError"), kColourRed);
        QCOMPARE(r.Colour("pnlQWarning"), kColourOrange);
        QCOMPARE(r.Colour("pnlQSignalLow"), kColourGrey);
        QCOMPARE(r.Colour("pnlQbbmSPEED_ERR"), kColourOrange);
        QCOMPARE(r.Colour("pnlQbbmCOMM_ERR"), kColourGrey);
        QCOMPARE(r.Text("pnlQuenraStatus"), QString("0000001110000000"));
        QVERIFY(r.Text("pnlQuenraTemp").contains(QRegularExpression(Utf8("^\\d\\d\\.\\d \xC2\xB0" "C$"))));
        QCOMPARE(r.Text("pnlQuenraVelocity"), QString("1.0 Hz")); // 60 rpm
        QVERIFY(r.Text("lblQuenraAirGap")
                    .contains(QRegularExpression(Utf8("^Air gap: \\d\\.\\d \xC2\xB1" "0\\.3 mm with magnet 12 mm$"))));
        const int level = r.Text("pnlQuenraSignalLvl").toInt();
        QVERIFY(level > 5000 && level < 7500);
        QCOMPARE(r.Find<QWidget>("shQSignalLevel")->height(), QuenraSignalBarHeight(level));
        QCOMPARE(r.Find<QWidget>("shQSignalLevel")->geometry().bottom(), kQuenraSignalBarRoom - 1);

        // Signal high as a warning alone, once the held error has gone.
        r.SetFaults([](SimFaults& f) {
            f.extraStatus = 0x0180;
            f.bbmStatus = 0;
        });
        QTRY_COMPARE(r.Colour("pnlQError"), kColourGrey);
        QCOMPARE(r.Colour("pnlQSignalHigh"), kColourOrange);
        QCOMPARE(r.Colour("pnlQbbmSPEED_ERR"), kColourGrey);
    }

    void servicePagesFitWithEveryTabShown()
    {
        for (SimFamily family : {SimFamily::Torvik, SimFamily::Quenra}) {
            Rig r(Options(family));
            QVERIFY(r.Open());
            QStringList faults;
            const std::pair<PageId, const char*> pages[] = {{PageId::TabTorvikConfig, "TorvikConfigContent"},
                                                            {PageId::tabQuenraConfig, "QuenraConfigContent"},
                                                            {PageId::tabTorvikCalibration, "CalibrationContent"},
                                                            {PageId::tabQuenraStatus, "QuenraStatusContent"}};
            for (const auto& [page, name] : pages) {
                r->SetActivePage(page);
                QCoreApplication::processEvents();
                // The widest texts the changing fields take.
                for (const char* field : {"edTC0_00", "edTC0_04", "edQC0_00", "edTC_multiturn", "edQC_multiturn"})
                    r.Find<QLineEdit>(field)->setText("-2147483648");
                r.Find<QLabel>("lblTorvikZeroStatus")
                    ->setText("Current zero pos: 4294967295\r\nEncoder pos: 4294967295\r\n"
                              "New zero pos: 4294967295\r\nMultiturn preset: 0");
                r.Find<QLabel>("lblCkecksumConfig")->setText("Checksum: 255 / 255");
                r.Find<QLabel>("pnlTselfCalTimeout")->setText("Timeout - 4509715660 seconds expired");
                r.Find<QLabel>("lblTselfCalResult")->setText(
                    Utf8("Counter: 3\r\nRing eccentricity: 65535 \xC2\xB5m\r\nEccentricity angle: 65535 deg\r\n"
                         "Readhead radial shift: -32768 \xC2\xB5m\r\nEst. accuracy before calib.: \xC2\xB1" "90.010" +
                         kDegreeSign + "\r\nEst. accuracy after calib.: \xC2\xB1" "90.010" + kDegreeSign));
                r.Find<QLabel>("pnlQuenraTemp")->setText(Utf8("-3,276.8 \xC2\xB0" "C"));
                r.Find<QLabel>("pnlQuenraVelocity")->setText("-3,276.8 Hz");
                r.Find<QLabel>("lblQuenraAirGap")
                    ->setText(Utf8("Air gap: -1.2346E4 \xC2\xB1" "0.3 mm with magnet 16 mm"));
                QWidget* content = r.Find<QWidget>(name);
                FindCutTexts(*content, faults);
                FindOverlaps(*content, faults);
                FindCutButtons(*content, faults);
            }
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        }
    }
};

QTEST_MAIN(ServiceEndToEndTest)
#include "test_e2e_service.moc"
