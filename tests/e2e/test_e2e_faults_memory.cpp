// Every fault of the matrix in the middle of the long memory actions: the
// user-memory bulk load, bulk save and test, and the error-map load. A bank
// the tool names as written holds what the file said; a file the tool does
// not report as cut short holds every bank; a failure reaches the user; and
// the position comes back once the fault clears.

#include "FaultMatrix.h"

#include "encoder/EncoderFile.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <map>

namespace {
// The paced saves wait 500 ms twice without serving events; with three slow
// replies on top.
constexpr qint64 kBlockingActionMs = 3500;

SimOptions Options(int userFirst, int userLast)
{
    SimOptions o;
    o.firmware = "2.5.8.9600";
    o.speed = 0;
    o.userBankFirst = userFirst;
    o.userBankLast = userLast;
    return o;
}

std::string StartingWith(const std::vector<std::string>& messages, const std::string& prefix)
{
    for (const std::string& m : messages)
        if (m.rfind(prefix, 0) == 0)
            return m.substr(prefix.size());
    return {};
}

bool HasMessageStartingWith(const std::vector<std::string>& messages, const std::string& prefix)
{
    return std::any_of(messages.begin(), messages.end(), [&](const std::string& m) { return m.rfind(prefix, 0) == 0; });
}

// The banks a "Sucessfully written banks: 24, 25, " message names.
std::vector<int> NamedBanks(const std::string& list)
{
    std::vector<int> banks;
    for (QString part : QString::fromStdString(list).split(",", Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            banks.push_back(part.trimmed().toInt());
    return banks;
}

// One cell: click, then judge what the tool said against the encoder.
struct MemoryCell {
    FaultRig& r;
    const FaultCase& fault;
    const std::string& cell;

    // Judges one outcome: claimed is what the tool said, held whether the
    // encoder (or the file) agrees with that claim.
    void Judge(bool claimed, bool held, bool reported)
    {
        FaultRig::Tell(cell, claimed ? "done" : "failed", gap);
        if (claimed)
            r.Check(held, cell, "reported as done, but the encoder or the file does not hold it");
        else
            r.Check(reported, cell, "stopped without telling the user");
        r.CheckExpected(fault, cell, claimed);
    }
    void Click(const char* button)
    {
        Responsiveness watch;
        r.Find<QPushButton>(button)->click();
        gap = watch.WorstGapMs();
        r.Check(gap <= kBlockingActionMs, cell, "blocked the window for " + std::to_string(gap) + " ms");
    }
    qint64 gap = 0;
};
} // namespace

class FaultsOnMemoryActionsTest : public QObject {
    Q_OBJECT

private slots:
    void userMemoryBulkLoad()
    {
        FaultRig r(Options(24, 25));
        QVERIFY(r.Open());
        int round = 0;
        UnderEveryFault(r, "user-memory load", PageId::TabUserMem, [&](const FaultCase& fault, const std::string& cell) {
            MemoryCell c{r, fault, cell};
            ++round;
            std::map<int, std::array<uint8_t, 64>> wanted;
            std::string text;
            for (int bank = 24; bank <= 25; ++bank)
                for (int a = 0; a < 64; ++a) {
                    wanted[bank][size_t(a)] = uint8_t((bank * 7 + a * 13 + round * 31) & 0xFF);
                    text += std::to_string(bank) + ";" + std::to_string(a) + ";" +
                            std::to_string(wanted[bank][size_t(a)]) + "\r\n";
                }
            const QString file = r.Path("load" + std::to_string(round) + ".csv");
            WriteFile(file, text);
            r.h.dialogs.openAnswers.push_back(FileChoice{file.toStdString(), 1});
            r.Apply(fault, 70); // in the second bank
            c.Click("btnUserMemLoadFile");
            const std::vector<std::string> messages = r.TakeMessages();
            const std::vector<int> named = NamedBanks(StartingWith(messages, kWrittenBanksText));
            const bool errors = HasMessageStartingWith(messages, kUserMemoryLoadErrorsText);
            bool held = true;
            for (int bank : named)
                held = held && r.sim.BankImage(uint8_t(bank)) == wanted[bank];
            r.Check(held, cell, "a bank named as written does not hold the file's values");
            const bool claimed = !errors && named == std::vector<int>{24, 25};
            if (claimed)
                for (int bank = 24; bank <= 25; ++bank)
                    held = held && r.sim.StoredBankImage(uint8_t(bank)) == wanted[bank];
            c.Judge(claimed, held, errors && r.StatusError());
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void userMemoryBulkSave()
    {
        FaultRig r(Options(24, 25));
        QVERIFY(r.Open());
        int round = 0;
        UnderEveryFault(r, "user-memory save", PageId::TabUserMem, [&](const FaultCase& fault, const std::string& cell) {
            MemoryCell c{r, fault, cell};
            // Saved over an earlier file, which a failed save must leave as it was.
            const QString file = r.Path("save" + std::to_string(++round) + ".csv");
            const std::string earlier = "the earlier file\r\n";
            WriteFile(file, earlier);
            r.h.dialogs.saveAnswers.push_back(FileChoice{file.toStdString(), 1});
            r.h.dialogs.confirmAnswers = {true}; // replace it
            r.Apply(fault, 6); // after the signature, in the reads of the banks
            c.Click("btnUserMemSaveFile");
            const std::vector<std::string> messages = r.TakeMessages();
            const bool reported = HasMessageStartingWith(messages, kUserMemoryReadErrorsText) ||
                                  HasMessageStartingWith(messages, kSignatureErrorText);
            // Every line after the two header lines is one register as the encoder holds it.
            const QStringList lines = QString::fromLatin1(FileContent(file).c_str()).split("\r\n", Qt::SkipEmptyParts);
            bool held = lines.size() == 2 + 128;
            for (qsizetype i = 2; held && i < lines.size(); ++i) {
                const QStringList f = lines[i].split(";");
                held = f.size() == 3 &&
                       r.sim.BankImage(uint8_t(f[0].toInt()))[size_t(f[1].toInt())] == f[2].toInt();
            }
            c.Judge(!reported, held, reported && r.StatusError());
            if (reported)
                r.Check(FileContent(file) == earlier && QFileInfo(file).dir().entryList(QDir::Hidden | QDir::Files).filter(".k417-").isEmpty(),
                        cell, "a failed save changed the earlier file or left a temporary one");
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void userMemoryTest()
    {
        FaultRig r(Options(24, 24));
        QVERIFY(r.Open());
        UnderEveryFault(r, "user-memory test", PageId::TabUserMem, [&](const FaultCase& fault, const std::string& cell) {
            MemoryCell c{r, fault, cell};
            r.h.dialogs.confirmAnswers = {true};
            r.Apply(fault, 30); // in the first bank's writes
            c.Click("btnTestUserMem");
            const QString result = r.Text("lblUserMemTestResult");
            const bool held = r.sim.StoredBankImage(24) == std::array<uint8_t, 64>{}; // the last run writes zeros
            c.Judge(result == "Verify OK.", held, result.startsWith("Error") && r.StatusError());
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }

    void errorMapLoad()
    {
        FaultRig r(Options(24, 25));
        QVERIFY(r.Open());
        int round = 0;
        UnderEveryFault(r, "error-map load", PageId::TabTorvikErrorMap, [&](const FaultCase& fault,
                                                                             const std::string& cell) {
            MemoryCell c{r, fault, cell};
            ++round;
            std::array<std::array<uint8_t, 64>, 8> wanted{};
            std::string text = "Torvik Error Map;Serial: x\r\nPoint;Value\r\n";
            for (int p = 0; p < 512; ++p) {
                const int value = ((p * 37 + round * 11) % 256) - 128;
                wanted[size_t(p / 64)][size_t(p % 64)] = uint8_t(value);
                text += std::to_string(p) + ";" + std::to_string(value) + "\r\n";
            }
            const QString file = r.Path("map" + std::to_string(round) + ".csv");
            WriteFile(file, text);
            r.h.dialogs.openAnswers.push_back(FileChoice{file.toStdString(), 1});
            r.Apply(fault, 200); // in the fourth page
            c.Click("btnErroMapLoadFile");
            const std::vector<std::string> messages = r.TakeMessages();
            const bool reported = HasMessageStartingWith(messages, kErrorMapErrorsText);
            const bool claimed = !reported &&
                                 StartingWith(messages, kWrittenBanksText) == "8, 9, 10, 11, 12, 13, 14, 15, " &&
                                 r.Text("lblErrMapChecksum") == "Write finished.";
            bool held = true;
            for (size_t page = 0; page < 8; ++page)
                held = held && r.sim.StoredBankImage(uint8_t(8 + page)) == wanted[page];
            c.Judge(claimed, held, reported && r.StatusError());
        });
        QVERIFY2(r.problems.empty(), Listed(r.problems));
    }
};

QTEST_MAIN(FaultsOnMemoryActionsTest)
#include "test_e2e_faults_memory.moc"
