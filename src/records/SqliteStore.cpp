#include "SqliteStore.h"

#include "RecordTime.h"
#include "RunRow.h"
#include "RunWriter.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <variant>

namespace {
// The columns of a run row, in the order every statement names them.
constexpr const char* kRunColumns =
    "run_id, plan_name, plan_revision, plan_sha256, station, operator, label_serial, family, part_number, "
    "biss_serial, decoded_serial, extended_serial, firmware, started, ended, outcome";

constexpr const char* kSchema = R"sql(
CREATE TABLE runs (
    run_id TEXT PRIMARY KEY,
    plan_name TEXT NOT NULL, plan_revision TEXT NOT NULL, plan_sha256 TEXT NOT NULL,
    station TEXT NOT NULL, operator TEXT NOT NULL, label_serial TEXT NOT NULL,
    family TEXT NOT NULL, part_number TEXT NOT NULL, biss_serial TEXT NOT NULL,
    decoded_serial TEXT NOT NULL, extended_serial TEXT NOT NULL, firmware TEXT NOT NULL,
    started TEXT NOT NULL, ended TEXT NOT NULL, outcome TEXT NOT NULL,
    started_ms INTEGER NOT NULL,  -- the start as an instant, for sorting and filtering
    writer TEXT NOT NULL          -- the program writing a RUNNING run
);
CREATE INDEX runs_by_start ON runs (started_ms);
CREATE INDEX runs_by_plan ON runs (plan_name, started_ms);
CREATE INDEX runs_by_label_serial ON runs (label_serial);
CREATE INDEX runs_by_decoded_serial ON runs (decoded_serial);
CREATE INDEX runs_running ON runs (outcome) WHERE outcome = 'RUNNING';
CREATE TABLE steps (
    run_id TEXT NOT NULL, step_index INTEGER NOT NULL,
    kind TEXT NOT NULL, name TEXT NOT NULL, outcome TEXT NOT NULL, message TEXT NOT NULL,
    started TEXT NOT NULL, ended TEXT NOT NULL,
    PRIMARY KEY (run_id, step_index)
);
CREATE INDEX steps_failed ON steps (run_id) WHERE outcome IN ('FAIL', 'ERROR');
CREATE TABLE measurements (
    run_id TEXT NOT NULL, step_index INTEGER NOT NULL, position INTEGER NOT NULL,
    name TEXT NOT NULL, number REAL, text TEXT NOT NULL, low REAL, high REAL,
    expected TEXT NOT NULL, unit TEXT NOT NULL, outcome TEXT NOT NULL,
    PRIMARY KEY (run_id, step_index, position)
);
CREATE INDEX measurements_failed ON measurements (run_id, step_index) WHERE outcome = 'FAIL';
CREATE TABLE attachments (
    run_id TEXT NOT NULL, step_index INTEGER NOT NULL, position INTEGER NOT NULL,
    name TEXT NOT NULL, media_type TEXT NOT NULL, content BLOB NOT NULL,
    PRIMARY KEY (run_id, step_index, position)
);
)sql";

constexpr int kBusyTimeoutMs = 30000;
} // namespace

// One prepared statement; binds by position from 1, finalized on scope exit.
class SqliteStore::Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return stmt_ != nullptr; }
    Statement& Text(const std::string& value)
    {
        sqlite3_bind_text(stmt_, ++bound_, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Blob(const std::string& value)
    {
        sqlite3_bind_blob(stmt_, ++bound_, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Integer(std::int64_t value)
    {
        sqlite3_bind_int64(stmt_, ++bound_, value);
        return *this;
    }
    Statement& Number(const std::optional<double>& value)
    {
        if (value)
            sqlite3_bind_double(stmt_, ++bound_, *value);
        else
            sqlite3_bind_null(stmt_, ++bound_);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    bool Run() { return Step() == SQLITE_DONE; }

    std::string ColumnText(int i) const
    {
        const unsigned char* text = sqlite3_column_text(stmt_, i);
        return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, i)) : std::string();
    }
    std::string ColumnBlob(int i) const
    {
        const void* data = sqlite3_column_blob(stmt_, i);
        return data ? std::string(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, i)) : std::string();
    }
    std::optional<double> ColumnNumber(int i) const
    {
        if (sqlite3_column_type(stmt_, i) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_double(stmt_, i);
    }
    std::int64_t ColumnInteger(int i) const { return sqlite3_column_int64(stmt_, i); }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    int bound_ = 0;
};

namespace {

template <typename Statement>
RunRecord RunFromRow(const Statement& row)
{
    return RunFromColumns([&](int i) { return row.ColumnText(i); });
}
} // namespace

SqliteStore::SqliteStore(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

SqliteStore::~SqliteStore()
{
    sqlite3_close_v2(db_);
}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, StoreStatus* status)
{
    auto fail = [&](const std::string& why) {
        if (status)
            *status = StoreStatus::Failed(why);
        return nullptr;
    };
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    if (ec)
        return fail("cannot create the folder " + parent.string() + ": " + ec.message());
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return fail("cannot open the record store " + path + ": " + why);
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(db, path));
    StoreStatus prepared = store->Prepare();
    if (!prepared)
        return fail(prepared.error);
    if (status)
        *status = {};
    return store;
}

StoreStatus SqliteStore::Failure(const std::string& what) const
{
    return StoreStatus::Failed(what + " in the record store " + path_ + ": " + sqlite3_errmsg(db_));
}

StoreStatus SqliteStore::Prepare()
{
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // Switching to WAL takes the file for a moment; a busy answer means another
    // program is doing the same, and the file ends up in WAL either way.
    char* message = nullptr;
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        return Failure("cannot switch to write-ahead logging");
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    bool newer = false;
    StoreStatus schema = Transaction("cannot create the tables", [&] {
        if (sqlite3_exec(db_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", nullptr,
                         nullptr, nullptr) != SQLITE_OK)
            return false;
        Statement read(db_, "SELECT max(version) FROM schema_version");
        if (read.Step() != SQLITE_ROW)
            return false;
        std::int64_t version = read.ColumnInteger(0);
        if (version == kSchemaVersion)
            return true;
        if (version > kSchemaVersion) {
            newer = true;
            return false;
        }
        return sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
               Statement(db_, "INSERT INTO schema_version (version) VALUES (?)").Integer(kSchemaVersion).Run();
    });
    if (newer)
        return StoreStatus::Failed("the record store " + path_ + " was written by a newer version of this program");
    if (!schema)
        return schema;
    return MarkAbandonedRuns();
}

StoreStatus SqliteStore::MarkAbandonedRuns()
{
    std::vector<std::string> abandoned;
    {
        Statement running(db_, "SELECT run_id, writer FROM runs WHERE outcome = 'RUNNING'");
        int rc;
        while ((rc = running.Step()) == SQLITE_ROW)
            if (!RunWriterMayBeAlive(running.ColumnText(1)))
                abandoned.push_back(running.ColumnText(0));
        if (rc != SQLITE_DONE)
            return Failure("cannot read the running runs");
    }
    if (abandoned.empty())
        return {};
    return Transaction("cannot mark abandoned runs ABORTED", [&] {
        for (const std::string& id : abandoned)
            if (!Statement(db_, "UPDATE runs SET outcome = 'ABORTED' WHERE run_id = ? AND outcome = 'RUNNING'")
                     .Text(id)
                     .Run())
                return false;
        return true;
    });
}

StoreStatus SqliteStore::Transaction(const char* what, const std::function<bool()>& body)
{
    // IMMEDIATE takes the write lock at once (waiting up to the busy time-out),
    // so a transaction never fails half-way on a lock another program holds.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Failure(what);
    if (!body()) {
        StoreStatus failed = Failure(what);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return failed;
    }
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        StoreStatus failed = Failure(what);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return failed;
    }
    return {};
}

bool SqliteStore::WriteRun(const RunRecord& run)
{
    Statement write(db_, std::string("INSERT INTO runs (") + kRunColumns +
                             ", started_ms, writer) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?) "
                             "ON CONFLICT (run_id) DO UPDATE SET plan_name = excluded.plan_name, "
                             "plan_revision = excluded.plan_revision, plan_sha256 = excluded.plan_sha256, "
                             "station = excluded.station, operator = excluded.operator, "
                             "label_serial = excluded.label_serial, family = excluded.family, "
                             "part_number = excluded.part_number, biss_serial = excluded.biss_serial, "
                             "decoded_serial = excluded.decoded_serial, extended_serial = excluded.extended_serial, "
                             "firmware = excluded.firmware, started = excluded.started, ended = excluded.ended, "
                             "outcome = excluded.outcome, started_ms = excluded.started_ms, writer = excluded.writer");
    write.Text(run.runId)
        .Text(run.planName)
        .Text(run.planRevision)
        .Text(run.planSha256)
        .Text(run.station)
        .Text(run.operatorName)
        .Text(run.labelSerial)
        .Text(run.unit.family)
        .Text(run.unit.partNumber)
        .Text(run.unit.bissSerial)
        .Text(run.unit.decodedSerial)
        .Text(run.unit.extendedSerial)
        .Text(run.unit.firmware)
        .Text(run.started)
        .Text(run.ended)
        .Text(std::string(OutcomeText(run.outcome)))
        .Integer(IsoTimeToMs(run.started).value_or(0))
        .Text(run.outcome == Outcome::Running ? ThisRunWriter() : std::string());
    return write.Run();
}

bool SqliteStore::DeleteRun(const std::string& runId, bool stepsOnly)
{
    for (const char* table : {"attachments", "measurements", "steps", "runs"}) {
        if (stepsOnly && std::string(table) == "runs")
            break;
        if (!Statement(db_, std::string("DELETE FROM ") + table + " WHERE run_id = ?").Text(runId).Run())
            return false;
    }
    return true;
}

bool SqliteStore::WriteStep(const std::string& runId, const StepRecord& step)
{
    for (const char* table : {"attachments", "measurements", "steps"})
        if (!Statement(db_, std::string("DELETE FROM ") + table + " WHERE run_id = ? AND step_index = ?")
                 .Text(runId)
                 .Integer(step.index)
                 .Run())
            return false;
    if (!Statement(db_, "INSERT INTO steps (run_id, step_index, kind, name, outcome, message, started, ended) "
                        "VALUES (?,?,?,?,?,?,?,?)")
             .Text(runId)
             .Integer(step.index)
             .Text(step.kind)
             .Text(step.name)
             .Text(std::string(OutcomeText(step.outcome)))
             .Text(step.message)
             .Text(step.started)
             .Text(step.ended)
             .Run())
        return false;
    for (size_t i = 0; i < step.measurements.size(); ++i) {
        const Measurement& m = step.measurements[i];
        if (!Statement(db_, "INSERT INTO measurements (run_id, step_index, position, name, number, text, low, high, "
                            "expected, unit, outcome) VALUES (?,?,?,?,?,?,?,?,?,?,?)")
                 .Text(runId)
                 .Integer(step.index)
                 .Integer(static_cast<std::int64_t>(i))
                 .Text(m.name)
                 .Number(m.number)
                 .Text(m.text)
                 .Number(m.low)
                 .Number(m.high)
                 .Text(m.expected)
                 .Text(m.unit)
                 .Text(std::string(OutcomeText(m.outcome)))
                 .Run())
            return false;
    }
    for (size_t i = 0; i < step.attachments.size(); ++i) {
        const Attachment& a = step.attachments[i];
        if (!Statement(db_, "INSERT INTO attachments (run_id, step_index, position, name, media_type, content) "
                            "VALUES (?,?,?,?,?,?)")
                 .Text(runId)
                 .Integer(step.index)
                 .Integer(static_cast<std::int64_t>(i))
                 .Text(a.name)
                 .Text(a.mediaType)
                 .Blob(a.content)
                 .Run())
            return false;
    }
    return true;
}

StoreStatus SqliteStore::Begin(const RunRecord& run)
{
    return Transaction("cannot write the run", [&] { return WriteRun(run); });
}

StoreStatus SqliteStore::AddStep(const std::string& runId, const StepRecord& step)
{
    return Transaction("cannot write the step", [&] { return WriteStep(runId, step); });
}

StoreStatus SqliteStore::Finish(const RunRecord& run)
{
    return Transaction("cannot write the run's end", [&] { return WriteRun(run); });
}

StoreStatus SqliteStore::Put(const RunRecord& run)
{
    return Transaction("cannot write the run", [&] {
        if (!DeleteRun(run.runId, true) || !WriteRun(run))
            return false;
        for (const StepRecord& step : run.steps)
            if (!WriteStep(run.runId, step))
                return false;
        return true;
    });
}

StoreStatus SqliteStore::Remove(const std::string& runId)
{
    return Transaction("cannot remove the run", [&] { return DeleteRun(runId, false); });
}

// The WHERE conditions of a filter on the runs table (named alias), with
// its values in order; false with the reason when a time is not a time.
bool SqliteStore::FilterClause(const RunFilter& filter, const std::string& alias, std::string& sql,
                               std::vector<std::variant<std::string, std::int64_t>>& values, StoreStatus* status)
{
    sql = " WHERE 1";
    auto text = [&](const std::string& value, const char* column) {
        if (value.empty())
            return;
        sql += " AND " + alias + column + " = ?";
        values.emplace_back(value);
    };
    if (!filter.serial.empty()) {
        sql += " AND ? IN (" + alias + "label_serial, " + alias + "decoded_serial, " + alias + "biss_serial, " +
               alias + "extended_serial)";
        values.emplace_back(filter.serial);
    }
    text(filter.partNumber, "part_number");
    text(filter.plan, "plan_name");
    text(filter.station, "station");
    text(filter.outcome ? std::string(OutcomeText(*filter.outcome)) : std::string(), "outcome");
    for (const auto& [value, op] : {std::pair{filter.since, " >= ?"}, std::pair{filter.until, " < ?"}}) {
        if (value.empty())
            continue;
        auto instant = IsoTimeToMs(value);
        if (!instant) {
            if (status)
                *status = StoreStatus::Failed("not a date: " + value);
            return false;
        }
        sql += " AND " + alias + "started_ms" + op;
        values.emplace_back(*instant);
    }
    return true;
}

namespace {
template <typename Statement, typename Values>
void BindAll(Statement& statement, const Values& values)
{
    for (const auto& value : values) {
        if (std::holds_alternative<std::string>(value))
            statement.Text(std::get<std::string>(value));
        else
            statement.Integer(std::get<std::int64_t>(value));
    }
}
} // namespace

std::vector<RunRecord> SqliteStore::List(const RunFilter& filter, StoreStatus* status)
{
    std::string where;
    std::vector<std::variant<std::string, std::int64_t>> values;
    if (!FilterClause(filter, "", where, values, status))
        return {};
    std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs" + where + " ORDER BY started_ms DESC, run_id";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    Statement query(db_, sql);
    BindAll(query, values);
    std::vector<RunRecord> runs;
    int rc;
    while ((rc = query.Step()) == SQLITE_ROW)
        runs.push_back(RunFromRow(query));
    if (status)
        *status = rc == SQLITE_DONE ? StoreStatus{} : Failure("cannot list the runs");
    return runs;
}

YieldFacts SqliteStore::CollectYieldFacts(const RunFilter& filter, StoreStatus* status)
{
    YieldFacts facts;
    std::string where;
    std::vector<std::variant<std::string, std::int64_t>> values;
    if (!FilterClause(filter, "r.", where, values, status))
        return facts;
    // One snapshot for both reads.
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    Statement runs(db_, "SELECT r.run_id, CASE WHEN r.decoded_serial <> '' THEN r.decoded_serial WHEN "
                        "r.label_serial <> '' THEN r.label_serial ELSE r.run_id END, r.station, r.plan_name, "
                        "r.started_ms, r.outcome FROM runs r" +
                            where + " AND r.outcome IN ('PASS', 'FAIL', 'ERROR')");
    BindAll(runs, values);
    int rc;
    while ((rc = runs.Step()) == SQLITE_ROW)
        facts.runs.push_back({runs.ColumnText(0), runs.ColumnText(1), runs.ColumnText(2), runs.ColumnText(3),
                              runs.ColumnInteger(4), StoredOutcome(runs.ColumnText(5), Outcome::Error)});
    bool ok = rc == SQLITE_DONE;
    Statement failures(db_, "SELECT r.run_id, s.name, coalesce(m.name, '') FROM steps s "
                            "JOIN runs r ON r.run_id = s.run_id "
                            "LEFT JOIN measurements m ON m.run_id = s.run_id AND m.step_index = s.step_index "
                            "AND m.outcome = 'FAIL'" +
                                where + " AND s.outcome IN ('FAIL', 'ERROR') AND r.outcome IN ('FAIL', 'ERROR')");
    BindAll(failures, values);
    while (ok && (rc = failures.Step()) == SQLITE_ROW)
        facts.failures.push_back({failures.ColumnText(0), failures.ColumnText(1), failures.ColumnText(2)});
    ok = ok && rc == SQLITE_DONE;
    StoreStatus result = ok ? StoreStatus{} : Failure("cannot read the runs for the yield");
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (status)
        *status = result;
    return facts;
}

std::optional<RunRecord> SqliteStore::Show(const std::string& runId, StoreStatus* status)
{
    auto failed = [&](const char* what) -> std::optional<RunRecord> {
        if (status)
            *status = Failure(what);
        return std::nullopt;
    };
    // One read transaction: a run whose steps are being written reads whole.
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    struct End {
        sqlite3* db;
        ~End() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
    } end{db_};
    Statement runRow(db_, std::string("SELECT ") + kRunColumns + " FROM runs WHERE run_id = ?");
    runRow.Text(runId);
    int rc = runRow.Step();
    if (rc == SQLITE_DONE) {
        if (status)
            *status = {};
        return std::nullopt;
    }
    if (rc != SQLITE_ROW)
        return failed("cannot read the run");
    RunRecord run = RunFromRow(runRow);
    Statement steps(db_, "SELECT step_index, kind, name, outcome, message, started, ended FROM steps "
                         "WHERE run_id = ? ORDER BY step_index");
    steps.Text(runId);
    while ((rc = steps.Step()) == SQLITE_ROW) {
        StepRecord step;
        step.index = static_cast<int>(steps.ColumnInteger(0));
        step.kind = steps.ColumnText(1);
        step.name = steps.ColumnText(2);
        step.outcome = StoredOutcome(steps.ColumnText(3), Outcome::Error);
        step.message = steps.ColumnText(4);
        step.started = steps.ColumnText(5);
        step.ended = steps.ColumnText(6);
        run.steps.push_back(std::move(step));
    }
    if (rc != SQLITE_DONE)
        return failed("cannot read the steps");
    auto stepAt = [&](std::int64_t index) -> StepRecord* {
        for (StepRecord& step : run.steps)
            if (step.index == index)
                return &step;
        return nullptr;
    };
    Statement measurements(db_, "SELECT step_index, name, number, text, low, high, expected, unit, outcome "
                                "FROM measurements WHERE run_id = ? ORDER BY step_index, position");
    measurements.Text(runId);
    while ((rc = measurements.Step()) == SQLITE_ROW) {
        StepRecord* step = stepAt(measurements.ColumnInteger(0));
        if (!step)
            continue;
        Measurement m;
        m.name = measurements.ColumnText(1);
        m.number = measurements.ColumnNumber(2);
        m.text = measurements.ColumnText(3);
        m.low = measurements.ColumnNumber(4);
        m.high = measurements.ColumnNumber(5);
        m.expected = measurements.ColumnText(6);
        m.unit = measurements.ColumnText(7);
        m.outcome = StoredOutcome(measurements.ColumnText(8), Outcome::Fail);
        step->measurements.push_back(std::move(m));
    }
    if (rc != SQLITE_DONE)
        return failed("cannot read the measurements");
    Statement attachments(db_, "SELECT step_index, name, media_type, content FROM attachments "
                               "WHERE run_id = ? ORDER BY step_index, position");
    attachments.Text(runId);
    while ((rc = attachments.Step()) == SQLITE_ROW)
        if (StepRecord* step = stepAt(attachments.ColumnInteger(0)))
            step->attachments.push_back(
                {attachments.ColumnText(1), attachments.ColumnText(2), attachments.ColumnBlob(3)});
    if (rc != SQLITE_DONE)
        return failed("cannot read the attachments");
    if (status)
        *status = {};
    return run;
}
