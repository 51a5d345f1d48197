// Record stores: what recording one run costs (the run row, each step in its
// own transaction, the end) on PostgreSQL over the loopback and on SQLite,
// and how long the yield over 100,000 runs takes.
//
//   bench_records POSTGRESQL_URI [RUNS_FOR_YIELD]
//
// The URI names a scratch server (scripts/pg-test-server.sh start DIR prints
// one); the benchmark makes its own databases there. The yield reads through
// the indexes runs_by_start (runs by start time) and steps_failed (the failed
// steps, a partial index), and the primary keys of steps and measurements.

#include "StoreRig.h"
#include "records/PgStore.h"
#include "records/PlantStore.h"
#include "records/RecordTime.h"
#include "records/SqliteStore.h"
#include "records/Yield.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

bool Exec(PGconn* conn, const std::string& sql)
{
    PGresult* result = PQexec(conn, sql.c_str());
    bool ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok)
        std::fprintf(stderr, "%s\n", PQerrorMessage(conn));
    PQclear(result);
    return ok;
}

// The example plan's run: eleven steps with their measurements, the error
// map's CSV and chart (about 30 kB) attached.
RunRecord PlanRun(int n)
{
    char id[40];
    std::snprintf(id, sizeof id, "5e0f0c1a-7b2d-4c3e-9f40-%012d", n);
    RunRecord run;
    run.runId = id;
    run.planName = "TV657 end of line";
    run.planRevision = "3";
    run.planSha256 = std::string(64, 'a');
    run.station = "bench";
    run.operatorName = "bench";
    run.labelSerial = "B" + std::to_string(n);
    run.unit = {"Torvik", "TV657-19-16", "0x12345", run.labelSerial, "", "9568"};
    run.started = NowIsoTime();
    run.outcome = Outcome::Running;
    const char* kinds[] = {"identify", "datasheet", "config", "usermem", "errmap", "calibrate",
                           "status", "position", "zero", "power_cycle", "prompt"};
    for (int i = 0; i < 11; ++i) {
        StepRecord step;
        step.index = i;
        step.kind = step.name = kinds[i];
        step.outcome = Outcome::Pass;
        step.started = step.ended = run.started;
        for (int m = 0; m < (i == 6 ? 17 : 3); ++m) {
            Measurement measurement;
            measurement.name = std::string(kinds[i]) + "_" + std::to_string(m);
            measurement.number = 12.5 + m;
            measurement.low = 0;
            measurement.high = 100;
            measurement.unit = "counts";
            step.measurements.push_back(measurement);
        }
        if (i == 4) {
            step.attachments.push_back({"errmap.csv", "text/csv", std::string(6000, '1')});
            step.attachments.push_back({"errmap.svg", "image/svg+xml", std::string(24000, 'x')});
        }
        run.steps.push_back(step);
    }
    return run;
}

// Records runs as the runner does; the median and the longest in ms.
std::pair<double, double> RecordRuns(RecordStore& store, int count, int first)
{
    std::vector<double> times;
    double begins = 0, steps_ = 0, ends = 0;
    for (int n = first; n < first + count; ++n) {
        RunRecord run = PlanRun(n);
        std::vector<StepRecord> steps = std::move(run.steps);
        run.steps.clear();
        auto start = Clock::now();
        bool ok = store.Begin(run).ok;
        auto begun = Clock::now();
        for (const StepRecord& step : steps)
            ok = ok && store.AddStep(run.runId, step).ok;
        auto stepped = Clock::now();
        run.outcome = Outcome::Pass;
        run.ended = run.started;
        ok = ok && store.Finish(run).ok;
        times.push_back(Ms(Clock::now() - start));
        begins += Ms(begun - start);
        steps_ += Ms(stepped - begun);
        ends += Ms(Clock::now() - stepped);
        if (!ok) {
            std::fprintf(stderr, "recording failed\n");
            std::exit(1);
        }
    }
    std::sort(times.begin(), times.end());
    if (std::getenv("K417_BENCH_PHASES"))
        std::printf("  per run: begin %.2f ms, steps %.2f ms, end %.2f ms\n", begins / count, steps_ / count,
                    ends / count);
    return {times[times.size() / 2], times.back()};
}

// The rows of `runs` runs over 30 days: every run 4 steps of 2
// measurements; a tenth of the runs fail their status step's temperature,
// and a unit that failed is tested again.
const char* kPgFill = R"sql(
INSERT INTO runs (run_id, plan_name, plan_revision, plan_sha256, station, operator, label_serial, family,
                  part_number, biss_serial, decoded_serial, extended_serial, firmware, started, started_text,
                  ended, ended_text, outcome)
SELECT md5(g::text)::uuid, 'plan ' || (g % 3), '1', '', 'station-' || (g % 8), 'op', 'U' || (g / 11 * 10 + g % 11 % 10),
       'Torvik', 'TV657', '', 'U' || (g / 11 * 10 + g % 11 % 10), '', '9568',
       now() - (g * interval '25 seconds'), '', now() - (g * interval '25 seconds'), '',
       CASE WHEN g % 10 = 3 THEN 'FAIL' ELSE 'PASS' END
FROM generate_series(1, $RUNS) g;
INSERT INTO steps SELECT md5(g::text)::uuid, s, 'k' || s, 'step ' || s,
       CASE WHEN g % 10 = 3 AND s = 2 THEN 'FAIL' ELSE 'PASS' END, '', '', ''
FROM generate_series(1, $RUNS) g, generate_series(0, 3) s;
INSERT INTO measurements SELECT md5(g::text)::uuid, s, m, CASE WHEN m = 0 THEN 'temperature' ELSE 'signal_level' END,
       20 + m, '', 10, 60, '', '°C', CASE WHEN g % 10 = 3 AND s = 2 AND m = 0 THEN 'FAIL' ELSE 'PASS' END
FROM generate_series(1, $RUNS) g, generate_series(0, 3) s, generate_series(0, 1) m;
ANALYZE;
)sql";

const char* kSqliteFill = R"sql(
BEGIN;
WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < $RUNS)
INSERT INTO runs SELECT printf('%08x-0000-4000-8000-%012d', n, n), 'plan ' || (n % 3), '1', '', 'station-' || (n % 8),
       'op', 'U' || (n / 11 * 10 + n % 11 % 10), 'Torvik', 'TV657', '', 'U' || (n / 11 * 10 + n % 11 % 10), '',
       '9568', '', '', CASE WHEN n % 10 = 3 THEN 'FAIL' ELSE 'PASS' END, $NOW - n * 25000, '' FROM g;
INSERT INTO steps SELECT run_id, s.value, 'k' || s.value, 'step ' || s.value,
       CASE WHEN outcome = 'FAIL' AND s.value = 2 THEN 'FAIL' ELSE 'PASS' END, '', '', ''
FROM runs, (SELECT 0 AS value UNION ALL SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3) s;
INSERT INTO measurements SELECT run_id, step_index, m.value, CASE WHEN m.value = 0 THEN 'temperature' ELSE 'signal_level' END,
       20 + m.value, '', 10, 60, '', '°C', CASE WHEN outcome = 'FAIL' AND m.value = 0 THEN 'FAIL' ELSE 'PASS' END
FROM steps, (SELECT 0 AS value UNION ALL SELECT 1) m;
COMMIT;
ANALYZE;
)sql";

std::string Replace(std::string text, const std::string& key, const std::string& value)
{
    for (size_t at; (at = text.find(key)) != std::string::npos;)
        text.replace(at, key.size(), value);
    return text;
}

// The median of five yields over the whole store, in ms, and the report.
double TimeYield(RecordStore& store, YieldReport& report)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        auto start = Clock::now();
        StoreStatus status;
        YieldFacts facts = store.CollectYieldFacts({}, &status);
        report = ComputeYield(facts, YieldGrouping::None);
        times.push_back(Ms(Clock::now() - start));
        if (!status) {
            std::fprintf(stderr, "yield failed: %s\n", status.error.c_str());
            std::exit(1);
        }
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_records POSTGRESQL_URI [RUNS_FOR_YIELD]\n");
        return 2;
    }
    std::string server = argv[1];
    int yieldRuns = argc > 2 ? std::atoi(argv[2]) : 100000;
    std::string scratch = (std::filesystem::temp_directory_path() / "k417-bench-records").string();
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    setenv("K417_SPOOL", (scratch + "/spool.sqlite").c_str(), 1);

    // Recording: as k417ctl test does it, through the plant store with its spool.
    setenv("K417_TEST_PG", server.c_str(), 1);
    std::string uri = NewTestDatabase();
    StoreStatus status;
    auto plant = PlantStore::Open(uri, scratch + "/spool.sqlite", &status);
    if (!plant || !plant->Plant().Connect()) {
        std::fprintf(stderr, "cannot reach %s\n", server.c_str());
        return 1;
    }
    RecordRuns(*plant, 5, 0); // warm up
    auto [pgMedian, pgMax] = RecordRuns(*plant, 50, 100);
    std::printf("recording a run (11 steps, 43 measurements, 30 kB attached), PostgreSQL over %s: median %.2f ms, "
                "longest %.2f ms (limit 20 ms)\n",
                server.find("127.0.0.1") != std::string::npos ? "the loopback" : "its URI", pgMedian, pgMax);
    auto sqlite = SqliteStore::Open(scratch + "/records.sqlite", &status);
    RecordRuns(*sqlite, 5, 0);
    auto [liteMedian, liteMax] = RecordRuns(*sqlite, 50, 100);
    std::printf("recording a run, SQLite (WAL): median %.2f ms, longest %.2f ms\n", liteMedian, liteMax);

    // Yield over many runs.
    std::string yieldUri = NewTestDatabase();
    auto yieldStore = PgStore::Open(yieldUri, &status);
    PGconn* conn = PQconnectdb(yieldUri.c_str());
    auto fillStart = Clock::now();
    if (!yieldStore || !Exec(conn, Replace(kPgFill, "$RUNS", std::to_string(yieldRuns))))
        return 1;
    PQfinish(conn);
    std::printf("filled PostgreSQL with %d runs in %.0f ms\n", yieldRuns, Ms(Clock::now() - fillStart));
    YieldReport report;
    double pgYield = TimeYield(*yieldStore, report);
    std::printf("yield over %d runs (%d units), PostgreSQL: %.0f ms (limit 1000 ms); first-pass %.1f %%, final %.1f "
                "%%, %zu Pareto rows\n",
                report.total.runs, report.total.units, pgYield, report.total.FirstPassYield(),
                report.total.FinalYield(), report.pareto.size());

    std::string litePath = scratch + "/yield.sqlite";
    auto liteYield = SqliteStore::Open(litePath, &status);
    sqlite3* db = nullptr;
    sqlite3_open(litePath.c_str(), &db);
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    std::string fill = Replace(Replace(kSqliteFill, "$RUNS", std::to_string(yieldRuns)), "$NOW",
                               std::to_string(now.count()));
    char* error = nullptr;
    if (sqlite3_exec(db, fill.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", error);
        return 1;
    }
    sqlite3_close(db);
    double liteYieldMs = TimeYield(*liteYield, report);
    std::printf("yield over %d runs (%d units), SQLite: %.0f ms (limit 1000 ms)\n", report.total.runs,
                report.total.units, liteYieldMs);
    std::filesystem::remove_all(scratch);
    bool ok = pgMedian <= 20 && pgYield <= 1000 && liteYieldMs <= 1000;
    std::printf("%s\n", ok ? "within the limits" : "OVER A LIMIT");
    return ok ? 0 : 1;
}
