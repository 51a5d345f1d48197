#include "PgStore.h"

#include "RecordTime.h"
#include "RunRow.h"

#include <libpq-fe.h>

#include <dlfcn.h>
#include <type_traits>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The PostgreSQL client library, loaded when a plant's store is first
// reached. A station that keeps its records in its own file never loads it,
// nor the encryption, Kerberos and LDAP libraries it brings along: megabytes
// of every window's memory and time at every start.
struct LibPq {
    decltype(&::PQconnectdbParams) connectdbParams = nullptr;
    decltype(&::PQstatus) status = nullptr;
    decltype(&::PQfinish) finish = nullptr;
    decltype(&::PQerrorMessage) errorMessage = nullptr;
    decltype(&::PQsetNoticeProcessor) setNoticeProcessor = nullptr;
    decltype(&::PQexec) exec = nullptr;
    decltype(&::PQresultStatus) resultStatus = nullptr;
    decltype(&::PQresultErrorMessage) resultErrorMessage = nullptr;
    decltype(&::PQclear) clear = nullptr;
    decltype(&::PQntuples) ntuples = nullptr;
    decltype(&::PQgetvalue) getvalue = nullptr;
    decltype(&::PQgetlength) getlength = nullptr;
    decltype(&::PQgetisnull) getisnull = nullptr;
    decltype(&::PQunescapeBytea) unescapeBytea = nullptr;
    decltype(&::PQfreemem) freemem = nullptr;
    decltype(&::PQenterPipelineMode) enterPipelineMode = nullptr;
    decltype(&::PQsendQueryParams) sendQueryParams = nullptr;
    decltype(&::PQpipelineSync) pipelineSync = nullptr;
    decltype(&::PQgetResult) getResult = nullptr;
    decltype(&::PQexitPipelineMode) exitPipelineMode = nullptr;
    decltype(&::PQexecParams) execParams = nullptr;
    std::string error; // why it could not be loaded; empty when it was
};

const LibPq& Pq()
{
    static const LibPq pq = [] {
        LibPq p;
        void* library = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = ::dlerror();
            p.error = why ? why : "libpq.so.5 not found";
            return p;
        }
        auto take = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
            if (!function && p.error.empty())
                p.error = std::string("libpq.so.5 has no ") + name;
        };
        take(p.connectdbParams, "PQconnectdbParams");
        take(p.status, "PQstatus");
        take(p.finish, "PQfinish");
        take(p.errorMessage, "PQerrorMessage");
        take(p.setNoticeProcessor, "PQsetNoticeProcessor");
        take(p.exec, "PQexec");
        take(p.resultStatus, "PQresultStatus");
        take(p.resultErrorMessage, "PQresultErrorMessage");
        take(p.clear, "PQclear");
        take(p.ntuples, "PQntuples");
        take(p.getvalue, "PQgetvalue");
        take(p.getlength, "PQgetlength");
        take(p.getisnull, "PQgetisnull");
        take(p.unescapeBytea, "PQunescapeBytea");
        take(p.freemem, "PQfreemem");
        take(p.enterPipelineMode, "PQenterPipelineMode");
        take(p.sendQueryParams, "PQsendQueryParams");
        take(p.pipelineSync, "PQpipelineSync");
        take(p.getResult, "PQgetResult");
        take(p.exitPipelineMode, "PQexitPipelineMode");
        take(p.execParams, "PQexecParams");
        return p;
    }();
    return pq;
}

} // namespace

namespace {

// The schema, one migration per version. A database at version n gets
// migrations n+1.. in one transaction; each is written once and never
// changed after it shipped.
const char* const kMigrations[] = {
    // 1: the runs, their steps, measurements and attachments.
    R"sql(
CREATE TABLE runs (
    run_id uuid PRIMARY KEY,
    plan_name text NOT NULL, plan_revision text NOT NULL, plan_sha256 text NOT NULL,
    station text NOT NULL, operator text NOT NULL, label_serial text NOT NULL,
    family text NOT NULL, part_number text NOT NULL, biss_serial text NOT NULL,
    decoded_serial text NOT NULL, extended_serial text NOT NULL, firmware text NOT NULL,
    started timestamptz, started_text text NOT NULL,
    ended timestamptz, ended_text text NOT NULL,
    outcome text NOT NULL
);
CREATE TABLE steps (
    run_id uuid NOT NULL REFERENCES runs ON DELETE CASCADE, step_index integer NOT NULL,
    kind text NOT NULL, name text NOT NULL, outcome text NOT NULL, message text NOT NULL,
    started_text text NOT NULL, ended_text text NOT NULL,
    PRIMARY KEY (run_id, step_index)
);
CREATE TABLE measurements (
    run_id uuid NOT NULL, step_index integer NOT NULL, position integer NOT NULL,
    name text NOT NULL, number double precision, text text NOT NULL,
    low double precision, high double precision,
    expected text NOT NULL, unit text NOT NULL, outcome text NOT NULL,
    PRIMARY KEY (run_id, step_index, position),
    FOREIGN KEY (run_id, step_index) REFERENCES steps ON DELETE CASCADE
);
CREATE TABLE attachments (
    run_id uuid NOT NULL, step_index integer NOT NULL, position integer NOT NULL,
    name text NOT NULL, media_type text NOT NULL, content bytea NOT NULL,
    PRIMARY KEY (run_id, step_index, position),
    FOREIGN KEY (run_id, step_index) REFERENCES steps ON DELETE CASCADE
);
)sql",
    // 2: what a plant's questions need: when each run arrived, and the
    // indexes that listing by time, plan and serial and the yield use.
    R"sql(
ALTER TABLE runs ADD COLUMN received timestamptz NOT NULL DEFAULT now();
CREATE INDEX runs_by_start ON runs (started);
CREATE INDEX runs_by_plan ON runs (plan_name, started);
CREATE INDEX runs_by_label_serial ON runs (label_serial);
CREATE INDEX runs_by_decoded_serial ON runs (decoded_serial);
CREATE INDEX runs_running ON runs (run_id) WHERE outcome = 'RUNNING';
CREATE INDEX steps_failed ON steps (run_id) WHERE outcome IN ('FAIL', 'ERROR');
CREATE INDEX measurements_failed ON measurements (run_id, step_index) WHERE outcome = 'FAIL';
)sql",
};
static_assert(sizeof kMigrations / sizeof kMigrations[0] == PgStore::kSchemaVersion);

// The advisory lock that orders migrations, and the key space of the locks
// stations hold on the runs they write.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(4170417, 1)";
constexpr const char* kRunLockKey = "hashtextextended($1::text, 417)";

constexpr const char* kRunColumns =
    "run_id::text, plan_name, plan_revision, plan_sha256, station, operator, label_serial, family, part_number, "
    "biss_serial, decoded_serial, extended_serial, firmware, started_text, ended_text, outcome";

std::optional<std::string> NumberParam(const std::optional<double>& value)
{
    if (!value)
        return std::nullopt;
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", *value);
    return std::string(text);
}

std::optional<std::string> InstantParam(const std::string& isoTime)
{
    auto ms = IsoTimeToMs(isoTime);
    if (!ms)
        return std::nullopt;
    return std::to_string(*ms);
}


void IgnoreNotice(void*, const char*) {}

// The passwords a URI carries: in its user part and as a parameter, as
// written and as libpq decodes them.
std::vector<std::string> UriPasswords(const std::string& uri)
{
    std::vector<std::string> found;
    size_t start = uri.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t at = uri.find('@', start), slash = uri.find('/', start), colon = uri.find(':', start);
    if (at != std::string::npos && (slash == std::string::npos || at < slash) && colon != std::string::npos &&
        colon < at)
        found.push_back(uri.substr(colon + 1, at - colon - 1));
    for (size_t p = uri.find("password="); p != std::string::npos; p = uri.find("password=", p + 1))
        found.push_back(uri.substr(p + 9, uri.find('&', p) == std::string::npos ? std::string::npos
                                                                                 : uri.find('&', p) - p - 9));
    std::vector<std::string> decoded;
    for (const std::string& text : found) {
        std::string plain;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                plain += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                plain += text[i];
            }
        }
        decoded.push_back(plain);
    }
    found.insert(found.end(), decoded.begin(), decoded.end());
    return found;
}

template <typename Result>
RunRecord RunFromRow(const Result& result, int row)
{
    return RunFromColumns([&](int i) { return result.Text(row, i); });
}

} // namespace

bool IsRunIdUuid(const std::string& text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-') || (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))))
            return false;
    }
    return true;
}

// One statement with its parameters (text, or binary where marked).
struct PgStore::Query {
    std::string sql;
    std::vector<std::optional<std::string>> params;
    std::vector<int> binary; // indexes of binary parameters

    Query(std::string s, std::vector<std::optional<std::string>> p = {}) : sql(std::move(s)), params(std::move(p)) {}
};

class PgStore::Result {
public:
    Result() = default;
    ~Result() { Pq().clear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    void Reset(PGresult* result)
    {
        Pq().clear(result_);
        result_ = result;
    }
    int Rows() const { return Pq().ntuples(result_); }
    bool Ok() const
    {
        ExecStatusType code = Pq().resultStatus(result_);
        return code == PGRES_TUPLES_OK || code == PGRES_COMMAND_OK;
    }
    std::string Error() const { return Pq().resultErrorMessage(result_); }
    std::string Text(int row, int column) const
    {
        return std::string(Pq().getvalue(result_, row, column), Pq().getlength(result_, row, column));
    }
    bool Null(int row, int column) const { return Pq().getisnull(result_, row, column) != 0; }
    std::optional<double> Number(int row, int column) const
    {
        if (Null(row, column))
            return std::nullopt;
        return std::strtod(Pq().getvalue(result_, row, column), nullptr);
    }
    int Integer(int row, int column) const { return std::atoi(Pq().getvalue(result_, row, column)); }
    std::string Bytes(int row, int column) const
    {
        size_t length = 0;
        unsigned char* bytes =
            Pq().unescapeBytea(reinterpret_cast<const unsigned char*>(Pq().getvalue(result_, row, column)), &length);
        std::string content(reinterpret_cast<const char*>(bytes), length);
        Pq().freemem(bytes);
        return content;
    }

private:
    PGresult* result_ = nullptr;
};

PgStore::PgStore(std::string uri, int schemaVersion) : uri_(std::move(uri)), schemaVersion_(schemaVersion) {}

PgStore::~PgStore()
{
    if (conn_)
        Pq().finish(conn_);
}

std::unique_ptr<PgStore> PgStore::Open(const std::string& uri, StoreStatus* status, int schemaVersion)
{
    auto store = std::make_unique<PgStore>(uri, schemaVersion);
    StoreStatus connected = store->Connect();
    if (status)
        *status = connected;
    if (!connected)
        return nullptr;
    return store;
}

std::string PgStore::Location() const
{
    return RedactLocation(uri_);
}

StoreStatus PgStore::Failure(const std::string& what, const std::string& detail) const
{
    // libpq's messages name host, port and user, never the password; the
    // location is shown without it.
    std::string text = detail;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    // Should libpq quote a malformed URI back, the password is not shown.
    for (const std::string& secret : UriPasswords(uri_))
        for (size_t at; !secret.empty() && (at = text.find(secret)) != std::string::npos;)
            text.replace(at, secret.size(), "***");
    return StoreStatus::Failed(what + " on " + Location() + ": " + text);
}

StoreStatus PgStore::Connect()
{
    if (conn_ && Pq().status(conn_) == CONNECTION_OK)
        return {};
    if (conn_) {
        Pq().finish(conn_);
        conn_ = nullptr;
    }
    // Later entries win over earlier ones: the URI's own settings override
    // the defaults before it.
    // A server that vanishes without a word (a cable, a switch) is noticed
    // within half a minute instead of never.
    const char* keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout", "fallback_application_name", "dbname", nullptr};
    const char* values[] = {"5", "10", "5", "3", "30000", "k417", uri_.c_str(), nullptr};
    if (!Pq().error.empty())
        return StoreStatus::Failed("cannot connect to " + Location() + ": the PostgreSQL client library cannot be loaded (" +
                                   Pq().error + ")");
    conn_ = Pq().connectdbParams(keys, values, 1);
    if (!conn_)
        return StoreStatus::Failed("out of memory connecting to " + Location());
    if (Pq().status(conn_) != CONNECTION_OK) {
        StoreStatus failed = Failure("cannot connect", Pq().errorMessage(conn_));
        Pq().finish(conn_);
        conn_ = nullptr;
        return failed;
    }
    Pq().setNoticeProcessor(conn_, IgnoreNotice, nullptr);
    ++connections_;
    StoreStatus migrated = Migrate();
    if (!migrated) {
        Pq().finish(conn_);
        conn_ = nullptr;
        return migrated;
    }
    // After a lost connection, take the locks of the runs still being
    // written here again, before anyone (this program included) judges them.
    std::vector<Query> relock;
    for (const std::string& runId : writing_)
        relock.emplace_back(std::string("SELECT pg_try_advisory_lock(") + kRunLockKey + ")",
                            std::vector<std::optional<std::string>>{runId});
    if (!relock.empty())
        if (StoreStatus locked = Write("cannot lock the runs being written", relock); !locked)
            return locked;
    // Runs whose station no longer holds their lock will never end.
    return Write("cannot mark abandoned runs ABORTED",
                 {Query(std::string("UPDATE runs SET outcome = 'ABORTED' WHERE outcome = 'RUNNING' AND "
                                    "pg_try_advisory_xact_lock(hashtextextended(run_id::text, 417))"))});
}

int PgStore::SchemaVersion(StoreStatus* status)
{
    StoreStatus s = Connect();
    int version = 0;
    if (s) {
        std::string error;
        version = ReadVersion(error);
        if (version < 0)
            s = Failure("cannot read the schema version", error);
    }
    if (status)
        *status = s;
    return std::max(version, 0);
}

int PgStore::ReadVersion(std::string& error)
{
    Result table, version;
    StoreStatus s;
    if (!ReadQuery(Query("SELECT to_regclass('schema_version') IS NOT NULL"), table, s) || table.Rows() != 1) {
        error = s.error;
        return -1;
    }
    if (table.Text(0, 0) != "t")
        return 0;
    if (!ReadQuery(Query("SELECT coalesce(max(version), 0) FROM schema_version"), version, s)) {
        error = s.error;
        return -1;
    }
    return version.Integer(0, 0);
}

StoreStatus PgStore::Migrate()
{
    auto exec = [&](const std::string& sql, std::string& error) {
        PGresult* result = Pq().exec(conn_, sql.c_str());
        ExecStatusType code = Pq().resultStatus(result);
        bool ok = code == PGRES_COMMAND_OK || code == PGRES_TUPLES_OK;
        if (!ok)
            error = Pq().resultErrorMessage(result);
        Pq().clear(result);
        return ok;
    };
    std::string error;
    int version = ReadVersion(error);
    if (version == schemaVersion_)
        return {};
    if (version < 0 || !conn_)
        return StoreStatus::Failed(error);
    if (version > schemaVersion_)
        return StoreStatus::Failed("the record store on " + Location() + " has schema version " +
                                   std::to_string(version) + ", newer than this program's " +
                                   std::to_string(schemaVersion_));
    // Under the lock, read the version again: another station may have
    // migrated while this one waited.
    bool ok = exec("BEGIN", error) && exec(kMigrationLock, error) &&
              exec("CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL, "
                   "migrated timestamptz NOT NULL DEFAULT now())",
                   error);
    if (ok) {
        version = ReadVersion(error);
        ok = version >= 0 && conn_;
        for (int next = version + 1; ok && next <= schemaVersion_; ++next)
            ok = exec(kMigrations[next - 1], error) &&
                 exec("INSERT INTO schema_version (version) VALUES (" + std::to_string(next) + ")", error);
    }
    if (!ok) {
        std::string ignored;
        if (conn_)
            exec("ROLLBACK", ignored);
        return Failure("cannot migrate the schema", error);
    }
    if (!exec("COMMIT", error))
        return Failure("cannot migrate the schema", error);
    return {};
}

StoreStatus PgStore::Write(const char* what, std::vector<Query> queries, Durability durability)
{
    // A run's row and steps as it goes are committed without waiting for
    // the server's disk; its end waits, and with it everything before it on
    // the same connection reaches the disk (the log is written in order).
    // Only a server crash loses such commits, and a crash ends the
    // connection: a run whose writes did not all go over one connection is
    // sent again whole at its end (see PlantStore).
    queries.insert(queries.begin(), Query(durability == Durability::Durable ? "SET synchronous_commit TO on"
                                                                            : "SET synchronous_commit TO off"));
    // Every write replaces what it writes, so one sent again after a lost
    // connection (the server restarted since the last call) lands once.
    bool lost = false;
    StoreStatus written = WriteOnce(what, queries, lost);
    if (!written && lost)
        written = WriteOnce(what, queries, lost);
    return written;
}

StoreStatus PgStore::WriteOnce(const char* what, const std::vector<Query>& queries, bool& lost)
{
    lost = false;
    if (StoreStatus connected = Connect(); !connected)
        return connected;
    // One pipeline, one round trip: the statements up to the sync form one
    // implicit transaction that commits whole or not at all.
    if (Pq().enterPipelineMode(conn_) != 1)
        return Failure(what, Pq().errorMessage(conn_));
    size_t sent = 0;
    for (const Query& q : queries) {
        std::vector<const char*> values;
        std::vector<int> lengths, formats;
        for (size_t i = 0; i < q.params.size(); ++i) {
            values.push_back(q.params[i] ? q.params[i]->data() : nullptr);
            lengths.push_back(q.params[i] ? static_cast<int>(q.params[i]->size()) : 0);
            bool binary = false;
            for (int b : q.binary)
                binary = binary || b == static_cast<int>(i);
            formats.push_back(binary ? 1 : 0);
        }
        if (Pq().sendQueryParams(conn_, q.sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                              lengths.data(), formats.data(), 0) != 1)
            break;
        ++sent;
    }
    std::string error;
    if (sent != queries.size())
        error = Pq().errorMessage(conn_);
    Pq().pipelineSync(conn_);
    for (size_t i = 0; i < sent && Pq().status(conn_) == CONNECTION_OK; ++i) {
        while (PGresult* result = Pq().getResult(conn_)) {
            ExecStatusType code = Pq().resultStatus(result);
            if (code == PGRES_FATAL_ERROR && error.empty())
                error = Pq().resultErrorMessage(result);
            Pq().clear(result);
        }
    }
    bool synced = false;
    for (int empty = 0; Pq().status(conn_) == CONNECTION_OK && empty < 3;) {
        PGresult* result = Pq().getResult(conn_);
        if (!result) {
            ++empty;
            continue;
        }
        synced = Pq().resultStatus(result) == PGRES_PIPELINE_SYNC;
        if (!synced && Pq().resultStatus(result) == PGRES_FATAL_ERROR && error.empty())
            error = Pq().resultErrorMessage(result);
        Pq().clear(result);
        if (synced)
            break;
    }
    Pq().exitPipelineMode(conn_);
    if (Pq().status(conn_) != CONNECTION_OK) {
        // The server is gone or cut us off: whatever was sent was rolled back.
        StoreStatus failed = Failure(what, error.empty() ? Pq().errorMessage(conn_) : error);
        Pq().finish(conn_);
        conn_ = nullptr;
        lost = true;
        return failed;
    }
    if (!error.empty() || !synced)
        return Failure(what, error.empty() ? "the transaction did not complete" : error);
    return {};
}

bool PgStore::ReadQuery(const Query& q, Result& result, StoreStatus& status)
{
    std::vector<const char*> values;
    for (const auto& p : q.params)
        values.push_back(p ? p->c_str() : nullptr);
    result.Reset(Pq().execParams(conn_, q.sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                              nullptr, 0));
    if (Pq().status(conn_) != CONNECTION_OK) {
        status = Failure("cannot read", Pq().errorMessage(conn_));
        Pq().finish(conn_);
        conn_ = nullptr;
        return false;
    }
    if (!result.Ok()) {
        status = Failure("cannot read", result.Error());
        return false;
    }
    return true;
}

std::vector<PgStore::Query> PgStore::RunRowQueries(const RunRecord& run) const
{
    Query upsert(std::string("INSERT INTO runs (run_id, plan_name, plan_revision, plan_sha256, station, operator, "
                             "label_serial, family, part_number, biss_serial, decoded_serial, extended_serial, "
                             "firmware, started, started_text, ended, ended_text, outcome) VALUES ($1::uuid, $2, $3, "
                             "$4, $5, $6, $7, $8, $9, $10, $11, $12, $13, to_timestamp($14::float8 / 1000), $15, "
                             "to_timestamp($16::float8 / 1000), $17, $18) ON CONFLICT (run_id) DO UPDATE SET "
                             "plan_name = EXCLUDED.plan_name, plan_revision = EXCLUDED.plan_revision, "
                             "plan_sha256 = EXCLUDED.plan_sha256, station = EXCLUDED.station, "
                             "operator = EXCLUDED.operator, label_serial = EXCLUDED.label_serial, "
                             "family = EXCLUDED.family, part_number = EXCLUDED.part_number, "
                             "biss_serial = EXCLUDED.biss_serial, decoded_serial = EXCLUDED.decoded_serial, "
                             "extended_serial = EXCLUDED.extended_serial, firmware = EXCLUDED.firmware, "
                             "started = EXCLUDED.started, started_text = EXCLUDED.started_text, "
                             "ended = EXCLUDED.ended, ended_text = EXCLUDED.ended_text, outcome = EXCLUDED.outcome"),
                 {run.runId, run.planName, run.planRevision, run.planSha256, run.station, run.operatorName,
                  run.labelSerial, run.unit.family, run.unit.partNumber, run.unit.bissSerial, run.unit.decodedSerial,
                  run.unit.extendedSerial, run.unit.firmware, InstantParam(run.started), run.started,
                  InstantParam(run.ended), run.ended, std::string(OutcomeText(run.outcome))});
    return {upsert};
}

std::vector<PgStore::Query> PgStore::StepQueries(const std::string& runId, const StepRecord& step) const
{
    std::string index = std::to_string(step.index);
    std::vector<Query> queries;
    // Measurements and attachments go with their step.
    queries.emplace_back("DELETE FROM steps WHERE run_id = $1::uuid AND step_index = $2::integer",
                         std::vector<std::optional<std::string>>{runId, index});
    queries.emplace_back("INSERT INTO steps (run_id, step_index, kind, name, outcome, message, started_text, "
                         "ended_text) VALUES ($1::uuid, $2::integer, $3, $4, $5, $6, $7, $8)",
                         std::vector<std::optional<std::string>>{runId, index, step.kind, step.name,
                                                                 std::string(OutcomeText(step.outcome)), step.message,
                                                                 step.started, step.ended});
    for (size_t i = 0; i < step.measurements.size(); ++i) {
        const Measurement& m = step.measurements[i];
        queries.emplace_back("INSERT INTO measurements (run_id, step_index, position, name, number, text, low, high, "
                             "expected, unit, outcome) VALUES ($1::uuid, $2::integer, $3::integer, $4, "
                             "$5::float8, $6, $7::float8, $8::float8, $9, $10, $11)",
                             std::vector<std::optional<std::string>>{
                                 runId, index, std::to_string(i), m.name, NumberParam(m.number), m.text,
                                 NumberParam(m.low), NumberParam(m.high), m.expected, m.unit,
                                 std::string(OutcomeText(m.outcome))});
    }
    for (size_t i = 0; i < step.attachments.size(); ++i) {
        const Attachment& a = step.attachments[i];
        Query insert("INSERT INTO attachments (run_id, step_index, position, name, media_type, content) VALUES "
                     "($1::uuid, $2::integer, $3::integer, $4, $5, $6::bytea)",
                     {runId, index, std::to_string(i), a.name, a.mediaType, a.content});
        insert.binary = {5};
        queries.push_back(std::move(insert));
    }
    return queries;
}

StoreStatus PgStore::Begin(const RunRecord& run)
{
    if (!IsRunIdUuid(run.runId))
        return StoreStatus::Failed("the run id \"" + run.runId + "\" is not a UUID");
    std::vector<Query> queries{Query(std::string("SELECT pg_try_advisory_lock(") + kRunLockKey + ")", {run.runId})};
    for (Query& q : RunRowQueries(run))
        queries.push_back(std::move(q));
    StoreStatus written = Write("cannot write the run", queries, Durability::Deferred);
    if (written)
        writing_.insert(run.runId);
    return written;
}

StoreStatus PgStore::AddStep(const std::string& runId, const StepRecord& step)
{
    if (!IsRunIdUuid(runId))
        return StoreStatus::Failed("the run id \"" + runId + "\" is not a UUID");
    return Write("cannot write the step", StepQueries(runId, step), Durability::Deferred);
}

StoreStatus PgStore::Finish(const RunRecord& run)
{
    if (!IsRunIdUuid(run.runId))
        return StoreStatus::Failed("the run id \"" + run.runId + "\" is not a UUID");
    std::vector<Query> queries = RunRowQueries(run);
    if (run.outcome != Outcome::Running && writing_.count(run.runId))
        queries.emplace_back(std::string("SELECT pg_advisory_unlock(") + kRunLockKey + ")",
                             std::vector<std::optional<std::string>>{run.runId});
    StoreStatus written = Write("cannot write the run's end", queries, Durability::Durable);
    if (written && run.outcome != Outcome::Running)
        writing_.erase(run.runId);
    return written;
}

StoreStatus PgStore::Put(const RunRecord& run)
{
    if (!IsRunIdUuid(run.runId))
        return StoreStatus::Failed("the run id \"" + run.runId + "\" is not a UUID");
    std::vector<Query> queries{Query("DELETE FROM steps WHERE run_id = $1::uuid", {run.runId})};
    for (Query& q : RunRowQueries(run))
        queries.push_back(std::move(q));
    for (const StepRecord& step : run.steps)
        for (Query& q : StepQueries(run.runId, step))
            if (q.sql.rfind("DELETE", 0) != 0)
                queries.push_back(std::move(q));
    bool ends = run.outcome != Outcome::Running && writing_.count(run.runId);
    if (ends)
        queries.emplace_back(std::string("SELECT pg_advisory_unlock(") + kRunLockKey + ")",
                             std::vector<std::optional<std::string>>{run.runId});
    StoreStatus written = Write("cannot write the run", queries, Durability::Durable);
    if (written && ends)
        writing_.erase(run.runId);
    return written;
}

bool PgStore::FilterClause(const RunFilter& filter, const std::string& alias, std::string& sql,
                           std::vector<std::optional<std::string>>& params, StoreStatus& status)
{
    sql = " WHERE true";
    auto param = [&](std::optional<std::string> value) {
        params.push_back(std::move(value));
        return "$" + std::to_string(params.size());
    };
    if (!filter.serial.empty())
        sql += " AND " + param(filter.serial) + " IN (" + alias + "label_serial, " + alias + "decoded_serial, " +
               alias + "biss_serial, " + alias + "extended_serial)";
    if (!filter.partNumber.empty())
        sql += " AND " + alias + "part_number = " + param(filter.partNumber);
    if (!filter.plan.empty())
        sql += " AND " + alias + "plan_name = " + param(filter.plan);
    if (!filter.station.empty())
        sql += " AND " + alias + "station = " + param(filter.station);
    if (filter.outcome)
        sql += " AND " + alias + "outcome = " + param(std::string(OutcomeText(*filter.outcome)));
    for (const auto& [text, op] : {std::pair{filter.since, " >= "}, std::pair{filter.until, " < "}}) {
        if (text.empty())
            continue;
        auto instant = InstantParam(text);
        if (!instant) {
            status = StoreStatus::Failed("not a date: " + text);
            return false;
        }
        sql += " AND " + alias + "started" + op + "to_timestamp(" + param(instant) + "::float8 / 1000)";
    }
    return true;
}

YieldFacts PgStore::CollectYieldFacts(const RunFilter& filter, StoreStatus* status)
{
    YieldFacts facts;
    StoreStatus s = Connect();
    std::vector<std::optional<std::string>> params;
    std::string where;
    Result begin, end, runs, failures;
    if (s && FilterClause(filter, "r.", where, params, s) &&
        ReadQuery(Query("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), begin, s)) {
        bool ok = ReadQuery(Query("SELECT r.run_id::text, CASE WHEN r.decoded_serial <> '' THEN r.decoded_serial "
                                  "WHEN r.label_serial <> '' THEN r.label_serial ELSE r.run_id::text END, r.station, "
                                  "r.plan_name, (extract(epoch FROM r.started) * 1000)::bigint, r.outcome FROM runs r" +
                                      where + " AND r.outcome IN ('PASS', 'FAIL', 'ERROR')",
                                  params),
                            runs, s) &&
                  ReadQuery(Query("SELECT r.run_id::text, st.name, coalesce(m.name, '') FROM steps st "
                                  "JOIN runs r ON r.run_id = st.run_id "
                                  "LEFT JOIN measurements m ON m.run_id = st.run_id AND m.step_index = st.step_index "
                                  "AND m.outcome = 'FAIL'" +
                                      where +
                                      " AND st.outcome IN ('FAIL', 'ERROR') AND r.outcome IN ('FAIL', 'ERROR')",
                                  params),
                            failures, s);
        if (conn_)
            ReadQuery(Query(ok ? "COMMIT" : "ROLLBACK"), end, s);
        if (ok) {
            facts.runs.reserve(static_cast<size_t>(runs.Rows()));
            for (int row = 0; row < runs.Rows(); ++row)
                facts.runs.push_back({runs.Text(row, 0), runs.Text(row, 1), runs.Text(row, 2), runs.Text(row, 3),
                                      std::strtoll(runs.Text(row, 4).c_str(), nullptr, 10),
                                      StoredOutcome(runs.Text(row, 5), Outcome::Error)});
            for (int row = 0; row < failures.Rows(); ++row)
                facts.failures.push_back({failures.Text(row, 0), failures.Text(row, 1), failures.Text(row, 2)});
        }
    }
    if (status)
        *status = s;
    return facts;
}

std::vector<RunRecord> PgStore::List(const RunFilter& filter, StoreStatus* status)
{
    StoreStatus s = Connect();
    auto done = [&](std::vector<RunRecord> runs) {
        if (status)
            *status = s;
        return runs;
    };
    if (!s)
        return done({});
    std::vector<std::optional<std::string>> params;
    std::string where;
    if (!FilterClause(filter, "", where, params, s))
        return done({});
    std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs" + where;
    sql += " ORDER BY started DESC NULLS LAST, run_id";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    Result result;
    if (!ReadQuery(Query(sql, params), result, s))
        return done({});
    std::vector<RunRecord> runs;
    for (int row = 0; row < result.Rows(); ++row)
        runs.push_back(RunFromRow(result, row));
    return done(std::move(runs));
}

std::optional<RunRecord> PgStore::Show(const std::string& runId, StoreStatus* status)
{
    StoreStatus s = Connect();
    auto done = [&](std::optional<RunRecord> run) {
        if (status)
            *status = s;
        return run;
    };
    if (!s || !IsRunIdUuid(runId))
        return done(std::nullopt);
    // One snapshot: a run whose steps are being written reads whole.
    Result begin, end;
    if (!ReadQuery(Query("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), begin, s))
        return done(std::nullopt);
    struct Commit {
        PgStore& store;
        Result& result;
        ~Commit()
        {
            StoreStatus ignored;
            if (store.conn_)
                store.ReadQuery(Query("COMMIT"), result, ignored);
        }
    } commit{*this, end};
    Result runRow, steps, measurements, attachments;
    if (!ReadQuery(Query(std::string("SELECT ") + kRunColumns + " FROM runs WHERE run_id = $1::uuid", {runId}),
                   runRow, s))
        return done(std::nullopt);
    if (runRow.Rows() == 0)
        return done(std::nullopt);
    RunRecord run = RunFromRow(runRow, 0);
    if (!ReadQuery(Query("SELECT step_index, kind, name, outcome, message, started_text, ended_text FROM steps "
                         "WHERE run_id = $1::uuid ORDER BY step_index",
                         {runId}),
                   steps, s) ||
        !ReadQuery(Query("SELECT step_index, name, number, text, low, high, expected, unit, outcome FROM "
                         "measurements WHERE run_id = $1::uuid ORDER BY step_index, position",
                         {runId}),
                   measurements, s) ||
        !ReadQuery(Query("SELECT step_index, name, media_type, content FROM attachments WHERE run_id = $1::uuid "
                         "ORDER BY step_index, position",
                         {runId}),
                   attachments, s))
        return done(std::nullopt);
    for (int row = 0; row < steps.Rows(); ++row) {
        StepRecord step;
        step.index = steps.Integer(row, 0);
        step.kind = steps.Text(row, 1);
        step.name = steps.Text(row, 2);
        step.outcome = StoredOutcome(steps.Text(row, 3), Outcome::Error);
        step.message = steps.Text(row, 4);
        step.started = steps.Text(row, 5);
        step.ended = steps.Text(row, 6);
        run.steps.push_back(std::move(step));
    }
    auto stepAt = [&](int index) -> StepRecord* {
        for (StepRecord& step : run.steps)
            if (step.index == index)
                return &step;
        return nullptr;
    };
    for (int row = 0; row < measurements.Rows(); ++row) {
        StepRecord* step = stepAt(measurements.Integer(row, 0));
        if (!step)
            continue;
        Measurement m;
        m.name = measurements.Text(row, 1);
        m.number = measurements.Number(row, 2);
        m.text = measurements.Text(row, 3);
        m.low = measurements.Number(row, 4);
        m.high = measurements.Number(row, 5);
        m.expected = measurements.Text(row, 6);
        m.unit = measurements.Text(row, 7);
        m.outcome = StoredOutcome(measurements.Text(row, 8), Outcome::Fail);
        step->measurements.push_back(std::move(m));
    }
    for (int row = 0; row < attachments.Rows(); ++row)
        if (StepRecord* step = stepAt(attachments.Integer(row, 0)))
            step->attachments.push_back(
                {attachments.Text(row, 1), attachments.Text(row, 2), attachments.Bytes(row, 3)});
    return done(run);
}
