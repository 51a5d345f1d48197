#include "production/ui/ProductionTestPage.h"

#include "production/Validators.h"
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
#include <QTableWidget>

namespace {
constexpr const char* kPlanKey = "production/plan";
constexpr const char* kFolderKey = "production/folder";
constexpr int kHistoryRuns = 20;

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
    // A layout of rows: the page is as high as the tab rows above it leave.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(6);

    auto* planRow = new QHBoxLayout;
    planRow->addWidget(MakeLabel(this, "lblPlanCaption", "Plan:", QRect(0, 0, 34, 18)));
    lblPlanName_ = MakeLabel(this, "lblPlanName", "No test plan chosen", QRect(0, 0, 276, 18));
    planRow->addWidget(lblPlanName_, 1);
    btnOpenPlan_ = Make<QPushButton>(this, "btnOpenPlan", QRect(0, 0, 76, 25));
    btnOpenPlan_->setText("Plan...");
    connect(btnOpenPlan_, &QPushButton::clicked, this, [this] { ChoosePlan(); });
    planRow->addWidget(btnOpenPlan_);
    column->addLayout(planRow);

    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(MakeLabel(this, "lblLabelSerial", "Label serial", QRect(0, 0, 70, 18)));
    edLabelSerial_ = Make<QLineEdit>(this, "edLabelSerial", QRect(0, 0, 130, 25));
    edLabelSerial_->setMaxLength(32);
    QFont entry = edLabelSerial_->font();
    entry.setPointSize(11);
    edLabelSerial_->setFont(entry);
    connect(edLabelSerial_, &QLineEdit::returnPressed, this, [this] { StartRun(); });
    serialRow->addWidget(edLabelSerial_, 1);
    btnStartTest_ = Make<QPushButton>(this, "btnStartTest", QRect(0, 0, 84, 25));
    btnStartTest_->setText("Start");
    connect(btnStartTest_, &QPushButton::clicked, this, [this] { StartRun(); });
    serialRow->addWidget(btnStartTest_);
    btnStopTest_ = Make<QPushButton>(this, "btnStopTest", QRect(0, 0, 84, 25));
    btnStopTest_->setText("Stop");
    connect(btnStopTest_, &QPushButton::clicked, this, [this] { StopRun(); });
    serialRow->addWidget(btnStopTest_);
    column->addLayout(serialRow);

    stgrSteps_ = MakeTable(this, "stgrSteps", QRect(0, 0, 394, 188), {"Step", "Outcome", "Values"});
    stgrSteps_->setColumnWidth(0, 84);
    stgrSteps_->setColumnWidth(1, 66);
    stgrSteps_->setMinimumHeight(76);
    column->addWidget(stgrSteps_, 4);

    lblVerdict_ = MakeLabel(this, "lblVerdict", "", QRect(0, 0, 394, 56));
    lblVerdict_->setFixedHeight(56);
    lblVerdict_->setAlignment(Qt::AlignCenter);
    lblVerdict_->setAutoFillBackground(true);
    QFont big = lblVerdict_->font();
    big.setPointSize(28);
    big.setBold(true);
    lblVerdict_->setFont(big);
    SetPanelColour(lblVerdict_, kColourSilver);
    column->addWidget(lblVerdict_);
    lblReason_ = MakeLabel(this, "lblReason", "", QRect(0, 0, 394, 34));
    lblReason_->setFixedHeight(34);
    lblReason_->setWordWrap(true);
    lblReason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont reasonFont = lblReason_->font();
    reasonFont.setPointSize(9);
    lblReason_->setFont(reasonFont);
    column->addWidget(lblReason_);

    column->addWidget(MakeLabel(this, "lblHistory", "Last runs on this station", QRect(0, 0, 200, 18)));
    stgrHistory_ = MakeTable(this, "stgrHistory", QRect(0, 0, 394, 104), {"Started", "Serial", "Outcome", "Plan"});
    stgrHistory_->setColumnWidth(0, 100);
    stgrHistory_->setColumnWidth(1, 70);
    stgrHistory_->setColumnWidth(2, 62);
    stgrHistory_->setMinimumHeight(58);
    column->addWidget(stgrHistory_, 1);

    const QString remembered = QSettings().value(kPlanKey).toString();
    if (!remembered.isEmpty() && QFileInfo::exists(remembered))
        LoadPlanFile(remembered.toStdString());
    EnableControls();
}

ProductionTestPage::~ProductionTestPage() = default;

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
}

bool ProductionTestPage::OpenStore()
{
    if (store_)
        return true;
    StoreStatus status;
    store_ = OpenRecordStore(DefaultStoreLocation(), &status);
    if (!store_)
        ShowVerdict("ERROR", "The record store cannot be opened: " + Utf8Text(status.error), Outcome::Error);
    return store_ != nullptr;
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
        SetCell(stgrHistory_, row, 0, Utf8Text(run.started.substr(5, 14)).replace('T', ' '),
                Utf8Text(run.started + "\n" + run.runId));
        SetCell(stgrHistory_, row, 1, Utf8Text(run.labelSerial.empty() ? run.unit.decodedSerial : run.labelSerial));
        SetCell(stgrHistory_, row, 2, OutcomeQText(run.outcome));
        stgrHistory_->item(row, 2)->setForeground(ToQColor(OutcomeColour(run.outcome)));
        SetCell(stgrHistory_, row, 3,
                Utf8Text(run.planName + (run.planRevision.empty() ? "" : " rev " + run.planRevision)));
    }
}

void ProductionTestPage::PageSwitched(PageId current)
{
    if (current == PageId::tabProduction && !running_)
        ShowHistory();
}

void ProductionTestPage::WindowClosing()
{
    stop_ = true;
}
