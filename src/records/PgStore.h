#pragma once
// The record store on a plant's PostgreSQL server, reached through libpq.
// The same tables and meaning as the SQLite store, with the server's own
// types: run ids are uuid, times timestamptz (the texts with their offsets
// kept beside them, so a record reads back exactly), attachments bytea.
//
// The store makes and migrates its own schema, version by version, under an
// advisory lock, so that stations starting at once never migrate twice.
// Every write is one transaction, sent in one round trip (libpq's pipeline
// mode); the whole of a run (Put) replaces what the server had of it, so a
// send interrupted half-way is simply sent again. A station holds an
// advisory lock on each run it is writing; a RUNNING run whose lock nobody
// holds (its station died or lost the server) shows as ABORTED.
//
// Passwords: the URI may carry one, but libpq's password file (~/.pgpass)
// and PGPASSWORD serve better; no message of this store holds one.

#include "RecordStore.h"

#include <memory>
#include <set>
#include <string>

struct pg_conn;

class PgStore final : public RecordStore {
public:
    static constexpr int kSchemaVersion = 2;

    // A store of the server the URI names; it connects on first use (and
    // again after the connection was lost).
    explicit PgStore(std::string uri, int schemaVersion = kSchemaVersion);
    ~PgStore() override;
    PgStore(const PgStore&) = delete;
    PgStore& operator=(const PgStore&) = delete;

    // Connects (when not connected) and brings the schema to its version.
    StoreStatus Connect();
    // Opens and connects; empty with the reason when the server cannot be
    // reached.
    static std::unique_ptr<PgStore> Open(const std::string& uri, StoreStatus* status = nullptr,
                                         int schemaVersion = kSchemaVersion);

    StoreStatus Begin(const RunRecord& run) override;
    StoreStatus AddStep(const std::string& runId, const StepRecord& step) override;
    StoreStatus Finish(const RunRecord& run) override;
    std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::optional<RunRecord> Show(const std::string& runId, StoreStatus* status = nullptr) override;
    StoreStatus Put(const RunRecord& run) override;
    YieldFacts CollectYieldFacts(const RunFilter& filter, StoreStatus* status = nullptr) override;
    std::string Location() const override;

    // Counts the connections made: a run written on one connection
    // throughout was never cut off by a server crash in between.
    int Connections() const { return connections_; }

    // The schema version the server's database has (0 before any).
    int SchemaVersion(StoreStatus* status = nullptr);

private:
    struct Query;
    class Result;
    enum class Durability { Durable, Deferred };
    StoreStatus Write(const char* what, std::vector<Query> queries, Durability durability = Durability::Durable);
    StoreStatus WriteOnce(const char* what, const std::vector<Query>& queries, bool& lost);
    bool ReadQuery(const Query& query, Result& result, StoreStatus& status);
    StoreStatus Failure(const std::string& what, const std::string& detail) const;
    static bool FilterClause(const RunFilter& filter, const std::string& alias, std::string& sql,
                             std::vector<std::optional<std::string>>& params, StoreStatus& status);
    StoreStatus Migrate();
    int ReadVersion(std::string& error); // -1 on failure
    std::vector<Query> RunRowQueries(const RunRecord& run) const;
    std::vector<Query> StepQueries(const std::string& runId, const StepRecord& step) const;

    std::string uri_;
    int schemaVersion_;
    pg_conn* conn_ = nullptr;
    int connections_ = 0;
    std::set<std::string> writing_; // runs begun here and not finished: their locks are ours
};

// True for a text that is a UUID (the form a run id has).
bool IsRunIdUuid(const std::string& text);
