// The window and k417ctl write the same files for the same encoder: the
// user memory and the error map, byte for byte.

#include "WindowHarness.h"

#include "cli/Cli.h"
#include "sim/Simulator.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {
std::string Bytes(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int RunCliOn(const Simulator& sim, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--port", sim.PortPath()});
    std::ostringstream out, err;
    const int status = RunCli(ParseCliOptions(args), {}, out, err);
    if (status != kExitOk)
        qWarning("k417ctl: %s", err.str().c_str());
    return status;
}
} // namespace

class CliFilesTest : public QObject {
    Q_OBJECT

private slots:
    void windowAndCommandLineWriteIdenticalFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Simulator sim;
        {
            WindowHarness h;
            QVERIFY(ConnectIdentified(h, sim));
            auto click = [&](const char* name) {
                auto* button = h.Find<QPushButton>(name);
                QVERIFY2(button, name);
                QTest::mouseClick(button, Qt::LeftButton);
            };
            h.dialogs.saveAnswers.push_back(FileChoice{dir.filePath("window-usermem.csv").toStdString(), 1});
            click("btnUserMemSaveFile");
            click("btnTorvikErrMapRead");
            h.dialogs.saveAnswers.push_back(FileChoice{dir.filePath("window-errmap.csv").toStdString(), 1});
            click("btnErrorMapSaveFile");
            QCOMPARE(h.dialogs.Messages(), std::vector<std::string>{});
        } // the window lets go of the port

        QCOMPARE(RunCliOn(sim, {"usermem", "save", dir.filePath("cli-usermem.csv").toStdString()}), int(kExitOk));
        QCOMPARE(RunCliOn(sim, {"errmap", "save", dir.filePath("cli-errmap.csv").toStdString()}), int(kExitOk));
        const std::string windowUserMemory = Bytes(dir.filePath("window-usermem.csv"));
        QVERIFY(windowUserMemory.size() > 64 * 5);
        QVERIFY(windowUserMemory == Bytes(dir.filePath("cli-usermem.csv")));
        const std::string windowErrorMap = Bytes(dir.filePath("window-errmap.csv"));
        QVERIFY(windowErrorMap.size() > 512 * 3);
        QVERIFY(windowErrorMap == Bytes(dir.filePath("cli-errmap.csv")));
    }
};

QTEST_MAIN(CliFilesTest)
#include "test_e2e_cli_files.moc"
