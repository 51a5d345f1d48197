#pragma once
// Where run records live. One interface for every kind of store: a SQLite
// file on one station, a plant's PostgreSQL server, and the station's spool
// that keeps records while the plant's server cannot be reached.
//
// A run is written as it goes: Begin when it starts (the run row, "running"),
// AddStep as each step ends, Finish with the outcome. Each call is its own
// transaction and says whether it landed; a caller that is told it did not
// keeps the record elsewhere (the spool) rather than lose it.

#include "RunRecord.h"
#include "Yield.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct StoreStatus {
    bool ok = true;
    std::string error; // what went wrong, for the operator; never holds a password
    // The call landed in the station's spool, not the plant's store: the
    // front end tells the operator kSpooledMessage.
    bool spooled = false;
    explicit operator bool() const { return ok; }
    static StoreStatus Failed(std::string why) { return {false, std::move(why)}; }
};

// What the operator is told when a run's record could not reach the plant's
// store and waits in the station's spool.
inline constexpr const char* kSpooledMessage = "kept on this station; will be sent";

// What a sync of the spool did.
struct SyncResult {
    int sent = 0;       // runs the plant's store now has, removed from the spool
    int left = 0;       // runs still kept on this station (unreachable server, runs still going)
    StoreStatus status; // why some could not be sent
};

// Which runs to list. Empty fields do not filter.
struct RunFilter {
    std::string serial;      // the label serial or the encoder's decoded or BiSS serial
    std::string partNumber;
    std::string plan;        // plan name
    std::string station;
    std::optional<Outcome> outcome;
    std::string since;       // ISO 8601 date or date-time, inclusive
    std::string until;       // exclusive
    int limit = 0;           // newest first; 0: no limit
};

class RecordStore {
public:
    virtual ~RecordStore() = default;
    // The run row, with the run's identity and its start; outcome Running.
    virtual StoreStatus Begin(const RunRecord& run) = 0;
    // One step that ended (or was skipped).
    virtual StoreStatus AddStep(const std::string& runId, const StepRecord& step) = 0;
    // The run ended: its outcome, end time and the unit's identity as the
    // steps found it. The steps are already stored.
    virtual StoreStatus Finish(const RunRecord& run) = 0;
    // Runs newest first, without their steps.
    virtual std::vector<RunRecord> List(const RunFilter& filter, StoreStatus* status = nullptr) = 0;
    // One run with its steps, measurements and attachments; empty when unknown.
    virtual std::optional<RunRecord> Show(const std::string& runId, StoreStatus* status = nullptr) = 0;

    // A whole run, steps included, in one transaction, replacing whatever the
    // store had of it: sending it twice leaves it once.
    virtual StoreStatus Put(const RunRecord& run);
    // The runs of List that are kept in this station's spool, not yet in the
    // plant's store. Only a store with a spool has any.
    virtual std::vector<std::string> SpooledRunIds(StoreStatus* status = nullptr);
    // Sends the spooled runs that have ended to the plant's store, each
    // exactly once. Nothing to do for a store without a spool.
    virtual SyncResult Sync();
    // What the yield needs of the runs the filter picks (its limit aside):
    // the ended runs, and the failed steps and measurements of the failed ones.
    virtual YieldFacts CollectYieldFacts(const RunFilter& filter, StoreStatus* status = nullptr);
    // The location for messages: a path, or a URI without its password.
    virtual std::string Location() const { return {}; }
};

// The store a location names: a PostgreSQL connection URI
// ("postgresql://user@host:port/db") or the path of a SQLite file, which is
// created with its folders when missing. Empty, with the reason in status,
// when it cannot be opened.
std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, StoreStatus* status = nullptr);
// The station's default store: $K417_DB, else $XDG_DATA_HOME/k417/records.sqlite
// (~/.local/share/k417/records.sqlite).
std::string DefaultStoreLocation();
// Where the station keeps records its plant's store could not take yet:
// $K417_SPOOL, else $XDG_DATA_HOME/k417/spool.sqlite (~/.local/share/...).
std::string DefaultSpoolLocation();
// True for a PostgreSQL connection URI ("postgresql://", "postgres://").
bool IsPlantLocation(const std::string& location);
// A location fit for messages and logs: a URI's password is left out.
std::string RedactLocation(const std::string& location);
