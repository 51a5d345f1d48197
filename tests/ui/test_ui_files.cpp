// Saving files from the window with scripted dialogs: the question about an
// existing file is asked about the name the file is really saved under (the
// extension the format puts in place of the one typed), and No asks for
// another name instead of writing.

#include "TestFiles.h"

#include "encoder/ui/CsvDialog.h"
#include "shell/ChartSaving.h"
#include "shell/ChartView.h"
#include "shell/ScriptedDialogs.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
// What the user saw: "save" with the name the dialog proposed, "confirm" with the question.
std::vector<std::string> Seen(const ScriptedDialogs& dialogs)
{
    std::vector<std::string> seen;
    for (const ScriptedDialogs::Shown& shown : dialogs.Log())
        seen.push_back(shown.what + ": " + (shown.what == "save" ? shown.fileName : shown.text));
    return seen;
}
} // namespace

class FileSavingTest : public QObject {
    Q_OBJECT

private slots:
    void theQuestionNamesTheFileThatWouldBeReplaced()
    {
        QTemporaryDir dir;
        const std::string csv = dir.filePath("map.csv").toStdString();
        WriteFile(dir.filePath("map.csv"), "the earlier map");
        ScriptedDialogs dialogs;
        const std::string question = "\"map.csv\" already exists.\r\nDo you want to replace it?";

        // "map.bak" is saved as "map.csv", which exists: No asks for another name.
        dialogs.saveAnswers = {FileChoice{dir.filePath("map.bak").toStdString(), 1}};
        dialogs.confirmAnswers = {false};
        QVERIFY(!dialogs.SaveFileName(CsvDialog("Save Error Map data"), CsvFileName));
        QCOMPARE(Seen(dialogs), (std::vector<std::string>{"save: ", "confirm: " + question, "save: " + csv}));

        // Yes: the file of the final name.
        dialogs.Clear();
        dialogs.saveAnswers = {FileChoice{dir.filePath("map.bak").toStdString(), 1}};
        dialogs.confirmAnswers = {true};
        const std::optional<FileChoice> replace = dialogs.SaveFileName(CsvDialog("Save Error Map data"), CsvFileName);
        QVERIFY(replace);
        QCOMPARE(replace->fileName, csv);

        // No, then a name that is free: no more questions.
        dialogs.Clear();
        dialogs.saveAnswers = {FileChoice{dir.filePath("map").toStdString(), 1},
                               FileChoice{dir.filePath("other.txt").toStdString(), 1}};
        dialogs.confirmAnswers = {false};
        const std::optional<FileChoice> other = dialogs.SaveFileName(CsvDialog("Save Error Map data"), CsvFileName);
        QVERIFY(other);
        QCOMPARE(other->fileName, dir.filePath("other.csv").toStdString());
        QCOMPARE(Seen(dialogs), (std::vector<std::string>{"save: ", "confirm: " + question, "save: " + csv}));
        QCOMPARE(FileContent(dir.filePath("map.csv")), std::string("the earlier map"));
    }

    void aChartIsNeverSavedOverAnotherFileWithoutAsking()
    {
        QTemporaryDir dir;
        WriteFile(dir.filePath("graph.png"), "the earlier chart");
        ScriptedDialogs dialogs;
        ChartView chart;
        chart.resize(400, 300);
        ChartImageSaver saver(dialogs);

        // "graph" with the PNG filter is "graph.png": asked, No, then cancelled.
        dialogs.saveAnswers = {FileChoice{dir.filePath("graph").toStdString(), 1}};
        saver.Save(chart);
        QCOMPARE(dialogs.Messages(), std::vector<std::string>{});
        QCOMPARE(Seen(dialogs)[1], std::string("confirm: \"graph.png\" already exists.\r\nDo you want to replace it?"));
        QCOMPARE(FileContent(dir.filePath("graph.png")), std::string("the earlier chart"));

        // Yes replaces it.
        dialogs.Clear();
        dialogs.saveAnswers = {FileChoice{dir.filePath("graph.txt").toStdString(), 1}};
        dialogs.confirmAnswers = {true};
        saver.Save(chart);
        QVERIFY(FileContent(dir.filePath("graph.png")).rfind("\x89PNG", 0) == 0);
        QVERIFY(!QFile::exists(dir.filePath("graph.txt")));
    }
};

QTEST_MAIN(FileSavingTest)
#include "test_ui_files.moc"
