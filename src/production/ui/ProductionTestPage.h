#pragma once
// The "Production test" page, shown with the production panel: the test
// plan (chosen here or given with --plan, remembered), the label serial
// typed or scanned (Enter starts the run), the plan's steps with their
// progress, outcomes and values as they come, a large PASS or FAIL with its
// reason, Stop, and the last runs of this station from the record store.
// The page is one observer of the plan runner; k417ctl test is the other.

#include "production/Plan.h"
#include "production/Runner.h"
#include "shell/Page.h"

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class Shell;

class ProductionTestPage : public Page, private RunObserver {
public:
    explicit ProductionTestPage(Shell& shell, QWidget* parent = nullptr);
    ~ProductionTestPage() override;

    // The plan the page opens with next time (the --plan of the command line).
    static void RememberPlan(const std::string& fileName);

    // Loads a plan file; false (the errors shown) when it has mistakes.
    bool LoadPlanFile(const std::string& fileName);
    // Runs the plan on the attached unit with the serial in the entry.
    void StartRun();
    // Asks the running plan to stop at its next step or wait.
    void StopRun();
    bool Running() const { return running_; }
    const std::optional<RunRecord>& LastRun() const { return lastRun_; }

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

    Shell& shell_;
    std::optional<Plan> plan_;
    std::unique_ptr<RecordStore> store_;
    std::optional<RunRecord> lastRun_;
    bool running_ = false;
    bool stop_ = false;
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
};
