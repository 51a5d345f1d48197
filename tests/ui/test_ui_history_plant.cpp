// The window and a plant's PostgreSQL server: runs kept in the station's
// spool while the server was away are sent when the window starts, once,
// and the History tab then reads them from the server.

#include "RecordSamples.h"
#include "StoreRig.h"
#include "WindowHarness.h"
#include "production/ui/ProductionTestPage.h"
#include "records/PgStore.h"
#include "records/SqliteStore.h"

#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

class HistoryPlantTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("K417 tests");
        QSettings().clear();
    }

    void theSpoolIsSentAtStartAndTheHistoryReadsThePlant()
    {
        ScratchFolder folder;
        const std::string spool = folder.Path() + "/spool.sqlite";
        qputenv("K417_SPOOL", QByteArray::fromStdString(spool));
        std::string uri;
        try {
            uri = NewTestDatabase();
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        qputenv("K417_DB", QByteArray::fromStdString(uri));
        const RunRecord run = SampleRun(SampleRunId(7), "SPOOL7", "2026-12-09T10:00:00+01:00", Outcome::Fail);
        QVERIFY(SqliteStore::Open(spool)->Put(run)); // kept while the server was away

        WindowHarness h({.production = true});
        auto* page = static_cast<ProductionTestPage*>(h->PageContent(PageId::tabProduction));
        QCOMPARE(QString::fromStdString(page->StoreLocation()), QString::fromStdString(uri));
        // The server itself, not the station's view with its spool.
        auto plant = std::make_unique<PgStore>(uri);
        // Sent when the window starts, and gone from the spool.
        QTRY_VERIFY_WITH_TIMEOUT(plant->Show(run.runId).has_value(), 10000);
        QVERIFY(SqliteStore::Open(spool)->List({}).empty());
        QCOMPARE(QString::fromStdString(ToJson(*plant->Show(run.runId)).dump()), QString::fromStdString(ToJson(run).dump()));

        h->SetActivePage(PageId::tabProduction);
        h.Find<QTabWidget>("tabsProductionView")->setCurrentIndex(1);
        auto* runs = h.Find<QTableWidget>("stgrRuns");
        QCOMPARE(runs->rowCount(), 1);
        QCOMPARE(runs->item(0, 1)->text(), QString("SPOOL7"));
        QCOMPARE(runs->item(0, 2)->text(), QString("FAIL"));
        QVERIFY(!runs->item(0, 4)->text().contains("kept here"));
        QCOMPARE(h.Find<QLabel>("lblStoreState")->text(), QString());

        // Sending again sends nothing twice.
        page->SendSpooled();
        QCOMPARE(plant->List({}).size(), size_t(1));
        qunsetenv("K417_SPOOL");
        qunsetenv("K417_DB");
    }
};

QTEST_MAIN(HistoryPlantTest)
#include "test_ui_history_plant.moc"
