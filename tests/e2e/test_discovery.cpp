// Finding the box: probe order over several candidate ports, the cost of a
// silent port, the old-firmware warning, and a box that goes away and comes
// back under another name.

#include "WindowHarness.h"

#include "PtyPeer.h"
#include "link/Discovery.h"
#include "sim/Simulator.h"

#include <QLabel>
#include <QtTest>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {
// A folder of device links that stands for /dev, removed at the end.
struct DeviceDir {
    fs::path path;
    DeviceDir()
    {
        static int serial = 0;
        path = fs::temp_directory_path() / ("k417-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~DeviceDir() { fs::remove_all(path); }
    std::string Link(const std::string& name, const std::string& target) const
    {
        fs::create_symlink(target, path / name);
        return (path / name).string();
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().string());
        return names;
    }
};

QString Text(const WindowHarness& h, const char* label)
{
    return h.Find<QLabel>(label)->text();
}
} // namespace

class DiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void probesCandidatesInTextOrderAndConnectsToTheBox()
    {
        PtyPeer silent, other;
        other.Answer("K417-2B v1.3\r");
        Simulator sim;
        QVERIFY(sim.Start());
        DeviceDir dev;
        // Case-insensitive text order: ttya, ttyB, ttyC.
        const std::string a = dev.Link("ttya", other.SlavePath());
        const std::string b = dev.Link("ttyB", silent.SlavePath());
        sim.SetLinkPath(dev / "ttyC");
        const std::string c = dev / "ttyC";

        WindowHarness h({.startSearch = true});
        h.ports = {c, b, a, c};
        h->show();
        Link& link = h->GetLink();
        QTRY_VERIFY_WITH_TIMEOUT(link.IsOpen(), 5000);

        QCOMPARE(h.opened, (std::vector<std::string>{a, b, c}));
        QCOMPARE(other.Received(), (std::vector<std::string>{"v"}));
        QCOMPARE(silent.Received(), (std::vector<std::string>{"v"}));
        // The silent port costs its full reply time, the wrong model none of it.
        QVERIFY(h.openedAt[2] - h.openedAt[1] >= milliseconds(400));
        QVERIFY(h.openedAt[1] - h.openedAt[0] < milliseconds(300));
        QCOMPARE(Text(h, "lblComPort"), QString::fromStdString(c));
        QCOMPARE(Text(h, "lblInterfaceVer"), QString("K417-3C v2.14\r"));
        QVERIFY(sim.WaitForCommand("N", 2000));
        QVERIFY(sim.EncoderPowered());
        QCOMPARE(h->height(), MainWindow::kDesignHeight);
        QVERIFY(!h.Timer("initTimer")->isActive());
        QVERIFY(h.dialogs.Messages().empty());
    }

    void oldBoxFirmwareIsWarnedAboutThroughTheDialogs()
    {
        SimOptions options;
        options.boxVersion = "K417-3C v0.02";
        Simulator sim(options);
        QVERIFY(sim.Start());
        WindowHarness h({.startSearch = true});
        h.ports = {sim.PortPath()};
        bool poweredWhenWarned = true;
        h.dialogs.onMessage = [&](const std::string&) {
            for (const SimLogEntry& e : sim.CommandLog())
                if (e.command == "N")
                    return;
            poweredWhenWarned = false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(h->GetLink().IsOpen(), 3000);
        QCOMPARE(h.dialogs.Log().size(), size_t(1));
        QCOMPARE(h.dialogs.Log()[0].text, std::string(kOldFirmwareWarning));
        QCOMPARE(h.dialogs.Log()[0].kind, MessageKind::Warning);
        QVERIFY(!poweredWhenWarned);
        // The box is used all the same.
        QVERIFY(sim.WaitForCommand("N", 2000));
        QCOMPARE(Text(h, "lblInterfaceVer"), QString("K417-3C v0.02\r"));
    }

    void vanishedPortIsSkippedAndTheBoxFoundAgainUnderAnotherName()
    {
        Simulator sim;
        QVERIFY(sim.Start());
        DeviceDir dev;
        const std::string first = dev / "ttyACM0";
        const std::string second = dev / "ttyACM1";
        sim.SetLinkPath(first);
        WindowHarness h({.startSearch = true});
        // ttyACM0 is always listed (as with --port); the folder shows what exists now.
        h.listing = [&] {
            std::vector<std::string> ports = dev.Entries();
            ports.push_back(first);
            return ports;
        };
        QTRY_VERIFY_WITH_TIMEOUT(h->GetLink().IsOpen(), 3000);
        QCOMPARE(Text(h, "lblComPort"), QString::fromStdString(first));

        // Pulled out; the monitor's next transaction fails and starts the search.
        sim.Unplug();
        sim.SetLinkPath(second);
        QTRY_VERIFY_WITH_TIMEOUT(!h->GetLink().IsOpen(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(h->height(), MainWindow::kShrunkHeight, 2000);
        // Searches go on while the box is away; the vanished port is skipped each time.
        const size_t before = h.opened.size();
        QTRY_VERIFY_WITH_TIMEOUT(h.opened.size() >= before + 2, 3000);
        QVERIFY(!h->GetLink().IsOpen());
        for (size_t i = before; i < h.opened.size(); ++i)
            QCOMPARE(h.opened[i], first);

        sim.ClearCommandLog();
        QVERIFY(sim.Replug());
        QTRY_VERIFY_WITH_TIMEOUT(h->GetLink().IsOpen(), 3000);
        QCOMPARE(Text(h, "lblComPort"), QString::fromStdString(second));
        QCOMPARE(h->height(), MainWindow::kDesignHeight);
        QVERIFY(sim.WaitForCommand("N", 2000));
        QVERIFY(h.dialogs.Log().empty());
    }
};

QTEST_MAIN(DiscoveryTest)
#include "test_discovery.moc"
