// The whole tool against the simulated box with its timers running: a new
// encoder is probed, identified and its datasheet read; position ticks follow;
// a disconnected encoder, a malformed reply and a pulled plug are recovered
// from without the user.

#include "WindowHarness.h"

#include "app/CommandLine.h"
#include "shell/PageControl.h"
#include "sim/Simulator.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace {
size_t CountOf(const Simulator& sim, const std::string& command)
{
    const std::vector<std::string> log = CommandsSent(sim);
    return static_cast<size_t>(std::count(log.begin(), log.end(), command));
}

bool IsNumber(const QString& text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

// The tool as the program runs it, searching the ports the test names.
struct Tool {
    Simulator sim;
    WindowHarness h;
    explicit Tool(SimFamily family = SimFamily::Torvik) : sim(Options(family))
    {
        h->show();
    }
    static SimOptions Options(SimFamily family)
    {
        SimOptions o;
        o.family = family;
        return o;
    }
    bool Start()
    {
        if (!sim.Start())
            return false;
        if (h.ports.empty())
            h.ports = {sim.PortPath()};
        h->SetInitTimerActive(true);
        return true;
    }
    MainWindow* operator->() { return h.window.get(); }
    QString Text(const char* name) const
    {
        if (auto* edit = h.Find<QLineEdit>(name))
            return edit->text();
        return h.Find<QLabel>(name)->text();
    }
    bool Monitoring() { return h->Identity().EncoderConnected && h.Timer("LoopTimer")->isActive(); }
};
} // namespace

class MonitorEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void everyFamilyEndsInItsPagesAndUnit()
    {
        struct Case {
            SimFamily family;
            EncoderFamily expected;
            std::vector<int> tabs;
            const char* unit;
        };
        const Case cases[] = {
            {SimFamily::Torvik, EncoderFamily::Torvik, {0, 1, 2, 3, 6, 7, 9}, "deg"},
            {SimFamily::Quenra, EncoderFamily::Quenra, {0, 1, 2, 3, 9, 11, 12}, "deg"},
            {SimFamily::Linear, EncoderFamily::Linear, {0, 1, 2, 3, 6, 7}, "mm"},
            {SimFamily::Foreign, EncoderFamily::Unidentified, {0, 1, 2}, "deg"},
        };
        for (const Case& c : cases) {
            Tool t(c.family);
            QVERIFY(t.Start());
            QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring() && IsNumber(t.Text("lblPosST")), 5000);
            QCOMPARE(t->Identity().DruzinaEnkoderja, c.expected);
            QCOMPARE(VisibleTabs(*t.h), c.tabs);
            QVERIFY2(t.Text("lblPosUnit").endsWith(QString(" ") + c.unit), SimFamilyName(c.family));
            const SimEncoderInfo info = t.sim.EncoderInfo();
            QCOMPARE(int(t->GetLink().PositionMTLength), int(info.mtLength));
            QCOMPARE(int(t->GetLink().PositionSTLength), int(info.stLength));
            QCOMPARE(t.Text("lblStatus"), QString("Comm OK"));
        }
    }

    void newEncoderCommandsInOrder()
    {
        Tool t;
        QVERIFY(t.Start());
        QTRY_VERIFY_WITH_TIMEOUT(CountOf(t.sim, "4") >= 2, 5000);
        std::vector<std::string> log = CommandsSent(t.sim);
        auto probe = std::find(log.begin(), log.end(), "R02:064");
        QVERIFY(probe != log.end());
        const SimEncoderInfo info = t.sim.EncoderInfo();
        auto bank = [](int b) { return "Ws" + std::string(b < 100 ? "0" : "") + std::to_string(b) + ":064"; };
        const std::vector<std::string> expected = {
            "R02:064",                                                // probe
            "R64:064", "R64:064", "Ws000:064", "R08:047", "Ws001:064", "R16:000", // identification
            bank(info.edsBank), "R64:000", bank(info.profileBank), "R64:000",     // datasheet
            "4", "4"};
        QCOMPARE(std::vector<std::string>(probe, probe + static_cast<long>(expected.size())), expected);
        // The encoder is given 200 ms after the probe before it is identified.
        const std::vector<SimLogEntry> timed = t.sim.CommandLog();
        const size_t at = static_cast<size_t>(probe - log.begin());
        const double settleMs = std::chrono::duration<double, std::milli>(timed[at + 1].time - timed[at].time).count();
        QVERIFY2(settleMs >= 199.0, qPrintable(QString("identified %1 ms after the probe").arg(settleMs)));
    }

    void ticksFollowAtTheInterval()
    {
        Tool t;
        QVERIFY(t.Start());
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring(), 5000);
        t->SetActivePage(PageId::TabPosition);
        QCOMPARE(t->LoopInterval(), 50);
        t.sim.ClearCommandLog();
        QTRY_VERIFY_WITH_TIMEOUT(t.sim.CommandLog().size() >= 21, 5000);
        const std::vector<SimLogEntry> log = t.sim.CommandLog();
        std::vector<double> gaps;
        for (size_t i = 1; i < log.size(); ++i) {
            QCOMPARE(log[i].command, std::string("4")); // nothing else on this page
            gaps.push_back(std::chrono::duration<double, std::milli>(log[i].time - log[i - 1].time).count());
        }
        // The interval is the period of the ticks, counted from each tick's
        // start (test_ui_session_timer times the starts themselves): the
        // transaction and the display do not add to it. Single gaps carry
        // the machine's jitter, as a command that went out late shortens the
        // next gap; the mean over twenty does not.
        double mean = 0;
        for (double g : gaps)
            mean += g;
        mean /= static_cast<double>(gaps.size());
        QVERIFY2(mean >= 49.0 && mean < 55.0, qPrintable(QString("mean tick period %1 ms").arg(mean)));
    }

    void timeoutShowsDisconnectionAndReidentifies()
    {
        Tool t;
        QVERIFY(t.Start());
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring(), 5000);
        t->SetActivePage(PageId::TabPosition);
        SimFaults faults;
        faults.positionTimeout = true;
        t.sim.SetFaults(faults);
        QTRY_COMPARE_WITH_TIMEOUT(t.Text("lblPosMT"), QString("ENCODER DISCONNECTED"), 2000);
        QCOMPARE(t.Text("lblPosST"), QString("ENCODER DISCONNECTED"));
        QCOMPARE(t.Text("lblPosUnit"), QString("ENCODER DISCONNECTED"));
        QCOMPARE(t.h.Find<QWidget>("pnlEncErr")->palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Button));

        t.sim.ClearCommandLog();
        t.sim.SetFaults({});
        QTRY_VERIFY_WITH_TIMEOUT(IsNumber(t.Text("lblPosST")) && t->Identity().EncoderConnected, 3000);
        const std::vector<std::string> log = CommandsSent(t.sim);
        auto probe = std::find(log.begin(), log.end(), "R02:064");
        QVERIFY(probe != log.end());
        QVERIFY(std::find(probe, log.end(), "R64:064") != log.end()); // identified anew
        QCOMPARE(t.Text("lblStatus"), QString("Comm OK"));
    }

    void malformedReplyEndsTheTickAndTheCycleGoesOn()
    {
        Tool t;
        QVERIFY(t.Start());
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring(), 5000);
        SimFaults faults;
        faults.garbage = true;
        faults.onlyCommands = "4";
        t.sim.SetFaults(faults);
        QTRY_VERIFY_WITH_TIMEOUT(t.Text("lblStatus").startsWith("Error\r\n"), 2000);
        QVERIFY(t.Text("lblPosST").startsWith("Error: "));
        QVERIFY(!t->InitTimerActive());
        const size_t ticks = CountOf(t.sim, "4");
        QTRY_VERIFY_WITH_TIMEOUT(CountOf(t.sim, "4") >= ticks + 3, 3000);
        t.sim.SetFaults({});
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring() && t.Text("lblStatus") == "Comm OK", 3000);
    }

    void unplugHandsOverToDiscoveryAndReplugReconnects()
    {
        Tool t;
        const std::string link =
            (std::filesystem::temp_directory_path() / ("k417-e2e-monitor-" + std::to_string(::getpid()))).string();
        t.sim.SetLinkPath(link);
        t.h.ports = ParseCommandLine({"--port", link}).ports; // the port the tool is told of
        QVERIFY(t.Start());
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring(), 5000);
        t->SetActivePage(PageId::TabPosition);
        const std::string firstPort = t.sim.PortPath();

        t.sim.Unplug();
        // The next tick loses the port: discovery takes over, the monitor stops.
        QTRY_VERIFY_WITH_TIMEOUT(t->InitTimerActive() && !t.h.Timer("LoopTimer")->isActive(), 500);
        QVERIFY(!t->Identity().EncoderConnected);

        t.sim.ClearCommandLog();
        QVERIFY(t.sim.Replug());
        QVERIFY(t.sim.PortPath() != firstPort);
        QTRY_VERIFY_WITH_TIMEOUT(t.Monitoring() && IsNumber(t.Text("lblPosST")), 5000);
        QCOMPARE(t.Text("lblStatus"), QString("Comm OK"));
        const std::vector<std::string> log = CommandsSent(t.sim);
        QVERIFY(std::find(log.begin(), log.end(), "R02:064") != log.end());
        QVERIFY(std::find(log.begin(), log.end(), "R64:064") != log.end());
        t.sim.SetLinkPath({});
    }
};

QTEST_MAIN(MonitorEndToEndTest)
#include "test_e2e_monitor.moc"
