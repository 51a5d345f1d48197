// Measurement recording on the "Test" page against the simulated encoder with
// the tool's timers running: both recordings with their headers and rows,
// the row limit, the two boxes excluding each other, the file complete after
// the window closes, the page's layout, and files that cannot be created or
// written (a read-only folder, a full device, a file size limit reached while
// recording), after which the monitor goes on.

#include "LayoutChecks.h"
#include "WindowHarness.h"

#include "monitor/Recording.h"
#include "sim/Simulator.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <ctime>

#include <sys/resource.h>
#include <unistd.h>

namespace {
struct RecordingTool {
    Simulator sim;
    WindowHarness h;
    QTemporaryDir folder;

    RecordingTool() { h->show(); }
    explicit RecordingTool(SimFamily family) : sim(Family(family)) { h->show(); }
    static SimOptions Family(SimFamily family)
    {
        SimOptions o;
        o.family = family;
        return o;
    }
    // Finds the box, identifies the encoder and shows "Test"; files go to a folder of the test's own.
    bool Open()
    {
        if (!folder.isValid() || !ConnectRunning(h, sim))
            return false;
        h->FullServiceGesture();
        h->SetActivePage(PageId::tabTest);
        h->GetSession().Recording().SetFolder(folder.path().toStdString());
        return true;
    }
    MainWindow* operator->() { return h.window.get(); }
    QCheckBox* Box(const char* name) const { return h.Find<QCheckBox>(name); }
    void Record(const char* box, int rows)
    {
        h.Find<QSpinBox>("seSteviloShranjenihMeritev")->setValue(rows);
        Box(box)->click();
    }
    QString FileName() const { return h.Find<QPlainTextEdit>("mmShranjujIme")->toPlainText(); }
    QStringList Lines() const
    {
        QFile file(FileName());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString content = QString::fromLatin1(file.readAll());
        if (!content.endsWith("\r\n"))
            return {"(no line end)"};
        content.chop(2);
        return content.split("\r\n");
    }
    QString Elapsed() const { return h.Find<QLabel>("lblShraniElapsedTimeMs")->text(); }
    long Sent(const std::string& command) const
    {
        const std::vector<std::string> log = CommandsSent(sim);
        return std::count(log.begin(), log.end(), command);
    }
    // The monitor ticks on: position commands keep coming.
    bool MonitorGoesOn()
    {
        sim.ClearCommandLog();
        return h->LoopTimerActive() && QTest::qWaitFor([&] { return Sent("4") >= 3; }, 2000);
    }
    std::string ExpectedPrefix(const char* prefix) const
    {
        const TEncoderSignature& s = h.window->GetLink().EncoderSignature;
        return prefix + s.Zolvan_PartNumber + "_" + s.Zolvan_Serial + "_";
    }
};

const QRegularExpression kPositionRow("^(\\d+);[0-9A-F]{16};\\d+;\\d+;;$");
} // namespace

class RecordingEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void positionRecordingStopsAtItsRowLimit()
    {
        RecordingTool t;
        QVERIFY(t.Open());
        t.Record("cbShranjujMeritvePos", 5);
        QVERIFY(!t.Box("cbShranjujMeritveDebug")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!t.Box("cbShranjujMeritvePos")->isChecked(), 5000);
        QVERIFY(t.Box("cbShranjujMeritveDebug")->isEnabled());
        QVERIFY2(QRegularExpression("^\\d+\\.\\d\\d seconds  FINISHED\\.$").match(t.Elapsed()).hasMatch(),
                 qPrintable(t.Elapsed()));

        const QString name = QFileInfo(t.FileName()).fileName();
        QCOMPARE(QFileInfo(t.FileName()).absolutePath(), t.folder.path());
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(QString::fromStdString(t.ExpectedPrefix("POSITION_"))) +
                                    "\\d{14}\\.csv$")
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));
        const QStringList lines = t.Lines();
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], QString("Time(ms);RX;MT;ST;Error;"));
        int previous = 0;
        for (int i = 1; i < lines.size(); ++i) {
            const QRegularExpressionMatch row = kPositionRow.match(lines[i]);
            QVERIFY2(row.hasMatch(), qPrintable(lines[i]));
            QVERIFY(row.captured(1).toInt() >= previous);
            previous = row.captured(1).toInt();
        }
        QVERIFY(t.MonitorGoesOn());

        // With every tab shown the widest texts fit.
        t.h.Find<QPlainTextEdit>("mmShranjujIme")
            ->setPlainText("/home/someone/measurements/POSITION_TV657-18B16-000_T1234567_20261209080503.csv");
        t.h.Find<QLabel>("lblShraniElapsedTimeMs")->setText(QString::fromStdString(ElapsedText(99999999999)) + "  FINISHED.");
        const QStringList faults = LayoutFaults(*t.h.Find<QWidget>("TestPageContent"));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    void debugRecordingWritesStatusSupplyAndSnapshot()
    {
        RecordingTool t;
        QVERIFY(t.Open());
        t.sim.ClearCommandLog();
        t.Record("cbShranjujMeritveDebug", 3);
        // The unlock comes first: the snapshot needs it.
        const std::vector<std::string> sent = CommandsSent(t.sim);
        QVERIFY(sent.size() >= 4);
        QCOMPARE(std::vector<std::string>(sent.begin(), sent.begin() + 4),
                 (std::vector<std::string>{"Ws179:072", "Ws158:072", "Ws071:073", "Ws223:064"}));
        QVERIFY(!t.Box("cbShranjujMeritvePos")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!t.Box("cbShranjujMeritveDebug")->isChecked(), 5000);
        QVERIFY(t.Box("cbShranjujMeritvePos")->isEnabled());
        QVERIFY(t.Sent("e") >= 3 && t.Sent("R09:074") >= 3 && t.Sent("R64:000") >= 3);

        QVERIFY(QFileInfo(t.FileName()).fileName().startsWith(QString::fromStdString(t.ExpectedPrefix("TEST_"))));
        const QStringList lines = t.Lines();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QString::fromStdString(RecordingHeader(RecordingKind::Debug)));
        const int length = t->Identity().EncDolzinaKode;
        for (int i = 1; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(';');
            QCOMPARE(f.size(), 14 + 53 + 1);
            QVERIFY(f.last().isEmpty());
            QVERIFY2(kPositionRow.match(QStringList(f.mid(0, 5)).join(';') + ";").hasMatch(), qPrintable(lines[i]));
            QVERIFY2(QRegularExpression("^[01]{16}$").match(f[5]).hasMatch(), qPrintable(f[5]));
            QCOMPARE(f[6], QString("Supply 5.02 V 74 mA"));
            QVERIFY(f[7].toInt() > 1000 && f[8].toInt() > 10);
            QVERIFY(QRegularExpression(QString("^[01]{%1}$").arg(length)).match(f[9]).hasMatch());
            QVERIFY(QRegularExpression(QString("^[01]{%1}$").arg(length)).match(f[10]).hasMatch());
            QVERIFY(f[12].toInt() >= 720 && f[12].toInt() <= 756);
            QVERIFY(f[13].toInt() >= 1 && f[13].toInt() <= 7);
            int wave = 0;
            for (int s = 14; s < 14 + 53; ++s) {
                bool ok = false;
                const int v = f[s].toInt(&ok);
                QVERIFY(ok && v >= -128 && v <= 127);
                wave = std::max(wave, std::abs(v));
            }
            QVERIFY(wave > 20); // the snapshot, not zeros
        }
    }

    void debugRecordingShowsItsSupplyReply()
    {
        RecordingTool t;
        QVERIFY(t.Open());
        QLabel* supply = t.h.Find<QLabel>("lblRXe");
        supply->setText("lblRXe");
        t.Record("cbShranjujMeritveDebug", 0);
        QTRY_COMPARE_WITH_TIMEOUT(supply->text(), QString("Supply 5.02 V 74 mA"), 3000);
        t.Box("cbShranjujMeritveDebug")->click();
    }

    void debugRecordingOnTheQuenraStatusPageKeepsStatusAndTemperature()
    {
        RecordingTool t(SimFamily::Quenra);
        QVERIFY(t.Open());
        t.Record("cbShranjujMeritveDebug", 0);
        t->SetActivePage(PageId::tabQuenraStatus);
        t.sim.ClearCommandLog();
        QTRY_VERIFY_WITH_TIMEOUT(t.Sent("R02:074") >= 4, 3000);
        t.Box("cbShranjujMeritveDebug")->click();
        const QStringList lines = t.Lines();
        QVERIFY(lines.size() >= 4);
        for (int i = 1; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(';');
            QCOMPARE(f.size(), 14 + 53 + 1);
            QVERIFY2(QRegularExpression("^[01]{16}$").match(f[5]).hasMatch(), qPrintable(lines[i]));
            // The signal level and the temperature as the page shows them (the
            // Quenra encoder counts tenths of a degree).
            QVERIFY2(f[7].toInt() > 5000 && f[7].toInt() < 7500, qPrintable(lines[i]));
            QVERIFY2(QRegularExpression("^\\d\\d\\.\\d$").match(f[8]).hasMatch(), qPrintable(lines[i]));
            QVERIFY(f[8].toDouble() > 20 && f[8].toDouble() < 40);
        }
    }

    void fileIsCompleteAfterTheWindowCloses()
    {
        RecordingTool t;
        QVERIFY(t.Open());
        t.sim.ClearCommandLog();
        t.Record("cbShranjujMeritvePos", 0);
        QTRY_VERIFY_WITH_TIMEOUT(t.Sent("4") >= 20, 3000);
        const QString name = t.FileName();
        t->close();
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString content = QString::fromLatin1(file.readAll());
        QVERIFY(content.endsWith("\r\n"));
        content.chop(2);
        const QStringList lines = content.split("\r\n");
        // One row per tick, none lost.
        QCOMPARE(lines.size() - 1, static_cast<int>(t.Sent("4")));
        for (int i = 1; i < lines.size(); ++i)
            QVERIFY2(kPositionRow.match(lines[i]).hasMatch(), qPrintable(lines[i]));
    }

    void fullDiskIsToldAndTheMonitorGoesOn()
    {
        RecordingTool t;
        QVERIFY(t.Open());
        // While recording: the file may not grow beyond 4000 bytes, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = 4000;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        t->GetSession().SetMonitorInterval(2);
        t.Record("cbShranjujMeritvePos", 0);
        QTRY_VERIFY_WITH_TIMEOUT(!t.h.dialogs.Messages().empty(), 8000);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(t.h.dialogs.Messages(),
                 (std::vector<std::string>{"Recording stopped.\r\nCannot write the file \"" + t.FileName().toStdString() +
                                           "\": " + std::strerror(EFBIG)}));
        QVERIFY(!t.Box("cbShranjujMeritvePos")->isChecked());
        QVERIFY(t.Elapsed().endsWith("  FINISHED."));
        QCOMPARE(QFileInfo(t.FileName()).size(), 4000);
        QVERIFY(t.MonitorGoesOn());

        // At the start: the names the recording can take in the next seconds lead to the full device.
        t.h.dialogs.Clear();
        const TEncoderSignature& s = t->GetLink().EncoderSignature;
        const std::time_t now = std::time(nullptr);
        for (std::time_t when = now - 1; when <= now + 5; ++when) {
            std::tm local{};
            localtime_r(&when, &local);
            const std::string name = RecordingFileName(t.folder.path().toStdString(), RecordingKind::Position,
                                                       s.Zolvan_PartNumber, s.Zolvan_Serial, local);
            QFile::remove(QString::fromStdString(name));
            QVERIFY(QFile::link("/dev/full", QString::fromStdString(name)));
        }
        t.Record("cbShranjujMeritvePos", 0);
        QVERIFY(!t.Box("cbShranjujMeritvePos")->isChecked());
        QVERIFY(t.Box("cbShranjujMeritveDebug")->isEnabled());
        QCOMPARE(t.h.dialogs.Messages(), (std::vector<std::string>{"Cannot write the file \"" + t.FileName().toStdString() +
                                                                   "\": " + std::strerror(ENOSPC)}));
        QVERIFY(t.MonitorGoesOn());
    }

    void readOnlyFolderIsToldAndTheMonitorGoesOn()
    {
        // Folder permissions do not bind root: the case runs as another user.
        if (::geteuid() == 0) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                    QCoreApplication::applicationFilePath(), "readOnlyFolderIsToldAndTheMonitorGoesOn"});
            if (!child.waitForStarted(5000))
                QSKIP("setpriv is not available");
            QVERIFY(child.waitForFinished(60000));
            QCOMPARE(child.exitCode(), 0);
            return;
        }
        RecordingTool t;
        QVERIFY(t.Open());
        QVERIFY(QFile::setPermissions(t.folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        t.Record("cbShranjujMeritveDebug", 0);
        QVERIFY(!t.Box("cbShranjujMeritveDebug")->isChecked());
        QVERIFY(t.Box("cbShranjujMeritvePos")->isEnabled());
        QVERIFY(!t->GetSession().Debug().Active());
        QCOMPARE(t.h.dialogs.Messages(), (std::vector<std::string>{"Cannot create the file \"" +
                                                                   t.FileName().toStdString() + "\": " +
                                                                   std::strerror(EACCES)}));
        QVERIFY(t.MonitorGoesOn());
        QFile::setPermissions(t.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_MAIN(RecordingEndToEndTest)
#include "test_e2e_recording.moc"
