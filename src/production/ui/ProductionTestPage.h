#pragma once
// The "Production test" page, shown with the production panel: the test
// plan (chosen here or given with --plan, remembered), the label serial
// typed or scanned (Enter starts the run), the plan's steps with their
// progress, outcomes and values as they come, a large PASS or FAIL with its
// reason, Stop, and the last runs of this station from the record store.
// The page is one observer of the plan runner; k417ctl test is the other.
//
// Its "History" tab shows the day's yield, the last runs in the store
// (filtered by serial), a run's steps with their measurements, limits and
// outcomes, "Report…" (HTML or PDF) for a run, and which store the window
// uses. Runs the plant's server could not take are sent from the station's
// spool at start, after each run and every minute.

#include "production/Plan.h"
#include "production/Runner.h"
#include "shell/Page.h"

#include <memory>
#include <optional>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QTimer;
class Shell;

class ProductionTestPage : public Page, private RunObserver {
public:
    explicit ProductionTestPage(Shell& shell, QWidget* parent = nullptr);
    ~ProductionTestPage() override;

    // The plan the page opens with next time (the --plan of the command line).
    static void RememberPlan(const std::string& fileName);
    // The store of the command line (--db), ahead of K417_DB and the page's setting.
    static void UseStoreLocation(const std::string& location);

    // Loads a plan file; false (the errors shown) when it has mistakes.
    bool LoadPlanFile(const std::string& fileName);
    // Runs the plan on the attached unit with the serial in the entry.
    void StartRun();
    // Asks the running plan to stop at its next step or wait.
    void StopRun();
    bool Running() const { return running_; }
    const std::optional<RunRecord>& LastRun() const { return lastRun_; }
    // The store the page writes to and reads from: a path or a URI.
    const std::string& StoreLocation() const { return location_; }
    // Sends the runs kept in the station's spool, when it holds any.
    void SendSpooled();
    // Shows the history again (the day's yield, the last runs, the spool).
    void ShowRunHistory();
    // Shows a run's steps in the history.
    void ShowRun(const std::string& runId);

    void PageSwitched(PageId current) override;
    void WindowClosing() override;

private:
    // RunObserver
    void StepStarted(const StepRecord& step) override;
    void StepEnded(const StepRecord& step) override;
    bool Prompt(const std::string& text) override;
    void Notice(const std::string& text) override;
    void Finished(const RunRecord& run) override;

    void ChoosePlan();
    void ShowSteps();
    void ShowVerdict(const QString& verdict, const QString& reason, Outcome outcome);
    void ShowHistory();
    bool OpenStore();
    void EnableControls();
    void BuildHistoryTab(QWidget* tab);
    void UseTypedStore();
    // "Report…": a save dialog, then HTML or PDF by the file's extension.
    void SaveReport(const std::string& runId);
    std::string PickedRunId() const;
    // The runs kept on this station and why the store could not be reached.
    void ShowStoreState(size_t kept, const StoreStatus& status);
    // A send of the spool ended (back on the window's thread).
    void SpoolSent(const SyncResult& sync);

    Shell& shell_;
    std::optional<Plan> plan_;
    std::unique_ptr<RecordStore> store_;
    std::optional<RunRecord> lastRun_;
    std::string location_;
    std::string shownRunId_;
    bool running_ = false;
    bool stop_ = false;
    // The spool is sent beside the window: a server out of reach costs its
    // connect time-out there, not a frozen window.
    std::thread syncThread_;
    bool syncing_ = false;
    std::string notices_;

    QLabel* lblPlanName_ = nullptr;
    QPushButton* btnOpenPlan_ = nullptr;
    QLineEdit* edLabelSerial_ = nullptr;
    QPushButton* btnStartTest_ = nullptr;
    QPushButton* btnStopTest_ = nullptr;
    QTableWidget* stgrSteps_ = nullptr;
    QLabel* lblVerdict_ = nullptr;
    QLabel* lblReason_ = nullptr;
    QTableWidget* stgrHistory_ = nullptr;
    QPushButton* btnReportLast_ = nullptr;

    QTabWidget* tabsView_ = nullptr;
    QLabel* lblDayYield_ = nullptr;
    QLineEdit* edHistorySerial_ = nullptr;
    QPushButton* btnRunReport_ = nullptr;
    QTableWidget* stgrRuns_ = nullptr;
    QLabel* lblRunTitle_ = nullptr;
    QTableWidget* stgrRunSteps_ = nullptr;
    QLineEdit* edStoreLocation_ = nullptr;
    QLabel* lblStoreState_ = nullptr;
    QTimer* syncTimer_ = nullptr;
};
