// The "Error Map", "User mem" and "BiSS Banks" pages against the simulated
// encoder, driven through their controls with scripted dialogs: the commands
// the box received, the files written byte for byte, the messages and the
// status line; the faults a write or a read meets on the way; the layout
// with every tab shown.

#include "LayoutChecks.h"
#include "TestFiles.h"
#include "WindowHarness.h"

#include "encoder/ui/ErrorMapPage.h"
#include "shell/ChartView.h"
#include "shell/Colours.h"
#include "sim/Simulator.h"
#include "util/NumberText.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>

namespace {
std::string Ws(unsigned value, unsigned address)
{
    return "Ws" + PadNumber(value, 3) + ":" + PadNumber(address, 3);
}

const std::string kKey = Ws(0xB3, 0x48);

SimOptions Options(const std::string& firmware = {}, int userFirst = -1, int userLast = -1)
{
    SimOptions o;
    o.firmware = firmware;
    o.userBankFirst = userFirst;
    o.userBankLast = userLast;
    o.speed = 0;
    return o;
}

// A window with every page against a simulated box, the encoder identified
// and its datasheet read; the monitor stays still so that the log holds only
// what the page under test sends.
struct Rig {
    Simulator sim;
    WindowHarness h;
    QTemporaryDir dir;

    explicit Rig(const SimOptions& options) : sim(options) { h->show(); }
    bool Open(PageId page)
    {
        if (!ConnectIdentified(h, sim))
            return false;
        h->SetActivePage(page);
        h->SetLoopTimerActive(false); // after the page switch, which resumes it
        sim.ClearCommandLog();
        h.dialogs.Clear();
        return h->ActivePage() == page;
    }
    MainWindow* operator->() { return h.window.get(); }
    template <class T>
    T* Find(const char* name) const
    {
        return h.Find<T>(name);
    }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    QString Text(const char* name) const { return Find<QLabel>(name)->text(); }
    Rgb Colour(const char* name) const { return PanelColour(Find<QWidget>(name)); }
    std::vector<std::string> TakeLog()
    {
        std::vector<std::string> log = CommandsSent(sim);
        sim.ClearCommandLog();
        return log;
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    void AnswerOpen(const QString& path) { h.dialogs.openAnswers.push_back(FileChoice{path.toStdString(), 1}); }
    void AnswerSave(const QString& path) { h.dialogs.saveAnswers.push_back(FileChoice{path.toStdString(), 1}); }
    std::vector<std::string> Messages() const { return h.dialogs.Messages(); }
    void Fault(void (*set)(SimFaults&))
    {
        SimFaults faults = sim.Faults();
        set(faults);
        sim.SetFaults(faults);
    }
    // Writes raw bytes into an error-map page of the encoder's working memory, as a
    // page of the tool would.
    void PutMapBytes(unsigned bank, std::vector<int> bytes)
    {
        Link& link = h->GetLink();
        QVERIFY(link.WriteRegister(0x40, static_cast<uint8_t>(bank)));
        for (size_t i = 0; i < bytes.size(); ++i)
            QVERIFY(link.WriteRegister(static_cast<uint8_t>(i), static_cast<uint8_t>(bytes[i])));
        sim.ClearCommandLog();
    }
    const ChartSeries& MapSeries() { return h.window->findChild<ErrorMapPage*>()->Chart().Model().Series()[0]; }
};

// The reads of a whole error map: each page, then the stored checksums.
std::vector<std::string> MapRead(unsigned firstBank)
{
    std::vector<std::string> log;
    for (unsigned bank = firstBank; bank < 16; ++bank) {
        log.push_back(Ws(bank, 0x40));
        log.push_back("R64:000");
    }
    log.push_back(Ws(0, 0x40));
    log.push_back("R08:055");
    log.push_back(firstBank == 8 ? "R08:055" : "R04:059");
    return log;
}

std::string MapFileText(const std::vector<std::pair<int, int>>& points, int count = 512)
{
    std::string text = "Torvik Error Map;Serial: x\r\nPoint;Value\r\n";
    for (int p = 0; p < count; ++p) {
        int value = 0;
        for (const auto& [point, v] : points)
            if (point == p)
                value = v;
        text += std::to_string(p) + ";" + std::to_string(value) + "\r\n";
    }
    return text;
}

constexpr const char* kSignatureRead[] = {"R64:064", "Ws000:064", "R08:047", "Ws001:064", "R16:000"};
} // namespace

class MemoryEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void errorMapReadUnwrapsItsCurveAndChecksEveryPage()
    {
        Rig r(Options("2.5.8.9600"));
        QVERIFY(r.Open(PageId::TabTorvikErrorMap));
        r.PutMapBytes(8, {100, 120, -120 & 0xFF, -110 & 0xFF, 127});
        r.Click("btnTorvikErrMapRead");
        QCOMPARE(r.TakeLog(), MapRead(8));
        const ChartSeries& series = r.MapSeries();
        QCOMPARE(series.Count(), size_t{512});
        std::vector<float> first;
        for (size_t i = 0; i < 5; ++i)
            first.push_back(series.Points()[i].y);
        QCOMPARE(first, (std::vector<float>{100, 120, 136, 146, 127}));
        QCOMPARE(series.Points()[511].x, 511.0f);
        const QStringList report = r.Text("lblErrMapChecksum").split("\r\n");
        QCOMPARE(report.size(), 9);
        QCOMPARE(report[0], QString("Checksum:"));
        QVERIFY(report[1].startsWith("Page  8: ") && report[2].startsWith("Page  9: ") && report[8].startsWith("Page 15: "));
        for (const QString& line : report.mid(1)) {
            const QStringList sums = line.mid(9).split(" / ");
            QCOMPARE(sums.size(), 2);
            QCOMPARE(sums[0], sums[1]);
        }
        QCOMPARE(r.Colour("lblErrMapChecksum"), kColourOk);
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));

        // One stored checksum off: the whole report turns red and the save is refused.
        r.Fault([](SimFaults& f) { f.badErrorMapChecksum = true; });
        r.AnswerSave(r.Path("never.csv"));
        r.Click("btnErrorMapSaveFile");
        QCOMPARE(r.Colour("lblErrMapChecksum"), kColourError);
        QVERIFY(r.Text("lblErrMapChecksum").endsWith(QString("Page 15: %1 / %2").arg(r.sim.BankImage(0)[0x3E] ^ 1).arg(r.sim.BankImage(0)[0x3E])));
        QCOMPARE(r.Messages(), std::vector<std::string>{"Error reading Error Map from encoder!"});
        QVERIFY(!QFile::exists(r.Path("never.csv")));
    }

    void olderFirmwareReadsFourPages()
    {
        Rig r(Options("2.2.8.9600"));
        QVERIFY(r.Open(PageId::TabTorvikErrorMap));
        r.Click("btnTorvikErrMapRead");
        QCOMPARE(r.TakeLog(), MapRead(12));
        QCOMPARE(r.MapSeries().Count(), size_t{256});
        const QStringList report = r.Text("lblErrMapChecksum").split("\r\n");
        QCOMPARE(report.size(), 5);
        QVERIFY(report[1].startsWith("Page 12: "));
        QCOMPARE(r.Colour("lblErrMapChecksum"), kColourOk);
    }

    void errorMapSavedLoadsBackToIdenticalBytes()
    {
        const NumberSeparators before = CurrentNumberSeparators();
        SetNumberSeparators({",", "."});
        Rig r(Options("2.5.8.9600"));
        QVERIFY(r.Open(PageId::TabTorvikErrorMap));
        // Wrapped bytes, whose drawn curve runs beyond 127.
        r.PutMapBytes(9, {100, 120, -120 & 0xFF, 128, 0});
        std::array<TBiSS_bank, 8> original;
        for (unsigned b = 8; b < 16; ++b)
            original[b - 8] = r.sim.BankImage(static_cast<uint8_t>(b));

        r.AnswerSave(r.Path("map.txt"));
        r.Click("btnErrorMapSaveFile");
        QVERIFY(r.Messages().empty());
        QCOMPARE(CurrentNumberSeparators().decimal, std::string("."));
        std::vector<std::string> expected(std::begin(kSignatureRead), std::end(kSignatureRead));
        for (const std::string& c : MapRead(8))
            expected.push_back(c);
        QCOMPARE(r.TakeLog(), expected);
        std::string file = "Torvik Error Map;Serial: T1234567;Part: TV657-18B16-000;Serial#: 0x0012D687;"
                           "DeviID: 0x545636353701;ManufID: 0x4B58 = \"XK\"\r\nPoint;Value\r\n";
        for (int p = 0; p < 512; ++p)
            file += std::to_string(p) + ";" + std::to_string(static_cast<int8_t>(original[p / 64][p % 64])) + "\r\n";
        QCOMPARE(FileContent(r.Path("map.csv")), file); // the extension is always .csv
        QVERIFY(file.find("\r\n66;-120\r\n67;-128\r\n") != std::string::npos);

        // Another map goes in, then the file brings the saved one back.
        r.PutMapBytes(9, {1, 2, 3, 4, 5});
        r.AnswerOpen(r.Path("map.csv"));
        r.Click("btnErroMapLoadFile");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Sucessfully written banks: 8, 9, 10, 11, 12, 13, 14, 15, "});
        const std::vector<SimLogEntry> log = r.sim.CommandLog();
        QCOMPARE(log.size(), size_t{8 + 512 + 2});
        for (unsigned page = 0; page < 8; ++page) {
            QCOMPARE(log[page * 65].command, Ws(8 + page, 0x40));
            for (unsigned reg = 0; reg < 64; ++reg)
                QCOMPARE(log[page * 65 + 1 + reg].command, Ws(original[page][reg], reg));
        }
        QCOMPARE(log[520].command, kKey);
        QCOMPARE(log[521].command, Ws(0x63, 0x49));
        // The paced save: 500 ms before the key, between key and command.
        using std::chrono::milliseconds;
        QVERIFY(log[520].time - log[519].time >= milliseconds(500));
        QVERIFY(log[521].time - log[520].time >= milliseconds(500));
        QCOMPARE(r.Text("lblErrMapChecksum"), QString("Write finished."));
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
        for (unsigned b = 8; b < 16; ++b)
            QCOMPARE(r.sim.StoredBankImage(static_cast<uint8_t>(b)), original[b - 8]);

        r.Click("btnTorvikErrMapRead");
        QCOMPARE(r.Colour("lblErrMapChecksum"), kColourOk);
        QCOMPARE(r.MapSeries().Points()[66].y, 136.0f);
        SetNumberSeparators(before);
    }

    void errorMapLoadRefusesFaultyFilesWithoutWriting()
    {
        Rig r(Options("2.5.8.9600"));
        QVERIFY(r.Open(PageId::TabTorvikErrorMap));
        const std::string errors = "Errors were encountered during loading / writting error map:\r\n";
        std::string lines = MapFileText({}, 510);
        lines += "5;7;8\r\n300;128\r\n-5;1\r\n512;0\r\nx;1\r\n\r\n";
        WriteFile(r.Path("lines.csv"), lines);
        WriteFile(r.Path("header.csv"), "Torvik Error Map\r\nPoint Value\r\n0;1\r\n");
        WriteFile(r.Path("short.csv"), MapFileText({}, 511));
        WriteFile(r.Path("wide.csv"), MapFileText({{3, -128}, {4, 127}}) + "0;-129\r\n");
        for (const char* name : {"lines.csv", "header.csv", "short.csv", "wide.csv"})
            r.AnswerOpen(r.Path(name));
        for (int i = 0; i < 5; ++i) // the last one cancelled
            r.Click("btnErroMapLoadFile");
        QCOMPARE(r.Messages(), (std::vector<std::string>{
                                   errors + "Ignoring data at line 513: 5;7;8\r\n"
                                            "Point value out of range at line 514): 300;128"
                                            "Bank number out of allowed range at line 515): -5;1"
                                            "Bank number out of allowed range at line 516): 512;0"
                                            "Convert Error at line 517: x;1\r\n"
                                            "Ignoring data at line 518: \r\n",
                                   errors + "Can't find \"Point;Value\" on Line 2!",
                                   "Number of lines in the file is not correct (512+2)",
                                   errors + "Point value out of range at line 515): 0;-129"}));
        QVERIFY(r.TakeLog().empty());
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
        QCOMPARE(r.Colour("lblStatus"), kColourOk);
    }

    void errorMapWriteFailingMidBankStopsWithoutTheSave()
    {
        Rig r(Options("2.5.8.9600"));
        QVERIFY(r.Open(PageId::TabTorvikErrorMap));
        WriteFile(r.Path("map.csv"), MapFileText({{147, 7}}));
        r.Fault([](SimFaults& f) {
            f.refuseBank = 10;
            f.refuseAddress = 20;
        });
        r.AnswerOpen(r.Path("map.csv"));
        r.Click("btnErroMapLoadFile");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Errors were encountered during loading / writting error map:\r\n"
                                                        "Bank 10, Register 20 write error! Process terminated.\r\n"});
        const std::vector<std::string> log = r.TakeLog();
        QCOMPARE(log.size(), size_t{3 + 64 + 64 + 21});
        QVERIFY(std::find(log.begin(), log.end(), kKey) == log.end());
        QCOMPARE(r.Text("lblStatus"), QString::fromStdString("Error\r\nNon-writable address\r\nCMD: " + Ws(0, 20) + " RCV: 1:00"));
        QCOMPARE(r.Colour("lblStatus"), kColourError);
        QVERIFY(!r->Identity().EncoderConnected);
        QCOMPARE(r.sim.BankImage(10)[19], 7); // written before the failure, not saved
        QVERIFY(r.sim.StoredBankImage(10)[19] != 7);

        // A file that cannot be written: its name and the cause, nothing claimed.
        r.Fault([](SimFaults& f) { f.refuseBank = -1; });
        r.AnswerSave("/nonexistent-k417/map.csv");
        r.Click("btnErrorMapSaveFile");
        QCOMPARE(r.Messages().back(), std::string("Cannot create the file \"/nonexistent-k417/map.csv\": No such file or directory"));
    }

    void userMemoryBulkSaveAndLoadOfTwoBanks()
    {
        const NumberSeparators before = CurrentNumberSeparators();
        SetNumberSeparators({",", "."});
        Rig r(Options({}, 4, 5));
        QVERIFY(r.Open(PageId::TabUserMem));
        QCOMPARE(r.Text("lblUserMemPageLimits"), QString("First user bank: 4\r\nLast user bank:  5"));
        r.AnswerSave(r.Path("user"));
        r.Click("btnUserMemSaveFile");
        QVERIFY(r.Messages().empty());
        QCOMPARE(CurrentNumberSeparators().decimal, std::string("."));
        std::vector<std::string> expected(std::begin(kSignatureRead), std::end(kSignatureRead));
        for (unsigned bank : {4u, 5u}) {
            expected.push_back(Ws(bank, 0x40));
            expected.push_back("R64:000");
        }
        QCOMPARE(r.TakeLog(), expected);
        QCOMPARE(r.Text("lblUserMemBulkStatus"), QString("Reading finished."));
        std::string file = "Torvik user memory;Serial: T1234567;Part: TV657-18B16-000;Serial#: 0x0012D687;"
                           "DeviID: 0x545636353701;ManufID: 0x4B58 = \"XK\"\r\nBank;Address;Value\r\n";
        for (unsigned bank : {4u, 5u})
            for (unsigned a = 0; a < 64; ++a)
                file += std::to_string(bank) + ";" + std::to_string(a) + ";" +
                        std::to_string(r.sim.BankImage(static_cast<uint8_t>(bank))[a]) + "\r\n";
        const std::string saved = FileContent(r.Path("user.csv"));
        QCOMPARE(saved, file);
        QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), 130);

        // The file comes back with new values: each bank one buffered write, one save.
        std::string changed = saved;
        changed.replace(changed.find("\r\n4;7;0\r\n"), 9, "\r\n4;7;0x2A\r\n");
        changed.replace(changed.find("\r\n5;63;0\r\n"), 10, "\r\n5;63;255\r\n");
        WriteFile(r.Path("changed.csv"), changed);
        r.AnswerOpen(r.Path("changed.csv"));
        r.Click("btnUserMemLoadFile");
        QCOMPARE(r.Messages(),
                 (std::vector<std::string>{"Errors were encountered during loading / writting user memory data:\r\n"
                                           "Ignoring data at line 1: " + file.substr(0, file.find('\r')) + "\r\n"
                                           "Convert Error at line 2: Bank;Address;Value\r\n",
                                           "Sucessfully written banks: 4, 5, "}));
        const std::vector<std::string> log = r.TakeLog();
        QCOMPARE(log.size(), size_t{2 * 66 + 2});
        QCOMPARE(log[0], Ws(4, 0x40));
        QCOMPARE(log[8], std::string("Wbf07:042"));
        QCOMPARE(log[65], std::string("Wcn64:000"));
        QCOMPARE(log[66], Ws(5, 0x40));
        QCOMPARE(log[131], std::string("Wcn64:000"));
        QCOMPARE(log[132], kKey);
        QCOMPARE(log[133], Ws(0x75, 0x49));
        QCOMPARE(r.sim.StoredBankImage(4)[7], 42);
        QCOMPARE(r.sim.StoredBankImage(5)[63], 255);
        QCOMPARE(r.Text("lblUserMemBulkStatus"), QString("Write finished."));

        // Cancelled: nothing sent, and still the report of the written banks.
        r.h.dialogs.Clear();
        r.Click("btnUserMemLoadFile");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Sucessfully written banks: "});
        QVERIFY(r.TakeLog().empty());

        // A file that cannot be created: its name and the cause, and no "finished".
        r.h.dialogs.Clear();
        r.AnswerSave("/nonexistent-k417/user.csv");
        r.Click("btnUserMemSaveFile");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Cannot create the file \"/nonexistent-k417/user.csv\": No such file or directory"});
        QCOMPARE(r.Text("lblUserMemBulkStatus"), QString("Reading stopped: the file was not written."));
        QCOMPARE(r.TakeLog(), std::vector<std::string>(std::begin(kSignatureRead), std::end(kSignatureRead)));
        SetNumberSeparators(before);
    }

    void aSaveAsksBeforeReplacingTheFileItReallyWrites()
    {
        Rig r(Options({}, 4, 5));
        QVERIFY(r.Open(PageId::TabUserMem));
        const std::string question = "\"user.csv\" already exists.\r\nDo you want to replace it?";
        WriteFile(r.Path("user.csv"), "the earlier file");
        // "user.bak" is saved as "user.csv": asked about that, No, then cancelled.
        r.AnswerSave(r.Path("user.bak"));
        r.h.dialogs.confirmAnswers = {false};
        r.Click("btnUserMemSaveFile");
        std::vector<std::string> confirms;
        for (const ScriptedDialogs::Shown& shown : r.h.dialogs.Log())
            if (shown.what == "confirm")
                confirms.push_back(shown.text);
        QCOMPARE(confirms, std::vector<std::string>{question});
        QCOMPARE(r.h.dialogs.Log().back().fileName, r.Path("user.csv").toStdString()); // asked again
        QCOMPARE(FileContent(r.Path("user.csv")), std::string("the earlier file"));
        QCOMPARE(r.TakeLog(), std::vector<std::string>(std::begin(kSignatureRead), std::end(kSignatureRead)));
        // Yes: replaced.
        r.AnswerSave(r.Path("user.bak"));
        r.h.dialogs.confirmAnswers = {true};
        r.Click("btnUserMemSaveFile");
        QVERIFY(FileContent(r.Path("user.csv")).rfind("Torvik user memory;", 0) == 0);
        QVERIFY(!QFile::exists(r.Path("user.bak")));

        // The error map's save the same way.
        r.h.dialogs.Clear();
        r->SetActivePage(PageId::TabTorvikErrorMap);
        WriteFile(r.Path("map.csv"), "the earlier map");
        r.AnswerSave(r.Path("map.txt"));
        r.h.dialogs.confirmAnswers = {false};
        r.Click("btnErrorMapSaveFile");
        QCOMPARE(r.h.dialogs.Log().back().fileName, r.Path("map.csv").toStdString());
        QCOMPARE(FileContent(r.Path("map.csv")), std::string("the earlier map"));
        QVERIFY(r.Messages().empty());
    }

    void aWrongFileOfAnyLengthIsReportedInABoundedMessage()
    {
        Rig r(Options({}, 4, 5));
        QVERIFY(r.Open(PageId::TabUserMem));
        // A position recording of 300,000 rows, chosen by mistake.
        std::string recording = "Time(ms);RX;MT;ST;Error;\r\n";
        for (int i = 0; i < 300000; ++i)
            recording += std::to_string(i) + ";0003A077B6400000;0;" + std::to_string(40000 + i) + ";0;\r\n";
        WriteFile(r.Path("POSITION_recording.csv"), recording);
        r.AnswerOpen(r.Path("POSITION_recording.csv"));
        r.Click("btnUserMemLoadFile");
        std::vector<std::string> messages = r.Messages();
        QCOMPARE(messages.size(), size_t{2});
        QStringList lines = QString::fromStdString(messages[0]).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 50 + 1);
        QCOMPARE(lines[1], QString("Ignoring data at line 1: Time(ms);RX;MT;ST;Error;"));
        QCOMPARE(lines.back(), QString("\u2026 and 299951 more lines"));
        QVERIFY(messages[0].size() < 3000);
        QCOMPARE(messages[1], std::string("Sucessfully written banks: "));
        QCOMPARE(r.Text("lblUserMemBulkStatus"), QString("Write finished."));

        // The error map's loader: the same bound.
        r.h.dialogs.Clear();
        r->SetActivePage(PageId::TabTorvikErrorMap);
        WriteFile(r.Path("map.csv"), "Torvik Error Map\r\nPoint;Value\r\n" + recording);
        r.AnswerOpen(r.Path("map.csv"));
        r.Click("btnErroMapLoadFile");
        messages = r.Messages();
        QCOMPARE(messages.size(), size_t{1});
        lines = QString::fromStdString(messages[0]).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 50 + 1);
        QCOMPARE(lines.back(), QString("\u2026 and 299951 more lines"));
        QVERIFY(messages[0].size() < 3000);
    }

    void userMemorySingleReadAndWrite()
    {
        Rig r(Options());
        QVERIFY(r.Open(PageId::TabUserMem));
        auto* bank = r.Find<QSpinBox>("seUserMemBankSel");
        QCOMPARE(bank->minimum(), 24);
        QCOMPARE(bank->maximum(), 27);
        r.Find<QSpinBox>("seUserMemAddr")->setValue(3); // a change reads
        QCOMPARE(r.TakeLog(), (std::vector<std::string>{Ws(24, 0x40), "R01:003"}));
        QCOMPARE(r.Find<QSpinBox>("seUserMemValue")->value(), int('r'));

        r.Find<QSpinBox>("seUserMemValue")->setValue(77);
        r.Click("btnUserMemWrite");
        std::vector<std::string> log = r.TakeLog();
        QVERIFY(log.size() > 5);
        QCOMPARE(std::vector<std::string>(log.end() - 5, log.end()),
                 (std::vector<std::string>{Ws(24, 0x40), Ws(77, 3), kKey, Ws(0x75, 0x49), "R01:003"}));
        QCOMPARE(log.front(), Ws(0, 0x40)); // the configuration read first
        QCOMPARE(r.Text("lblUserMemVerifyStatus"), QString("Verify OK"));
        QCOMPARE(r.sim.StoredBankImage(24)[3], 77);
        QVERIFY(r.Messages().empty());

        r.Find<QCheckBox>("cbUserMemWriteVerify")->setChecked(false);
        r.Click("btnUserMemWrite");
        log = r.TakeLog();
        QCOMPARE(log.back(), Ws(0x75, 0x49));
        QCOMPARE(r.Text("lblUserMemVerifyStatus"), QString("Verify ???"));
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
    }

    void writeProtectedEncoderIsWarnedAndTheWriteStillTried()
    {
        SimOptions o = Options();
        o.writeProtected = true;
        Rig r(o);
        QVERIFY(r.Open(PageId::TabUserMem));
        r.Click("btnUserMemWrite");
        QCOMPARE(r.Messages(), std::vector<std::string>{"Encoder is write protected."});
        const std::vector<std::string> log = r.TakeLog();
        QCOMPARE(log.back(), Ws(0, 0)); // refused by the locked encoder
        QVERIFY(r.Text("lblStatus").startsWith("Error\r\nNon-writable address"));
        QCOMPARE(r.Text("lblUserMemVerifyStatus"), QString("Verify ???"));
    }

    void userMemoryTestRunsTwiceAroundPowerCyclesAndStaysResponsive()
    {
        Rig r(Options({}, 24, 26));
        QVERIFY(r.Open(PageId::TabUserMem));
        auto* bar = r.Find<QProgressBar>("pbTestUserMem");
        std::vector<int> positions;
        connect(bar, &QProgressBar::valueChanged, this, [&](int v) { positions.push_back(v); });
        // A timer that fires while the test runs shows the window serving its events.
        int servedAt = -1;
        QTimer::singleShot(0, this, [&] { servedAt = bar->value(); });
        r.h.dialogs.confirmAnswers = {true};
        r.Find<QPushButton>("btnTestUserMem")->click();

        QCOMPARE(r.h.dialogs.Log().front().text, std::string("User memory test will erase all user data!\r\nContinue?"));
        QCOMPARE(bar->maximum(), 12);
        QCOMPARE(positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        QCOMPARE(servedAt, 1);
        QCOMPARE(r.Text("lblUserMemTestResult"), QString("Verify OK."));
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
        QVERIFY(r.Find<QPushButton>("btnTestUserMem")->isEnabled());

        // Two runs: write, save, off and on, read back; random bytes never 255, then zeros.
        const std::vector<std::string> log = r.TakeLog();
        std::vector<std::string> outline;
        int randomMax = 0;
        size_t zeros = 0;
        bool secondRun = false;
        for (const std::string& c : log) {
            if (c == "F" || c == "N" || c == kKey || c == Ws(0x75, 0x49) || c.rfind("Wcn", 0) == 0 ||
                c == "R64:000")
                outline.push_back(c);
            if (c == "N")
                secondRun = true;
            if (c.rfind("Wbf", 0) == 0) {
                const int value = std::stoi(c.substr(6));
                if (!secondRun)
                    randomMax = std::max(randomMax, value);
                else
                    zeros += value == 0;
            }
        }
        const std::vector<std::string> run = {"Wcn64:000", "Wcn64:000", "Wcn64:000", kKey, Ws(0x75, 0x49), "F", "N",
                                              "R64:000",   "R64:000",   "R64:000"};
        std::vector<std::string> twice = run;
        twice.insert(twice.end(), run.begin(), run.end());
        QCOMPARE(outline, twice);
        QVERIFY(randomMax > 0 && randomMax <= 254);
        QCOMPARE(zeros, size_t{3 * 64});
        for (uint8_t b = 24; b <= 26; ++b)
            QCOMPARE(r.sim.StoredBankImage(b), TBiSS_bank{});
    }

    void userMemoryTestRefusesAnUnusableRangeAndStopsWhenTheWindowCloses()
    {
        {
            Rig r(Options({}, 26, 24));
            QVERIFY(r.Open(PageId::TabUserMem));
            r.h.dialogs.defaultConfirm = true;
            r.Click("btnTestUserMem");
            QCOMPARE(r.Messages(), std::vector<std::string>{"The datasheet declares the user banks 26 to 24: no range "
                                                            "that can be tested. Nothing was written."});
            QVERIFY(r.TakeLog().empty());
        }
        Rig r(Options({}, 24, 26));
        QVERIFY(r.Open(PageId::TabUserMem));
        r.h.dialogs.confirmAnswers = {true};
        QTimer::singleShot(0, r.h.window.get(), [&] { r->close(); });
        r.Find<QPushButton>("btnTestUserMem")->click();
        QCOMPARE(r.Text("lblUserMemTestResult"), QString("Test in progress...\r\nRun: 1\r\nWrite Bank: 24"));
        const std::vector<std::string> log = r.TakeLog();
        QCOMPARE(std::count(log.begin(), log.end(), std::string("Wcn64:000")), 1);
        QVERIFY(std::find(log.begin(), log.end(), kKey) == log.end());
    }

    void bankBrowserNamesTheBankReadBack()
    {
        Rig r(Options());
        QVERIFY(r.Open(PageId::TabRegBanks));
        auto* spin = r.Find<QSpinBox>("seBankSelect");
        auto* grid = r.Find<QTableWidget>("stgrBank");
        spin->setValue(20);
        QCOMPARE(r.Text("lblBankDesc"), QString("20 Electronic Datasheet"));
        QCOMPARE(grid->item(2, 0)->text(), QString("0x02"));
        QCOMPARE(grid->item(2, 1)->text(), QString::asprintf("0x%02X", r.sim.BankImage(20)[2]));
        spin->setValue(100);
        QCOMPARE(r.Text("lblBankDesc"), QString("100 "));
        // The diagnostic bank is refused before the unlock: bank 0 is what is shown.
        spin->setValue(223);
        QCOMPARE(r.Text("lblBankDesc"), QString("0 Device Config"));
        QCOMPARE(grid->item(0x2E, 2)->text(), QString::number(r.sim.BankImage(0)[0x2E]));
        r.TakeLog();

        // Each arrow click is one complete read.
        spin->setValue(24);
        r.TakeLog();
        spin->stepBy(1);
        spin->stepBy(1);
        QCOMPARE(r.TakeLog(), (std::vector<std::string>{Ws(25, 0x40), "R01:064", "R64:000", Ws(26, 0x40), "R01:064",
                                                        "R64:000"}));
        QCOMPARE(r.Text("lblBankDesc"), QString("26 User Memory"));
        QCOMPARE(r.Text("lblStatus"), QString("Comm OK\r\n"));
    }

    void pagesFitWithEveryTabShown()
    {
        Rig r(Options());
        QVERIFY(r.Open(PageId::TabUserMem));
        // The widest texts the changing labels take.
        r.Find<QLabel>("lblUserMemTestResult")->setText("Error\r\nVerify failed\r\nBank: 255\r\nAddress: 63\r\nExpected 254, Read 255");
        r.Find<QLabel>("lblUserMemBulkStatus")->setText("Reading stopped: the file was not written.");
        r.Find<QLabel>("lblUserMemVerifyStatus")->setText("Verify FAIL");
        r.Find<QLabel>("lblErrMapChecksum")->setText(
            "Checksum:\r\nPage  8: 255 / 255\r\nPage  9: 255 / 255\r\nPage 10: 255 / 255\r\nPage 11: 255 / 255\r\n"
            "Page 12: 255 / 255\r\nPage 13: 255 / 255\r\nPage 14: 255 / 255\r\nPage 15: 255 / 255");
        r.Find<QLabel>("lblBankDesc")->setText("255 Electronic Datasheet");
        r.Find<QSpinBox>("seUserMemBankSel")->setRange(0, 255);
        auto* grid = r.Find<QTableWidget>("stgrBank");
        grid->item(0, 0)->setText("0x3F");
        grid->item(0, 1)->setText("0xFF");
        grid->item(0, 2)->setText("255");
        QStringList faults;
        const std::pair<PageId, const char*> areas[] = {{PageId::TabUserMem, "UserMemoryContent"},
                                                        {PageId::TabRegBanks, "BankBrowserContent"},
                                                        {PageId::TabTorvikErrorMap, "ErrorMapContent"}};
        for (const auto& [page, area] : areas) {
            r->SetActivePage(page);
            QCoreApplication::processEvents();
            FindCutTexts(*r.Find<QWidget>(area), faults);
            FindOverlaps(*r.Find<QWidget>(area), faults);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }
};

QTEST_MAIN(MemoryEndToEndTest)
#include "test_e2e_memory.moc"
