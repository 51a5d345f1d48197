#pragma once
// The record store in one SQLite file: a station's own records, and the
// spool that keeps records its plant's server could not take yet.
//
// Reached through libsqlite3 directly, as the PostgreSQL store is through
// libpq: each is a thin layer over the one library its database ships, with
// the statements, transactions and busy waits in plain sight, where a
// database abstraction (SOCI) would add a dependency and hide exactly the
// locking and reconnecting these stores have to get right.
//
// The file is in WAL mode (readers never wait for the writer) with a busy
// time-out, so that several stations on one PC write it at once; every write
// is one IMMEDIATE transaction. A run left RUNNING by a program that no
// longer runs is marked ABORTED whenever the file is opened.

#include "RecordStore.h"

#include <cstdint>
#include <functional>
#include <variant>
#include <memory>
#include <string>

struct sqlite3;

class SqliteStore final : public RecordStore {
public:
    // Opens (creating it and its folders when missing) the file at path.
    static std::unique_ptr<SqliteStore> Open(const std::string& path, StoreStatus* status = nullptr);
    ~SqliteStore() override;

    StoreStatus Begin(const RunRecord& run) override;
    StoreStatus AddStep(const std::string& runId, const StepRecord& step) override;
    StoreStatus Finish(const RunRecord& run) override;
    std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::optional<RunRecord> Show(const std::string& runId, StoreStatus* status = nullptr) override;
    StoreStatus Put(const RunRecord& run) override;
    YieldFacts CollectYieldFacts(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::string Location() const override { return path_; }

    // Removes a run with its steps (the spool, once the plant has it).
    StoreStatus Remove(const std::string& runId);

    static constexpr int kSchemaVersion = 1;

private:
    SqliteStore(sqlite3* db, std::string path);
    class Statement;
    StoreStatus Prepare();
    StoreStatus MarkAbandonedRuns();
    StoreStatus Transaction(const char* what, const std::function<bool()>& body);
    bool WriteRun(const RunRecord& run);
    bool WriteStep(const std::string& runId, const StepRecord& step);
    bool DeleteRun(const std::string& runId, bool stepsOnly);
    StoreStatus Failure(const std::string& what) const;
    static bool FilterClause(const RunFilter& filter, const std::string& alias, std::string& sql,
                             std::vector<std::variant<std::string, std::int64_t>>& values, StoreStatus* status);

    sqlite3* db_;
    std::string path_;
};
