#include "production/ui/ProductionTestPage.h"

#include "production/Validators.h"
#include "records/RecordText.h"
#include "records/RecordTime.h"
#include "records/StationHistory.h"
#include "report/UnitReport.h"
#include "shell/Colours.h"
#include "shell/Shell.h"
#include "shell/WidgetFactory.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <chrono>

namespace {
constexpr const char* kPlanKey = "production/plan";
constexpr const char* kFolderKey = "production/folder";
constexpr const char* kStoreKey = "production/store";
constexpr const char* kReportFolderKey = "production/reportFolder";
constexpr int kHistoryRuns = 20;
constexpr int kHistoryViewRuns = 200;

std::string& CommandLineStore()
{
    static std::string location;
    return location;
}

// "12-09 19:10:33" of "2026-12-09T19:10:33.123+01:00".
QString ShortTime(const std::string& iso)
{
    return Utf8Text(iso.size() >= 19 ? iso.substr(5, 14) : iso).replace('T', ' ');
}

constexpr Rgb kPassColour{0, 160, 60};
constexpr Rgb kFailColour{220, 30, 30};
constexpr Rgb kAbortColour{255, 170, 0};

Rgb OutcomeColour(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass:
        return kPassColour;
    case Outcome::Fail:
    case Outcome::Error:
        return kFailColour;
    case Outcome::Aborted:
        return kAbortColour;
    case Outcome::Skipped:
        return kColourGrey;
    case Outcome::Running:
        break;
    }
    return kColourSilver;
}

QString OutcomeQText(Outcome outcome)
{
    const std::string_view text = OutcomeText(outcome);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QTableWidget* MakeTable(QWidget* parent, const char* name, QRect geometry, const QStringList& columns)
{
    auto* table = Make<QTableWidget>(parent, name, geometry);
    table->setColumnCount(static_cast<int>(columns.size()));
    table->setHorizontalHeaderLabels(columns);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(18);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    return table;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text, const QString& tip = {})
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(tip.isEmpty() ? text : tip);
    table->setItem(row, column, item);
}
} // namespace

ProductionTestPage::ProductionTestPage(Shell& shell, QWidget* parent) : Page(parent), shell_(shell)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    tabsView_ = Make<QTabWidget>(this, "tabsProductionView", QRect(0, 0, 394, 400));
    outer->addWidget(tabsView_);
    auto* test = new QWidget;
    test->setObjectName("tabTest");
    tabsView_->addTab(test, "Test");
    auto* history = new QWidget;
    history->setObjectName("tabHistory");
    tabsView_->addTab(history, "History");
    connect(tabsView_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1 && !running_)
            ShowRunHistory();
    });

    // A layout of rows: the page is as high as the tab rows above it leave.
    auto* column = new QVBoxLayout(test);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(6);

    auto* planRow = new QHBoxLayout;
    planRow->addWidget(MakeLabel(test, "lblPlanCaption", "Plan:", QRect(0, 0, 34, 18)));
    lblPlanName_ = MakeLabel(test, "lblPlanName", "No test plan chosen", QRect(0, 0, 276, 18));
    planRow->addWidget(lblPlanName_, 1);
    btnOpenPlan_ = Make<QPushButton>(test, "btnOpenPlan", QRect(0, 0, 76, 25));
    btnOpenPlan_->setText("Plan...");
    connect(btnOpenPlan_, &QPushButton::clicked, this, [this] { ChoosePlan(); });
    planRow->addWidget(btnOpenPlan_);
    column->addLayout(planRow);

    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(MakeLabel(test, "lblLabelSerial", "Label serial", QRect(0, 0, 70, 18)));
    edLabelSerial_ = Make<QLineEdit>(test, "edLabelSerial", QRect(0, 0, 130, 25));
    edLabelSerial_->setMaxLength(32);
    QFont entry = edLabelSerial_->font();
    entry.setPointSize(11);
    edLabelSerial_->setFont(entry);
    connect(edLabelSerial_, &QLineEdit::returnPressed, this, [this] { StartRun(); });
    serialRow->addWidget(edLabelSerial_, 1);
    btnStartTest_ = Make<QPushButton>(test, "btnStartTest", QRect(0, 0, 84, 25));
    btnStartTest_->setText("Start");
    connect(btnStartTest_, &QPushButton::clicked, this, [this] { StartRun(); });
    serialRow->addWidget(btnStartTest_);
    btnStopTest_ = Make<QPushButton>(test, "btnStopTest", QRect(0, 0, 84, 25));
    btnStopTest_->setText("Stop");
    connect(btnStopTest_, &QPushButton::clicked, this, [this] { StopRun(); });
    serialRow->addWidget(btnStopTest_);
    column->addLayout(serialRow);

    stgrSteps_ = MakeTable(test, "stgrSteps", QRect(0, 0, 394, 188), {"Step", "Outcome", "Values"});
    stgrSteps_->setColumnWidth(0, 84);
    stgrSteps_->setColumnWidth(1, 66);
    stgrSteps_->setMinimumHeight(76);
    column->addWidget(stgrSteps_, 4);

    lblVerdict_ = MakeLabel(test, "lblVerdict", "", QRect(0, 0, 394, 56));
    lblVerdict_->setFixedHeight(56);
    lblVerdict_->setAlignment(Qt::AlignCenter);
    lblVerdict_->setAutoFillBackground(true);
    QFont big = lblVerdict_->font();
    big.setPointSize(28);
    big.setBold(true);
    lblVerdict_->setFont(big);
    SetPanelColour(lblVerdict_, kColourSilver);
    column->addWidget(lblVerdict_);
    lblReason_ = MakeLabel(test, "lblReason", "", QRect(0, 0, 394, 34));
    lblReason_->setFixedHeight(34);
    lblReason_->setWordWrap(true);
    lblReason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont reasonFont = lblReason_->font();
    reasonFont.setPointSize(9);
    lblReason_->setFont(reasonFont);
    column->addWidget(lblReason_);

    auto* historyRow = new QHBoxLayout;
    historyRow->addWidget(MakeLabel(test, "lblHistory", "Last runs on this station", QRect(0, 0, 200, 18)), 1);
    btnReportLast_ = Make<QPushButton>(test, "btnReportLast", QRect(0, 0, 84, 25));
    btnReportLast_->setText(QString::fromUtf8("Report…"));
    btnReportLast_->setToolTip("A report of the last run, as HTML or PDF");
    connect(btnReportLast_, &QPushButton::clicked, this, [this] {
        if (lastRun_)
            SaveReport(lastRun_->runId);
    });
    historyRow->addWidget(btnReportLast_);
    column->addLayout(historyRow);
    stgrHistory_ = MakeTable(test, "stgrHistory", QRect(0, 0, 394, 104), {"Started", "Serial", "Outcome", "Plan"});
    stgrHistory_->setColumnWidth(0, 100);
    stgrHistory_->setColumnWidth(1, 70);
    stgrHistory_->setColumnWidth(2, 62);
    stgrHistory_->setMinimumHeight(58);
    column->addWidget(stgrHistory_, 1);
    // A run of the station's list opens in the history with its steps.
    connect(stgrHistory_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const QTableWidgetItem* item = stgrHistory_->item(row, 0);
        if (!item || running_)
            return;
        tabsView_->setCurrentIndex(1);
        ShowRun(item->data(Qt::UserRole).toString().toStdString());
    });

    BuildHistoryTab(history);
    location_ = ChooseStoreLocation(CommandLineStore(), QSettings().value(kStoreKey).toString().toStdString());
    edStoreLocation_->setText(Utf8Text(RedactLocation(location_)));
    edStoreLocation_->setCursorPosition(0);

    // Runs kept on this station go to the plant at start and every minute.
    syncTimer_ = new QTimer(this);
    syncTimer_->setInterval(60 * 1000);
    connect(syncTimer_, &QTimer::timeout, this, [this] { SendSpooled(); });
    syncTimer_->start();
    QTimer::singleShot(0, this, [this] { SendSpooled(); });

    const QString remembered = QSettings().value(kPlanKey).toString();
    if (!remembered.isEmpty() && QFileInfo::exists(remembered))
        LoadPlanFile(remembered.toStdString());
    EnableControls();
}

ProductionTestPage::~ProductionTestPage()
{
    if (syncThread_.joinable())
        syncThread_.join();
}

void ProductionTestPage::RememberPlan(const std::string& fileName)
{
    const QFileInfo file(QString::fromStdString(fileName));
    QSettings settings;
    settings.setValue(kPlanKey, file.absoluteFilePath());
    settings.setValue(kFolderKey, file.absolutePath());
}

void ProductionTestPage::ChoosePlan()
{
    FileDialogRequest request;
    request.title = "Open test plan";
    request.filters = {{"Test plans", "*.toml"}, {"All files", "*"}};
    request.defaultExtension = "toml";
    const QString folder = QSettings().value(kFolderKey).toString();
    if (!folder.isEmpty())
        request.fileName = (folder + "/").toStdString();
    const std::optional<FileChoice> choice = shell_.UserDialogs().OpenFileName(request);
    if (choice)
        LoadPlanFile(choice->fileName);
}

bool ProductionTestPage::LoadPlanFile(const std::string& fileName)
{
    const PlanParse parse = LoadPlan(fileName);
    if (!parse.ok()) {
        shell_.UserDialogs().Message("The test plan has mistakes:\r\n" + parse.ErrorText(), MessageKind::Error);
        return false;
    }
    plan_ = *parse.plan;
    RememberPlan(fileName);
    QString name = Utf8Text(plan_->name);
    if (!plan_->revision.empty())
        name += " rev " + Utf8Text(plan_->revision);
    lblPlanName_->setText(name);
    lblPlanName_->setToolTip(QFileInfo(QString::fromStdString(fileName)).absoluteFilePath());
    ShowSteps();
    ShowVerdict("", "", Outcome::Running);
    EnableControls();
    return true;
}

void ProductionTestPage::ShowSteps()
{
    stgrSteps_->setRowCount(plan_ ? static_cast<int>(plan_->steps.size()) : 0);
    if (!plan_)
        return;
    for (const PlanStep& step : plan_->steps) {
        SetCell(stgrSteps_, step.index, 0, Utf8Text(step.name), Utf8Text(step.kind));
        SetCell(stgrSteps_, step.index, 1, "");
        SetCell(stgrSteps_, step.index, 2, "");
    }
}

void ProductionTestPage::ShowVerdict(const QString& verdict, const QString& reason, Outcome outcome)
{
    lblVerdict_->setText(verdict);
    SetPanelColour(lblVerdict_, verdict.isEmpty() ? kColourSilver : OutcomeColour(outcome));
    QPalette text = lblVerdict_->palette();
    text.setColor(QPalette::WindowText, outcome == Outcome::Running ? Qt::black : Qt::white);
    lblVerdict_->setPalette(text);
    lblReason_->setText(reason);
    lblReason_->setToolTip(reason);
}

void ProductionTestPage::EnableControls()
{
    btnOpenPlan_->setEnabled(!running_);
    edLabelSerial_->setEnabled(!running_);
    btnStartTest_->setEnabled(!running_ && plan_.has_value());
    btnStopTest_->setEnabled(running_);
    btnReportLast_->setEnabled(!running_ && lastRun_.has_value());
    btnRunReport_->setEnabled(!running_);
}

bool ProductionTestPage::OpenStore()
{
    if (store_)
        return true;
    StoreStatus status;
    store_ = OpenRecordStore(location_, &status);
    if (!store_) {
        ShowVerdict("ERROR", "The record store cannot be opened: " + Utf8Text(status.error), Outcome::Error);
        lblStoreState_->setText("Cannot be opened: " + Utf8Text(status.error));
    }
    return store_ != nullptr;
}

void ProductionTestPage::UseStoreLocation(const std::string& location)
{
    CommandLineStore() = location;
}

void ProductionTestPage::StartRun()
{
    if (running_)
        return;
    if (!plan_) {
        ShowVerdict("", "Choose a test plan first.", Outcome::Running);
        return;
    }
    Session& session = shell_.GetSession();
    if (!session.GetLink().IsOpen()) {
        ShowVerdict("ERROR", "No box is connected.", Outcome::Error);
        return;
    }
    if (!OpenStore())
        return;
    running_ = true;
    stop_ = false;
    notices_.clear();
    EnableControls();
    shell_.EnablePageSwitching(false);
    ShowSteps();
    ShowVerdict("RUNNING", "", Outcome::Running);

    RunControl control;
    control.waits.serving = [this](int ms) { shell_.WaitWithMessages(ms); };
    // The window serves its events in every wait: nothing else reads the
    // encoder meanwhile (the monitor is off, the pages cannot be switched).
    control.waits.blocking = control.waits.serving;
    control.serve = [this] { shell_.WaitWithMessages(0); };
    control.stopRequested = [this] { return stop_; };
    RunIdentity identity;
    identity.labelSerial = edLabelSerial_->text().trimmed().toStdString();
    identity.operatorName = qEnvironmentVariable("K417_OPERATOR", qEnvironmentVariable("USER")).toStdString();
    PlanRunner runner(session, store_.get(), *this, control);
    lastRun_ = runner.Run(*plan_, identity);

    running_ = false;
    SendSpooled();
    shell_.EnablePageSwitching(true);
    EnableControls();
    edLabelSerial_->selectAll();
    edLabelSerial_->setFocus();
}

void ProductionTestPage::StopRun()
{
    stop_ = true;
}

void ProductionTestPage::StepStarted(const StepRecord& step)
{
    SetCell(stgrSteps_, step.index, 1, "running...");
    stgrSteps_->item(step.index, 1)->setBackground(ToQColor(kColourSilver));
    stgrSteps_->scrollToItem(stgrSteps_->item(step.index, 0));
    shell_.WaitWithMessages(0);
}

void ProductionTestPage::StepEnded(const StepRecord& step)
{
    SetCell(stgrSteps_, step.index, 1, OutcomeQText(step.outcome));
    stgrSteps_->item(step.index, 1)->setBackground(ToQColor(OutcomeColour(step.outcome)));
    if (step.outcome != Outcome::Skipped)
        stgrSteps_->item(step.index, 1)->setForeground(Qt::white);
    const QString values = Utf8Text(StepSummary(step));
    const QString message = Utf8Text(step.message);
    SetCell(stgrSteps_, step.index, 2, values.isEmpty() ? message : values,
            message.isEmpty() ? values : values + "\n" + message);
    shell_.WaitWithMessages(0);
}

bool ProductionTestPage::Prompt(const std::string& text)
{
    // OK (or Enter) goes on, as Enter does on the command line; Stop stops.
    shell_.UserDialogs().Message(text);
    return !stop_;
}

void ProductionTestPage::Notice(const std::string& text)
{
    notices_ += (notices_.empty() ? "" : " ") + text;
}

void ProductionTestPage::Finished(const RunRecord& run)
{
    QString reason = Utf8Text(RunReason(run));
    if (!notices_.empty())
        reason += (reason.isEmpty() ? "" : "\n") + Utf8Text(notices_);
    ShowVerdict(OutcomeQText(run.outcome), reason, run.outcome);
    ShowHistory();
}

void ProductionTestPage::ShowHistory()
{
    if (!OpenStore())
        return;
    RunFilter filter;
    filter.station = StationName();
    filter.limit = kHistoryRuns;
    const std::vector<RunRecord> runs = store_->List(filter);
    stgrHistory_->setRowCount(static_cast<int>(runs.size()));
    for (int row = 0; row < static_cast<int>(runs.size()); ++row) {
        const RunRecord& run = runs[static_cast<size_t>(row)];
        // "12-09 19:10:33" of "2026-12-09T19:10:33.123+01:00"; the whole time and the run id as its tip.
        SetCell(stgrHistory_, row, 0, ShortTime(run.started), Utf8Text(run.started + "\n" + run.runId));
        stgrHistory_->item(row, 0)->setData(Qt::UserRole, Utf8Text(run.runId));
        SetCell(stgrHistory_, row, 1, Utf8Text(run.labelSerial.empty() ? run.unit.decodedSerial : run.labelSerial));
        SetCell(stgrHistory_, row, 2, OutcomeQText(run.outcome));
        stgrHistory_->item(row, 2)->setForeground(ToQColor(OutcomeColour(run.outcome)));
        SetCell(stgrHistory_, row, 3,
                Utf8Text(run.planName + (run.planRevision.empty() ? "" : " rev " + run.planRevision)));
    }
}

void ProductionTestPage::PageSwitched(PageId current)
{
    if (current == PageId::tabProduction && !running_) {
        ShowHistory();
        if (tabsView_->currentIndex() == 1)
            ShowRunHistory();
    }
}

void ProductionTestPage::BuildHistoryTab(QWidget* tab)
{
    auto* column = new QVBoxLayout(tab);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(6);

    lblDayYield_ = MakeLabel(tab, "lblDayYield", "", QRect(0, 0, 394, 36));
    lblDayYield_->setWordWrap(true);
    QFont bold = lblDayYield_->font();
    bold.setBold(true);
    lblDayYield_->setFont(bold);
    column->addWidget(lblDayYield_);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(MakeLabel(tab, "lblHistorySerial", "Serial", QRect(0, 0, 40, 18)));
    edHistorySerial_ = Make<QLineEdit>(tab, "edHistorySerial", QRect(0, 0, 120, 25));
    edHistorySerial_->setMaxLength(32);
    edHistorySerial_->setPlaceholderText("all units");
    connect(edHistorySerial_, &QLineEdit::returnPressed, this, [this] { ShowRunHistory(); });
    filterRow->addWidget(edHistorySerial_, 1);
    auto* find = Make<QPushButton>(tab, "btnFindRuns", QRect(0, 0, 64, 25));
    find->setText("Find");
    connect(find, &QPushButton::clicked, this, [this] { ShowRunHistory(); });
    filterRow->addWidget(find);
    btnRunReport_ = Make<QPushButton>(tab, "btnRunReport", QRect(0, 0, 84, 25));
    btnRunReport_->setText(QString::fromUtf8("Report…"));
    btnRunReport_->setToolTip("A report of the run picked in the list, as HTML or PDF");
    connect(btnRunReport_, &QPushButton::clicked, this, [this] {
        const std::string runId = PickedRunId();
        if (!runId.empty())
            SaveReport(runId);
    });
    filterRow->addWidget(btnRunReport_);
    column->addLayout(filterRow);

    stgrRuns_ = MakeTable(tab, "stgrRuns", QRect(0, 0, 394, 150), {"Started", "Serial", "Outcome", "Plan", "Station"});
    stgrRuns_->setColumnWidth(0, 92);
    stgrRuns_->setColumnWidth(1, 56);
    stgrRuns_->setColumnWidth(2, 60);
    stgrRuns_->setColumnWidth(3, 82);
    stgrRuns_->setMinimumHeight(76);
    stgrRuns_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(stgrRuns_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (const QTableWidgetItem* item = stgrRuns_->item(row, 0))
            ShowRun(item->data(Qt::UserRole).toString().toStdString());
    });
    column->addWidget(stgrRuns_, 3);

    lblRunTitle_ = MakeLabel(tab, "lblRunTitle", "Double-click a run for its steps", QRect(0, 0, 394, 18));
    column->addWidget(lblRunTitle_);
    stgrRunSteps_ = MakeTable(tab, "stgrRunSteps", QRect(0, 0, 394, 150), {"Step, measurement", "Value", "Limits", "Outcome"});
    stgrRunSteps_->setColumnWidth(0, 120);
    stgrRunSteps_->setColumnWidth(1, 72);
    stgrRunSteps_->setColumnWidth(2, 76);
    // Long texts elide, whole in their tips: no sideways scrolling.
    stgrRunSteps_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stgrRunSteps_->setMinimumHeight(76);
    column->addWidget(stgrRunSteps_, 4);

    auto* storeRow = new QHBoxLayout;
    storeRow->addWidget(MakeLabel(tab, "lblStore", "Store", QRect(0, 0, 34, 18)));
    edStoreLocation_ = Make<QLineEdit>(tab, "edStoreLocation", QRect(0, 0, 260, 25));
    edStoreLocation_->setToolTip("A SQLite file, or a PostgreSQL URI: postgresql://user@host:port/dbname\n"
                                 "(the password from ~/.pgpass or PGPASSWORD; one typed here is not remembered)");
    connect(edStoreLocation_, &QLineEdit::returnPressed, this, [this] { UseTypedStore(); });
    storeRow->addWidget(edStoreLocation_, 1);
    auto* use = Make<QPushButton>(tab, "btnUseStore", QRect(0, 0, 64, 25));
    use->setText("Use");
    connect(use, &QPushButton::clicked, this, [this] { UseTypedStore(); });
    storeRow->addWidget(use);
    column->addLayout(storeRow);
    lblStoreState_ = MakeLabel(tab, "lblStoreState", "", QRect(0, 0, 394, 18));
    lblStoreState_->setWordWrap(true);
    column->addWidget(lblStoreState_);
}

void ProductionTestPage::UseTypedStore()
{
    if (running_)
        return;
    const std::string typed = edStoreLocation_->text().trimmed().toStdString();
    // The field shows the location without its password: unchanged, it
    // keeps the one in use.
    if (typed.empty() || typed == RedactLocation(location_))
        return;
    location_ = typed;
    // Remembered without a password: the next start takes it from libpq's
    // password file or PGPASSWORD, as a password typed here is not kept.
    QSettings().setValue(kStoreKey, QString::fromStdString(RedactLocation(location_)));
    edStoreLocation_->setText(Utf8Text(RedactLocation(location_)));
    edStoreLocation_->setCursorPosition(0);
    store_.reset();
    lblStoreState_->clear();
    SendSpooled();
    ShowHistory();
    ShowRunHistory();
}

void ProductionTestPage::SendSpooled()
{
    // The plant's server is reached only when there is something to send.
    if (running_ || syncing_ || !SpoolHoldsRuns(location_))
        return;
    if (syncThread_.joinable())
        syncThread_.join(); // the last send ended: its result is already shown
    syncing_ = true;
    // On a store of its own: the page's store stays the window thread's.
    syncThread_ = std::thread([this, location = location_] {
        SyncResult sync;
        if (std::unique_ptr<RecordStore> store = OpenRecordStore(location, &sync.status))
            sync = store->Sync();
        QMetaObject::invokeMethod(this, [this, sync] { SpoolSent(sync); }, Qt::QueuedConnection);
    });
}

void ProductionTestPage::SpoolSent(const SyncResult& sync)
{
    syncing_ = false;
    ShowStoreState(static_cast<size_t>(sync.left), sync.status);
    if (sync.sent > 0 && tabsView_->currentIndex() == 1)
        ShowRunHistory();
}

void ProductionTestPage::ShowStoreState(size_t kept, const StoreStatus& status)
{
    QString state;
    if (kept > 0)
        state = QString("%1 %2 ").arg(kept).arg(kept == 1 ? "run" : "runs") + kSpooledMessage;
    QString shown = state;
    if (!status) {
        const QString error = Utf8Text(status.error);
        state += (state.isEmpty() ? "" : "\n") + error;
        // Its first line, shortened; the whole in the tip.
        QString line = error.section('\n', 0, 0);
        if (line.size() > 110)
            line = line.left(109) + QString::fromUtf8("…");
        shown += (shown.isEmpty() ? "" : "\n") + line;
    }
    lblStoreState_->setText(shown);
    lblStoreState_->setToolTip(state);
}

void ProductionTestPage::ShowRunHistory()
{
    if (!OpenStore())
        return;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const HistoryView view =
        ReadHistory(*store_, edHistorySerial_->text().trimmed().toStdString(), kHistoryViewRuns, now);
    lblDayYield_->setText(Utf8Text(DayYieldText(view)));
    stgrRuns_->setRowCount(static_cast<int>(view.runs.size()));
    for (int row = 0; row < static_cast<int>(view.runs.size()); ++row) {
        const RunRecord& run = view.runs[static_cast<size_t>(row)];
        const bool kept = view.spooled.count(run.runId) > 0;
        SetCell(stgrRuns_, row, 0, ShortTime(run.started), Utf8Text(run.started + "\n" + run.runId));
        stgrRuns_->item(row, 0)->setData(Qt::UserRole, Utf8Text(run.runId));
        SetCell(stgrRuns_, row, 1, Utf8Text(UnitSerial(run)), Utf8Text(run.unit.partNumber + " " + run.labelSerial));
        SetCell(stgrRuns_, row, 2, OutcomeQText(run.outcome));
        stgrRuns_->item(row, 2)->setForeground(ToQColor(OutcomeColour(run.outcome)));
        SetCell(stgrRuns_, row, 3,
                Utf8Text(run.planName + (run.planRevision.empty() ? "" : " rev " + run.planRevision)));
        SetCell(stgrRuns_, row, 4, Utf8Text(run.station + (kept ? " (kept here)" : "")),
                Utf8Text(run.station + (kept ? std::string(": ") + kSpooledMessage : std::string())));
    }
    ShowStoreState(view.spooled.size(), view.status);
}

void ProductionTestPage::ShowRun(const std::string& runId)
{
    if (runId.empty() || !OpenStore())
        return;
    StoreStatus status;
    const std::optional<RunRecord> run = store_->Show(runId, &status);
    stgrRunSteps_->setRowCount(0);
    if (!run) {
        lblRunTitle_->setText(status ? "The run is no longer in the store" : Utf8Text(status.error));
        shownRunId_.clear();
        return;
    }
    shownRunId_ = runId;
    lblRunTitle_->setText(Utf8Text(UnitSerial(*run) + "  " + run->planName + "  ") + ShortTime(run->started) + "  " +
                          OutcomeQText(run->outcome));
    lblRunTitle_->setToolTip(Utf8Text(run->runId));
    // A row per step, its name across, then a row per measurement; failures in red.
    int rows = 0;
    for (const StepRecord& step : run->steps)
        rows += 1 + static_cast<int>(step.measurements.size());
    stgrRunSteps_->setRowCount(rows);
    stgrRunSteps_->clearSpans();
    auto paint = [this](int row, Outcome outcome) {
        const bool failed = outcome == Outcome::Fail || outcome == Outcome::Error;
        for (int c = 0; c < stgrRunSteps_->columnCount(); ++c)
            if (QTableWidgetItem* item = stgrRunSteps_->item(row, c))
                item->setForeground(ToQColor(failed || c == 3 ? OutcomeColour(outcome) : Rgb{0, 0, 0}));
    };
    int row = 0;
    for (const StepRecord& step : run->steps) {
        const QString message = Utf8Text(step.message);
        SetCell(stgrRunSteps_, row, 0, Utf8Text(step.name) + (message.isEmpty() ? "" : ": " + message),
                Utf8Text(step.kind) + (message.isEmpty() ? "" : "\n" + message));
        QFont bold = stgrRunSteps_->font();
        bold.setBold(true);
        stgrRunSteps_->item(row, 0)->setFont(bold);
        stgrRunSteps_->setSpan(row, 0, 1, 3);
        SetCell(stgrRunSteps_, row, 3, OutcomeQText(step.outcome));
        paint(row++, step.outcome);
        for (const Measurement& m : step.measurements) {
            SetCell(stgrRunSteps_, row, 0, "  " + Utf8Text(m.name), Utf8Text(m.name));
            SetCell(stgrRunSteps_, row, 1, Utf8Text(MeasurementValueText(m)));
            SetCell(stgrRunSteps_, row, 2, Utf8Text(MeasurementLimitsText(m)));
            SetCell(stgrRunSteps_, row, 3, OutcomeQText(m.outcome));
            paint(row++, m.outcome);
        }
    }
}

std::string ProductionTestPage::PickedRunId() const
{
    const int row = stgrRuns_->currentRow();
    if (const QTableWidgetItem* item = row >= 0 ? stgrRuns_->item(row, 0) : nullptr)
        return item->data(Qt::UserRole).toString().toStdString();
    return shownRunId_;
}

void ProductionTestPage::SaveReport(const std::string& runId)
{
    if (!OpenStore())
        return;
    StoreStatus status;
    const std::optional<RunRecord> run = store_->Show(runId, &status);
    if (!run) {
        shell_.UserDialogs().Message(status ? "The run is not in the store." : status.error, MessageKind::Error);
        return;
    }
    FileDialogRequest request;
    request.title = "Save unit report";
    request.filters = {{"HTML report", "*.html"}, {"PDF report", "*.pdf"}};
    request.defaultExtension = "html";
    const QString folder = QSettings().value(kReportFolderKey).toString();
    const std::string name = (UnitSerial(*run).empty() ? run->runId : UnitSerial(*run)) + "-report.html";
    request.fileName = folder.isEmpty() ? name : (folder + "/").toStdString() + name;
    // The extension of the chosen kind, unless the name has one of the two.
    auto finalName = [](const FileChoice& chosen) {
        const QString file = QString::fromStdString(chosen.fileName);
        for (const char* known : {".html", ".htm", ".pdf"})
            if (file.endsWith(known, Qt::CaseInsensitive))
                return chosen.fileName;
        const QString base = file.endsWith(".") ? file.chopped(1) : file;
        return (base + (chosen.filterIndex == 2 ? ".pdf" : ".html")).toStdString();
    };
    const std::optional<FileChoice> choice = shell_.UserDialogs().SaveFileName(request, finalName);
    if (!choice)
        return;
    const std::string fileName = finalName(*choice);
    std::string error;
    if (!WriteUnitReport({*run}, fileName, error)) {
        shell_.UserDialogs().Message("The report was not saved: " + error, MessageKind::Error);
        return;
    }
    QSettings().setValue(kReportFolderKey, QFileInfo(QString::fromStdString(fileName)).absolutePath());
    shell_.Status().StatusReported({"Report saved to " + fileName, StatusKind::Ok});
}

void ProductionTestPage::WindowClosing()
{
    stop_ = true;
}
